// Sound devices, cameras and device notifications of the real engine: the test
// sound server, a missing or hung one, and fake camera nodes.

#include "EngineTestSupport.h"

#include "cam/Cameras.h"
#include "Screencast.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using et::ScopedSink;
using et::waitUntil;

namespace {

class Listener : public CDeviceNotifies {
public:
    void OnDisplayChanged() override {}
    void OnAudioCaptureChanged() override { called(capture); }
    void OnAudioRenderChanged() override { called(render); }
    void OnVideoCaptureChanged() override {}

    std::atomic<int> capture{0}, render{0};
    std::atomic<bool> released{false};      // set by the test once unregistered
    std::atomic<int> afterRelease{0};
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
    // The null sink's monitor records system sound and is the only input; system sound follows
    // the default output unless another was chosen; queries answer while stopped too.
    void soundDevicesOfTheTestServer()
    {
        const int sink = renderIndex("nullsink");
        QVERIFY(sink >= 0);
        QCOMPARE(QByteArray(GetAudioRenderDeviceInfo(sink)->name), QByteArray("Null Output"));
        QCOMPARE(QByteArray(GetAudioCaptureDefaultDevice()), QByteArray("nullsink.monitor"));
        QCOMPARE(captureIds(), QByteArrayList{"nullsink.monitor"});
        QCOMPARE(GetAudioCaptureDeviceStatus(), 0);
        QCOMPARE(RequestPermissionMicrophone(), 2);
        QCOMPARE(GetPermissionRefusal(1), 0);
        QCOMPARE(CheckVirtualAudioDriver(), 0);
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        SetAudioSystemOutputDevice("no-such-sink");
        QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("nullsink"));
        {
            ScopedSink chosen("srchosen");
            QVERIFY(chosen.ok() && waitUntil([] { return renderIndex("srchosen") >= 0; }));
            SetAudioSystemOutputDevice("srchosen");
            QCOMPARE(QByteArray(GetAudioSystemOutputDevice()), QByteArray("srchosen"));
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
    // No sound server: no devices, answered without the 1.5 s time-out; a server that never
    // answers holds one query for it, then the engine stops asking a while; no thread stays.
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
                QCOMPARE(GetPermissionRefusal(1), 3);   // no service, not a missing device
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
    // camera's name are no cameras.
    void cameras()
    {
        scUninitialize();
        const QString folder = m_tmp.filePath("dev");
        QVERIFY(QDir().mkpath(folder) && et::writeFile(folder + "/video0", ""));
        QVERIFY(QFile::link("/dev/null", folder + "/video1"));
        sc::setCameraDirectoryForTests(folder.toStdString());
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetCameraDeviceCount(), 0);
        QVERIFY(!GetCameraDevice(0) && !GetCameraDefaultDevice());
        QCOMPARE(RequestPermissionCamera(), 1);
        QCOMPARE(GetPermissionRefusal(0), 1);   // no device: every node opened
    }
    // A node this user may not open is a camera refused, not a missing one;
    // with no node at all there is no device. Root opens every file, so a
    // child that has become nobody asks.
    void cameraClosedToUser()
    {
        if (::geteuid() != 0)
            QSKIP("another user is played by a child of root only");
        scUninitialize();
        testsupport::SharedFolder folder(0755);
        const QString node = folder.filePath("video0");
        QVERIFY(folder.ok() && et::writeFile(node, ""));
        QVERIFY(QFile::setPermissions(node, QFile::ReadOwner | QFile::WriteOwner));
        sc::setCameraDirectoryForTests(folder.path().toStdString());
        auto askAsNobody = [] {
            const pid_t child = fork();
            if (child == 0) {
                const uint other = testsupport::kOtherUserId;
                if (setgroups(0, nullptr) != 0 || setgid(other) != 0 || setuid(other) != 0)
                    _exit(99);
                _exit(RequestPermissionCamera() * 10 + GetPermissionRefusal(0));
            }
            int status = 0;
            return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        };
        QCOMPARE(askAsNobody(), 12);   // refused, no access
        QVERIFY(QFile::remove(node));
        QCOMPARE(askAsNobody(), 11);   // refused, no device
    }
    // A sink that comes is announced on an engine thread, with its monitor
    // as an input; after unregistering nothing more arrives.
    void soundDeviceNotifications()
    {
        Listener listener;
        RegisterDeviceNotifies(&listener);
        {
            ScopedSink extra("extra");
            QVERIFY(extra.ok());
            QVERIFY(waitUntil([&] { return listener.render > 0 && listener.capture > 0; }));
        }
        QVERIFY(!listener.wrongThread);
        RegisterDeviceNotifies(nullptr);
        listener.released = true;
        sinkComesAndGoes("extra");
        QCOMPARE(listener.afterRelease.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TstEngineDevices)
#include "tst_engine_devices.moc"
