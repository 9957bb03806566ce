// The launch: main_entry run whole, in-process, against the engine double
// (its outcomes, the order of its telemetry, its two small free functions),
// and the single-instance guard across real processes, with this binary
// running itself as the competing instances.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QSharedMemory>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "core/CEIPWrapper.h"
#include "platform/framework/Framework.h"
#include "platform/log/Log.h"
#include "app/MainWindowBase.h"
#include "app/SingleInstanceGuard.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/UrlRecorder.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "app/main_entry.h"

namespace {

const char* resultName(SingleInstanceGuard::Result r)
{
    switch (r) {
    case SingleInstanceGuard::OnlyInstance: return "only";
    case SingleInstanceGuard::AnotherInstance: return "another";
    default: return "unguarded";
    }
}

// Child mode: run the guard, print the result, then keep the segment until
// stdin closes (or the parent kills us).
int runChild(const QString& key)
{
    SingleInstanceGuard guard(key);
    std::printf("%s\n", resultName(guard.check()));
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

    QProcess* startChild()
    {
        auto* p = new QProcess(this);
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
        // Leave no segment behind for the key.
        QSharedMemory leftover(m_key);
        if (leftover.attach())
            leftover.detach();
    }

    void liveHolderIsDetectedAndStaleSegmentIsNot()
    {
        QProcess* holder = startChild();
        QCOMPARE(readResult(holder), QString("only"));

        {
            SingleInstanceGuard second(m_key);
            QCOMPARE(second.check(), SingleInstanceGuard::AnotherInstance);
        }

        // A holder killed outright leaves its segment behind; it must not
        // make every later launch think the program runs.
        ::kill(static_cast<pid_t>(holder->processId()), SIGKILL);
        QVERIFY(holder->waitForFinished(30000));
        SingleInstanceGuard third(m_key);
        QCOMPARE(third.check(), SingleInstanceGuard::OnlyInstance);
        // And the new owner is seen as live by the next launch.
        QProcess* late = startChild();
        QCOMPARE(readResult(late), QString("another"));
    }

    void holderThatQuitsNormallyFreesTheName()
    {
        QProcess* holder = startChild();
        QCOMPARE(readResult(holder), QString("only"));
        holder->closeWriteChannel();
        QVERIFY(holder->waitForFinished(30000));
        SingleInstanceGuard next(m_key);
        QCOMPARE(next.check(), SingleInstanceGuard::OnlyInstance);
    }

    void simultaneousLaunchesLeaveExactlyOneRunning()
    {
        QList<QProcess*> racers;
        for (int i = 0; i < 6; ++i)
            racers << startChild();
        int only = 0;
        int another = 0;
        for (QProcess* p : racers) {
            const QString r = readResult(p);
            only += r == "only";
            another += r == "another";
        }
        QCOMPARE(only, 1);
        QCOMPARE(another, 5);
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
            store << a.toLocal8Bit();
        for (QByteArray& b : store)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        return main_entry(static_cast<int>(store.size()), argv.data());
    }

    static QStringList telemetryFiles()
    {
        return QDir(CEIPWrapper::telemetryDir()).entryList({"*.jsonl"}, QDir::Files, QDir::Time);
    }

    // Event ids of the newest telemetry file, the version record as 0.
    static QList<int> newestTelemetryIds()
    {
        const QStringList files = telemetryFiles();
        if (files.isEmpty())
            return {};
        QFile f(CEIPWrapper::telemetryDir() + "/" + files.first());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QList<int> ids;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.trimmed().isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString text = QString::fromUtf8(line);
            if (text.contains("\"Version\""))
                ids << 0;
            else
                ids << o.value("id").toInt(-1);
        }
        return ids;
    }

    static QString logText()
    {
        QFile f(Utils::getAppLogPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler("https", &m_urls, "open");
    }

    void init()
    {
        m_urls.urls.clear();
        VxProductInfo::instance()->overrideValue("extend/previewPostUrl", QString());
        VxProductInfo::instance()->overrideValue("extend/previewPostUrlEx", QString());
        Framework::setForcedUpdatePending(false);
    }

    void normalRunReturnsTheLoopCodeAndWritesEventsInOrder()
    {
        // Blank product URLs open nothing.
        VxProductInfo::instance()->overrideValue("extend/previewPostUrl", "   ");
        VxProductInfo::instance()->overrideValue("extend/previewPostUrlEx", " \t");
        const int rc = runMainEntry({}, [](MainWindowBase*) { qApp->exit(7); });
        QVERIFY(m_sawFrame);
        QCOMPARE(rc, 7);
        QCOMPARE(newestTelemetryIds(), (QList<int>{0, 3000, 3999}));
        QVERIFY(m_urls.urls.isEmpty());

        // The frame is gone once main_entry returned.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<MainWindowBase*>(w));

        const QString log = logText();
        QVERIFY(log.contains("config font not exit, use sys font!!!"));
        QVERIFY(log.contains("version 1.0.0-"));
        QVERIFY(log.contains("Qt version Qt5"));
        QVERIFY(log.indexOf("bFollowTheme = [") < log.indexOf("setCurrentSkin = ["));
    }

    void closingTheFrameEndsTheRunAndOpensTheProductUrls()
    {
        VxProductInfo::instance()->overrideValue("extend/previewPostUrl", " https://example.invalid/start ");
        VxProductInfo::instance()->overrideValue("extend/previewPostUrlEx", "https://example.invalid/end");
        int urlsWhileShown = -1;
        const int rc = runMainEntry({}, [&](MainWindowBase* frame) {
            urlsWhileShown = m_urls.urls.size();
            frame->close();
        });
        QCOMPARE(rc, 0);
        QCOMPARE(urlsWhileShown, 1);
        QCOMPARE(m_urls.urls, (QList<QUrl>{QUrl("https://example.invalid/start"),
                                          QUrl("https://example.invalid/end")}));
        QCOMPARE(newestTelemetryIds(), (QList<int>{0, 3000, 3999}));
    }

    void secondInstanceShowsOneBoxAndBuildsNoWindow()
    {
        QSharedMemory holder(VxProductInfo::instance()->productNativeName(""));
        QVERIFY(holder.create(1024));
        const QStringList before = telemetryFiles();

        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok);
        const int rc = runMainEntry({}, [](MainWindowBase*) { qApp->exit(9); });
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(rc, 0);
        QVERIFY(!m_sawFrame);
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen().first().title, QString("Screen Recorder"));
        QCOMPARE(driver.seen().first().text, QString("Screen Recorder is running"));
        QCOMPARE(telemetryFiles(), before);
    }

    void urlLaunchEndsBeforeTheGuard()
    {
        // A held segment would make the guard show its box: none may appear.
        QSharedMemory holder(VxProductInfo::instance()->productNativeName(""));
        QVERIFY(holder.create(1024));
        ModalDriver driver(2000);
        const int rc = runMainEntry({"--open-url", "https://example.invalid/page"},
                                    [](MainWindowBase*) { qApp->exit(9); });
        QCOMPARE(rc, 0);
        QVERIFY(!m_sawFrame);
        QVERIFY(driver.seen().isEmpty());
        QCOMPARE(m_urls.urls, QList<QUrl>{QUrl("https://example.invalid/page")});
    }

    void forcedUpdateEndsStartUp()
    {
        Framework::setForcedUpdatePending(true);
        const QStringList before = telemetryFiles();
        const int rc = runMainEntry({}, [](MainWindowBase*) { qApp->exit(9); });
        QCOMPARE(rc, 0);
        QVERIFY(!m_sawFrame);
        QCOMPARE(telemetryFiles(), before);
    }

    void messageHandlerPrintsAllButTheKnownNoise()
    {
        QTemporaryFile capture;
        QVERIFY(capture.open());
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        QVERIFY(::dup2(capture.handle(), STDOUT_FILENO) >= 0);
        const QMessageLogContext context;
        myMessageOutput(QtWarningMsg, context, "plain message");
        myMessageOutput(QtWarningMsg, context, "x libpng warning: iCCP: known incorrect sRGB profile");
        myMessageOutput(QtDebugMsg, context, "Unknown property columns in sheet");
        myMessageOutput(QtDebugMsg, context, "unknown property COLUMNS differs in case");
        myMessageOutput(QtDebugMsg, context, QString());
        myMessageOutput(QtDebugMsg, context, QString("before") + QChar(0) + "after");
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        capture.seek(0);
        const QString out = QString::fromUtf8(capture.readAll());
        QCOMPARE(out, QString("plain message\nunknown property COLUMNS differs in case\nbefore\n"));
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
    QApplication app(argc, argv);
    TestSingleInstance guard;
    TestMainEntry entry;
    return QTest::qExec(&guard, argc, argv) + QTest::qExec(&entry, argc, argv);
}

#include "tst_launch.moc"
