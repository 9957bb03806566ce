// The task daemon client over its local socket: bounded calls against a
// missing, silent, old and answering daemon, pushed start requests, and the
// task record's JSON form.
#include <QElapsedTimer>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include "FakeTaskDaemon.h"
#include "schedule/TaskClientCall.h"

namespace {

TaskInfo makeTask(const QString& id, bool enabled, int recwhat = 1)
{
    TaskInfo t;
    t.id = id;
    t.name = QStringLiteral("Task ") + id;
    t.enabled = enabled;
    t.startTime = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::OffsetFromUTC, 7200);
    t.record.recwhat = recwhat;
    t.record.stopWay = TaskStopWay_Time;
    t.record.lengthSeconds = 90;
    t.record.stopTime = QDateTime(QDate(2024, 5, 6), QTime(8, 0, 0), Qt::OffsetFromUTC, 7200);
    t.record.endAction = RecStopEvent_Sleep;
    return t;
}

} // namespace

class TstTaskClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<TaskInfo>(); }
    void taskRecordRoundTrip();
    void damagedRecordFallsBackToHarmless();
    void missingDaemonFailsAtOnce();
    void silentDaemonGivesFalseAfterTheBound();
    void oldProtocolIsNotConnected();
    void answeringDaemonListsTasks();
    void silentAfterHandshakeCallFails();
    void pushedStartArrivesFromTheEventLoop();
    void lostConnectionIsNotConnected();
    void malformedLinesAreIgnored();
    void endlessLineDropsTheConnection();
};

void TstTaskClient::taskRecordRoundTrip()
{
    const TaskInfo in = makeTask("a", true, 4);
    const TaskInfo out = TaskInfo::fromJson(in.toJson());
    QCOMPARE(out.id, in.id);
    QCOMPARE(out.name, in.name);
    QCOMPARE(out.enabled, true);
    QCOMPARE(out.startTime, in.startTime);
    QCOMPARE(out.record.recwhat, 4);
    QCOMPARE(out.record.stopWay, int(TaskStopWay_Time));
    QCOMPARE(out.record.lengthSeconds, qint64(90));
    QCOMPARE(out.record.stopTime, in.record.stopTime);
    QCOMPARE(out.record.endAction, RecStopEvent_Sleep);
}

void TstTaskClient::damagedRecordFallsBackToHarmless()
{
    QJsonObject rec;
    rec.insert("stopWay", 9);
    rec.insert("endAction", 7);
    rec.insert("stopTime", "not a time");
    QJsonObject obj;
    obj.insert("record", rec);
    const TaskInfo t = TaskInfo::fromJson(obj);
    QCOMPARE(t.enabled, false);
    QCOMPARE(t.record.stopWay, int(TaskStopWay_Manual));
    QCOMPARE(t.record.endAction, RecStopEvent_Nothing);
    QVERIFY(!t.record.stopTime.isValid());
}

void TstTaskClient::missingDaemonFailsAtOnce()
{
    TaskClientCall client(QDir::tempPath() + "/srfake-nobody-listens");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client.connectToDaemon());
    QVERIFY(!client.isConnected());
    bool waiting = true;
    QVERIFY(!client.isWaitTaskStart(waiting));
    QVERIFY(!waiting);
    TaskList tasks;
    QVERIFY(!client.listTasks(tasks));
    QVERIFY(!client.requestPowerAction(1));
    // Nothing to wait for: a missing daemon must not cost the start-up time.
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TstTaskClient::silentDaemonGivesFalseAfterTheBound()
{
    FakeTaskDaemon::Script script;
    script.ignore = {"hello", "listTasks", "isWaitTaskStart", "powerAction"};
    FakeTaskDaemon daemon(script);
    QVERIFY(daemon.isListening());

    TaskClientCall client(daemon.serverName());
    client.setTimeouts(1000, 300);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client.connectToDaemon());
    QVERIFY(!client.isConnected());
    QVERIFY(clock.elapsed() >= 250);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(daemon.requests(), QStringList{"hello"});
}

void TstTaskClient::oldProtocolIsNotConnected()
{
    FakeTaskDaemon::Script script;
    script.version = TaskClientCall::kProtocolVersion - 1;
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    QVERIFY(!client.connectToDaemon());
    QVERIFY(!client.isConnected());
    TaskList tasks;
    QVERIFY(!client.listTasks(tasks));
}

void TstTaskClient::answeringDaemonListsTasks()
{
    FakeTaskDaemon::Script script;
    script.tasks = {makeTask("1", false), makeTask("2", true, 2)};
    script.waiting = true;
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    QVERIFY(client.connectToDaemon());
    QVERIFY(client.isConnected());

    TaskList tasks;
    QVERIFY(client.listTasks(tasks));
    QCOMPARE(tasks.size(), 2);
    QCOMPARE(tasks.at(1).id, QString("2"));
    QCOMPARE(tasks.at(1).record.recwhat, 2);
    QCOMPARE(tasks.at(0).enabled, false);

    bool waiting = false;
    QVERIFY(client.isWaitTaskStart(waiting));
    QVERIFY(waiting);
    QVERIFY(client.requestPowerAction(2));
    QCOMPARE(daemon.powerActions(), QList<int>{2});
    QCOMPARE(daemon.requests(),
             (QStringList{"hello", "listTasks", "isWaitTaskStart", "powerAction"}));
}

void TstTaskClient::silentAfterHandshakeCallFails()
{
    FakeTaskDaemon::Script script;
    script.ignore = {"isWaitTaskStart"};
    script.tasks = {makeTask("1", true)};
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    client.setTimeouts(1000, 300);
    QVERIFY(client.connectToDaemon());
    bool waiting = true;
    QVERIFY(!client.isWaitTaskStart(waiting));
    QVERIFY(!waiting);
    // A call after the silent one is not confused by anything left over.
    TaskList tasks;
    QVERIFY(client.listTasks(tasks));
    QCOMPARE(tasks.size(), 1);
}

void TstTaskClient::pushedStartArrivesFromTheEventLoop()
{
    FakeTaskDaemon::Script script;
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    QVERIFY(client.connectToDaemon());
    QSignalSpy spy(&client, &ITaskClient::startTaskRequested);

    daemon.pushStartTask(makeTask("7", true, 4));
    // A push that arrives while a call waits is kept for the event loop.
    bool waiting = true;
    QVERIFY(client.isWaitTaskStart(waiting));
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE(spy.count(), 1);
    const TaskInfo task = spy.at(0).at(0).value<TaskInfo>();
    QCOMPARE(task.id, QString("7"));
    QCOMPARE(task.record.recwhat, 4);
}

void TstTaskClient::lostConnectionIsNotConnected()
{
    FakeTaskDaemon::Script script;
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    QVERIFY(client.connectToDaemon());
    QSignalSpy spy(&client, &ITaskClient::connectionLost);
    daemon.dropClients();
    QTRY_COMPARE(spy.count(), 1);
    QVERIFY(!client.isConnected());
    bool waiting = true;
    QVERIFY(!client.isWaitTaskStart(waiting));
}

void TstTaskClient::malformedLinesAreIgnored()
{
    FakeTaskDaemon::Script script;
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    QVERIFY(client.connectToDaemon());
    QSignalSpy spy(&client, &ITaskClient::startTaskRequested);
    daemon.sendRaw("not json\n[1,2]\n{\"type\":\"weird\"}\n{\"type\":\"reply\",\"seq\":99}\n");
    daemon.pushStartTask(makeTask("3", true));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<TaskInfo>().id, QString("3"));
    QVERIFY(client.isConnected());
    TaskList tasks;
    QVERIFY(client.listTasks(tasks));
}

void TstTaskClient::endlessLineDropsTheConnection()
{
    FakeTaskDaemon::Script script;
    FakeTaskDaemon daemon(script);
    TaskClientCall client(daemon.serverName());
    QVERIFY(client.connectToDaemon());
    daemon.sendRaw(QByteArray(5 * 1024 * 1024, 'x'));
    QTRY_VERIFY(!client.isConnected());
}

QTEST_MAIN(TstTaskClient)
#include "tst_taskclient.moc"
