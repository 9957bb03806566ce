#pragma once

#include "core/TaskInfo.h"
#include "platform/framework/VxDialogBase.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

// The task schedule dialog. Without a task daemon it offers to install one;
// with one it lists the daemon's tasks and adds, edits and deletes them.
class dlgTaskScheduler : public VxDialogBase
{
    Q_OBJECT
public:
    enum Page { PageNotConnected = 0, PageTasks = 1 };
    enum Column { ColName, ColKind, ColStart, ColStop, ColEnd, ColEnabled, ColumnCount };

    explicit dlgTaskScheduler(QWidget* parent = nullptr);
    ~dlgTaskScheduler() override;

    int currentPage() const;
    QTreeWidget* taskList() const { return m_pTaskList; }

public slots:
    void onBtnInstallClicked();
    void onBtnUninstallClicked();
    void onBtnAddClicked();
    void onBtnEditClicked();
    void onBtnDeleteClicked();

protected:
    void retranslateDerived() override;

private:
    void buildConnectPage(QWidget* page);
    void buildTasksPage(QWidget* page);
    void showState();
    // Says so, and offers no installation, when the service's socket would
    // sit where other users can reach it.
    void showUnsafePlace();
    void fillTasks(const TaskList& tasks);
    // Opens the task form and stores what it accepts.
    void editTask(const TaskInfo& task);
    // Sends the task to the daemon and shows the new list.
    void storeTask(const TaskInfo& task);
    int selectedRow() const;

    QStackedWidget* m_pStack = nullptr;
    QLabel* m_pLblNotConnected = nullptr;
    QLabel* m_pLblUnsafe = nullptr;
    QPushButton* m_pBtnInstall = nullptr;
    QLabel* m_pLblTasks = nullptr;
    QTreeWidget* m_pTaskList = nullptr;
    QPushButton* m_pBtnAdd = nullptr;
    QPushButton* m_pBtnEdit = nullptr;
    QPushButton* m_pBtnDelete = nullptr;
    QPushButton* m_pBtnUninstall = nullptr;
    QPushButton* m_pBtnClose = nullptr;
    TaskList m_tasks;
};
