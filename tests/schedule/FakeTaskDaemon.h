#pragma once

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QStringList>

#include "core/TaskInfo.h"

class QLocalServer;
class QLocalSocket;
class QThread;

// A stand-in task daemon: a local server on its own thread (the client's
// calls block the test's thread) that answers, stays silent or speaks an
// old protocol as scripted, and records every request it reads.
class FakeTaskDaemon : public QObject
{
public:
    struct Script
    {
        int version = 1;
        QSet<QString> ignore;  // request types left unanswered
        TaskList tasks;
        bool waiting = false;
        bool powerResult = true;
    };

    explicit FakeTaskDaemon(const Script& script);
    ~FakeTaskDaemon() override;

    QString serverName() const { return m_strName; }
    bool isListening() const { return m_bListening; }
    QStringList requests() const;
    QList<int> powerActions() const;

    void pushStartTask(const TaskInfo& task);
    void dropClients();
    void sendRaw(const QByteArray& bytes);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    Script m_script;
    QString m_strName;
    bool m_bListening = false;
    QThread* m_pThread = nullptr;
    QObject* m_pWorker = nullptr;  // lives on m_pThread
    QLocalServer* m_pServer = nullptr;
    QList<QLocalSocket*> m_sockets;
    mutable QMutex m_mutex;
    QStringList m_requests;
    QList<int> m_power;
};
