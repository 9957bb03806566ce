// The device, display and window model over the engine double, engine-thread
// notifications reaching the GUI thread, also during teardown.
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "Screencast.h"
#include "core/DeviceManager.h"
#include "core/SignalsTransfer.h"
#include "core/WindowListManger.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"

namespace {

using W = FakeScreencast::Window;

QString driverName()
{
    return QString::fromUtf8(GetVirtualAudioDriverName());
}

// The hub's device signals in the order they arrived, and whether all
// arrived on the GUI thread.
class Receiver : public QObject
{
public:
    explicit Receiver(SignalsTransfer* hub)
    {
        auto note = [this](const QString& what) {
            events << what;
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        };
        connect(hub, &SignalsTransfer::displayChange, this, [=] { note("display"); });
        connect(hub, &SignalsTransfer::audioCaptureChange, this, [=] { note("capture"); });
        connect(hub, &SignalsTransfer::audioRenderChange, this, [=] { note("render"); });
        connect(hub, &SignalsTransfer::cameraDeviceChange, this, [=] { note("camera"); });
    }
    QStringList events;
    bool onGuiThread = true;
};

void fireAll()
{
    FakeScreencast::fireDisplayChanged();
    FakeScreencast::fireAudioCaptureChanged();
    FakeScreencast::fireAudioRenderChanged();
    FakeScreencast::fireVideoCaptureChanged();
}

} // namespace

class TstDevices : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FakeScreencast::reset();
        FakeScreencast::setDisplays({{"Built-in", CRect{0, 0, 1440, 900}, 2.0},
                                     {QString::fromUtf8("Écran HDMI"), CRect{1440, 0, 3360.7, 1080.9}, 1.0}});
    }

    void cleanup()
    {
        WindowListManger::release();
        DeviceManager::release();
        SignalsTransfer::release();
        VxProductInfo::instance()->overrideValue("brand", "PrelDun");
        VxSettings::instance()->removeApplicationParam("PermissionScreenCapture");
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    }

    void displaysInCornerCoordinates()
    {
        DeviceManager* dm = DeviceManager::instance();
        QCOMPARE(dm->getDisplayCount(), 2);
        // Corners, not sizes: the right edge is 1440 itself; each corner is
        // truncated on its own.
        QCOMPARE(dm->getFullScreenRect(1), QRect(QPoint(1440, 0), QPoint(3360, 1080)));
        QVERIFY(dm->getFullScreenRect(2).isNull());
        QVERIFY(dm->isFullScreen(QRect(QPoint(0, 0), QPoint(1440, 900)), 0));
        QVERIFY(!dm->isFullScreen(QRect(0, 0, 1440, 900), 0));
        dm->setUseDisplay(1);
        QCOMPARE(FakeScreencast::selectedDisplay(), 1);
        QCOMPARE(dm->getSelectedDisplayRect(), QRect(0, 0, 1920, 1080));
    }

    void screenCapturePermissionRefusedOnceOnly()
    {
        // A grant does not use up the first-time guide.
        FakeScreencast::setPermission(2, 1);
        QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 0);
        QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 1);
        // Also after a restart: the answer is in the settings store.
        DeviceManager::release();
        VxSettings::release();
        QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 1);
        FakeScreencast::setPermission(2, 2);
        QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 2);
    }

    void virtualAudioDriverRename()
    {
        DeviceManager* dm = DeviceManager::instance();
        // Broken: reported, never renamed.
        FakeScreencast::setVirtualAudioDriver(1, "Old Name");
        QVERIFY(!dm->checkVirtualAudioDriver());
        QCOMPARE(driverName(), QString("Old Name"));
        FakeScreencast::setVirtualAudioDriver(0, "Old Name");
        QVERIFY(dm->checkVirtualAudioDriver());
        QCOMPARE(driverName(), QString("PrelDun Recording Audio Plug-in"));
        // A brand without a name for the source asks for no rename at all.
        VxProductInfo::instance()->overrideValue("brand", "Nobody");
        DeviceManager::release();
        FakeScreencast::setVirtualAudioDriver(0, "Old Name");
        FakeScreencast::clearCalls();
        QVERIFY(DeviceManager::instance()->checkVirtualAudioDriver());
        QCOMPARE(FakeScreencast::callCount("SetVirtualAudioDriverName"), 0);
    }

    void windowsAndTheirFrames()
    {
        FakeScreencast::setWindows({W{0x2a00007, "Editor", "gedit", CRect{100.9, 50.2, 900, 650}, true, 800, 600},
                                    W{0xE0000001u, "Hidden", "big", CRect{-300.7, -20.5, 10, 10}, false, 311, 31}});
        WindowListManger* wl = WindowListManger::instance();
        QCOMPARE(wl->getWindowsList(), (QList<int>{0x2a00007, int(0xE0000001u)}));
        // Every query takes a fresh list and lets the previous one go.
        wl->getWindowsList();
        QCOMPARE(FakeScreencast::liveObjectCount(), 1);
        int w = -1, h = -1;
        wl->getWindowsRect(99, w, h); // unknown: zeros, not the last values
        QCOMPARE(QSize(w, h), QSize(0, 0));
        QCOMPARE(wl->getWindowQPoint(int(0xE0000001u)), QPoint(-300, -20)); // towards zero
        // firstOnly asks about the first window only.
        QVERIFY(!wl->chechWindowVisible({int(0xE0000001u), 0x2a00007}, true));
        QVERIFY(wl->chechWindowVisible({int(0xE0000001u), 0x2a00007}, false));
        FakeScreencast::failNext("scFindWindow", 3); // the engine is not running
        QVERIFY(wl->getWindowsList().isEmpty());
        QCOMPARE(wl->getCameraWinId(), 0);
    }

    void cameraWindowIsOursWithTheExactTitle()
    {
        const QString own = QCoreApplication::applicationName();
        WindowListManger* wl = WindowListManger::instance();
        // Another program's window of the same title comes first.
        FakeScreencast::setWindowsForFilter(4, {W{21, "Webcam Recorder", "OtherRecorder"}, W{22, "Webcam Recorder", ""},
                                                W{6, "Webcam Recorder ", own}, W{7, "Webcam Recorder", own}});
        QCOMPARE(wl->getCameraWinId(), 7);
        // The engine names the owner by the executable when no class is set.
        const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCoreApplication::setApplicationName("ScreenRecorder");
        FakeScreencast::setWindowsForFilter(4, {W{32, "Webcam Recorder", "screenrecorder"},
                                                W{31, "Webcam Recorder", exe}});
        QCOMPARE(wl->getCameraWinId(), 31);
        QCoreApplication::setApplicationName(own);
    }

    void deviceCallbacksArriveOnGuiThread()
    {
        Receiver receiver(SignalsTransfer::instance());
        DeviceManager::instance();
        fireAll();
        // Each fire joined its engine thread: the signals are queued, not run.
        QVERIFY(receiver.events.isEmpty());
        QTRY_COMPARE(receiver.events, (QStringList{"display", "capture", "render", "camera"}));
        QVERIFY(receiver.onGuiThread);
    }

    void releasedManagerHearsNothing()
    {
        Receiver receiver(SignalsTransfer::instance());
        DeviceManager::instance();
        DeviceManager::release();
        // The listener is taken back from the engine before the Device goes.
        QVERIFY(FakeScreencast::deviceListener() == nullptr);
        fireAll();
        QCoreApplication::processEvents();
        QVERIFY(receiver.events.isEmpty());
    }

    void releasedHubIsNotRecreatedByEngine()
    {
        // Shut-down releases the hub while the engine may still notify.
        SignalsTransfer::instance();
        DeviceManager::instance();
        SignalsTransfer::release();
        fireAll();
        QVERIFY(!SignalsTransfer::existing());
    }

    void hubReleaseWaitsForEngineEmission()
    {
        SignalsTransfer::instance();
        std::promise<void> holding;
        std::atomic<bool> emitted{false};
        std::thread engine([&] {
            auto hub = SignalsTransfer::existing();
            holding.set_value();
            // Give release() every chance to run into the emission.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            emit hub->displayChange();
            emitted = true;
        });
        holding.get_future().wait();
        SignalsTransfer::release();
        QVERIFY(emitted);
        engine.join();
    }
};

QTEST_MAIN(TstDevices)
#include "tst_devices.moc"
