// The task service among real processes and another local user: a second
// service ends at once, a stranger listening where the socket used to go is
// never talked to, a peer of another user is refused on both ends, and a
// runtime folder open to others is refused and said so in the task dialog.
// The stranger is this binary run as "nobody" (root only; skipped otherwise).
#include <QtTest>
#include <QApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPushButton>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/UserRuntime.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskManage.h"
#include "schedule/dlgTaskScheduler.h"
#include "tests/support/TestHelpers.h"

namespace {

using testsupport::kOtherUserId;
using testsupport::readFile;
using testsupport::SharedFolder;

const int kLong = 30000;
const QByteArray kHello = "{\"type\":\"hello\",\"version\":1,\"seq\":1}\n";

// Stranger: listens at `path`, open to every user, and answers the
// handshake as a daemon would.
int strangerListen(const QString& path)
{
    QLocalServer server;
    server.setSocketOptions(QLocalServer::WorldAccessOption);
    QLocalServer::removeServer(path);
    if (!server.listen(path))
        return 1;
    QObject::connect(&server, &QLocalServer::newConnection, [&server] {
        QLocalSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QLocalSocket::readyRead, s, [s] {
            while (s->canReadLine()) {
                const QJsonObject req = QJsonDocument::fromJson(s->readLine()).object();
                s->write(QJsonDocument(QJsonObject{{"type", "reply"},
                                                   {"seq", req.value("seq")},
                                                   {"version", TaskClientCall::kProtocolVersion}})
                             .toJson(QJsonDocument::Compact)
                         + '\n');
            }
        });
    });
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Stranger: says hello at `path`; prints whether an answer came.
int strangerHello(const QString& path)
{
    QLocalSocket s;
    s.connectToServer(path);
    if (!s.waitForConnected(kLong)) {
        std::printf("unreachable\n");
        return 0;
    }
    s.write(kHello);
    s.waitForBytesWritten(kLong);
    while (!s.canReadLine() && s.state() == QLocalSocket::ConnectedState)
        s.waitForReadyRead(kLong);
    std::printf("%s\n", s.canReadLine() ? "answered" : "refused");
    return 0;
}

} // namespace

class TstTaskServiceUsers : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<QProcess*> m_processes;
    QByteArray m_savedRuntime;

    QProcess* start(const QString& program, const QStringList& args, const QProcessEnvironment& env)
    {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(env);
        p->start(program, args);
        m_processes << p;
        return p;
    }

    // The daemon with its files in `folder`, listening at `socket`.
    QProcess* startDaemon(const QString& folder, const QString& socket, const QString& log)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!socket.isEmpty())
            env.insert("SR_TASK_SOCKET", socket);
        env.insert("SR_TASK_FILE", folder + "/tasks.json");
        env.insert("SR_TASK_LOG", log);
        env.insert("SR_TASK_PROGRAM", "/bin/true");
        env.insert("SR_TASK_POWER_LOG", folder + "/power.log");
        return start(SR_DAEMON, {}, env);
    }

    QProcess* startStranger(const QStringList& args)
    {
        return start("setpriv", testsupport::asOtherUser(QStringList{QCoreApplication::applicationFilePath()} + args),
                     QProcessEnvironment::systemEnvironment());
    }

    static QString firstLine(QProcess* p)
    {
        while (!p->canReadLine()) {
            if (!p->waitForReadyRead(kLong))
                return "timeout";
        }
        return QString::fromLatin1(p->readLine()).trimmed();
    }

    static bool reachable(const QString& socket)
    {
        TaskClientCall client(socket);
        client.setTimeouts(2000, 5000);
        return client.connectToDaemon();
    }


private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    }

    void cleanup()
    {
        for (QProcess* p : m_processes) {
            p->kill();
            p->waitForFinished(kLong);
            delete p;
        }
        m_processes.clear();
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        qunsetenv("SR_TASK_SOCKET");
    }

    // Two services at once used to load one list and write over each
    // other's: the second now ends at once, with a log line, and the first
    // serves on.
    void secondServiceEndsWithALogLine()
    {
        const QString socket = m_dir.filePath("second.sock");
        startDaemon(m_dir.path(), socket, m_dir.filePath("first.log"));
        QTRY_VERIFY_WITH_TIMEOUT(reachable(socket), kLong);
        QProcess* second = startDaemon(m_dir.path(), socket, m_dir.filePath("second.log"));
        QVERIFY(second->waitForFinished(kLong));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(readFile(m_dir.filePath("second.log")).contains("another task service already keeps"));
        TaskClientCall client(socket);
        QVERIFY(client.connectToDaemon());
        TaskInfo task;
        task.name = "still served";
        QVERIFY(client.saveTask(task));
        TaskList tasks;
        QVERIFY(client.listTasks(tasks));
        QCOMPARE(tasks.size(), 1);
    }

    // Without XDG_RUNTIME_DIR the socket used to fall back to the shared temp
    // folder once a stranger had taken "runtime-<user>" there, and the
    // stranger listening in it was obeyed. Now the program looks in a folder
    // of the user's own and finds its own service.
    void strangerInTheTempFolderIsNeverAsked()
    {
        if (!testsupport::canPlayOtherUser())
            QSKIP("another user is played with setpriv, as root only, where that user may run this program");
        SharedFolder shared(01777);
        QVERIFY(shared.ok());
        const QByteArray taken = QFile::encodeName(shared.filePath("runtime-" + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name)));
        QVERIFY(::mkdir(taken.constData(), 0700) == 0 && ::chown(taken.constData(), kOtherUserId, kOtherUserId) == 0);
        QProcess* stranger = startStranger({"--stranger-listen", shared.filePath("ScreenRecorderTaskDaemon")});
        QCOMPARE(firstLine(stranger), QString("listening"));

        testsupport::ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
        {
            testsupport::ScopedEnv sharedTemp("TMPDIR", shared.path().toLocal8Bit().constData());
            QVERIFY(!reachable(QString()));
        }

        // The user's own service, started the same way, is found.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        env.insert("TMPDIR", shared.path());
        env.insert("SR_TASK_FILE", m_dir.filePath("own/tasks.json"));
        env.insert("SR_TASK_LOG", m_dir.filePath("own.log"));
        start(SR_DAEMON, {}, env);
        QTRY_VERIFY_WITH_TIMEOUT(reachable(QString()), kLong);
        const QString socket = taskDaemonSocketName();
        QVERIFY2(!socket.startsWith(shared.path()) && socket.startsWith(
                     QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)),
                 qPrintable(socket));
    }

    // Should a socket of another user's process turn up in our folder
    // anyway, the program does not talk to it; and the service hangs up on a
    // process of another user that reaches its socket.
    void peersOfAnotherUserAreRefused()
    {
        if (!testsupport::canPlayOtherUser())
            QSKIP("another user is played with setpriv, as root only, where that user may run this program");
        SharedFolder shared(01777);
        QVERIFY(shared.ok());
        QProcess* stranger = startStranger({"--stranger-listen", shared.filePath("sock")});
        QCOMPARE(firstLine(stranger), QString("listening"));
        const QString planted = m_dir.filePath("planted.sock");
        QVERIFY(QFile::rename(shared.filePath("sock"), planted));
        QVERIFY(!reachable(planted));

        // Our folder lets others pass (but not write), and the socket is
        // opened to all: only the peer check stands in the way.
        SharedFolder own(0711);
        QVERIFY(own.ok());
        const QString socket = own.filePath("sock");
        startDaemon(m_dir.path() + "/peer", socket, m_dir.filePath("peer.log"));
        QTRY_VERIFY_WITH_TIMEOUT(reachable(socket), kLong);
        QVERIFY(::chmod(QFile::encodeName(socket).constData(), 0777) == 0);
        QProcess* hello = startStranger({"--stranger-hello", socket});
        QCOMPARE(firstLine(hello), QString("refused"));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(m_dir.filePath("peer.log")).contains("runs as another user (uid 65534)"),
                                 kLong);
    }

    void runtimeFolderOpenToOthersIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("problem");
        QTest::newRow("another user's") << "foreign" << "belongs to another user";
        QTest::newRow("writable by all") << "open" << "can be written by other users";
        QTest::newRow("a link to ours") << "link" << "is not a folder";
    }

    // Refused by the service (it ends, saying why), by the program, and
    // said in the task dialog, which then offers no installation.
    void runtimeFolderOpenToOthersIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        const QString folder = m_dir.filePath("runtime-" + kind);
        const QString target = m_dir.filePath("runtime-target");
        QDir().mkpath(target);
        ::chmod(QFile::encodeName(target).constData(), 0700);
        if (kind == "link") {
            QVERIFY(QFile::link(target, folder));
        } else {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), kind == "open" ? 01777 : 0700) == 0);
            if (kind == "foreign" && ::chown(QFile::encodeName(folder).constData(), kOtherUserId, kOtherUserId) != 0)
                QSKIP("handing a folder to another user takes root");
        }
        qputenv("XDG_RUNTIME_DIR", folder.toLocal8Bit());
        QString why;
        QVERIFY(taskDaemonSocketName(&why).isEmpty());
        QVERIFY2(why.contains(problem), qPrintable(why));
        QVERIFY(!reachable(QString()));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SR_TASK_FILE", m_dir.filePath(kind + "/tasks.json"));
        env.insert("SR_TASK_LOG", m_dir.filePath(kind + ".log"));
        QProcess* daemon = start(SR_DAEMON, {}, env);
        QVERIFY(daemon->waitForFinished(kLong));
        QCOMPARE(daemon->exitCode(), 1);
        QVERIFY(QString::fromUtf8(readFile(m_dir.filePath(kind + ".log"))).contains("no private place to listen: " + why));

        TaskManage::instance()->connectXPCServer();
        dlgTaskScheduler dlg;
        QCOMPARE(dlg.currentPage(), int(dlgTaskScheduler::PageNotConnected));
        auto* unsafe = dlg.findChild<QLabel*>("lblUnsafe");
        QVERIFY(unsafe && unsafe->isVisibleTo(&dlg));
        QVERIFY2(unsafe->text().contains(why), qPrintable(unsafe->text()));
        QVERIFY(!dlg.findChild<QPushButton*>("btnInstall")->isEnabled());
        TaskManage::release();

        // A folder of ours alone is taken, and the dialog says nothing more.
        qputenv("XDG_RUNTIME_DIR", target.toLocal8Bit());
        QCOMPARE(taskDaemonSocketName(), target + "/ScreenRecorderTaskDaemon");
        dlgTaskScheduler calm;
        QVERIFY(!calm.findChild<QLabel*>("lblUnsafe")->isVisibleTo(&calm));
        TaskManage::release();
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--stranger-listen") == 0) {
        QCoreApplication app(argc, argv);
        return strangerListen(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && qstrcmp(argv[1], "--stranger-hello") == 0) {
        QCoreApplication app(argc, argv);
        return strangerHello(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    TstTaskServiceUsers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_task_service_users.moc"
