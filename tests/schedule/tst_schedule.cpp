// The daemon client over its socket against scripted daemons, and the task
// controller against a power double (a unit test never switches off the machine).
#include <QtTest>
#include <QPushButton>

#include <memory>

#include "FakeTaskDaemon.h"
#include "app/SystemStatusBar.h"
#include "core/SignalsTransfer.h"
#include "schedule/DlgAutoShutdownTips.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskManage.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/SessionHelpers.h"
#include "tests/support/WidgetTestHelpers.h"


namespace {

TaskInfo task(int recwhat, int stopWay, RecStopEvent end, bool enabled = true, const QString& id = "t1")
{
    TaskInfo t;
    t.id = id;
    t.name = QStringLiteral("Morning news");
    t.enabled = enabled;
    t.startTime = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::OffsetFromUTC, 7200);
    t.record.recwhat = recwhat;
    t.record.stopWay = stopWay;
    t.record.lengthSeconds = 90;
    t.record.stopTime = QDateTime(QDate(2024, 5, 6), QTime(8, 0, 0), Qt::OffsetFromUTC, 7200);
    t.record.endAction = end;
    return t;
}

class ScriptedClient : public ITaskClient
{
public:
    bool connected = false;
    bool powerResult = false;
    QList<int> powerRequests;

    bool connectToDaemon() override { return connected; }
    bool isConnected() const override { return connected; }
    bool listTasks(TaskList&) override { return connected; }
    bool isWaitTaskStart(bool& waiting) override
    {
        waiting = connected;
        return connected;
    }
    bool requestPowerAction(int action) override
    {
        powerRequests << action;
        return powerResult;
    }
    QStringList reports;
    bool reportTask(const QString& id, const QString& event, const QString&) override
    {
        reports << id + ' ' + event;
        return true;
    }
    void push(const TaskInfo& task) { emit startTaskRequested(task); }
};

struct PowerLog
{
    int shutdowns = 0;
    int sleeps = 0;
};

// Counts into the test's log; the controller owns it.
class RecordingPower : public IPowerAction
{
public:
    explicit RecordingPower(PowerLog* log) : m_log(log) {}
    bool shutdown() override { return ++m_log->shutdowns > 0; }
    bool sleep() override { return ++m_log->sleeps > 0; }

private:
    PowerLog* m_log;
};

} // namespace

class TstSchedule : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<TaskInfo>();
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        m_power = PowerLog();
        m_now = QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0));
        TaskManage* tm = TaskManage::instance();
        tm->setPowerAction(std::make_unique<RecordingPower>(&m_power));
        tm->setClock([this] { return m_now; });
        tm->setCountdownTickInterval(1);
        m_pClient = nullptr;
        tm->setClientFactory([this] {
            m_pClient = new ScriptedClient();
            return m_pClient;
        });
    }

    void cleanup()
    {
        TaskManage::release();
        QVERIFY(SystemStatusBar::instance()->actionEnable());
    }

    void taskRecordRoundTripAndDamagedRecord()
    {
        const TaskInfo in = task(4, TaskStopWay_Time, RecStopEvent_Sleep, true, "a");
        QCOMPARE(TaskInfo::fromJson(in.toJson()).toJson(), in.toJson());
        // Damaged fields fall back to something harmless.
        const QJsonObject rec{{"stopWay", 9}, {"endAction", 7}};
        const TaskInfo t = TaskInfo::fromJson(QJsonObject{{"record", rec}});
        QCOMPARE(t.record.stopWay, int(TaskStopWay_Manual));
        QCOMPARE(t.record.endAction, RecStopEvent_Nothing);
    }

    void missingDaemonFailsAtOnce()
    {
        TaskClientCall client(QDir::tempPath() + "/srfake-nobody-listens");
        client.setTimeouts(20000, 20000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!client.connectToDaemon());
        bool waiting = true;
        QVERIFY(!client.isWaitTaskStart(waiting));
        QVERIFY(!waiting);
        TaskList tasks;
        QVERIFY(!client.listTasks(tasks));
        QVERIFY(!client.requestPowerAction(1));
        // Nothing to wait for: the calls must not wait for their time-outs.
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    }

    void silentDaemonGivesFalseAfterTheBound()
    {
        FakeTaskDaemon::Script script;
        script.ignore = {"hello"};
        FakeTaskDaemon daemon(script);
        TaskClientCall client(daemon.serverName());
        client.setTimeouts(1000, 300);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!client.connectToDaemon());
        QVERIFY(!client.isConnected());
        QVERIFY(clock.elapsed() >= 250);
        QTRY_COMPARE(daemon.requests(), QStringList{"hello"});

        // Silent on one call after the handshake: that call fails, the next
        // one is not confused by anything left over.
        script.ignore = {"isWaitTaskStart"};
        script.tasks = {task(1, TaskStopWay_Manual, RecStopEvent_Nothing)};
        FakeTaskDaemon second(script);
        TaskClientCall other(second.serverName());
        other.setTimeouts(30000, 3000);
        QVERIFY(other.connectToDaemon());
        bool waiting = true;
        QVERIFY(!other.isWaitTaskStart(waiting));
        QVERIFY(!waiting);
        TaskList tasks;
        QVERIFY(other.listTasks(tasks));
        QCOMPARE(tasks.size(), 1);
    }

    void oldProtocolIsNotConnected()
    {
        FakeTaskDaemon::Script script;
        script.version = TaskClientCall::kProtocolVersion - 1;
        FakeTaskDaemon daemon(script);
        TaskClientCall client(daemon.serverName());
        QVERIFY(!client.connectToDaemon());
        TaskList tasks;
        QVERIFY(!client.listTasks(tasks));
    }

    void answeringDaemonListsTasksAndPushesStarts()
    {
        FakeTaskDaemon::Script script;
        script.tasks = {task(1, TaskStopWay_Manual, RecStopEvent_Nothing, false, "1"),
                        task(2, TaskStopWay_Manual, RecStopEvent_Nothing, true, "2")};
        FakeTaskDaemon daemon(script);
        TaskClientCall client(daemon.serverName());
        client.setTimeouts(30000, 30000);
        QVERIFY(client.connectToDaemon());
        TaskList tasks;
        QVERIFY(client.listTasks(tasks));
        QCOMPARE(tasks.size(), 2);
        QCOMPARE(tasks.at(1).record.recwhat, 2);
        QVERIFY(client.requestPowerAction(2));
        QCOMPARE(daemon.requests(), (QStringList{"hello", "listTasks", "powerAction2"}));

        // Garbage is skipped; a push that arrives while a call waits is kept
        // for the event loop.
        QSignalSpy spy(&client, &ITaskClient::startTaskRequested);
        const QJsonObject push{{"type", "startTask"},
                               {"task", task(4, TaskStopWay_Manual, RecStopEvent_Nothing).toJson()}};
        daemon.sendRaw("not json\n{\"type\":\"reply\",\"seq\":99}\n"
                       + QJsonDocument(push).toJson(QJsonDocument::Compact) + "\n");
        bool waiting = false;
        QVERIFY(client.isWaitTaskStart(waiting));
        QVERIFY(waiting);
        QCOMPARE(spy.count(), 0);
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<TaskInfo>().record.recwhat, 4);
    }

    void answeringDaemonOpensTasks()
    {
        FakeTaskDaemon::Script script;
        script.tasks = {task(1, TaskStopWay_Manual, RecStopEvent_Nothing, false),
                        task(2, TaskStopWay_Manual, RecStopEvent_Nothing, true)};
        FakeTaskDaemon daemon(script);
        TaskManage* tm = TaskManage::instance();
        const QString name = daemon.serverName();
        tm->setClientFactory([name] { return new TaskClientCall(name); });
        tm->connectXPCServer();
        QVERIFY(tm->isConnected());
        QVERIFY(tm->isOpenTask());
        QVERIFY(tm->isWaitTaskStart());
        QCOMPARE(tm->tasks().size(), 2);
        // The daemon goes away: nothing is open any more.
        daemon.dropClients();
        QTRY_VERIFY(!tm->isConnected());
        QVERIFY(!tm->isOpenTask());
    }

    void startRequestOnlyWhenNotBusy()
    {
        TaskManage* tm = TaskManage::instance();
        bool busy = true;
        tm->setBusyCheck([&busy] { return busy; });
        tm->connectXPCServer();
        QVERIFY(m_pClient);
        QSignalSpy spy(tm, &TaskManage::sigStartRecord);

        m_pClient->push(task(4, TaskStopWay_Length, RecStopEvent_Nothing));
        // A refused request leaves no task behind to stop or end.
        QVERIFY(tm->currentTask().id.isEmpty());

        busy = false;
        m_pClient->push(task(4, TaskStopWay_Length, RecStopEvent_Nothing));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 4);

        // While that task records, another request changes nothing.
        QVERIFY(RecordingSession::instance()->beginTask());
        m_pClient->push(task(1, TaskStopWay_Manual, RecStopEvent_ShutDown, true, "t2"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(tm->currentTask().id, QString("t1"));
        QVERIFY(RecordingSession::instance()->endTask());
        tm->setBusyCheck(nullptr);
    }

    void secondRequestWhileStartingIsRefusedAndReported()
    {
        TaskManage* tm = TaskManage::instance();
        tm->connectXPCServer();
        m_pClient->connected = true;
        QSignalSpy spy(tm, &TaskManage::sigStartRecord);
        m_pClient->push(task(1, TaskStopWay_Length, RecStopEvent_Nothing, true, "first"));
        // Not yet taken by the home window: the first keeps its rules.
        m_pClient->push(task(4, TaskStopWay_Manual, RecStopEvent_ShutDown, true, "second"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(tm->currentTask().id, QString("first"));
        QCOMPARE(m_pClient->reports, QStringList{"second refused"});
        m_now = m_now.addSecs(5);
        m_pClient->push(task(2, TaskStopWay_Manual, RecStopEvent_Nothing, true, "third"));
        QCOMPARE(spy.count(), 2);
    }

    void outOfDateAfterMoreThanFourSeconds()
    {
        TaskManage* tm = TaskManage::instance();
        tm->connectXPCServer();
        QVERIFY(tm->isOutOfDate());  // no request yet
        m_pClient->push(task(1, TaskStopWay_Manual, RecStopEvent_Nothing));
        QVERIFY(!tm->isOutOfDate());
        m_now = m_now.addMSecs(4999);  // still 4 whole seconds
        QVERIFY(!tm->isOutOfDate());
        m_now = m_now.addMSecs(1);
        QVERIFY(tm->isOutOfDate());
    }

    void needStopRecordByLengthOrTime()
    {
        TaskManage* tm = TaskManage::instance();
        QVERIFY(!tm->needStopRecord(1000000)); // no task
        tm->connectXPCServer();
        TaskInfo t = task(1, TaskStopWay_Length, RecStopEvent_Nothing);
        t.record.lengthSeconds = 60;
        m_pClient->push(t);
        QVERIFY(!tm->needStopRecord(59));
        QVERIFY(tm->needStopRecord(60));

        // A length rule without a length leaves the stop to the user.
        t.record.lengthSeconds = 0;
        m_now = m_now.addSecs(5);
        m_pClient->push(t);
        QVERIFY(!tm->needStopRecord(0));
        QVERIFY(!tm->needStopRecord(100000));

        m_now = m_now.addSecs(5);
        t.record.stopWay = TaskStopWay_Time;
        t.record.stopTime = m_now.addSecs(10);
        t.record.lengthSeconds = 1; // not the rule here
        m_pClient->push(t);
        QVERIFY(!tm->needStopRecord(5000));
        m_now = m_now.addMSecs(9000);
        QVERIFY(!tm->needStopRecord(0));
        m_now = m_now.addMSecs(1); // 999 ms left
        QVERIFY(tm->needStopRecord(0));
    }

    void cancelledCountdownDoesNothing()
    {
        TaskManage* tm = TaskManage::instance();
        tm->setCountdownTickInterval(1000);
        QSignalSpy hotkeys(SignalsTransfer::instance(), &SignalsTransfer::hotKeyEnable);
        bool barEnabledDuring = true;
        ModalDriver driver;
        driver.expect(
            [&](QWidget* w) {
                barEnabledDuring = SystemStatusBar::instance()->actionEnable();
                QTest::mouseClick(w->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
            },
            "DlgAutoShutdownTips");
        QVERIFY(testsupport::returnsWithoutLoop([tm] { tm->taskCompleted(nullptr, RecStopEvent_ShutDown); }));
        DRIVER_DONE(driver, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(SystemStatusBar::instance()->actionEnable(), 30000);
        QVERIFY(!barEnabledDuring);
        QCOMPARE(hotkeys.count(), 2);
        QCOMPARE(hotkeys.at(1).at(0).toBool(), true);
        QCOMPARE(m_power.shutdowns + m_power.sleeps, 0);
    }

    void taskEndActionWinsOverTheCaller()
    {
        TaskManage* tm = TaskManage::instance();
        tm->connectXPCServer();
        m_pClient->push(task(1, TaskStopWay_Manual, RecStopEvent_Sleep));
        QVERIFY(RecordingSession::instance()->beginTask());
        ModalDriver driver;
        driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
        tm->taskCompleted(nullptr, 0);
        DRIVER_DONE(driver, 30000);
        QVERIFY(!tm->isTasking);
        QTRY_COMPARE_WITH_TIMEOUT(m_power.sleeps, 1, 30000);
        QCOMPARE(m_power.shutdowns, 0);

        // The task says "do nothing": the caller's shut down is not used.
        m_now = m_now.addSecs(5);
        m_pClient->push(task(1, TaskStopWay_Manual, RecStopEvent_Nothing));
        QVERIFY(RecordingSession::instance()->beginTask());
        tm->taskCompleted(nullptr, RecStopEvent_ShutDown);
        DRIVER_DONE(driver, 5000);
        QVERIFY(!tm->isTasking);
        QCOMPARE(m_power.shutdowns, 0);
    }

    void connectedDaemonSwitchesOffOrFallsBack()
    {
        TaskManage* tm = TaskManage::instance();
        tm->setClientFactory([this] {
            m_pClient = new ScriptedClient();
            m_pClient->connected = true;
            m_pClient->powerResult = true;
            return m_pClient;
        });
        tm->connectXPCServer();
        ModalDriver driver;
        driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
        tm->taskCompleted(nullptr, RecStopEvent_ShutDown);
        QTRY_COMPARE_WITH_TIMEOUT(m_pClient->powerRequests, QList<int>{1}, 30000);
        QCOMPARE(m_power.shutdowns, 0);

        // The daemon refuses: the session's own action is the fallback.
        m_pClient->powerResult = false;
        driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
        tm->taskCompleted(nullptr, RecStopEvent_Sleep);
        DRIVER_DONE(driver, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(m_pClient->powerRequests, (QList<int>{1, 2}), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(m_power.sleeps, 1, 30000);
    }
    // last: it ends the application's loop
    void exitEndsTheEventLoop()
    {
        TaskManage* tm = TaskManage::instance();
        ModalDriver driver;
        driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
        tm->taskCompleted(nullptr, RecStopEvent_Exit);
        // The quit is due 1 ms later; the watchdog only fires if it never comes.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        watchdog.start(30000);
        QCOMPARE(QApplication::exec(), 0);
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.pendingSteps(), 0);
        QCOMPARE(m_power.shutdowns + m_power.sleeps, 0);
    }

private:
    ScriptedClient* m_pClient = nullptr; // owned by the controller
    PowerLog m_power;
    QDateTime m_now;
};

QTEST_MAIN(TstSchedule)
#include "tst_schedule.moc"
