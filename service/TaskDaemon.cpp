#include "service/TaskDaemon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QSaveFile>
#include <QUuid>

#include "core/UserRuntime.h"
#include "platform/log/Log.h"

namespace {

const char* kLog = "TaskDaemon";
// A program that has not connected this long after we started it is not
// coming; its waiting runs are dropped rather than started much later.
const int kLaunchWaitSeconds = 90;
// isWaitTaskStart looks this far ahead, so the program keeps its hands free
// for a run about to come.
const int kWaitAheadSeconds = 10;

QByteArray line(const QJsonObject& obj)
{
    return QJsonDocument(obj).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

TaskDaemon::TaskDaemon(Setup setup, QObject* parent)
    : QObject(parent)
    , m_setup(std::move(setup))
{
    connect(&m_server, &QLocalServer::newConnection, this, &TaskDaemon::onNewConnection);
    connect(&m_timer, &QTimer::timeout, this, &TaskDaemon::tick);
    QDir().mkpath(QFileInfo(m_setup.taskFile).absolutePath());
    m_lock.reset(new FileLock(m_setup.taskFile + QStringLiteral(".lock")));
    if (m_lock->state() == FileLock::HeldElsewhere) {
        Log(kLog, LogLevel::Info, "another task service already keeps %s; this one ends", qPrintable(m_setup.taskFile));
        return;
    }
    if (m_lock->state() != FileLock::Held) {
        Log(kLog, LogLevel::Error, "the task file cannot be locked: %s", qPrintable(m_lock->problem()));
        return;
    }
    m_bCanSave = true;
    load();
}

TaskDaemon::~TaskDaemon()
{
    // The server takes its sockets with it after our members are gone: their
    // disconnect handlers must not run then.
    for (QLocalSocket* socket : m_server.findChildren<QLocalSocket*>())
        socket->disconnect(this);
}

bool TaskDaemon::isDuplicate() const
{
    return m_lock->state() == FileLock::HeldElsewhere;
}

bool TaskDaemon::listen()
{
    if (m_lock->state() != FileLock::Held)
        return false;
    // A socket left by a daemon that died would refuse the name.
    QLocalServer::removeServer(m_setup.socketName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_setup.socketName)) {
        Log(kLog, LogLevel::Error, "cannot listen at %s: %s", qPrintable(m_setup.socketName), qPrintable(m_server.errorString()));
        return false;
    }
    Log(kLog, LogLevel::Info, "listening at %s with %d task(s)", qPrintable(m_setup.socketName), int(m_entries.size()));
    m_timer.start(500);
    tick();
    return true;
}

TaskList TaskDaemon::tasks() const
{
    TaskList list;
    for (const Entry& e : m_entries)
        list.append(e.task);
    return list;
}

QString TaskDaemon::saveTask(TaskInfo task)
{
    if (task.id.isEmpty())
        task.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    Entry entry{task, now()};
    bool replaced = false;
    for (Entry& e : m_entries) {
        if (e.task.id == task.id) {
            e = entry;
            replaced = true;
        }
    }
    if (!replaced)
        m_entries.append(entry);
    save();
    Log(kLog, LogLevel::Info, "task \"%s\" (%s) %s, next run %s", qPrintable(task.name), qPrintable(task.id),
        replaced ? "changed" : "added", qPrintable(task.nextRun(entry.handled).toString(Qt::ISODate)));
    return task.id;
}

bool TaskDaemon::deleteTask(const QString& id)
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).task.id == id) {
            Log(kLog, LogLevel::Info, "task \"%s\" deleted", qPrintable(m_entries.at(i).task.name));
            m_entries.removeAt(i);
            save();
            return true;
        }
    }
    return false;
}

void TaskDaemon::tick()
{
    const QDateTime t = now();
    bool changed = false;
    for (Entry& e : m_entries) {
        if (!e.task.enabled)
            continue;
        QDateTime run = e.task.nextRun(e.handled);
        // Every run that came due is settled once; only a fresh one starts.
        while (run.isValid() && run <= t) {
            e.handled = run;
            changed = true;
            if (run.secsTo(t) > kStaleSeconds) {
                Log(kLog, LogLevel::Info, "task \"%s\": run of %s missed (found %lld s late), not started",
                    qPrintable(e.task.name), qPrintable(run.toString(Qt::ISODate)),
                    static_cast<long long>(run.secsTo(t)));
                emit runMissed(e.task, run);
            } else {
                startRun(e.task.forRun(run));
            }
            run = e.task.nextRun(e.handled);
        }
        if (!run.isValid() && e.task.repeat == TaskRepeat_Once && e.handled.isValid()) {
            e.task.enabled = false;
            changed = true;
        }
    }
    if (changed)
        save();
    if (!m_pending.isEmpty() && m_launchedAt.isValid() && m_launchedAt.secsTo(t) > kLaunchWaitSeconds) {
        Log(kLog, LogLevel::Error, "the program did not connect within %d s; %d run(s) dropped", kLaunchWaitSeconds,
            int(m_pending.size()));
        m_pending.clear();
    }
}

void TaskDaemon::startRun(const TaskInfo& run)
{
    Log(kLog, LogLevel::Info, "task \"%s\" due at %s: asking the program to record (kind %d)", qPrintable(run.name),
        qPrintable(run.startTime.toString(Qt::ISODate)), run.record.recwhat);
    emit runStarted(run);
    if (!m_clients.isEmpty()) {
        for (QLocalSocket* socket : qAsConst(m_clients))
            push(socket, run);
        return;
    }
    m_pending.append(run);
    if (m_launchedAt.isValid() && m_launchedAt.secsTo(now()) <= kLaunchWaitSeconds)
        return;
    m_launchedAt = now();
    const bool started = QProcess::startDetached(m_setup.program, {QString::fromLatin1(kStartArgument)});
    Log(kLog, started ? LogLevel::Info : LogLevel::Error, "program not running: %s %s", qPrintable(m_setup.program),
        started ? "started" : "could not be started");
}

void TaskDaemon::push(QLocalSocket* socket, const TaskInfo& run)
{
    socket->write(line(QJsonObject{{"type", "startTask"}, {"task", run.toJson()}}));
}

void TaskDaemon::deliverPending()
{
    if (m_pending.isEmpty() || m_clients.isEmpty())
        return;
    const QList<TaskInfo> runs = m_pending;
    m_pending.clear();
    m_launchedAt = QDateTime();
    for (const TaskInfo& run : runs) {
        Log(kLog, LogLevel::Info, "task \"%s\": asking the program again now that it is up", qPrintable(run.name));
        for (QLocalSocket* socket : qAsConst(m_clients))
            push(socket, run);
    }
}

bool TaskDaemon::isWaiting() const
{
    if (!m_pending.isEmpty())
        return true;
    const QDateTime t = now();
    for (const Entry& e : m_entries) {
        const QDateTime run = e.task.enabled ? e.task.nextRun(e.handled) : QDateTime();
        if (run.isValid() && t.secsTo(run) <= kWaitAheadSeconds)
            return true;
    }
    return false;
}

void TaskDaemon::onNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        QString why;
        if (!UserRuntime::peerIsThisUser(socket->socketDescriptor(), &why)) {
            Log(kLog, LogLevel::Error, "connection refused: %s", qPrintable(why));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_clients.remove(socket);
            socket->deleteLater();
        });
    }
}

void TaskDaemon::readFrom(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
        const QString type = request.value("type").toString();
        QJsonObject reply = answer(socket, type, request);
        reply.insert("type", "reply");
        reply.insert("seq", request.value("seq"));
        socket->write(line(reply));
        if (type == QLatin1String("listTasks"))
            deliverPending();  // the program asks for the list once it is up
        else if (type == QLatin1String("quit")) {
            socket->flush();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    }
    if (socket->bytesAvailable() > TaskClientCall::kMaxLineBytes) {
        Log(kLog, LogLevel::Error, "a client sent %lld bytes without a line break; connection dropped",
            static_cast<long long>(socket->bytesAvailable()));
        socket->abort();
    }
}

QJsonObject TaskDaemon::answer(QLocalSocket* socket, const QString& type, const QJsonObject& request)
{
    if (type == QLatin1String("hello")) {
        m_clients.insert(socket);
        // The pid lets whoever installed us end us by id.
        return {{"version", TaskClientCall::kProtocolVersion},
                {"pid", static_cast<double>(QCoreApplication::applicationPid())}};
    }
    if (type == QLatin1String("listTasks")) {
        QJsonArray list;
        for (const Entry& e : qAsConst(m_entries))
            list.append(e.task.toJson());
        return {{"tasks", list}, {"result", true}};
    }
    if (type == QLatin1String("isWaitTaskStart"))
        return {{"result", isWaiting()}};
    if (type == QLatin1String("powerAction"))
        return {{"result", powerAction(request.value("action").toInt())}};
    if (type == QLatin1String("saveTask")) {
        const QString id = saveTask(TaskInfo::fromJson(request.value("task").toObject()));
        return {{"result", true}, {"id", id}};
    }
    if (type == QLatin1String("deleteTask"))
        return {{"result", deleteTask(request.value("id").toString())}};
    if (type == QLatin1String("report")) {
        Log(kLog, LogLevel::Info, "task %s %s by the program: %s", qPrintable(request.value("id").toString()),
            qPrintable(request.value("event").toString()), qPrintable(request.value("reason").toString()));
        return {{"result", true}};
    }
    if (type == QLatin1String("quit")) {
        Log(kLog, LogLevel::Info, "asked to quit");
        return {{"result", true}};
    }
    Log(kLog, LogLevel::Error, "unknown request \"%s\"", qPrintable(type));
    return {{"result", false}};
}

bool TaskDaemon::powerAction(int action)
{
    if (!m_setup.power || (action != RecStopEvent_ShutDown && action != RecStopEvent_Sleep))
        return false;
    Log(kLog, LogLevel::Info, "end action %d requested by the program", action);
    return action == RecStopEvent_ShutDown ? m_setup.power->shutdown() : m_setup.power->sleep();
}

void TaskDaemon::load()
{
    m_entries.clear();
    QFile file(m_setup.taskFile);
    if (!file.exists())
        return;
    QJsonParseError error{};
    const QJsonDocument doc = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error)
                                                              : QJsonDocument();
    const QJsonValue list = doc.object().value("tasks");
    if (!list.isArray()) {
        const QString why = file.isOpen() ? (doc.isNull() ? error.errorString() : QStringLiteral("no task list"))
                                          : file.errorString();
        file.close();
        keepAside(true, why);
        return;
    }
    int unusable = 0;
    for (const QJsonValue& v : list.toArray()) {
        const QJsonObject obj = v.toObject();
        Entry e{TaskInfo::fromJson(obj), QDateTime::fromString(obj.value("handled").toString(), Qt::ISODateWithMs)};
        if (e.task.id.isEmpty())
            ++unusable;
        else
            m_entries.append(e);
    }
    if (unusable > 0)
        keepAside(false, QStringLiteral("%1 task(s) without an id").arg(unusable));
}

void TaskDaemon::keepAside(bool move, const QString& reason)
{
    const QString base = m_setup.taskFile + QStringLiteral(".corrupt-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = base;
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = base + QLatin1Char('_') + QString::number(n);
    const bool kept = move ? QFile::rename(m_setup.taskFile, aside) : QFile::copy(m_setup.taskFile, aside);
    if (kept) {
        Log(kLog, LogLevel::Warning, "%s is damaged (%s): kept as %s", qPrintable(m_setup.taskFile), qPrintable(reason),
            qPrintable(aside));
        return;
    }
    // Left in place, it must not be overwritten either.
    m_bCanSave = false;
    Log(kLog, LogLevel::Error, "%s is damaged (%s) and cannot be kept aside; no task is saved until it is mended",
        qPrintable(m_setup.taskFile), qPrintable(reason));
}

void TaskDaemon::save() const
{
    if (!m_bCanSave) {
        Log(kLog, LogLevel::Error, "tasks not saved: %s is not ours to write", qPrintable(m_setup.taskFile));
        return;
    }
    QJsonArray list;
    for (const Entry& e : m_entries) {
        QJsonObject obj = e.task.toJson();
        obj.insert("handled", e.handled.toString(Qt::ISODateWithMs));
        list.append(obj);
    }
    // Written whole or not at all: a daemon killed mid-write keeps its tasks.
    QSaveFile file(m_setup.taskFile);
    if (!file.open(QIODevice::WriteOnly)) {
        Log(kLog, LogLevel::Error, "cannot write %s", qPrintable(m_setup.taskFile));
        return;
    }
    file.write(QJsonDocument(QJsonObject{{"tasks", list}}).toJson());
    file.commit();
}
