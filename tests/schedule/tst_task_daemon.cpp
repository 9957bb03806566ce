// The task daemon on a test clock: when runs come round, a late run logged as
// missed and never started, tasks kept across a restart; one daemon per task
// file, a damaged file kept aside, an endless message line cut off.
#include <QtTest>
#include <QLocalSocket>

#include "platform/log/Log.h"
#include "service/TaskDaemon.h"
#include "tests/support/TestHelpers.h"

namespace {

const QDateTime kMonday(QDate(2024, 5, 6), QTime(7, 0, 0));

TaskInfo taskAt(int repeat, int weekdays = 0)
{
    TaskInfo t;
    t.name = QStringLiteral("news");
    t.enabled = true;
    t.startTime = kMonday;
    t.repeat = repeat;
    t.weekdays = weekdays;
    return t;
}

} // namespace

class TstTaskDaemon : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QDateTime m_now;

    std::unique_ptr<TaskDaemon> daemon(const QString& folder = QString())
    {
        const QDir dir(folder.isEmpty() ? m_dir.path() : folder);
        TaskDaemon::Setup setup;
        setup.socketName = dir.filePath("sock");
        setup.taskFile = dir.filePath("tasks.json");
        setup.program = QStringLiteral("/bin/true");  // "starts" the program, which never connects
        auto d = std::make_unique<TaskDaemon>(std::move(setup));
        d->setClock([this] { return m_now; });
        return d;
    }

private slots:
    void initTestCase() { qRegisterMetaType<TaskInfo>(); }

    void nextRun_data()
    {
        QTest::addColumn<int>("repeat");
        QTest::addColumn<int>("weekdays");
        QTest::addColumn<QDateTime>("after");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("once, before") << int(TaskRepeat_Once) << 0 << kMonday.addSecs(-1) << kMonday;
        QTest::newRow("once, after") << int(TaskRepeat_Once) << 0 << kMonday << QDateTime();
        QTest::newRow("daily, same day later") << int(TaskRepeat_Daily) << 0 << kMonday << kMonday.addDays(1);
        QTest::newRow("daily, never before the first") << int(TaskRepeat_Daily) << 0 << kMonday.addDays(-3)
                                                       << kMonday;
        // Wednesday (bit 2) and Sunday (bit 6).
        QTest::newRow("weekdays, to Wednesday") << int(TaskRepeat_Weekdays) << 0x44 << kMonday << kMonday.addDays(2);
        QTest::newRow("weekdays, round the week") << int(TaskRepeat_Weekdays) << 0x01 << kMonday.addSecs(60)
                                                  << kMonday.addDays(7);
        QTest::newRow("weekdays, none chosen") << int(TaskRepeat_Weekdays) << 0 << kMonday << QDateTime();
    }

    void nextRun()
    {
        QFETCH(int, repeat);
        QFETCH(int, weekdays);
        QFETCH(QDateTime, after);
        QFETCH(QDateTime, expected);
        QCOMPARE(taskAt(repeat, weekdays).nextRun(after), expected);
    }

    void lateRunIsMissedAndRestartKeepsTasks()
    {
        m_now = kMonday.addSecs(-60);
        auto d = daemon();
        QSignalSpy started(d.get(), &TaskDaemon::runStarted);
        QSignalSpy missed(d.get(), &TaskDaemon::runMissed);
        TaskInfo daily = taskAt(TaskRepeat_Daily);
        daily.record.stopWay = TaskStopWay_Time;
        daily.record.stopTime = QDateTime(QDate(2020, 1, 1), QTime(6, 0));  // next morning
        const QString id = d->saveTask(daily);

        // The machine slept over Monday's run: an hour late it is logged.
        m_now = kMonday.addSecs(3600);
        d->tick();
        QCOMPARE(missed.count(), 1);
        QCOMPARE(started.count(), 0);

        // Restarted before Tuesday's run: the task is there, Monday's run
        // stays settled and Tuesday's starts within the grace.
        d.reset();
        d = daemon();
        QSignalSpy startedAgain(d.get(), &TaskDaemon::runStarted);
        QSignalSpy missedAgain(d.get(), &TaskDaemon::runMissed);
        QCOMPARE(d->tasks().size(), 1);
        QCOMPARE(d->tasks().first().id, id);
        m_now = kMonday.addDays(1).addSecs(TaskDaemon::kStaleSeconds);
        d->tick();
        QCOMPARE(missedAgain.count(), 0);
        QCOMPARE(startedAgain.count(), 1);
        const TaskInfo run = startedAgain.at(0).at(0).value<TaskInfo>();
        QCOMPARE(run.startTime, kMonday.addDays(1));
        QCOMPARE(run.record.stopTime, QDateTime(kMonday.date().addDays(2), QTime(6, 0)));
        d->tick();
        QCOMPARE(startedAgain.count(), 1);
    }

    // Two daemons on one task file used to write their own lists over each
    // other's: the second one now stands aside and writes nothing.
    void secondDaemonOnTheSameFileStandsAside()
    {
        QTemporaryDir dir;
        m_now = kMonday.addSecs(-60);
        auto first = daemon(dir.path());
        QVERIFY(!first->isDuplicate());
        TaskInfo task = taskAt(TaskRepeat_Daily);
        task.name = "kept before";
        first->saveTask(task);
        auto second = daemon(dir.path());
        QVERIFY(second->isDuplicate());
        QVERIFY(!second->listen());
        task.name = "kept after";
        first->saveTask(task);
        task.name = "from the second";
        second->saveTask(task);
        first.reset();
        second.reset();
        QStringList names;
        for (const TaskInfo& t : daemon(dir.path())->tasks())
            names << t.name;
        QCOMPARE(names, QStringList({"kept before", "kept after"}));
        // Once the first has gone, the next one keeps the file.
        QVERIFY(!daemon(dir.path())->isDuplicate());
    }

    void damagedTaskFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("loaded");
        QTest::addColumn<QString>("reason");
        const QByteArray good = QJsonDocument(QJsonObject{{"id", "a"}, {"name", "good"}}).toJson();
        QTest::newRow("not JSON") << QByteArray("{\"tasks\": [ {\"id\": ") << 0 << "is damaged";
        QTest::newRow("no task list") << QByteArray("{\"tasks\": 5}") << 0 << "no task list";
        QTest::newRow("a task without id")
            << QByteArray("{\"tasks\": [" + good + ", {\"name\": \"lost\"}]}") << 1 << "without an id";
    }

    // The file is kept under another name and logged; saving then writes a
    // fresh file beside it instead of over it.
    void damagedTaskFileIsKeptAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, loaded);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(testsupport::writeFile(dir.filePath("tasks.json"), content));
        SetLogfile(dir.filePath("log").toLocal8Bit().constData());
        auto d = daemon(dir.path());
        SetLogfile(nullptr);
        QCOMPARE(d->tasks().size(), loaded);
        const QStringList aside = QDir(dir.path()).entryList({"tasks.json.corrupt-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        const QString logText = QString::fromUtf8(testsupport::readFile(dir.filePath("log")));
        QVERIFY2(logText.contains(reason) && logText.contains(aside.first()), qPrintable(logText));

        d->saveTask(taskAt(TaskRepeat_Once));
        QCOMPARE(testsupport::readFile(dir.filePath(aside.first())), content);
        d.reset();
        QCOMPARE(daemon(dir.path())->tasks().size(), loaded + 1);
    }

    // A client streaming without a line break is cut off past the bound
    // (the daemon used to buffer all of it); others are still served.
    void endlessLineDropsTheConnection()
    {
        QTemporaryDir dir;
        auto d = daemon(dir.path());
        QVERIFY(d->listen());
        QLocalSocket flood;
        flood.connectToServer(dir.filePath("sock"));
        QVERIFY(flood.waitForConnected(10000));
        const QByteArray chunk(1 << 20, 'x');
        for (int i = 0; i * chunk.size() <= TaskClientCall::kMaxLineBytes; ++i)
            flood.write(chunk);
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QLocalSocket::UnconnectedState, 60000);

        QLocalSocket client;
        client.connectToServer(dir.filePath("sock"));
        QVERIFY(client.waitForConnected(10000));
        client.write("{\"type\":\"isWaitTaskStart\",\"seq\":1}\n");
        QTRY_VERIFY_WITH_TIMEOUT(client.canReadLine(), 30000);
        QCOMPARE(QJsonDocument::fromJson(client.readLine()).object().value("seq").toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TstTaskDaemon)
#include "tst_task_daemon.moc"
