// The device, display and window model over the engine double, and how
// engine-thread notifications reach the GUI thread through the hub, also
// while the model or the hub is being torn down.
#include <QFileInfo>
#include <QThread>
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

FakeScreencast::Display display(const QString& name, CRect frame, double scale)
{
    FakeScreencast::Display d;
    d.name = name;
    d.frame = frame;
    d.scale = scale;
    return d;
}

FakeScreencast::Window window(unsigned int id, const QString& title, const QString& owner, bool visible = true,
                              CRect frame = CRect{}, int width = 0, int height = 0)
{
    FakeScreencast::Window w;
    w.id = id;
    w.title = title;
    w.owner = owner;
    w.visible = visible;
    w.frame = frame;
    w.width = width;
    w.height = height;
    return w;
}

QString driverName()
{
    return QString::fromUtf8(GetVirtualAudioDriverName());
}

// The hub signals in the order they arrived, and whether all arrived on
// the GUI thread.
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
        connect(hub, &SignalsTransfer::RREndDrag, this, [=](QRect r) {
            note(QString("rect %1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
        });
        connect(hub, &SignalsTransfer::OnTrimOK, this,
                [=](double a, double b) { note(QString("trim %1 %2").arg(a).arg(b)); });
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
        FakeScreencast::setDisplays({display("Built-in Retina", CRect{0, 0, 1440, 900}, 2.0),
                                     display(QString::fromUtf8("Écran HDMI"), CRect{1440, 0, 3360.7, 1080.9}, 1.0)});
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
        QCOMPARE(dm->getDisplayName(1), QString::fromUtf8("Écran HDMI"));
        QCOMPARE(dm->getDisplayName(2), QString());
        // Corners, not sizes: the right edge is 1440 itself; each corner is
        // truncated on its own.
        QCOMPARE(dm->getFullScreenRect(0), QRect(QPoint(0, 0), QPoint(1440, 900)));
        QCOMPARE(dm->getFullScreenRect(1), QRect(QPoint(1440, 0), QPoint(3360, 1080)));
        QVERIFY(dm->getFullScreenRect(2).isNull());
        QVERIFY(dm->isFullScreen(QRect(QPoint(0, 0), QPoint(1440, 900)), 0));
        QVERIFY(!dm->isFullScreen(QRect(0, 0, 1440, 900), 0));
        QVERIFY(dm->isFullScreen(QRect(), 5));
        QVERIFY(dm->isRetinaCurrentDisplay(0));
        QVERIFY(!dm->isRetinaCurrentDisplay(1));
        FakeScreencast::failNext("GetDisplayInfo");
        QVERIFY(!dm->isRetinaCurrentDisplay(0));

        dm->setUseDisplay(1);
        QCOMPARE(FakeScreencast::selectedDisplay(), 1);
        QCOMPARE(dm->getSelectedDisplayRect(), QRect(0, 0, 1920, 1080));
    }

    void audioCaptureUidByName()
    {
        FakeScreencast::setAudioCaptureDevices({{"Mic A", "in-a"}, {"Mic B", "in-b"}, {"Mic A", "in-a2"}},
                                               QString());
        DeviceManager* dm = DeviceManager::instance();
        QCOMPARE(dm->getAudioCaptureUID("Mic A"), QString("in-a")); // the first of that name
        QCOMPARE(dm->getAudioCaptureUID("mic b"), QString());
        QCOMPARE(dm->getAudioCaptureUID(QString()), QString());
        // A device whose record is absent is skipped, not taken as a match.
        FakeScreencast::failNext("GetAudioCaptureDeviceInfo");
        QCOMPARE(dm->getAudioCaptureUID("Mic A"), QString("in-a2"));
    }

    void screenCapturePermissionRefusedOnceOnly()
    {
        FakeScreencast::setPermission(2, 2);
        QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 2);
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
        // Working under another name: renamed to the product's.
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

    void engineStartAndStop()
    {
        FakeScreencast::setInitResult(kScInitNoDisplay);
        QVERIFY(!initScreencast());
        FakeScreencast::setInitResult(kScInitOk);
        QVERIFY(initScreencast());
        QVERIFY(FakeScreencast::initialized());
        uninitScreencast();
        QVERIFY(!FakeScreencast::initialized());
        uninitScreencast(); // a second stop is harmless
    }

    void windowsInListOrderWithTheirFrames()
    {
        FakeScreencast::setWindows({window(0x2a00007, "Editor", "gedit", true, CRect{100.9, 50.2, 900, 650}, 800, 600),
                                    window(0xE0000001u, QString::fromUtf8("Größe — 録画"), "big", false,
                                           CRect{-300.7, -20.5, 10, 10}, 311, 31)});
        WindowListManger* wl = WindowListManger::instance();
        QCOMPARE(wl->getWindowsList(), (QList<int>{0x2a00007, int(0xE0000001u)}));
        // Every query takes a fresh list and lets the previous one go.
        wl->getWindowsList();
        QCOMPARE(FakeScreencast::liveObjectCount(), 1);

        int w = -1, h = -1;
        wl->getWindowsRect(int(0xE0000001u), w, h);
        QCOMPARE(QSize(w, h), QSize(311, 31));
        wl->getWindowsRect(99, w, h); // unknown: zeros, not the last values
        QCOMPARE(QSize(w, h), QSize(0, 0));
        QCOMPARE(wl->getWindowQPoint(0x2a00007), QPoint(100, 50));
        QCOMPARE(wl->getWindowQPoint(int(0xE0000001u)), QPoint(-300, -20)); // towards zero
        QCOMPARE(wl->getWindowQPoint(99), QPoint(0, 0));

        // firstOnly asks about the first window only.
        QVERIFY(wl->chechWindowVisible({0x2a00007, int(0xE0000001u)}, true));
        QVERIFY(!wl->chechWindowVisible({int(0xE0000001u), 0x2a00007}, true));
        QVERIFY(wl->chechWindowVisible({int(0xE0000001u), 0x2a00007}, false));
        QVERIFY(!wl->chechWindowVisible({int(0xE0000001u), 77}, false));
        QVERIFY(!wl->chechWindowVisible({}, false));

        FakeScreencast::failNext("scFindWindow", 3); // the engine is not running
        QVERIFY(wl->getWindowsList().isEmpty());
        QCOMPARE(wl->getCameraWinId(), 0);
    }

    void cameraWindowIsOursWithTheExactTitle()
    {
        const QString own = QCoreApplication::applicationName();
        WindowListManger* wl = WindowListManger::instance();
        // Another program's window of the same title comes first.
        FakeScreencast::setWindowsForFilter(4, {window(21, "Webcam Recorder", "OtherRecorder"),
                                                window(22, "Webcam Recorder", QString()),
                                                window(5, "webcam recorder", own), window(6, "Webcam Recorder ", own),
                                                window(7, "Webcam Recorder", own), window(8, "Webcam Recorder", own)});
        QCOMPARE(wl->getCameraWinId(), 7);
        FakeScreencast::setWindowsForFilter(4, {window(21, "Webcam Recorder", "OtherRecorder")});
        QCOMPARE(wl->getCameraWinId(), 0);

        // The engine names the owner by the executable when no class is set.
        const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCoreApplication::setApplicationName("ScreenRecorder");
        FakeScreencast::setWindowsForFilter(4, {window(32, "Webcam Recorder", "screenrecorder"),
                                                window(31, "Webcam Recorder", exe)});
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

        receiver.events.clear();
        std::thread engine([] {
            emit SignalsTransfer::instance()->RREndDrag(QRect(10, 20, 300, 200));
            emit SignalsTransfer::instance()->OnTrimOK(1.5, 12.25);
        });
        engine.join();
        QTRY_COMPARE(receiver.events, (QStringList{"rect 10,20,300,200", "trim 1.5 12.25"}));
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

        DeviceManager::instance();
        FakeScreencast::fireDisplayChanged();
        QTRY_COMPARE(receiver.events, QStringList{"display"});
    }

    void releasedHubIsNotRecreatedByEngine()
    {
        // Shut-down releases the hub while the engine may still notify.
        SignalsTransfer::instance();
        DeviceManager::instance();
        SignalsTransfer::release();
        fireAll();
        QVERIFY(!SignalsTransfer::existing());
        DeviceManager::release();
        uninitScreencast();
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
        QVERIFY(!SignalsTransfer::existing());
    }
};

QTEST_MAIN(TstDevices)
#include "tst_devices.moc"
