#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QThread>

#include "core/TaskInfo.h"

// A stand-in task daemon: a local server on its own thread (the client's
// calls block the test's thread) that answers, stays silent or speaks an
// old protocol as scripted, and records every request it reads.
class FakeTaskDaemon
{
public:
    struct Script
    {
        int version = 1;
        QSet<QString> ignore; // request types left unanswered
        TaskList tasks;
        bool waiting = false;
    };

    explicit FakeTaskDaemon(const Script& script)
        : m_script(script)
        , m_strName(QStringLiteral("%1/srfake-%2-%3")
                        .arg(QDir::tempPath())
                        .arg(QCoreApplication::applicationPid())
                        .arg(quintptr(this)))
    {
        m_worker.moveToThread(&m_thread);
        m_thread.start();
        run([this] {
            m_pServer = new QLocalServer(&m_worker);
            QLocalServer::removeServer(m_strName);
            m_pServer->listen(m_strName);
            QObject::connect(m_pServer, &QLocalServer::newConnection, &m_worker, [this] {
                while (QLocalSocket* s = m_pServer->nextPendingConnection()) {
                    m_sockets.append(s);
                    QObject::connect(s, &QLocalSocket::readyRead, &m_worker, [this, s] { answer(s); });
                }
            });
        });
    }
    ~FakeTaskDaemon()
    {
        run([this] {
            for (QLocalSocket* s : qAsConst(m_sockets))
                s->abort();
            delete m_pServer;
        });
        m_thread.quit();
        m_thread.wait();
    }

    QString serverName() const { return m_strName; }
    QStringList requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    void pushStartTask(const TaskInfo& task)
    {
        const QJsonObject msg{{"type", "startTask"}, {"task", task.toJson()}};
        sendRaw(QJsonDocument(msg).toJson(QJsonDocument::Compact) + '\n');
    }
    void sendRaw(const QByteArray& bytes)
    {
        run([this, bytes] {
            for (QLocalSocket* s : qAsConst(m_sockets)) {
                s->write(bytes);
                s->flush();
            }
        });
    }
    void dropClients()
    {
        run([this] {
            for (QLocalSocket* s : qAsConst(m_sockets))
                s->disconnectFromServer();
        });
    }

private:
    template <class F>
    void run(F work)
    {
        QMetaObject::invokeMethod(&m_worker, work, Qt::BlockingQueuedConnection);
    }

    void answer(QLocalSocket* socket)
    {
        while (socket->canReadLine()) {
            const QJsonObject req = QJsonDocument::fromJson(socket->readLine()).object();
            const QString type = req.value("type").toString();
            {
                QMutexLocker lock(&m_mutex);
                m_requests << (type == QLatin1String("powerAction")
                                   ? type + QString::number(req.value("action").toInt())
                                   : type);
            }
            if (m_script.ignore.contains(type))
                continue;
            QJsonObject reply{{"type", "reply"}, {"seq", req.value("seq")}};
            if (type == QLatin1String("hello")) {
                reply.insert("version", m_script.version);
            } else if (type == QLatin1String("listTasks")) {
                QJsonArray list;
                for (const TaskInfo& t : qAsConst(m_script.tasks))
                    list.append(t.toJson());
                reply.insert("tasks", list);
            } else {
                reply.insert("result", type == QLatin1String("powerAction") || m_script.waiting);
            }
            socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
            socket->flush();
        }
    }

    Script m_script;
    QString m_strName;
    QThread m_thread;
    QObject m_worker; // lives on m_thread
    QLocalServer* m_pServer = nullptr;
    QList<QLocalSocket*> m_sockets; // children of the server
    mutable QMutex m_mutex;
    QStringList m_requests;
};
