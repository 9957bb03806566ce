#include "FakeTaskDaemon.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {
QAtomicInt g_nextId;
}

FakeTaskDaemon::FakeTaskDaemon(const Script& script)
    : m_script(script)
{
    m_strName = QDir::tempPath() + QStringLiteral("/srfake-%1-%2")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(g_nextId.fetchAndAddRelaxed(1));
    m_pThread = new QThread();
    m_pWorker = new QObject();
    m_pWorker->moveToThread(m_pThread);
    m_pThread->start();
    QMetaObject::invokeMethod(
        m_pWorker,
        [this] {
            m_pServer = new QLocalServer(m_pWorker);
            QLocalServer::removeServer(m_strName);
            m_bListening = m_pServer->listen(m_strName);
            QObject::connect(m_pServer, &QLocalServer::newConnection, m_pWorker, [this] { onNewConnection(); });
        },
        Qt::BlockingQueuedConnection);
}

FakeTaskDaemon::~FakeTaskDaemon()
{
    QMetaObject::invokeMethod(
        m_pWorker,
        [this] {
            for (QLocalSocket* s : m_sockets)
                s->abort();
            qDeleteAll(m_sockets);
            m_sockets.clear();
            delete m_pServer;
            m_pServer = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_pThread->quit();
    m_pThread->wait();
    delete m_pWorker;
    delete m_pThread;
}

QStringList FakeTaskDaemon::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QList<int> FakeTaskDaemon::powerActions() const
{
    QMutexLocker lock(&m_mutex);
    return m_power;
}

void FakeTaskDaemon::pushStartTask(const TaskInfo& task)
{
    QMetaObject::invokeMethod(
        m_pWorker,
        [this, task] {
            QJsonObject msg;
            msg.insert("type", "startTask");
            msg.insert("task", task.toJson());
            const QByteArray line = QJsonDocument(msg).toJson(QJsonDocument::Compact) + '\n';
            for (QLocalSocket* s : m_sockets) {
                s->write(line);
                s->flush();
            }
        },
        Qt::BlockingQueuedConnection);
}

void FakeTaskDaemon::dropClients()
{
    QMetaObject::invokeMethod(
        m_pWorker,
        [this] {
            for (QLocalSocket* s : m_sockets)
                s->disconnectFromServer();
        },
        Qt::BlockingQueuedConnection);
}

void FakeTaskDaemon::sendRaw(const QByteArray& bytes)
{
    QMetaObject::invokeMethod(
        m_pWorker,
        [this, bytes] {
            for (QLocalSocket* s : m_sockets) {
                s->write(bytes);
                s->flush();
            }
        },
        Qt::BlockingQueuedConnection);
}

void FakeTaskDaemon::onNewConnection()
{
    while (QLocalSocket* s = m_pServer->nextPendingConnection()) {
        s->setParent(nullptr);
        m_sockets.append(s);
        QObject::connect(s, &QLocalSocket::readyRead, m_pWorker, [this, s] { onReadyRead(s); });
    }
}

void FakeTaskDaemon::onReadyRead(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QJsonObject req = QJsonDocument::fromJson(socket->readLine()).object();
        const QString type = req.value("type").toString();
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append(type);
            if (type == QLatin1String("powerAction"))
                m_power.append(req.value("action").toInt());
        }
        if (m_script.ignore.contains(type))
            continue;
        QJsonObject reply;
        reply.insert("type", "reply");
        reply.insert("seq", req.value("seq"));
        if (type == QLatin1String("hello")) {
            reply.insert("version", m_script.version);
        } else if (type == QLatin1String("listTasks")) {
            QJsonArray list;
            for (const TaskInfo& t : m_script.tasks)
                list.append(t.toJson());
            reply.insert("tasks", list);
        } else if (type == QLatin1String("isWaitTaskStart")) {
            reply.insert("result", m_script.waiting);
        } else if (type == QLatin1String("powerAction")) {
            reply.insert("result", m_script.powerResult);
        }
        socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
        socket->flush();
    }
}
