// The real engine's sound devices, cameras and device notifications
// against the test environment's sound server (a null sink "nullsink"), a
// missing sound server, one that never answers, a folder of fake camera
// nodes and a private X server.

#include "EngineTestSupport.h"

#include "Cameras.h"
#include "Screencast.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

using et::ScopedSink;
using et::waitUntil;

namespace {

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
    void reset() { display = capture = render = video = 0; }

    std::atomic<int> display{0}, capture{0}, render{0}, video{0};
    std::atomic<bool> released{false};      // set by the test once unregistered
    std::atomic<int> afterRelease{0};
    std::atomic<bool> slowRender{false}, inSlowCall{false}, slowCallFinished{false}, unregisterOnRender{false};
    std::atomic<bool> wrongThread{false};
    const std::thread::id testThread = std::this_thread::get_id();

private:
    void called(std::atomic<int>& counter)
    {
        ++counter;
        afterRelease += released ? 1 : 0;
        wrongThread = wrongThread || std::this_thread::get_id() == testThread;
    }
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
    for (int i = 0; i < GetAudioCaptureDeviceCount(); ++i)
        if (const AudioDeviceInfo* d = GetAudioCaptureDeviceInfo(i))
            ids << QByteArray(d->uniqueId);
    return ids;
}

// A sink that comes and goes while the test watches: loaded, seen by the
// engine, unloaded, gone for the engine.
void sinkComesAndGoes(const char* name)
{
    ScopedSink sink(name);
    QVERIFY(sink.ok());
    QVERIFY(waitUntil([&] { return renderIndex(name) >= 0; }));
    sink.unload();
    QVERIFY(waitUntil([&] { return renderIndex(name) < 0; }));
}

// A unix socket that takes connections into its backlog and never
// answers: a hung sound server.
class SilentServer {
public:
    explicit SilentServer(const QString& path) : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        std::memcpy(address.sun_path, p.constData(), std::min(sizeof address.sun_path - 1, std::size_t(p.size())));
        m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
               && listen(m_fd, 16) == 0;
    }
    ~SilentServer() { close(m_fd); }
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok = false;
};

} // namespace

class TstEngineDevices : public QObject {
    Q_OBJECT

    std::unique_ptr<et::XConn> m_keepServer;
    QTemporaryDir m_tmp;
    bool m_soundServer = false;     // SR_TEST_ENV_NO_PULSE=1 runs none

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("DISPLAY") && std::getenv("PULSE_SERVER"), "run inside scripts/with-test-env.sh");
        m_keepServer.reset(new et::XConn);
        QVERIFY(m_keepServer->ok() && m_tmp.isValid());
        m_soundServer = !et::pactl({"info"}).isEmpty();
    }
    void init()
    {
        if (!m_soundServer && QByteArray(QTest::currentTestFunction()).startsWith("sound"))
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
    // The null sink is an output whose monitor records system sound; the
    // monitor is also the default (and only) input. System sound follows
    // the default output unless another existing one was chosen. The
    // queries also answer while the engine is stopped.
    void soundDevicesOfTheTestServer()
    {
        const int sink = renderIndex("nullsink");
        QVERIFY(sink >= 0);
        QCOMPARE(QByteArray(GetAudioRenderDeviceInfo(sink)->name), QByteArray("Null Output"));
        QVERIFY(!GetAudioRenderDeviceInfo(-1) && !GetAudioRenderDeviceInfo(GetAudioRenderDeviceCount()));
        QCOMPARE(QByteArray(GetAudioCaptureDefaultDevice()), QByteArray("nullsink.monitor"));
        QCOMPARE(captureIds(), QByteArrayList{"nullsink.monitor"});
        QVERIFY(QByteArray(GetAudioCaptureDeviceInfo(0)->name).contains("Null Output"));
        QCOMPARE(GetAudioCaptureDeviceStatus(), 0);
        QCOMPARE(CheckVirtualAudioDriver(), 0);
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        SetAudioSystemOutputDevice("no-such-sink");
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        {
            ScopedSink chosen("srchosen");
            QVERIFY(chosen.ok() && waitUntil([] { return renderIndex("srchosen") >= 0; }));
            SetAudioSystemOutputDevice("srchosen");
            QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("srchosen"));
            QCOMPARE(CheckVirtualAudioDriver(), 0);
            QCOMPARE(captureIds(), QByteArrayList{"nullsink.monitor"});   // monitors of other outputs are no inputs
        }
        QVERIFY(waitUntil([] { return renderIndex("srchosen") < 0; }));
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));

        scUninitialize();
        const int threads = et::threadCount();
        QVERIFY(renderIndex("nullsink") >= 0);
        QCOMPARE(CheckVirtualAudioDriver(), 0);
        QCOMPARE(et::threadCount(), threads);
    }
    // No sound server: no devices, every question answered without a wait
    // (a wait would be the engine's time-out of 1.5 s for each). One that
    // never answers holds a query up for the time-out once; then the
    // engine stops asking for a while. No thread stays behind.
    void noOrHungSoundServer()
    {
        scUninitialize();
        const int threads = et::threadCount();
        const QString silentPath = m_tmp.filePath("silent");
        SilentServer silent(silentPath);
        QVERIFY(silent.ok());
        for (const QString& server : {m_tmp.filePath("no-server/socket"), silentPath}) {
            et::ScopedEnv env("PULSE_SERVER", ("unix:" + server).toUtf8().constData());
            QCOMPARE(scInitialize(), int(kScInitOk));
            QCOMPARE(GetAudioRenderDeviceCount(), 0);
            QElapsedTimer clock;
            clock.start();
            for (int round = 0; round < 3; ++round) {
                QCOMPARE(GetAudioCaptureDeviceCount(), 0);
                QVERIFY(!GetAudioCaptureDefaultDevice() && !GetAudioSystemOutputDevice());
                QCOMPARE(GetAudioCaptureDeviceStatus(), 1);
                QVERIFY(CheckVirtualAudioDriver() != 0);
                QCOMPARE(RequestPermissionMicrophone(), 1);
            }
            QVERIFY2(clock.elapsed() < 3000, QByteArray::number(clock.elapsed()));   // at most one more time-out
            Listener listener;   // the watcher copes as well, and stops
            RegisterDeviceNotifies(&listener);
            RegisterDeviceNotifies(nullptr);
            scUninitialize();
            QCOMPARE(et::threadCount(), threads);
        }
    }
    // Files and character devices without a V4L2 driver that only carry a
    // camera's name are no cameras; nodes that come and go are announced.
    void cameras()
    {
        const int real = GetCameraDeviceCount();
        QVERIFY(real >= 0 && !GetCameraDevice(real) && !GetCameraDevice(-1));
        QCOMPARE(RequestPermissionCamera(), real > 0 ? 2 : 1);
        scUninitialize();
        const QString folder = m_tmp.filePath("dev");
        QVERIFY(QDir().mkpath(folder) && et::writeFile(folder + "/video0", ""));
        QVERIFY(QFile::link("/dev/null", folder + "/video1") && QFile::link("/dev/zero", folder + "/video2x"));
        sc::setCameraDirectoryForTests(folder.toStdString());
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetCameraDeviceCount(), 0);
        QVERIFY(!GetCameraDevice(0) && !GetCameraDefaultDevice());
        QCOMPARE(RequestPermissionCamera(), 1);

        Listener listener;
        RegisterDeviceNotifies(&listener);
        QVERIFY(et::writeFile(folder + "/audio0", "") && et::writeFile(folder + "/video7", ""));
        QVERIFY(waitUntil([&] { return listener.video > 0; }));
        QVERIFY(QFile::remove(folder + "/video7"));
        QVERIFY(waitUntil([&] { return listener.video > 1; }));
        QCOMPARE(listener.video.load(), 2);   // other names are not announced
    }
    // Sinks that come and go are announced on an engine thread; after
    // unregistering nothing more arrives. A listener may unregister itself
    // inside a callback; unregistering from another thread waits for a
    // callback in flight.
    void soundDeviceNotifications()
    {
        Listener listener;
        RegisterDeviceNotifies(&listener);
        {
            ScopedSink extra("extra");
            QVERIFY(extra.ok());
            QVERIFY(waitUntil([&] { return listener.render > 0 && listener.capture > 0; }));   // its monitor too
            listener.reset();
            extra.unload();
            QVERIFY(waitUntil([&] { return listener.render > 0; }));
        }
        QVERIFY(!listener.wrongThread);
        RegisterDeviceNotifies(nullptr);
        listener.released = true;
        sinkComesAndGoes("extra");

        Listener inside;
        inside.unregisterOnRender = true;
        RegisterDeviceNotifies(&inside);
        sinkComesAndGoes("extra");
        QCOMPARE(inside.render.load(), 1);

        Listener slow;
        slow.slowRender = true;
        RegisterDeviceNotifies(&slow);
        ScopedSink extra("extra");
        QVERIFY(extra.ok() && waitUntil([&] { return bool(slow.inSlowCall); }));
        RegisterDeviceNotifies(nullptr);
        QVERIFY(slow.slowCallFinished);
        slow.released = true;
        extra.unload();
        sinkComesAndGoes("extra2");
        QCOMPARE(slow.afterRelease.load() + listener.afterRelease.load(), 0);
    }
    // A monitor added on a private X server is announced as a display change.
    void displayNotifications()
    {
        scUninitialize();
        et::PrivateDisplay display("1600x600x24");
        QVERIFY2(display.ok(), "cannot start a private Xvfb");
        QCOMPARE(scInitialize(), int(kScInitOk));
        Listener listener;
        RegisterDeviceNotifies(&listener);
        QVERIFY(display.addMonitor("SIDE-1", QRect(800, 0, 800, 600)));
        QVERIFY(waitUntil([&] { return listener.display > 0 && GetDisplayCount() == 2; }));
        QVERIFY(!listener.wrongThread);
        RegisterDeviceNotifies(nullptr);
        scUninitialize();
    }
    // Stopping the engine ends every callback and engine thread, also when
    // a listener stays registered through the restarts, and forgets it.
    void startStopLeavesNoThread()
    {
        Listener listener;
        RegisterDeviceNotifies(&listener);
        GetAudioRenderDeviceCount();
        scUninitialize();
        const int threads = et::threadCount();
        for (int i = 0; i < 20; ++i) {
            if (i % 2 == 0)
                RegisterDeviceNotifies(&listener);   // before the start: kept for it
            QCOMPARE(scInitialize(), int(kScInitOk));
            RegisterDeviceNotifies(&listener);
            QCOMPARE(GetAudioRenderDeviceCount() > 0, m_soundServer);
            if (i % 3 == 0)
                QVERIFY(scFindWindow(kWindowFilterNormal));
            scUninitialize();
            QCOMPARE(et::threadCount(), threads);
        }
        if (!m_soundServer)
            return;
        listener.released = true;
        QCOMPARE(scInitialize(), int(kScInitOk));
        sinkComesAndGoes("extra");
        QCOMPARE(listener.afterRelease.load(), 0);
        QCOMPARE(et::threadCount(), threads + 1);   // the sound server connection
        scUninitialize();
        QCOMPARE(et::threadCount(), threads);
    }
};

QTEST_GUILESS_MAIN(TstEngineDevices)
#include "tst_engine_devices.moc"
