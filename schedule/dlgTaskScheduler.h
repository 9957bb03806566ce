#pragma once

#include "core/TaskInfo.h"
#include "platform/framework/VxDialogBase.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

// The task schedule dialog. Without a task daemon it shows why scheduled
// recordings are unavailable; with one it lists the daemon's tasks.
class dlgTaskScheduler : public VxDialogBase
{
    Q_OBJECT
public:
    enum Page { PageNotConnected = 0, PageTasks = 1 };

    explicit dlgTaskScheduler(QWidget* parent = nullptr);
    ~dlgTaskScheduler() override;

    int currentPage() const;
    QTreeWidget* taskList() const { return m_pTaskList; }

public slots:
    void onBtnInstallClicked();

protected:
    void retranslateDerived() override;

private:
    void fillTasks(const TaskList& tasks);

    QStackedWidget* m_pStack = nullptr;
    QLabel* m_pLblNotConnected = nullptr;
    QPushButton* m_pBtnInstall = nullptr;
    QLabel* m_pLblTasks = nullptr;
    QTreeWidget* m_pTaskList = nullptr;
    QPushButton* m_pBtnClose = nullptr;
    TaskList m_tasks;
};
