#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

#include "schedule/PowerAction.h"
#include "core/TaskInfo.h"

class ITaskClient;
class MainWindowBase;
class QTimer;
class QWidget;

// The process-wide task controller: the program's side of the task daemon.
// It holds the daemon's task list, turns the daemon's start requests into
// sigStartRecord, knows when the running task's recording must stop and
// carries out the task's end action. Without a daemon it works on: every
// call answers false at once or after a short bound.
class TaskManage : public QObject
{
    Q_OBJECT
public:
    using ClientFactory = std::function<ITaskClient*()>;
    using Clock = std::function<QDateTime()>;
    using BusyCheck = std::function<bool()>;

    static TaskManage* instance();
    static void release();

    void connectXPCServer();
    void setMainWidBase(MainWindowBase* frame);
    MainWindowBase* mainWidBase() const { return m_pMainWidBase; }

    bool isWaitTaskStart();
    bool isConnected() const;
    bool isOpenTask() const;
    bool isOutOfDate() const;
    bool needStopRecord(qint64 seconds) const;

    // The end of a timed or scheduled recording: the end action after a
    // countdown the user may cancel. Returns at once; the action follows
    // the countdown.
    void taskCompleted(QWidget* parent, RecStopEvent ev);
    // The callers' literal 0 ("the task's own action applies").
    void taskCompleted(QWidget* parent, int ev) { taskCompleted(parent, static_cast<RecStopEvent>(ev)); }

    // The daemon's tasks as loaded by the last connectXPCServer().
    TaskList tasks() const { return m_tasks; }
    // Reads the daemon's list again (after the dialog changed it).
    void reloadTasks();
    // The connected client, or null.
    ITaskClient* client() const;
    // The task whose start request was last passed on.
    TaskInfo currentTask() const { return m_curTask; }

    // Seams set by the home window and by tests.
    void setBusyCheck(BusyCheck busy);          // true while recording or previewing
    void setClientFactory(ClientFactory factory);
    void setClock(Clock clock);
    void setPowerAction(std::unique_ptr<IPowerAction> power);
    void setCountdownTickInterval(int ms);      // 1000 outside tests

    // True while a scheduled task's recording is claimed, runs or waits for
    // its end action, which depends on it. A mirror of the recording
    // session's task claim (RecordingSession::beginTask and endTask).
    const bool& isTasking;

signals:
    void sigStartRecord(int recwhat);

private slots:
    void onStartTaskRequested(const TaskInfo& task);
    void onConnectionLost();

private:
    TaskManage();
    ~TaskManage() override;

    QDateTime now() const;
    void runEndAction(RecStopEvent action);

    ITaskClient* m_pClient = nullptr;
    ClientFactory m_clientFactory;
    Clock m_clock;
    BusyCheck m_busy;
    std::unique_ptr<IPowerAction> m_pPower;
    MainWindowBase* m_pMainWidBase = nullptr;
    TaskList m_tasks;
    TaskInfo m_curTask;
    bool m_bHasCurTask = false;
    QDateTime m_lastStartRequest;
    int m_nTickMs = 1000;
    bool m_bCountdownOpen = false;
    QTimer* m_pReconnect = nullptr;
};
