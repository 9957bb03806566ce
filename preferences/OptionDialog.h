#pragma once

#include "core/RecordTypes.h"
#include "platform/framework/VxDialogBase.h"

class QDialogButtonBox;
class QTabWidget;

// The preferences dialog: one page per SETTINGPAGE, in that order.
class OptionDialog : public VxDialogBase
{
    Q_OBJECT
public:
    explicit OptionDialog(SETTINGPAGE page = SETTINGPAGE_Mouse, QWidget* parent = nullptr);
    ~OptionDialog() override;

    // Shows a page; a value outside SETTINGPAGE keeps the current one.
    void setCurrentPage(int page);
    int currentPage() const;
    int pageCount() const;

protected:
    void retranslateDerived() override;

private:
    QTabWidget* m_pTabs = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};
