#pragma once

#include <QList>

#include "core/RecordTypes.h"
#include "platform/framework/VxDialogBase.h"

class OptionPage;
class QCloseEvent;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The preferences: one page per SETTINGPAGE, in that order, picked from a
// list of icons on the left. Pages edit copies; OK stores every page (and
// grabs the hotkeys afresh), Cancel and Esc store nothing, and closing the
// window with unsaved edits asks what to do with them.
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
    // Whether any page shows something other than what is stored.
    bool isModified() const;

public slots:
    // Stores every page; a page that refuses its values is shown with the
    // reason and the dialog stays open.
    void accept() override;

protected:
    void retranslateDerived() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void addPage(OptionPage* page, const char* icon);
    void applyStyle();

    QListWidget* m_pList = nullptr;
    QStackedWidget* m_pStack = nullptr;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pCancel = nullptr;
    QList<OptionPage*> m_pages;
};
