// The launch run whole in-process against the engine double, and the
// single-instance guard across real processes (this binary as the rivals).
#include <QApplication>
#include <QDesktopServices>
#include <QtTest>
#include <QMessageBox>
#include <QSharedMemory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "platform/framework/Framework.h"
#include "platform/log/Log.h"
#include "app/MainWindowBase.h"
#include "app/SingleInstanceGuard.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/UrlRecorder.h"
#include "platform/framework/VxProductInfo.h"
#include "app/main_entry.h"

namespace {

// Child mode: run the guard, print the result, then keep the segment until
// stdin closes (or the parent kills us).
int runChild(const QString& key)
{
    SingleInstanceGuard guard(key);
    const SingleInstanceGuard::Result result = guard.check();
    std::printf("%s\n", result == SingleInstanceGuard::OnlyInstance      ? "only"
                        : result == SingleInstanceGuard::AnotherInstance ? "another"
                                                                         : "unguarded");
    std::fflush(stdout);
    char buf[16];
    while (::read(STDIN_FILENO, buf, sizeof(buf)) > 0) {
    }
    return 0;
}

// Child mode, run as another user: leaves in the shared temp folder what
// used to stop our launches (a shared-memory segment under the product's
// key and a lock file open to all, locked), and holds both until stdin
// closes.
int runStranger(const QString& key)
{
    QSharedMemory segment(key);
    const bool created = segment.create(1024);
    const QByteArray lock = QFile::encodeName(QDir::tempPath() + "/" + key + ".instance.lock");
    const int fd = ::open(lock.constData(), O_RDWR | O_CREAT, 0666);
    const bool locked = fd >= 0 && ::fchmod(fd, 0666) == 0 && ::flock(fd, LOCK_EX) == 0;
    std::printf("%s\n", created && locked ? "ready" : "failed");
    std::fflush(stdout);
    char buf[16];
    while (::read(STDIN_FILENO, buf, sizeof(buf)) > 0) {
    }
    return 0;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    QString m_key;
    QList<QProcess*> m_children;

    QProcess* startChild(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), {"--guard-child", m_key});
        m_children << p;
        return p;
    }

    static QString readResult(QProcess* p)
    {
        if (!p->waitForReadyRead(30000))
            return "timeout";
        return QString::fromLatin1(p->readLine()).trimmed();
    }

private slots:
    void init() { m_key = "SrGuardTest-" + QUuid::createUuid().toString(QUuid::Id128).left(12); }

    void cleanup()
    {
        for (QProcess* p : m_children) {
            p->kill();
            p->waitForFinished(30000);
            delete p;
        }
        m_children.clear();
    }

    // A live holder is seen, a killed one's segment stops no later launch, a quitting one
    // frees the name; of six simultaneous launches exactly one runs.
    void guard()
    {
        QProcess* holder = startChild();
        QCOMPARE(readResult(holder), QString("only"));
        QCOMPARE(SingleInstanceGuard(m_key).check(), SingleInstanceGuard::AnotherInstance);
        ::kill(static_cast<pid_t>(holder->processId()), SIGKILL);
        QVERIFY(holder->waitForFinished(30000));
        {
            SingleInstanceGuard owner(m_key);
            QCOMPARE(owner.check(), SingleInstanceGuard::OnlyInstance);
            QProcess* late = startChild();
            QCOMPARE(readResult(late), QString("another"));
            late->kill();
            QVERIFY(late->waitForFinished(30000));
        }
        QProcess* quitting = startChild();
        QCOMPARE(readResult(quitting), QString("only"));
        quitting->closeWriteChannel();
        QVERIFY(quitting->waitForFinished(30000));
        QStringList results;
        QList<QProcess*> racers;
        for (int i = 0; i < 6; ++i)
            racers << startChild();
        for (QProcess* p : racers)
            results << readResult(p);
        QCOMPARE(results.count("only"), 1);
        QCOMPARE(results.count("another"), 5);
    }

    // Another local user's segment under our key and locked lock file in the
    // shared temp folder used to make us exit ("is running") or hang without
    // a window: a launch now runs as the only instance, at once.
    void strangersMarksStopNoLaunch()
    {
        if (!testsupport::canPlayOtherUser())
            QSKIP("another user is played with setpriv, as root only, where that user may run this program");
        testsupport::SharedFolder shared(01777);
        QVERIFY(shared.ok());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", shared.path());
        auto* stranger = new QProcess(this);
        m_children << stranger;
        stranger->setProcessEnvironment(env);
        stranger->start("setpriv",
                        testsupport::asOtherUser({QCoreApplication::applicationFilePath(), "--stranger-child", m_key}));
        QCOMPARE(readResult(stranger), QString("ready"));
        QCOMPARE(readResult(startChild(env)), QString("only"));
    }

    // A link planted at the lock (in the shared temp folder, where the lock
    // used to be, or in our own folder) is never followed.
    void linkAtTheLockIsNotFollowed()
    {
        QTemporaryDir dir;
        const QString victim = dir.filePath("victim");
        const QString own = SingleInstanceGuard::lockPath(m_key);
        QVERIFY(own.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/"));
        QVERIFY(QFile::link(victim, own));
        QVERIFY(QFile::link(victim, QDir::tempPath() + "/" + m_key + ".instance.lock"));
        SingleInstanceGuard guard(m_key);
        const SingleInstanceGuard::Result result = guard.check();
        QVERIFY(!QFileInfo::exists(victim));
        QCOMPARE(result, SingleInstanceGuard::Unguarded);
        QFile::remove(own);
        QFile::remove(QDir::tempPath() + "/" + m_key + ".instance.lock");
    }
};

class TestMainEntry : public QObject
{
    Q_OBJECT

private:
    UrlRecorder m_urls;
    bool m_sawFrame = false;

    // Runs main_entry with the given arguments; once its frame shows, `act`
    // is applied to it (to end the run).
    int runMainEntry(QStringList args, const std::function<void(MainWindowBase*)>& act)
    {
        m_sawFrame = false;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* frame = qobject_cast<MainWindowBase*>(w);
                if (frame && frame->isVisible() && !m_sawFrame) {
                    m_sawFrame = true;
                    act(frame);
                }
            }
        });
        poll.start();
        args.prepend("screenrecorder");
        QList<QByteArray> store;
        std::vector<char*> argv;
        for (const QString& a : args)
            argv.push_back((store << a.toLocal8Bit()).last().data());
        argv.push_back(nullptr);
        return main_entry(static_cast<int>(store.size()), argv.data());
    }

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler("https", &m_urls, "open"); }

    void init()
    {
        m_urls.urls.clear();
        VxProductInfo::instance()->overrideValue("extend/previewPostUrl", QString());
        VxProductInfo::instance()->overrideValue("extend/previewPostUrlEx", QString());
        Framework::setForcedUpdatePending(false);
    }

    // The loop's code is the run's; the start page opens with the window, the end page after
    // it (blank ones open nothing); the frame is gone on return.
    void runs_data()
    {
        QTest::addColumn<QString>("startUrl");
        QTest::addColumn<QString>("endUrl");
        QTest::addColumn<bool>("closeFrame");
        QTest::addColumn<int>("rc");
        QTest::newRow("loop exits with 7, blank pages") << "   " << " \t" << false << 7;
        QTest::newRow("frame closed, both pages")
            << " https://example.invalid/start " << "https://example.invalid/end" << true << 0;
    }

    void runs()
    {
        QFETCH(QString, startUrl);
        QFETCH(QString, endUrl);
        QFETCH(bool, closeFrame);
        QFETCH(int, rc);
        VxProductInfo::instance()->overrideValue("extend/previewPostUrl", startUrl);
        VxProductInfo::instance()->overrideValue("extend/previewPostUrlEx", endUrl);
        int urlsWhileShown = -1;
        QCOMPARE(runMainEntry({}, [&](MainWindowBase* frame) {
                     urlsWhileShown = m_urls.urls.size();
                     closeFrame ? void(frame->close()) : qApp->exit(7);
                 }),
                 rc);
        QVERIFY(m_sawFrame);
        QList<QUrl> urls;
        for (const QString& url : {startUrl.trimmed(), endUrl.trimmed()})
            if (!url.isEmpty())
                urls << QUrl(url);
        QCOMPARE(m_urls.urls, urls);
        QCOMPARE(urlsWhileShown, qMin(1, urls.size()));
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<MainWindowBase*>(w));
    }

    // Another instance (one box), a launch that only opens a page (no box,
    // even with another instance), a forced update: no window.
    void endsBeforeAnyWindow_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("forcedUpdate");
        QTest::addColumn<QString>("box");
        QTest::newRow("another instance") << QStringList() << false << "Screen Recorder is running";
        QTest::newRow("page launch") << QStringList{"--open-url", "https://example.invalid/page"} << false << "";
        QTest::newRow("forced update") << QStringList() << true << "";
    }

    void endsBeforeAnyWindow()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, forcedUpdate);
        QFETCH(QString, box);
        SingleInstanceGuard holder(VxProductInfo::instance()->productNativeName(""));
        QVERIFY(forcedUpdate || holder.check() == SingleInstanceGuard::OnlyInstance);
        Framework::setForcedUpdatePending(forcedUpdate);
        ModalDriver driver(box.isEmpty() ? 2000 : 30000);
        if (!box.isEmpty())
            driver.clickButton(QMessageBox::Ok);
        QCOMPARE(runMainEntry(args, [](MainWindowBase*) { qApp->exit(9); }), 0);
        DRIVER_DONE(driver, 30000);
        QVERIFY(!m_sawFrame);
        QCOMPARE(driver.seen().size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QCOMPARE(driver.seen().first().text, box);
        if (!args.isEmpty())
            QCOMPARE(m_urls.urls, QList<QUrl>{QUrl(args.last())});
    }

    void frameworkLinesAreNeverFormats()
    {
        const QString path = QDir::temp().filePath("tst_main_entry_fw.log");
        QFile::remove(path);
        SetLogfile(path.toLocal8Bit().constData());
        char text[] = "rate 100% %s %n %d done";
        FrameworkCallBackLog(text);
        FrameworkCallBackLog(nullptr);
        SetLogfile(nullptr);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(f.readAll());
        QVERIFY(log.contains("[Framework]"));
        QVERIFY(log.contains("rate 100% %s %n %d done"));
        QFile::remove(path);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--guard-child") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && qstrcmp(argv[1], "--stranger-child") == 0) {
        QCoreApplication app(argc, argv);
        return runStranger(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    TestSingleInstance guard;
    TestMainEntry entry;
    return QTest::qExec(&guard, argc, argv) + QTest::qExec(&entry, argc, argv);
}

#include "tst_launch.moc"
