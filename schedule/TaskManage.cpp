#include "schedule/TaskManage.h"

#include "core/RecordingSession.h"

#include <QApplication>
#include <QTimer>

#include "schedule/DlgAutoShutdownTips.h"
#include "platform/log/Log.h"
#include "core/StatusItem.h"
#include "schedule/TaskClientCall.h"

namespace {

const char* kLogModule = "TaskManage";
const int kReconnectMs = 3000;
TaskManage* g_pInstance = nullptr;

} // namespace

TaskManage::TaskManage()
    : QObject(nullptr), isTasking(RecordingSession::instance()->taskingFlag())
{
}

TaskManage::~TaskManage()
{
    delete m_pClient;
}

TaskManage* TaskManage::instance()
{
    if (!g_pInstance)
        g_pInstance = new TaskManage();
    return g_pInstance;
}

void TaskManage::release()
{
    delete g_pInstance;
    g_pInstance = nullptr;
}

void TaskManage::connectXPCServer()
{
    if (m_pClient)
        m_pClient->disconnect(this);
    delete m_pClient;
    m_pClient = m_clientFactory ? m_clientFactory() : new TaskClientCall();
    m_tasks.clear();
    if (!m_pClient)
        return;
    connect(m_pClient, &ITaskClient::startTaskRequested, this, &TaskManage::onStartTaskRequested);
    connect(m_pClient, &ITaskClient::connectionLost, this, &TaskManage::onConnectionLost);

    if (!m_pClient->connectToDaemon()) {
        Log(kLogModule, LogLevel::Info, "task daemon not connected; scheduled recordings are unavailable");
        return;
    }
    if (!m_pClient->listTasks(m_tasks))
        Log(kLogModule, LogLevel::Error, "task daemon connected but its task list could not be read");
    Log(kLogModule, LogLevel::Info, "task daemon connected, %d task(s)", static_cast<int>(m_tasks.size()));
}

void TaskManage::setMainWidBase(MainWindowBase* frame)
{
    m_pMainWidBase = frame;
}

bool TaskManage::isWaitTaskStart()
{
    bool waiting = false;
    if (!m_pClient || !m_pClient->isWaitTaskStart(waiting)) {
        Log(kLogModule, LogLevel::Error, "isWaitTaskStart failed");
        return false;
    }
    return waiting;
}

bool TaskManage::isConnected() const
{
    return m_pClient && m_pClient->isConnected();
}

bool TaskManage::isOpenTask() const
{
    if (!isConnected())
        return false;
    for (const TaskInfo& task : m_tasks) {
        if (task.enabled)
            return true;
    }
    return false;
}

bool TaskManage::isOutOfDate() const
{
    // With no request on record there is nothing fresh to start.
    if (!m_lastStartRequest.isValid())
        return true;
    return m_lastStartRequest.secsTo(now()) > ITaskClient::kStartFreshSeconds;
}

bool TaskManage::needStopRecord(qint64 seconds) const
{
    if (!m_bHasCurTask)
        return false;
    const RecordInfo& rec = m_curTask.record;
    bool stop = false;
    switch (rec.stopWay) {
    case TaskStopWay_Length:
        // No length is no rule: such a task is stopped by hand.
        stop = rec.lengthSeconds > 0 && seconds >= rec.lengthSeconds;
        break;
    case TaskStopWay_Time:
        stop = rec.stopTime.isValid() && now().msecsTo(rec.stopTime) < 1000;
        break;
    default:
        break;
    }
    if (stop) {
        Log(kLogModule, LogLevel::Info, "needStopRecord stop way:%d -- duration: %lld -- stop date:%s", rec.stopWay,
            static_cast<long long>(rec.lengthSeconds), qPrintable(rec.stopTime.toString(Qt::ISODate)));
    }
    return stop;
}

void TaskManage::taskCompleted(QWidget* parent, RecStopEvent ev)
{
    RecStopEvent action = ev;
    if (RecordingSession::instance()->endTask()) {
        action = m_bHasCurTask ? m_curTask.record.endAction : RecStopEvent_Nothing;
        if (m_bHasCurTask && isConnected())
            m_pClient->reportTask(m_curTask.id, QStringLiteral("completed"), QString());
    }
    Log(kLogModule, LogLevel::Info, "taskCompleted, end action %d", static_cast<int>(action));
    if (action == RecStopEvent_Nothing)
        return;
    // A second countdown on top of a running one would carry the action out
    // twice; the first one decides.
    if (m_bCountdownOpen) {
        Log(kLogModule, LogLevel::Info, "an end-of-task countdown is already open; action %d ignored",
            static_cast<int>(action));
        return;
    }

    m_bCountdownOpen = true;
    StatusItem::instance()->setActionEnable(false);
    auto* dlg = new DlgAutoShutdownTips(action, parent);
    dlg->setTickInterval(m_nTickMs);
    // The countdown leaves the caller at once; its answer decides the action
    // once it is gone. The tray's actions come back even when this
    // controller was released meanwhile.
    const QPointer<TaskManage> self(this);
    dlg->openThen(QCoreApplication::instance(), [self, action](int result) {
        if (self) {
            self->m_bCountdownOpen = false;
            if (result == QDialog::Accepted)
                self->runEndAction(action);
            else
                Log(kLogModule, LogLevel::Info, "end action %d cancelled", static_cast<int>(action));
        }
        StatusItem::instance()->setActionEnable(true);
    });
}

void TaskManage::runEndAction(RecStopEvent action)
{
    if (action == RecStopEvent_Exit) {
        Log(kLogModule, LogLevel::Info, "end action: exit the program");
        QTimer::singleShot(1, qApp, &QCoreApplication::quit);
        return;
    }
    if (action != RecStopEvent_ShutDown && action != RecStopEvent_Sleep)
        return;

    // The daemon runs with the rights to switch the machine off; without it
    // (the usual case here) the session asks systemd itself, which logind
    // allows for the user sitting at the machine.
    if (isConnected() && m_pClient->requestPowerAction(static_cast<int>(action))) {
        Log(kLogModule, LogLevel::Info, "end action %d handed to the task daemon", static_cast<int>(action));
        return;
    }
    if (!m_pPower)
        m_pPower.reset(new SystemPowerAction());
    const bool ok = action == RecStopEvent_ShutDown ? m_pPower->shutdown() : m_pPower->sleep();
    Log(kLogModule, ok ? LogLevel::Info : LogLevel::Error, "end action %d %s", static_cast<int>(action), ok ? "requested" : "failed");
}

void TaskManage::onStartTaskRequested(const TaskInfo& task)
{
    // A task's recording already running, or one passed on and not yet
    // taken by the home window, keeps its own stop rule and end action: a
    // second request must not replace them.
    const char* reason = nullptr;
    if (isTasking)
        reason = "another task's recording is running";
    else if (m_bHasCurTask && !isOutOfDate())
        reason = "another task's recording is starting";
    else if (m_busy && m_busy())
        reason = "a recording or preview is running";
    if (reason) {
        Log(kLogModule, LogLevel::Info, "task \"%s\" not started: %s", qPrintable(task.name), reason);
        if (isConnected())
            m_pClient->reportTask(task.id, QStringLiteral("refused"), QString::fromLatin1(reason));
        return;
    }
    m_curTask = task;
    m_bHasCurTask = true;
    m_lastStartRequest = now();
    Log(kLogModule, LogLevel::Info, "task \"%s\" asks to start, recwhat %d", qPrintable(task.name), task.record.recwhat);
    emit sigStartRecord(task.record.recwhat);
}

void TaskManage::onConnectionLost()
{
    // The daemon restarted (or was reinstalled): without a new connection
    // its next run would start a second program.
    Log(kLogModule, LogLevel::Info, "task daemon connection lost; reconnecting");
    if (!m_pReconnect) {
        m_pReconnect = new QTimer(this);
        m_pReconnect->setInterval(kReconnectMs);
        connect(m_pReconnect, &QTimer::timeout, this, [this] {
            if (!isConnected())
                connectXPCServer();
            if (isConnected())
                m_pReconnect->stop();
        });
    }
    m_pReconnect->start();
}

void TaskManage::reloadTasks()
{
    if (!isConnected() || !m_pClient->listTasks(m_tasks))
        m_tasks.clear();
}

ITaskClient* TaskManage::client() const
{
    return isConnected() ? m_pClient : nullptr;
}

void TaskManage::setBusyCheck(BusyCheck busy)
{
    m_busy = std::move(busy);
}

void TaskManage::setClientFactory(ClientFactory factory)
{
    m_clientFactory = std::move(factory);
}

void TaskManage::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void TaskManage::setPowerAction(std::unique_ptr<IPowerAction> power)
{
    m_pPower = std::move(power);
}

void TaskManage::setCountdownTickInterval(int ms)
{
    m_nTickMs = qMax(1, ms);
}

QDateTime TaskManage::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}
