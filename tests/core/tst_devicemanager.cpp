// Displays, sound devices, permissions and the system-sound source as the
// DeviceManager reports them from the engine double, and the engine's start
// and stop.
#include <QtTest>

#include "core/DeviceManager.h"
#include "tests/support/FakeScreencast.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

namespace {

FakeScreencast::Display display(const QString& name, CRect frame, double scale)
{
    FakeScreencast::Display d;
    d.name = name;
    d.frame = frame;
    d.scale = scale;
    return d;
}

const char* const kDriverName = "PrelDun Recording Audio Plug-in";

} // namespace

class TstDeviceManager : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void displayNamesAndRects();
    void fullScreenAndRetina();
    void selectedDisplay();
    void audioCaptureUidByName();
    void screenCapturePermissionRefusedOnceOnly();
    void screenCapturePermissionGranted();
    void virtualAudioDriverRename();
    void engineStartAndStop();
};

void TstDeviceManager::init()
{
    FakeScreencast::reset();
    FakeScreencast::setDisplays({display("Built-in Retina", CRect{0, 0, 1440, 900}, 2.0),
                                 display(QString::fromUtf8("Écran HDMI"), CRect{1440, 0, 3360.7, 1080.9}, 1.0)});
}

void TstDeviceManager::cleanup()
{
    DeviceManager::release();
    SignalsTransfer::release();
    VxProductInfo::instance()->overrideValue("brand", "PrelDun");
    VxSettings::instance()->removeApplicationParam("PermissionScreenCapture");
}

void TstDeviceManager::displayNamesAndRects()
{
    DeviceManager* dm = DeviceManager::instance();
    QCOMPARE(dm->getDisplayCount(), 2);
    QCOMPARE(dm->getDisplayName(0), QString("Built-in Retina"));
    QCOMPARE(dm->getDisplayName(1), QString::fromUtf8("Écran HDMI"));
    QCOMPARE(dm->getDisplayName(2), QString());
    QCOMPARE(dm->getDisplayName(-1), QString());

    // Corner coordinates, not sizes: x2 is 1440 itself.
    const QRect first = dm->getFullScreenRect(0);
    QCOMPARE(first.x(), 0);
    QCOMPARE(first.y(), 0);
    QCOMPARE(first.right(), 1440);
    QCOMPARE(first.bottom(), 900);
    QCOMPARE(first.width(), 1441);
    // Each corner truncated on its own.
    QCOMPARE(dm->getFullScreenRect(1), QRect(QPoint(1440, 0), QPoint(3360, 1080)));
    QCOMPARE(dm->getFullScreenRect(2), QRect(QPoint(0, 0), QPoint(-1, -1)));
    QVERIFY(dm->getFullScreenRect(2).isNull());
}

void TstDeviceManager::fullScreenAndRetina()
{
    DeviceManager* dm = DeviceManager::instance();
    QVERIFY(dm->isFullScreen(QRect(QPoint(0, 0), QPoint(1440, 900)), 0));
    QVERIFY(!dm->isFullScreen(QRect(0, 0, 1440, 900), 0));     // x2 = 1439
    QVERIFY(!dm->isFullScreen(QRect(QPoint(0, 0), QPoint(1440, 900)), 1));
    QVERIFY(dm->isFullScreen(QRect(QPoint(1440, 0), QPoint(3360, 1080)), 1));
    // An absent display compares with the null rectangle.
    QVERIFY(dm->isFullScreen(QRect(), 5));
    QVERIFY(!dm->isFullScreen(QRect(0, 0, 10, 10), 5));

    QVERIFY(dm->isRetinaCurrentDisplay(0));
    QVERIFY(!dm->isRetinaCurrentDisplay(1));
    QVERIFY(!dm->isRetinaCurrentDisplay(2));
    QVERIFY(!dm->isRetinaCurrentDisplay(-1));
    FakeScreencast::failNext("GetDisplayInfo");
    QVERIFY(!dm->isRetinaCurrentDisplay(0));
}

void TstDeviceManager::selectedDisplay()
{
    DeviceManager* dm = DeviceManager::instance();
    dm->setUseDisplay(1);
    QCOMPARE(FakeScreencast::selectedDisplay(), 1);
    const QRect r = dm->getSelectedDisplayRect();
    QCOMPARE(r, QRect(0, 0, 1920, 1080));
    QCOMPARE(r.right(), 1919);
    QCOMPARE(r.bottom(), 1079);
    dm->setUseDisplay(0);
    QCOMPARE(dm->getSelectedDisplayRect(), QRect(0, 0, 1440, 900));
}

void TstDeviceManager::audioCaptureUidByName()
{
    FakeScreencast::setAudioCaptureDevices({{"Mic A", "in-a"}, {"Mic B", "in-b"}, {"Mic A", "in-a2"}},
                                           QString());
    DeviceManager* dm = DeviceManager::instance();
    QCOMPARE(dm->getAudioCaptureUID("Mic A"), QString("in-a"));     // the first of that name
    QCOMPARE(dm->getAudioCaptureUID("Mic B"), QString("in-b"));
    QCOMPARE(dm->getAudioCaptureUID("mic b"), QString());
    QCOMPARE(dm->getAudioCaptureUID("Mic"), QString());
    QCOMPARE(dm->getAudioCaptureUID(QString()), QString());
    // A device whose record is absent is skipped, not taken as a match.
    FakeScreencast::failNext("GetAudioCaptureDeviceInfo");
    QCOMPARE(dm->getAudioCaptureUID("Mic A"), QString("in-a2"));
}

void TstDeviceManager::screenCapturePermissionRefusedOnceOnly()
{
    FakeScreencast::setPermission(2, 1);
    DeviceManager* dm = DeviceManager::instance();
    QCOMPARE(dm->isPermissionScreenCapture(), 0);   // first refusal: the guide's first page
    QCOMPARE(dm->isPermissionScreenCapture(), 1);
    QCOMPARE(dm->isPermissionScreenCapture(), 1);

    // Also after a restart: the answer is in the settings store.
    DeviceManager::release();
    VxSettings::release();
    QCOMPARE(VxSettings::instance()->applicationParam("PermissionScreenCapture", true).toBool(), false);
    QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 1);

    // Granted later: granted, whatever was stored.
    FakeScreencast::setPermission(2, 2);
    QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 2);
}

void TstDeviceManager::screenCapturePermissionGranted()
{
    FakeScreencast::setPermission(2, 2);
    QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 2);
    // A grant does not use up the first-time guide.
    QVERIFY(!VxSettings::instance()->containsApplicationParam("PermissionScreenCapture"));
    FakeScreencast::setPermission(2, 0);
    QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 0);
    QCOMPARE(DeviceManager::instance()->isPermissionScreenCapture(), 1);
}

void TstDeviceManager::virtualAudioDriverRename()
{
    DeviceManager* dm = DeviceManager::instance();

    // Broken: reported, never renamed.
    FakeScreencast::setVirtualAudioDriver(1, "Old Name");
    FakeScreencast::clearCalls();
    QVERIFY(!dm->checkVirtualAudioDriver());
    QCOMPARE(FakeScreencast::callCount("SetVirtualAudioDriverName"), 0);

    // Working under another name: renamed to the product's.
    FakeScreencast::setVirtualAudioDriver(0, "Old Name");
    QVERIFY(dm->checkVirtualAudioDriver());
    QCOMPARE(FakeScreencast::callsOf("SetVirtualAudioDriverName"),
             QStringList{QString("SetVirtualAudioDriverName(\"%1\")").arg(kDriverName)});

    // Already right: left alone.
    FakeScreencast::clearCalls();
    QVERIFY(dm->checkVirtualAudioDriver());
    QCOMPARE(FakeScreencast::callCount("SetVirtualAudioDriverName"), 0);
}

void TstDeviceManager::engineStartAndStop()
{
    FakeScreencast::setInitResult(kScInitNoDisplay);
    QVERIFY(!initScreencast());
    QVERIFY(!FakeScreencast::initialized());

    FakeScreencast::setInitResult(kScInitOk);
    QVERIFY(initScreencast());
    QVERIFY(FakeScreencast::initialized());

    FakeScreencast::failNext("scInitialize");
    QVERIFY(!initScreencast());

    FakeScreencast::clearCalls();
    uninitScreencast();
    QCOMPARE(FakeScreencast::calls(), QStringList{"scUninitialize()"});
    QVERIFY(!FakeScreencast::initialized());
    uninitScreencast();   // a second stop is harmless
}

QTEST_MAIN(TstDeviceManager)
#include "tst_devicemanager.moc"
