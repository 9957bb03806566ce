// The task daemon on a test clock: when runs come round, a late run logged as
// missed and never started, tasks kept across a restart.
#include <QtTest>

#include "service/TaskDaemon.h"

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

    std::unique_ptr<TaskDaemon> daemon()
    {
        TaskDaemon::Setup setup;
        setup.socketName = m_dir.filePath("sock");
        setup.taskFile = m_dir.filePath("tasks.json");
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
};

QTEST_GUILESS_MAIN(TstTaskDaemon)
#include "tst_task_daemon.moc"
