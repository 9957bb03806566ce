// The task controller: connection facts, start requests, stop rules, and
// the end action with its countdown, run against a scripted client and a
// power double (a unit test must never switch the machine off).
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "schedule/DlgAutoShutdownTips.h"
#include "FakeTaskDaemon.h"
#include "tests/support/ModalDriver.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskManage.h"
#include "schedule/dlgTaskScheduler.h"

namespace {

class ScriptedClient : public ITaskClient
{
public:
    bool connected = false;
    TaskList list;
    bool powerResult = false;
    QList<int> powerRequests;

    bool connectToDaemon() override { return connected; }
    bool isConnected() const override { return connected; }
    bool listTasks(TaskList& tasks) override
    {
        tasks = list;
        return connected;
    }
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
    void push(const TaskInfo& task) { emit startTaskRequested(task); }
};

struct PowerLog
{
    int shutdowns = 0;
    int sleeps = 0;
};

class RecordingPower : public IPowerAction
{
public:
    explicit RecordingPower(std::shared_ptr<PowerLog> log) : m_log(std::move(log)) {}
    bool shutdown() override { return ++m_log->shutdowns > 0; }
    bool sleep() override { return ++m_log->sleeps > 0; }

private:
    std::shared_ptr<PowerLog> m_log;
};

TaskInfo task(int recwhat, int stopWay, RecStopEvent end, bool enabled = true)
{
    TaskInfo t;
    t.id = QStringLiteral("t1");
    t.name = QStringLiteral("Morning news");
    t.enabled = enabled;
    t.record.recwhat = recwhat;
    t.record.stopWay = stopWay;
    t.record.endAction = end;
    return t;
}

} // namespace

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

class TstTaskManage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void answeringDaemonOpensTasks();
    void startRequestOnlyWhenNotBusy();
    void outOfDateAfterMoreThanFourSeconds();
    void needStopRecordByLength();
    void needStopRecordByTime();
    void nothingToDoShowsNothing();
    void cancelledCountdownDoesNothing();
    void countdownRunsOutShutsDownOnce();
    void taskEndActionWinsOverTheCaller();
    void connectedDaemonSwitchesOffOrFallsBack();
    void schedulerWithoutDaemonOffersInstall();
    void schedulerListsTasks();
    void exitEndsTheEventLoop();  // last: it ends the application's loop

private:
    ScriptedClient* m_pClient = nullptr;  // owned by the controller
    std::shared_ptr<PowerLog> m_power;
    QDateTime m_now;
};

void TstTaskManage::initTestCase()
{
    qRegisterMetaType<TaskInfo>();
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void TstTaskManage::init()
{
    m_power = std::make_shared<PowerLog>();
    m_now = QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0));
    TaskManage* tm = TaskManage::instance();
    tm->setPowerAction(std::make_unique<RecordingPower>(m_power));
    tm->setClock([this] { return m_now; });
    tm->setCountdownTickInterval(1);
    m_pClient = nullptr;
    tm->setClientFactory([this] {
        m_pClient = new ScriptedClient();
        return m_pClient;
    });
}

void TstTaskManage::cleanup()
{
    TaskManage::release();
    QVERIFY(SystemStatusBar::instance()->actionEnable());
}

void TstTaskManage::answeringDaemonOpensTasks()
{
    FakeTaskDaemon::Script script;
    script.tasks = {task(1, TaskStopWay_Manual, RecStopEvent_Nothing, false),
                    task(2, TaskStopWay_Manual, RecStopEvent_Nothing, true)};
    script.waiting = true;
    FakeTaskDaemon daemon(script);
    TaskManage* tm = TaskManage::instance();
    const QString name = daemon.serverName();
    tm->setClientFactory([name] { return new TaskClientCall(name); });
    tm->connectXPCServer();
    QVERIFY(tm->isConnected());
    QVERIFY(tm->isOpenTask());
    QVERIFY(tm->isWaitTaskStart());
    QCOMPARE(tm->tasks().size(), 2);

    // Reconnecting starts from an empty list; all tasks disabled: not open.
    script.tasks = {task(1, TaskStopWay_Manual, RecStopEvent_Nothing, false)};
    FakeTaskDaemon second(script);
    const QString name2 = second.serverName();
    tm->setClientFactory([name2] { return new TaskClientCall(name2); });
    tm->connectXPCServer();
    QVERIFY(tm->isConnected());
    QCOMPARE(tm->tasks().size(), 1);
    QVERIFY(!tm->isOpenTask());
    // The daemon goes away: nothing is open any more.
    second.dropClients();
    QTRY_VERIFY(!tm->isConnected());
    QVERIFY(!tm->isOpenTask());
}

void TstTaskManage::startRequestOnlyWhenNotBusy()
{
    TaskManage* tm = TaskManage::instance();
    bool busy = true;
    tm->setBusyCheck([&busy] { return busy; });
    tm->connectXPCServer();
    QVERIFY(m_pClient);
    QSignalSpy spy(tm, &TaskManage::sigStartRecord);

    m_pClient->push(task(4, TaskStopWay_Length, RecStopEvent_Nothing));
    QCOMPARE(spy.count(), 0);
    // A refused request leaves no task behind to stop or end.
    QVERIFY(tm->currentTask().id.isEmpty());

    busy = false;
    m_pClient->push(task(4, TaskStopWay_Length, RecStopEvent_Nothing));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 4);
    QCOMPARE(tm->currentTask().id, QString("t1"));

    // While that task records, another request changes nothing.
    tm->isTasking = true;
    TaskInfo other = task(1, TaskStopWay_Manual, RecStopEvent_ShutDown);
    other.id = "t2";
    m_pClient->push(other);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(tm->currentTask().id, QString("t1"));
    tm->isTasking = false;
    tm->setBusyCheck(nullptr);
}

void TstTaskManage::outOfDateAfterMoreThanFourSeconds()
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

void TstTaskManage::needStopRecordByLength()
{
    TaskManage* tm = TaskManage::instance();
    QVERIFY(!tm->needStopRecord(1000000));  // no task
    tm->connectXPCServer();
    TaskInfo t = task(1, TaskStopWay_Length, RecStopEvent_Nothing);
    t.record.lengthSeconds = 60;
    m_pClient->push(t);
    QVERIFY(!tm->needStopRecord(0));
    QVERIFY(!tm->needStopRecord(59));
    QVERIFY(tm->needStopRecord(60));
    QVERIFY(tm->needStopRecord(61));
}

void TstTaskManage::needStopRecordByTime()
{
    TaskManage* tm = TaskManage::instance();
    tm->connectXPCServer();
    TaskInfo t = task(1, TaskStopWay_Time, RecStopEvent_Nothing);
    t.record.stopTime = m_now.addSecs(10);
    t.record.lengthSeconds = 1;  // not the rule here
    m_pClient->push(t);
    QVERIFY(!tm->needStopRecord(5000));
    m_now = m_now.addMSecs(9000);
    QVERIFY(!tm->needStopRecord(0));
    m_now = m_now.addMSecs(1);  // 999 ms left
    QVERIFY(tm->needStopRecord(0));
    m_now = m_now.addSecs(60);
    QVERIFY(tm->needStopRecord(0));
}

void TstTaskManage::nothingToDoShowsNothing()
{
    TaskManage* tm = TaskManage::instance();
    QSignalSpy hotkeys(SignalsTransfer::instance(), &SignalsTransfer::hotKeyEnable);
    ModalDriver driver;  // no step: any dialog is a failure
    tm->taskCompleted(nullptr, 0);
    tm->taskCompleted(nullptr, RecStopEvent_Nothing);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(hotkeys.count(), 0);
    QCOMPARE(m_power->shutdowns + m_power->sleeps, 0);
}

void TstTaskManage::cancelledCountdownDoesNothing()
{
    TaskManage* tm = TaskManage::instance();
    tm->setCountdownTickInterval(1000);
    QSignalSpy hotkeys(SignalsTransfer::instance(), &SignalsTransfer::hotKeyEnable);
    bool barEnabledDuring = true;
    QString text;
    ModalDriver driver;
    driver.expect(
        [&](QWidget* w) {
            barEnabledDuring = SystemStatusBar::instance()->actionEnable();
            text = w->findChild<QLabel*>("lblTips")->text();
            QTest::mouseClick(w->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        },
        "DlgAutoShutdownTips");
    tm->taskCompleted(nullptr, RecStopEvent_ShutDown);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
    QVERIFY(!barEnabledDuring);
    QVERIFY2(text.contains("shut down") && text.contains("30"), qPrintable(text));
    QCOMPARE(hotkeys.count(), 2);
    QCOMPARE(hotkeys.at(0).at(0).toBool(), false);
    QCOMPARE(hotkeys.at(1).at(0).toBool(), true);
    QCOMPARE(m_power->shutdowns + m_power->sleeps, 0);
    QVERIFY(SystemStatusBar::instance()->actionEnable());
}

void TstTaskManage::countdownRunsOutShutsDownOnce()
{
    TaskManage* tm = TaskManage::instance();
    tm->connectXPCServer();  // no daemon: the local action is used
    ModalDriver driver;
    driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");  // let it run out
    tm->taskCompleted(nullptr, RecStopEvent_ShutDown);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
    QCOMPARE(m_power->shutdowns, 1);
    QCOMPARE(m_power->sleeps, 0);

    driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
    tm->taskCompleted(nullptr, RecStopEvent_Sleep);
    VERIFY_DRIVER(driver);
    QCOMPARE(m_power->shutdowns, 1);
    QCOMPARE(m_power->sleeps, 1);
}

void TstTaskManage::taskEndActionWinsOverTheCaller()
{
    TaskManage* tm = TaskManage::instance();
    tm->connectXPCServer();
    m_pClient->push(task(1, TaskStopWay_Manual, RecStopEvent_Sleep));
    tm->isTasking = true;
    ModalDriver driver;
    driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
    tm->taskCompleted(nullptr, 0);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
    QVERIFY(!tm->isTasking);
    QCOMPARE(m_power->sleeps, 1);
    QCOMPARE(m_power->shutdowns, 0);

    // The task says "do nothing": the caller's shut down is not used.
    m_pClient->push(task(1, TaskStopWay_Manual, RecStopEvent_Nothing));
    tm->isTasking = true;
    tm->taskCompleted(nullptr, RecStopEvent_ShutDown);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QVERIFY(!tm->isTasking);
    QCOMPARE(m_power->shutdowns, 0);
}

void TstTaskManage::connectedDaemonSwitchesOffOrFallsBack()
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
    QCOMPARE(m_pClient->powerRequests, QList<int>{1});
    QCOMPARE(m_power->shutdowns, 0);

    // The daemon refuses: the session's own action is the fallback.
    m_pClient->powerResult = false;
    driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
    tm->taskCompleted(nullptr, RecStopEvent_Sleep);
    VERIFY_DRIVER(driver);
    QCOMPARE(m_pClient->powerRequests, (QList<int>{1, 2}));
    QCOMPARE(m_power->sleeps, 1);
}

void TstTaskManage::schedulerWithoutDaemonOffersInstall()
{
    TaskManage::instance()->connectXPCServer();
    dlgTaskScheduler dlg;
    QCOMPARE(dlg.currentPage(), int(dlgTaskScheduler::PageNotConnected));
    QVERIFY(dlg.findChild<QLabel*>("lblNotConnected")->text().contains("not installed"));
    ModalDriver driver;
    driver.clickButton(QMessageBox::Ok);
    dlg.findChild<QPushButton*>("btnInstall")->click();
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.seen().size(), 1);
    QVERIFY2(driver.seen().at(0).text.contains("cannot be installed"), qPrintable(driver.seen().at(0).text));
}

void TstTaskManage::schedulerListsTasks()
{
    TaskManage* tm = TaskManage::instance();
    tm->setClientFactory([this] {
        m_pClient = new ScriptedClient();
        m_pClient->connected = true;
        TaskInfo a = task(2, TaskStopWay_Length, RecStopEvent_Exit, true);
        a.record.lengthSeconds = 3725;
        m_pClient->list = {a, task(1, TaskStopWay_Manual, RecStopEvent_Nothing, false)};
        return m_pClient;
    });
    tm->connectXPCServer();
    dlgTaskScheduler dlg;
    QCOMPARE(dlg.currentPage(), int(dlgTaskScheduler::PageTasks));
    QTreeWidget* tree = dlg.taskList();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("Morning news"));
    QCOMPARE(tree->topLevelItem(0)->text(2), QString("Audio"));
    QCOMPARE(tree->topLevelItem(0)->text(3), QString("After 01:02:05"));
    QCOMPARE(tree->topLevelItem(0)->text(4), QString("Exit program"));
    QCOMPARE(tree->topLevelItem(1)->text(5), QString("No"));
}

void TstTaskManage::exitEndsTheEventLoop()
{
    TaskManage* tm = TaskManage::instance();
    ModalDriver driver;
    driver.expect([](QWidget*) {}, "DlgAutoShutdownTips");
    tm->taskCompleted(nullptr, RecStopEvent_Exit);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
    QCOMPARE(m_power->shutdowns + m_power->sleeps, 0);
    // The quit is due 1 ms later; the watchdog only fires if it never comes.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TstTaskManage)
#include "tst_taskmanage.moc"
