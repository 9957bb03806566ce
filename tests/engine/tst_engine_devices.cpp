// The real engine's sound devices, cameras, permissions and device
// notifications, against the test environment's X server and sound server
// (a null sink "nullsink"), a missing sound server, a sound server that
// never answers, a folder of fake camera nodes and a private X server.

#include "EngineTestSupport.h"

#include "Cameras.h"
#include "Screencast.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>


#include <atomic>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

using namespace enginetest;

namespace {

// Generous bounds against a hang, not speed targets: the engine waits at
// most 1.5 s for a sound server.
constexpr qint64 kPromptMs = 5000;
constexpr int kEventWaitMs = 20000;

class Listener : public CDeviceNotifies {
public:
    void OnDisplayChanged() override { called(display); }
    void OnAudioCaptureChanged() override { called(capture); }
    void OnAudioRenderChanged() override
    {
        called(render);
        if (slowRender) {
            inSlowCall = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            slowCallFinished = true;
        }
        if (unregisterOnRender)
            RegisterDeviceNotifies(nullptr);
    }
    void OnVideoCaptureChanged() override { called(video); }

    void reset()
    {
        display = capture = render = video = 0;
        afterRelease = 0;
    }
    int total() const { return display + capture + render + video; }

    std::atomic<int> display{0};
    std::atomic<int> capture{0};
    std::atomic<int> render{0};
    std::atomic<int> video{0};
    std::atomic<bool> released{false};      // set by the test after unregistering
    std::atomic<int> afterRelease{0};
    std::atomic<bool> slowRender{false};
    std::atomic<bool> inSlowCall{false};
    std::atomic<bool> slowCallFinished{false};
    std::atomic<bool> unregisterOnRender{false};
    std::atomic<bool> wrongThread{false};
    std::thread::id testThread = std::this_thread::get_id();

private:
    void called(std::atomic<int>& counter)
    {
        ++counter;
        if (released)
            ++afterRelease;
        if (std::this_thread::get_id() == testThread)
            wrongThread = true;
    }
};

QString pactl(const QStringList& args)
{
    QProcess p;
    p.start("pactl", args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A null sink loaded for one test and unloaded again.
class ExtraSink {
public:
    explicit ExtraSink(const QString& name)
    {
        module = pactl({"load-module", "module-null-sink", "sink_name=" + name});
    }
    ~ExtraSink() { unload(); }
    void unload()
    {
        if (!module.isEmpty())
            pactl({"unload-module", module});
        module.clear();
    }
    bool ok() const { return !module.isEmpty(); }
    QString module;
};

int renderIndex(const char* uniqueId)
{
    for (int i = 0; i < GetAudioRenderDeviceCount(); ++i) {
        const AudioDeviceInfo* d = GetAudioRenderDeviceInfo(i);
        if (d && QByteArray(d->uniqueId) == uniqueId)
            return i;
    }
    return -1;
}

QByteArrayList captureIds()
{
    QByteArrayList ids;
    for (int i = 0; i < GetAudioCaptureDeviceCount(); ++i) {
        if (const AudioDeviceInfo* d = GetAudioCaptureDeviceInfo(i))
            ids << QByteArray(d->uniqueId);
    }
    return ids;
}

// A unix socket that accepts connections into its backlog and never
// answers: a hung sound server.
class SilentServer {
public:
    explicit SilentServer(const QString& path)
    {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        if (m_fd < 0 || size_t(p.size()) >= sizeof address.sun_path)
            return;
        std::memcpy(address.sun_path, p.constData(), size_t(p.size()));
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(m_fd, 16) == 0)
            m_ok = true;
    }
    ~SilentServer()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

// A sound server of the test's own on a private socket, with one null sink
// "privatesink"; killed when the object ends.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const QString& folder) : m_folder(folder) {}
    ~PrivateSoundServer() { stop(); }

    QString address() const { return "unix:" + m_folder + "/socket"; }

    bool start()
    {
        QDir().mkpath(m_folder + "/home");
        QDir().mkpath(m_folder + "/runtime");
        QFile::setPermissions(m_folder + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("PULSE_SERVER");
        env.remove("DISPLAY");
        env.insert("HOME", m_folder + "/home");
        env.insert("XDG_RUNTIME_DIR", m_folder + "/runtime");
        env.insert("XDG_CONFIG_HOME", m_folder + "/home");
        env.insert("XDG_STATE_HOME", m_folder + "/home");
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("pulseaudio",
                        {"--daemonize=no", "-n", "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no",
                         "--high-priority=no", "--log-target=stderr", "--log-level=0",
                         "--load=module-native-protocol-unix socket=" + m_folder + "/socket auth-anonymous=1",
                         "--load=module-null-sink sink_name=privatesink"});
        if (!m_process.waitForStarted(10000))
            return false;
        for (int i = 0; i < 200; ++i) {
            QProcess probe;
            QProcessEnvironment penv = QProcessEnvironment::systemEnvironment();
            penv.insert("PULSE_SERVER", address());
            probe.setProcessEnvironment(penv);
            probe.start("pactl", {"info"});
            if (probe.waitForFinished(5000) && probe.exitCode() == 0)
                return true;
            QTest::qWait(50);
        }
        return false;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QString m_folder;
    QProcess m_process;
};

} // namespace

class TstEngineDevices : public QObject {
    Q_OBJECT

    std::unique_ptr<XConnection> m_keepServer;
    QTemporaryDir m_tmp;
    bool m_soundServer = false;     // SR_TEST_ENV_NO_PULSE=1 runs none

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("DISPLAY") && std::getenv("PULSE_SERVER"),
                 "DISPLAY or PULSE_SERVER is not set: run the e2e tests inside scripts/with-test-env.sh");
        m_keepServer.reset(new XConnection(nullptr));
        QVERIFY(m_keepServer->ok());
        QVERIFY(m_tmp.isValid());
        m_soundServer = !pactl({"info"}).isEmpty();
    }

    void init()
    {
        static const QByteArrayList needSound = {
            "soundDevicesOfTheTestServer", "soundQueriesWhileStopped", "soundDeviceNotifications",
            "unregisteringIsSynchronous", "soundServerComesAndGoes"};
        if (!m_soundServer && needSound.contains(QTest::currentTestFunction()))
            QSKIP("no sound server in this test environment");
        QCOMPARE(scInitialize(), int(kScInitOk));
    }
    void cleanup()
    {
        RegisterDeviceNotifies(nullptr);
        scUninitialize();
        sc::setCameraDirectoryForTests(std::string());
        SetAudioSystemOutputDevice(nullptr);
    }

    // The test server's null sink is an output device whose monitor records
    // system sound; its monitor is also the default (and only) input.
    void soundDevicesOfTheTestServer()
    {
        const int sink = renderIndex("nullsink");
        QVERIFY(sink >= 0);
        QCOMPARE(QByteArray(GetAudioRenderDeviceInfo(sink)->name), QByteArray("Null Output"));
        QVERIFY(!GetAudioRenderDeviceInfo(-1));
        QVERIFY(!GetAudioRenderDeviceInfo(GetAudioRenderDeviceCount()));

        QCOMPARE(QByteArray(GetAudioCaptureDefaultDevice()), QByteArray("nullsink.monitor"));
        QCOMPARE(captureIds(), QByteArrayList{"nullsink.monitor"});
        QVERIFY(QByteArray(GetAudioCaptureDeviceInfo(0)->name).contains("Null Output"));
        QVERIFY(!GetAudioCaptureDeviceInfo(1));
        QCOMPARE(GetAudioCaptureDeviceStatus(), 0);
        QCOMPARE(CheckVirtualAudioDriver(), 0);

        // System sound follows the default output unless another existing
        // one was chosen.
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        SetAudioSystemOutputDevice("no-such-sink");
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        QCOMPARE(CheckVirtualAudioDriver(), 0);
        {
            ExtraSink extra("srchosen");
            QVERIFY(extra.ok());
            QTRY_VERIFY_WITH_TIMEOUT(renderIndex("srchosen") >= 0, kEventWaitMs);
            SetAudioSystemOutputDevice("srchosen");
            QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("srchosen"));
            QCOMPARE(CheckVirtualAudioDriver(), 0);
            // Monitors of other outputs are no inputs.
            QCOMPARE(captureIds(), QByteArrayList{"nullsink.monitor"});
        }
        QTRY_VERIFY_WITH_TIMEOUT(renderIndex("srchosen") < 0, kEventWaitMs);
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        SetAudioSystemOutputDevice("");
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
    }

    // The sound queries also answer while the engine is stopped, and leave
    // no thread behind.
    void soundQueriesWhileStopped()
    {
        scUninitialize();
        const int threads = threadCount();
        QVERIFY(renderIndex("nullsink") >= 0);
        QCOMPARE(CheckVirtualAudioDriver(), 0);
        QCOMPARE(threadCount(), threads);
    }

    // No sound server: no devices, every question answered at once.
    void noSoundServer()
    {
        scUninitialize();
        const QString missing = m_tmp.filePath("no-server/socket");
        ScopedEnv env("PULSE_SERVER", ("unix:" + missing).toUtf8().constData());
        QCOMPARE(scInitialize(), int(kScInitOk));
        QElapsedTimer clock;
        clock.start();
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(GetAudioRenderDeviceCount(), 0);
            QVERIFY(!GetAudioRenderDeviceInfo(0));
            QCOMPARE(GetAudioCaptureDeviceCount(), 0);
            QVERIFY(!GetAudioCaptureDeviceInfo(0));
            QVERIFY(!GetAudioCaptureDefaultDevice());
            QCOMPARE(GetAudioCaptureDeviceStatus(), 1);
            QVERIFY(!GetAudioSystemOutputDevice());
            QVERIFY(CheckVirtualAudioDriver() != 0);
            QCOMPARE(RequestPermissionMicrophone(), 1);
        }
        QVERIFY2(clock.elapsed() < kPromptMs, QByteArray::number(clock.elapsed()));
        // The watcher copes as well, and stops.
        Listener listener;
        RegisterDeviceNotifies(&listener);
        QTest::qWait(100);
        RegisterDeviceNotifies(nullptr);
        scUninitialize();
    }

    // A server that takes the connection and never answers holds a query
    // up for the time-out only; then the engine stops asking for a while.
    void hungSoundServer()
    {
        scUninitialize();
        const int threads = threadCount();
        const QString path = m_tmp.filePath("silent");
        SilentServer silent(path);
        QVERIFY(silent.ok());
        ScopedEnv env("PULSE_SERVER", ("unix:" + path).toUtf8().constData());
        QCOMPARE(scInitialize(), int(kScInitOk));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(GetAudioRenderDeviceCount(), 0);
        QVERIFY2(clock.elapsed() < kPromptMs, QByteArray::number(clock.elapsed()));
        clock.restart();
        QVERIFY(CheckVirtualAudioDriver() != 0);
        QVERIFY(!GetAudioCaptureDefaultDevice());
        QCOMPARE(GetAudioCaptureDeviceStatus(), 1);
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
        scUninitialize();
        QCOMPARE(threadCount(), threads);
    }

    // This machine has no camera; neither are files, or character devices
    // without a V4L2 driver, that only carry a camera's name.
    void camerasAreV4l2CaptureNodes()
    {
        const int real = GetCameraDeviceCount();
        QVERIFY(real >= 0);
        QVERIFY(!GetCameraDevice(real));
        QVERIFY(!GetCameraDevice(-1));
        QCOMPARE(RequestPermissionCamera(), real > 0 ? 2 : 1);
        QCOMPARE(GetCameraDefaultDevice() != nullptr, real > 0);

        const QString folder = m_tmp.filePath("dev");
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + "/video0");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QFile::link("/dev/null", folder + "/video1"));
        QVERIFY(QFile::link("/dev/zero", folder + "/video2x"));
        sc::setCameraDirectoryForTests(folder.toStdString());
        QCOMPARE(GetCameraDeviceCount(), 0);
        QVERIFY(!GetCameraDevice(0));
        QVERIFY(!GetCameraDefaultDevice());
        QCOMPARE(RequestPermissionCamera(), 1);
    }

    // Sound devices that come and go are announced on an engine thread;
    // after unregistering, nothing more arrives.
    void soundDeviceNotifications()
    {
        Listener listener;
        RegisterDeviceNotifies(&listener);
        {
            ExtraSink extra("extra");
            QVERIFY(extra.ok());
            QTRY_VERIFY_WITH_TIMEOUT(listener.render > 0, kEventWaitMs);
            // Its monitor is a new source.
            QTRY_VERIFY_WITH_TIMEOUT(listener.capture > 0, kEventWaitMs);
            QVERIFY(renderIndex("extra") >= 0);
            listener.reset();
            extra.unload();
            QTRY_VERIFY_WITH_TIMEOUT(listener.render > 0, kEventWaitMs);
        }
        QVERIFY(!listener.wrongThread);

        RegisterDeviceNotifies(nullptr);
        listener.released = true;
        listener.reset();
        {
            ExtraSink extra("extra");
            QVERIFY(extra.ok());
            QTRY_VERIFY_WITH_TIMEOUT(renderIndex("extra") >= 0, kEventWaitMs);
            QTest::qWait(300);
        }
        QTRY_VERIFY_WITH_TIMEOUT(renderIndex("extra") < 0, kEventWaitMs);
        QTest::qWait(300);
        QCOMPARE(listener.total(), 0);
    }

    // A sound server that appears after the engine started, and goes away
    // again, is announced; its devices come and go with it.
    void soundServerComesAndGoes()
    {
        scUninitialize();
        PrivateSoundServer server(m_tmp.filePath("private-pulse"));
        ScopedEnv env("PULSE_SERVER", server.address().toUtf8().constData());
        QCOMPARE(scInitialize(), int(kScInitOk));
        Listener listener;
        RegisterDeviceNotifies(&listener);
        QCOMPARE(GetAudioRenderDeviceCount(), 0);
        QTest::qWait(200);      // the watcher has found no server

        QVERIFY(server.start());
        QTRY_VERIFY_WITH_TIMEOUT(listener.render > 0 && listener.capture > 0, kEventWaitMs);
        QVERIFY(renderIndex("privatesink") >= 0);
        QCOMPARE(CheckVirtualAudioDriver(), 0);

        listener.reset();
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(listener.render > 0 && listener.capture > 0, kEventWaitMs);
        QCOMPARE(GetAudioRenderDeviceCount(), 0);
        QVERIFY(CheckVirtualAudioDriver() != 0);
        RegisterDeviceNotifies(nullptr);
        scUninitialize();
    }

    // A listener may unregister itself inside a callback; unregistering
    // from another thread waits for a callback in flight.
    void unregisteringIsSynchronous()
    {
        Listener inside;
        inside.unregisterOnRender = true;
        RegisterDeviceNotifies(&inside);
        {
            ExtraSink extra("extra");
            QVERIFY(extra.ok());
            QTRY_VERIFY_WITH_TIMEOUT(inside.render > 0, kEventWaitMs);
            QTest::qWait(300);
        }
        QTRY_VERIFY_WITH_TIMEOUT(renderIndex("extra") < 0, kEventWaitMs);
        QTest::qWait(300);
        QCOMPARE(inside.render.load(), 1);

        Listener slow;
        slow.slowRender = true;
        RegisterDeviceNotifies(&slow);
        ExtraSink extra("extra");
        QVERIFY(extra.ok());
        QTRY_VERIFY_WITH_TIMEOUT(slow.inSlowCall, kEventWaitMs);
        RegisterDeviceNotifies(nullptr);
        QVERIFY(slow.slowCallFinished);
        slow.released = true;
        extra.unload();
        QTest::qWait(300);
        QCOMPARE(slow.afterRelease.load(), 0);
    }

    // Camera nodes that appear and disappear are announced; other names in
    // the folder are not.
    void cameraNotifications()
    {
        scUninitialize();
        const QString folder = m_tmp.filePath("watched");
        QVERIFY(QDir().mkpath(folder));
        sc::setCameraDirectoryForTests(folder.toStdString());
        QCOMPARE(scInitialize(), int(kScInitOk));
        Listener listener;
        RegisterDeviceNotifies(&listener);
        QFile other(folder + "/audio0");
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        QFile node(folder + "/video7");
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        QTRY_VERIFY_WITH_TIMEOUT(listener.video > 0, kEventWaitMs);
        QTest::qWait(200);
        QCOMPARE(listener.video.load(), 1);
        listener.reset();
        QVERIFY(QFile::remove(folder + "/video7"));
        QTRY_VERIFY_WITH_TIMEOUT(listener.video > 0, kEventWaitMs);
        RegisterDeviceNotifies(nullptr);
    }

    // A monitor added on a private X server is announced as a display
    // change.
    void displayNotifications()
    {
        scUninitialize();
        PrivateDisplay display("1600x600x24");
        QVERIFY2(display.ok(), "cannot start a private Xvfb");
        XConnection& x = display.x;
        QCOMPARE(scInitialize(), int(kScInitOk));
        Listener listener;
        RegisterDeviceNotifies(&listener);
        QVERIFY(addMonitor(x, "SIDE-1", 800, 0, 800, 600));
        QTRY_VERIFY_WITH_TIMEOUT(listener.display > 0, kEventWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(GetDisplayCount(), 2, kEventWaitMs);
        QVERIFY(!listener.wrongThread);
        RegisterDeviceNotifies(nullptr);
        scUninitialize();
    }

    // Stopping the engine ends every callback and every engine thread, also
    // when a listener stays registered through the restarts.
    void startStopLeavesNoThread()
    {
        Listener listener;
        RegisterDeviceNotifies(&listener);
        GetAudioRenderDeviceCount();
        scUninitialize();
        const int threads = threadCount();
        for (int i = 0; i < 20; ++i) {
            if (i % 2 == 0)
                RegisterDeviceNotifies(&listener);      // before the start: kept for it
            QCOMPARE(scInitialize(), int(kScInitOk));
            RegisterDeviceNotifies(&listener);
            QCOMPARE(GetAudioRenderDeviceCount() > 0, m_soundServer);
            if (i % 3 == 0)
                QVERIFY(scFindWindow(kWindowFilterNormal));
            scUninitialize();
            QCOMPARE(threadCount(), threads);
        }
        if (!m_soundServer)
            return;
        // Stopping forgot the listener: a new start does not call it.
        listener.released = true;
        QCOMPARE(scInitialize(), int(kScInitOk));
        {
            ExtraSink extra("extra");
            QVERIFY(extra.ok());
            QTRY_VERIFY_WITH_TIMEOUT(renderIndex("extra") >= 0, kEventWaitMs);
            QTest::qWait(300);
        }
        QCOMPARE(listener.afterRelease.load(), 0);
        QCOMPARE(threadCount(), threads + 1);     // the sound server connection
        scUninitialize();
        QCOMPARE(threadCount(), threads);
    }
};

QTEST_GUILESS_MAIN(TstEngineDevices)
#include "tst_engine_devices.moc"
