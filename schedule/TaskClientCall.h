#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>

#include "core/TaskInfo.h"

class QLocalSocket;

// The task controller's view of the task daemon. Every call is synchronous
// and bounded: a missing, old or silent daemon gives false, never a hang.
class ITaskClient : public QObject
{
    Q_OBJECT
public:
    explicit ITaskClient(QObject* parent = nullptr) : QObject(parent) {}
    ~ITaskClient() override = default;

    // A start request is acted on for this long after it came; a run the
    // daemon finds later than this is not started at all.
    static constexpr int kStartFreshSeconds = 4;
    // The longest message line either side takes: no real message comes
    // near it, and a peer streaming without line breaks must not make the
    // other buffer without end.
    static constexpr int kMaxLineBytes = 4 * 1024 * 1024;

    // Opens the connection and performs the version handshake.
    virtual bool connectToDaemon() = 0;
    // True while the handshake succeeded and the connection stays open.
    virtual bool isConnected() const = 0;
    virtual bool listTasks(TaskList& tasks) = 0;
    // Returns whether the call succeeded; the answer goes to waiting.
    virtual bool isWaitTaskStart(bool& waiting) = 0;
    // Asks the daemon to shut down (1) or suspend (2) the machine.
    virtual bool requestPowerAction(int action) = 0;
    // Adds the task (an empty id asks the daemon for one) or replaces the
    // task with its id.
    virtual bool saveTask(const TaskInfo& task) { Q_UNUSED(task) return false; }
    virtual bool deleteTask(const QString& id) { Q_UNUSED(id) return false; }
    // The program's word on a start request it turned down, or on a task's
    // recording that ended, for the daemon's log.
    virtual bool reportTask(const QString& id, const QString& event, const QString& reason)
    {
        Q_UNUSED(id) Q_UNUSED(event) Q_UNUSED(reason) return false;
    }
    // Ends the daemon (taking the service away).
    virtual bool quitDaemon() { return false; }

signals:
    // The daemon asks to start the task's recording now.
    void startTaskRequested(const TaskInfo& task);
    void connectionLost();
};

// The client over a local socket. Our protocol is one JSON object per line:
//   client -> daemon  {"type":"hello","version":1,"seq":n}
//                     {"type":"listTasks","seq":n}
//                     {"type":"isWaitTaskStart","seq":n}
//                     {"type":"powerAction","action":1|2,"seq":n}
//                     {"type":"saveTask","task":{...},"seq":n}
//                     {"type":"deleteTask","id":"...","seq":n}
//                     {"type":"report","id":"...","event":"refused"|"completed",
//                      "reason":"...","seq":n}
//                     {"type":"quit","seq":n}
//   daemon -> client  {"type":"reply","seq":n, ...}  with "version", "tasks",
//                     or "result" as the request needs
//                     {"type":"startTask","task":{...}}  pushed at any time
class TaskClientCall : public ITaskClient
{
    Q_OBJECT
public:
    static constexpr int kProtocolVersion = 1;

    // An empty name means taskDaemonSocketName(); a daemon running as
    // another user is never talked to.
    explicit TaskClientCall(const QString& serverName = QString(), QObject* parent = nullptr);
    ~TaskClientCall() override;

    void setTimeouts(int connectMs, int replyMs);

    bool connectToDaemon() override;
    bool isConnected() const override;
    bool listTasks(TaskList& tasks) override;
    bool isWaitTaskStart(bool& waiting) override;
    bool requestPowerAction(int action) override;
    bool saveTask(const TaskInfo& task) override;
    bool deleteTask(const QString& id) override;
    bool reportTask(const QString& id, const QString& event, const QString& reason) override;
    bool quitDaemon() override;

private:
    // A request whose answer is only {"result":bool}.
    bool simpleCall(const QString& type, const QJsonObject& request);
    // Sends one request and waits, at most the reply bound, for its answer.
    bool call(const QString& type, QJsonObject request, QJsonObject& reply);
    void readLines();
    void handleLine(const QByteArray& line);
    void deliverPushes();
    void onDisconnected();

    // Before the name: filled while the name is looked up.
    QString m_strNameProblem;  // why no name could be trusted, when it is empty
    QString m_strServerName;
    QLocalSocket* m_pSocket = nullptr;
    int m_nConnectMs = 1000;
    int m_nReplyMs = 1500;
    bool m_bHandshaken = false;
    qint64 m_nSeq = 0;
    qint64 m_nWaitingSeq = 0;
    QByteArray m_buffer;
    QHash<qint64, QJsonObject> m_replies;
    QList<TaskInfo> m_pendingPushes;
};
