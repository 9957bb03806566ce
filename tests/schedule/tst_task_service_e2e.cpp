// Scheduled recordings for real: the daemon starts the program for a task, which
// records, stops and saves; clashes refused, tasks survive a kill, uninstall is clean.
#include <QtTest>
#include <QLocalSocket>

#include <csignal>

#include "schedule/TaskClientCall.h"
#include "schedule/TaskServiceSetup.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/media/TestMedia.h"

namespace {

const int kLong = 90000;  // generous bound for what a loaded machine must reach

QString configFile(const QString& name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/ScreenRecorder/" + name;
}

TaskInfo videoTask(const QString& name, int inSeconds, int length, RecStopEvent end)
{
    TaskInfo t;
    t.name = name;
    t.enabled = true;
    t.startTime = QDateTime::currentDateTime().addSecs(inSeconds);
    t.record.recwhat = 1;
    t.record.stopWay = TaskStopWay_Length;
    t.record.lengthSeconds = length;
    t.record.endAction = end;
    return t;
}

// The daemon's pid, from its handshake; 0 when none answers.
qint64 daemonPid()
{
    QLocalSocket s;
    s.connectToServer(taskDaemonSocketName());
    const QJsonObject hello{{"type", "hello"}, {"version", TaskClientCall::kProtocolVersion}, {"seq", 1}};
    if (!s.waitForConnected(2000) || s.write(QJsonDocument(hello).toJson(QJsonDocument::Compact) + '\n') <= 0)
        return 0;
    while (!s.canReadLine() && s.waitForReadyRead(5000)) {
    }
    return static_cast<qint64>(QJsonDocument::fromJson(s.readLine()).object().value("pid").toDouble());
}

QStringList movies(const QString& folder)
{
    QStringList found;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files)) {
        const testmedia::Probe p = testmedia::probe(f.filePath(), true);
        if (p.ok && !p.videoCodec.isEmpty() && p.duration > 1.5)
            found << f.fileName();
    }
    return found;
}

QByteArray fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstTaskServiceE2E : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    qint64 m_programPid = 0;

    TaskClientCall* client()
    {
        auto* c = new TaskClientCall(QString(), this);
        c->setTimeouts(5000, 10000);
        return c->connectToDaemon() ? c : nullptr;
    }

    void stopProgram()
    {
        if (m_programPid > 0)
            ::kill(static_cast<pid_t>(m_programPid), SIGKILL);
        m_programPid = 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
        QVERIFY(m_dir.isValid());
        qputenv("SR_TASK_NO_SYSTEMD", "1");
        qputenv("SR_TASK_SOCKET", m_dir.filePath("tasks.sock").toLocal8Bit());
        qputenv("SR_TASK_SERVICE_BIN", SR_DAEMON);
        qputenv("SR_TASK_PROGRAM", SR_PROGRAM);
        qputenv("SR_TASK_POWER_LOG", m_dir.filePath("power.log").toLocal8Bit());
        QDir().mkpath(m_dir.filePath("movies"));
        QSettings ini(configFile("ScreenRecorder.ini"), QSettings::IniFormat);
        ini.setValue("HotkeyRemind", true);
        ini.setValue("CountDown", false);
        ini.setValue("Path/VideoFolder", m_dir.filePath("movies"));
    }

    void cleanupTestCase()
    {
        stopProgram();
        TaskServiceSetup::uninstall();
    }

    void scheduledRecordingsEndToEnd()
    {
        QVERIFY(TaskServiceSetup::install());
        QVERIFY(QFile::exists(TaskServiceSetup::autostartPath()));
        TaskClientCall* c = client();
        QVERIFY(c);
        // The program is not running: the daemon starts it for the task.
        QVERIFY(c->saveTask(videoTask("first", 3, 3, RecStopEvent_Sleep)));
        delete c;
        const QString folder = m_dir.filePath("movies");
        QTRY_VERIFY_WITH_TIMEOUT(movies(folder).size() == 1, kLong);
        // The end action after the countdown, through the daemon.
        QTRY_COMPARE_WITH_TIMEOUT(fileText(m_dir.filePath("power.log")), QByteArray("sleep\n"), kLong);
        const QByteArray window = testsupport::runProgram("xdotool", {"search", "--name", "^Screen Recorder$",
                                                                      "getwindowpid"});
        m_programPid = window.split('\n').first().toLongLong();
        QVERIFY(m_programPid > 0);

        // Two tasks in the same second, the program running: one recording.
        QVERIFY((c = client()));
        QVERIFY(c->saveTask(videoTask("second", 4, 2, RecStopEvent_Nothing)));
        QVERIFY(c->saveTask(videoTask("third", 4, 2, RecStopEvent_Nothing)));
        delete c;
        QTRY_VERIFY_WITH_TIMEOUT(fileText(configFile("task-service.log")).contains("refused by the program"), kLong);
        QTRY_VERIFY_WITH_TIMEOUT(movies(folder).size() == 2, kLong);

        // Killed and started again, the daemon keeps its tasks.
        const qint64 pid = daemonPid();
        QVERIFY(pid > 0);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(daemonPid() != pid, kLong);
        QVERIFY(TaskServiceSetup::install());
        TaskList tasks;
        QVERIFY((c = client()) && c->listTasks(tasks));
        delete c;
        QCOMPARE(tasks.size(), 3);

        // Nothing stays after uninstalling.
        const qint64 last = daemonPid();
        QVERIFY(TaskServiceSetup::uninstall());
        QVERIFY(!QFile::exists(TaskServiceSetup::autostartPath()));
        QVERIFY(!QFile::exists(configFile("tasks.json")));
        QVERIFY(!QFile::exists(configFile("task-service.log")));
        QTRY_VERIFY_WITH_TIMEOUT(daemonPid() == 0, kLong);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(static_cast<pid_t>(last), 0) != 0, kLong);
        QCOMPARE(movies(folder).size(), 2);
        stopProgram();
    }
};

QTEST_MAIN(TstTaskServiceE2E)
#include "tst_task_service_e2e.moc"
