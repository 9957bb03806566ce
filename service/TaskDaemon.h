#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QLocalServer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>

#include "core/TaskInfo.h"
#include "schedule/PowerAction.h"
#include "schedule/TaskClientCall.h"

class FileLock;
class QLocalSocket;

// The task daemon: keeps the user's scheduled tasks in a file of its own,
// answers the program over a local socket (one JSON object per line) and,
// at a task's time, asks the program to record, starting it first when it
// is not running.
class TaskDaemon : public QObject
{
    Q_OBJECT
public:
    struct Setup
    {
        QString socketName;
        QString taskFile;
        QString program;  // started with kStartArgument when no program listens
        std::unique_ptr<IPowerAction> power;
    };
    using Clock = std::function<QDateTime()>;

    // A run found later than this after its time (the machine slept, the
    // daemon was not running) is logged as missed instead of started hours
    // late; the program holds a start request for as long.
    static constexpr int kStaleSeconds = ITaskClient::kStartFreshSeconds;
    static constexpr const char* kStartArgument = "--scheduled-task";

    explicit TaskDaemon(Setup setup, QObject* parent = nullptr);
    ~TaskDaemon() override;

    // False, with the reason in the log, when this daemon may not serve:
    // another one keeps the task file, or the file cannot be locked.
    bool listen();
    // True when another daemon already keeps the same task file: this one
    // stands aside and its process ends without an error.
    bool isDuplicate() const;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Looks for runs that are due; the timer calls it twice a second.
    void tick();

    TaskList tasks() const;
    // Adds or replaces a task; its runs count from now on.
    QString saveTask(TaskInfo task);
    bool deleteTask(const QString& id);

signals:
    // Started, missed or refused runs, for tests and the log alike.
    void runStarted(const TaskInfo& run);
    void runMissed(const TaskInfo& task, const QDateTime& run);

private:
    struct Entry
    {
        TaskInfo task;
        QDateTime handled;  // the last run started or given up
    };

    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    void load();
    // Moves (or, when some tasks were read, copies) an unreadable task file
    // out of the way, so that saving never overwrites what might be mended.
    void keepAside(bool move, const QString& reason);
    void save() const;
    void onNewConnection();
    void readFrom(QLocalSocket* socket);
    QJsonObject answer(QLocalSocket* socket, const QString& type, const QJsonObject& request);
    void startRun(const TaskInfo& run);
    void push(QLocalSocket* socket, const TaskInfo& run);
    void deliverPending();
    bool isWaiting() const;
    bool powerAction(int action);

    Setup m_setup;
    // Held for the daemon's life: one daemon per task file, so no two ever
    // write their own lists over each other.
    std::unique_ptr<FileLock> m_lock;
    bool m_bCanSave = false;
    Clock m_clock;
    QLocalServer m_server;
    QTimer m_timer;
    QList<Entry> m_entries;
    QSet<QLocalSocket*> m_clients;  // past the handshake
    QList<TaskInfo> m_pending;      // runs waiting for the program to come up
    QDateTime m_launchedAt;
};
