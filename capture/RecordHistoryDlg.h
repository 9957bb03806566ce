#pragma once

#include "platform/framework/VxDialogBase.h"

class HistoryFileListWidget;
class QComboBox;
class QLineEdit;

// The recording history: the saved files, newest first, narrowed by type
// and by a search text.
class RecordHistoryDlg : public VxDialogBase
{
    Q_OBJECT
public:
    explicit RecordHistoryDlg(QWidget* parent = nullptr);
    ~RecordHistoryDlg() override;

    // Back to "Show all", so that a file just added is not filtered away.
    void isAddedHistory();

    HistoryFileListWidget* historyList() const { return m_pList; }

protected:
    void retranslateDerived() override;
    void showEvent(QShowEvent* event) override;

private:
    void applyFilter();

    QComboBox* m_pCmbFilter = nullptr;
    QLineEdit* m_pEditSearch = nullptr;
    HistoryFileListWidget* m_pList = nullptr;
};
