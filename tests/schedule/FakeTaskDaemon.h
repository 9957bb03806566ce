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
#include <QThread>

#include "core/TaskInfo.h"
#include "schedule/TaskClientCall.h"

// A stand-in task daemon on its own thread that answers, stays silent or speaks an old
// protocol as scripted, and records every request it reads.
class FakeTaskDaemon
{
public:
    struct Script
    {
        int version = TaskClientCall::kProtocolVersion;
        QSet<QString> ignore; // request types left unanswered
        TaskList tasks;
    };

    explicit FakeTaskDaemon(const Script& script)
        : m_script(script)
        , m_name(QStringLiteral("%1/srfake-%2-%3").arg(QDir::tempPath()).arg(qApp->applicationPid())
                     .arg(quintptr(this)))
    {
        m_worker.moveToThread(&m_thread);
        m_thread.start();
        run([this] {
            m_server = new QLocalServer(&m_worker);
            QLocalServer::removeServer(m_name);
            m_server->listen(m_name);
            QObject::connect(m_server, &QLocalServer::newConnection, &m_worker, [this] {
                while (QLocalSocket* s = m_server->nextPendingConnection()) {
                    m_sockets.append(s);
                    QObject::connect(s, &QLocalSocket::readyRead, &m_worker, [this, s] { answer(s); });
                }
            });
        });
    }
    ~FakeTaskDaemon()
    {
        run([this] { delete m_server; });
        m_thread.quit();
        m_thread.wait();
    }

    QString serverName() const { return m_name; }
    QStringList requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    void sendRaw(const QByteArray& bytes)
    {
        run([this, bytes] {
            for (QLocalSocket* s : qAsConst(m_sockets))
                s->write(bytes);
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
                m_requests << (type == "powerAction" ? type + QString::number(req.value("action").toInt()) : type);
            }
            if (m_script.ignore.contains(type))
                continue;
            QJsonObject reply{{"type", "reply"}, {"seq", req.value("seq")}, {"result", true}};
            if (type == "hello")
                reply.insert("version", m_script.version);
            QJsonArray list;
            for (const TaskInfo& t : qAsConst(m_script.tasks))
                list.append(t.toJson());
            reply.insert("tasks", list);
            socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
        }
    }

    Script m_script;
    QString m_name;
    QThread m_thread;
    QObject m_worker; // lives on m_thread
    QLocalServer* m_server = nullptr;
    QList<QLocalSocket*> m_sockets; // children of the server
    mutable QMutex m_mutex;
    QStringList m_requests;
};
