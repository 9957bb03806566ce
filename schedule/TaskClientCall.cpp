#include "schedule/TaskClientCall.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTimer>

#include "core/UserRuntime.h"
#include "platform/log/Log.h"

namespace {

const char* kLogModule = "TaskClientCall";

} // namespace

TaskClientCall::TaskClientCall(const QString& serverName, QObject* parent)
    : ITaskClient(parent)
    , m_strServerName(serverName.isEmpty() ? taskDaemonSocketName(&m_strNameProblem) : serverName)
{
}

TaskClientCall::~TaskClientCall()
{
    if (m_pSocket) {
        // No connectionLost from a client that is going away.
        m_pSocket->disconnect(this);
        m_pSocket->abort();
    }
}

void TaskClientCall::setTimeouts(int connectMs, int replyMs)
{
    m_nConnectMs = qMax(0, connectMs);
    m_nReplyMs = qMax(0, replyMs);
}

bool TaskClientCall::connectToDaemon()
{
    if (m_pSocket) {
        m_pSocket->disconnect(this);
        m_pSocket->abort();
        m_pSocket->deleteLater();
        m_pSocket = nullptr;
    }
    m_bHandshaken = false;
    m_buffer.clear();
    m_replies.clear();

    if (m_strServerName.isEmpty()) {
        Log(kLogModule, LogLevel::Error, "task daemon not looked for: %s", qPrintable(m_strNameProblem));
        return false;
    }
    m_pSocket = new QLocalSocket(this);
    connect(m_pSocket, &QLocalSocket::readyRead, this, &TaskClientCall::readLines);
    connect(m_pSocket, &QLocalSocket::disconnected, this, &TaskClientCall::onDisconnected);

    m_pSocket->connectToServer(m_strServerName);
    if (m_pSocket->state() != QLocalSocket::ConnectedState
        && !m_pSocket->waitForConnected(m_nConnectMs)) {
        Log(kLogModule, LogLevel::Info, "task daemon not reachable at %s: %s", qPrintable(m_strServerName),
            qPrintable(m_pSocket->errorString()));
        m_pSocket->abort();
        return false;
    }
    // Whoever answers must be our own daemon, not another user's.
    QString why;
    if (!UserRuntime::peerIsThisUser(m_pSocket->socketDescriptor(), &why)) {
        Log(kLogModule, LogLevel::Error, "task daemon at %s refused: %s", qPrintable(m_strServerName), qPrintable(why));
        m_pSocket->abort();
        return false;
    }

    QJsonObject request;
    request.insert("version", kProtocolVersion);
    QJsonObject reply;
    if (!call(QStringLiteral("hello"), request, reply)) {
        Log(kLogModule, LogLevel::Error, "task daemon did not answer the handshake");
        m_pSocket->abort();
        return false;
    }
    const int version = reply.value("version").toInt(-1);
    if (version != kProtocolVersion) {
        Log(kLogModule, LogLevel::Error, "task daemon speaks protocol %d, expected %d", version, kProtocolVersion);
        m_pSocket->abort();
        return false;
    }
    m_bHandshaken = true;
    return true;
}

bool TaskClientCall::isConnected() const
{
    return m_bHandshaken && m_pSocket && m_pSocket->state() == QLocalSocket::ConnectedState;
}

bool TaskClientCall::listTasks(TaskList& tasks)
{
    tasks.clear();
    if (!isConnected())
        return false;
    QJsonObject reply;
    if (!call(QStringLiteral("listTasks"), QJsonObject(), reply))
        return false;
    const QJsonValue list = reply.value("tasks");
    if (!list.isArray())
        return false;
    for (const QJsonValue& v : list.toArray()) {
        if (v.isObject())
            tasks.append(TaskInfo::fromJson(v.toObject()));
    }
    return true;
}

bool TaskClientCall::isWaitTaskStart(bool& waiting)
{
    waiting = false;
    if (!isConnected())
        return false;
    QJsonObject reply;
    if (!call(QStringLiteral("isWaitTaskStart"), QJsonObject(), reply))
        return false;
    const QJsonValue result = reply.value("result");
    if (!result.isBool())
        return false;
    waiting = result.toBool();
    return true;
}

bool TaskClientCall::requestPowerAction(int action)
{
    if (!isConnected())
        return false;
    QJsonObject request;
    request.insert("action", action);
    QJsonObject reply;
    if (!call(QStringLiteral("powerAction"), request, reply))
        return false;
    return reply.value("result").toBool(false);
}

bool TaskClientCall::saveTask(const TaskInfo& task)
{
    return simpleCall(QStringLiteral("saveTask"), QJsonObject{{"task", task.toJson()}});
}

bool TaskClientCall::deleteTask(const QString& id)
{
    return simpleCall(QStringLiteral("deleteTask"), QJsonObject{{"id", id}});
}

bool TaskClientCall::reportTask(const QString& id, const QString& event, const QString& reason)
{
    return simpleCall(QStringLiteral("report"), QJsonObject{{"id", id}, {"event", event}, {"reason", reason}});
}

bool TaskClientCall::quitDaemon()
{
    return simpleCall(QStringLiteral("quit"), QJsonObject());
}

bool TaskClientCall::simpleCall(const QString& type, const QJsonObject& request)
{
    if (!isConnected())
        return false;
    QJsonObject reply;
    return call(type, request, reply) && reply.value("result").toBool(false);
}

bool TaskClientCall::call(const QString& type, QJsonObject request, QJsonObject& reply)
{
    if (!m_pSocket || m_pSocket->state() != QLocalSocket::ConnectedState)
        return false;

    const qint64 seq = ++m_nSeq;
    request.insert("type", type);
    request.insert("seq", static_cast<double>(seq));
    QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact);
    line.append('\n');

    m_replies.clear();
    m_nWaitingSeq = seq;
    QDeadlineTimer deadline(m_nReplyMs);
    if (m_pSocket->write(line) != line.size()) {
        m_nWaitingSeq = 0;
        Log(kLogModule, LogLevel::Error, "%s: write failed: %s", qPrintable(type), qPrintable(m_pSocket->errorString()));
        return false;
    }
    while (m_pSocket->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_pSocket->waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }

    while (!m_replies.contains(seq)) {
        if (deadline.hasExpired() || !m_pSocket || m_pSocket->state() != QLocalSocket::ConnectedState)
            break;
        m_pSocket->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        // readyRead may or may not have been delivered inside the wait.
        readLines();
    }
    m_nWaitingSeq = 0;
    if (!m_replies.contains(seq)) {
        Log(kLogModule, LogLevel::Error, "%s: no answer from the task daemon within %d ms", qPrintable(type), m_nReplyMs);
        return false;
    }
    reply = m_replies.take(seq);
    return true;
}

void TaskClientCall::readLines()
{
    if (!m_pSocket)
        return;
    m_buffer.append(m_pSocket->readAll());
    int start = 0;
    for (;;) {
        const int nl = m_buffer.indexOf('\n', start);
        if (nl < 0)
            break;
        const QByteArray line = m_buffer.mid(start, nl - start).trimmed();
        start = nl + 1;
        if (!line.isEmpty())
            handleLine(line);
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > kMaxLineBytes) {
        Log(kLogModule, LogLevel::Error, "task daemon sent an oversized message; dropping the connection");
        m_buffer.clear();
        m_bHandshaken = false;
        m_pSocket->abort();
    }
}

void TaskClientCall::handleLine(const QByteArray& line)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (!doc.isObject()) {
        Log(kLogModule, LogLevel::Error, "task daemon sent an unreadable line: %s", qPrintable(error.errorString()));
        return;
    }
    const QJsonObject obj = doc.object();
    const QString type = obj.value("type").toString();
    if (type == QLatin1String("reply")) {
        const qint64 seq = static_cast<qint64>(obj.value("seq").toDouble(-1));
        // Only the call now waiting takes an answer; late answers to calls
        // that already gave up are dropped.
        if (seq > 0 && seq == m_nWaitingSeq)
            m_replies.insert(seq, obj);
    } else if (type == QLatin1String("startTask")) {
        // Delivered from the event loop, never from inside a waiting call,
        // so the controller's slots do not run in the middle of another call.
        const bool first = m_pendingPushes.isEmpty();
        m_pendingPushes.append(TaskInfo::fromJson(obj.value("task").toObject()));
        if (first)
            QTimer::singleShot(0, this, &TaskClientCall::deliverPushes);
    } else {
        Log(kLogModule, LogLevel::Info, "task daemon sent unknown message type \"%s\"", qPrintable(type));
    }
}

void TaskClientCall::deliverPushes()
{
    const QList<TaskInfo> pushes = m_pendingPushes;
    m_pendingPushes.clear();
    for (const TaskInfo& task : pushes)
        emit startTaskRequested(task);
}

void TaskClientCall::onDisconnected()
{
    if (m_bHandshaken)
        Log(kLogModule, LogLevel::Info, "task daemon closed the connection");
    m_bHandshaken = false;
    emit connectionLost();
}
