// Region selection over the engine double: the box and its least size, the
// engine's callbacks as hub signals on the GUI thread, the permission gate.
#include <QApplication>
#include <QtTest>
#include <QFrame>

#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"
#include "recording/ScreenRegion.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"

namespace {

QRectF boxRect()
{
    const CRect r = FakeScreencast::cropBox() ? FakeScreencast::cropBox()->rect : CRect{};
    return QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom));
}

// Runs one of the box's callbacks on an engine thread.
void onBoxThread(const std::function<void(CScreenCropCallback*)>& event)
{
    CScreenCropCallback* box = FakeScreencast::cropBox()->callback;
    FakeScreencast::runOnEngineThread([=] { event(box); });
}

// Hub signals as the home window receives them: on the GUI thread.
class HubListener : public QObject
{
public:
    HubListener()
    {
        SignalsTransfer* hub = SignalsTransfer::instance();
        connect(hub, &SignalsTransfer::toHideMainWindow, this, [this] { note("hide"); });
        connect(hub, &SignalsTransfer::toShowWindowAndRegion, this, [this] { note("show"); });
        connect(hub, &SignalsTransfer::endSelectRegion, this, [this](QRect r) {
            regions << r;
            note("region");
        });
        connect(hub, &SignalsTransfer::toSetVideoEnable, this, [this](bool on) { note(on ? "video on" : "video off"); });
    }

    QStringList events;
    QList<QRect> regions;
    bool allOnGui = true;

private:
    void note(const char* what)
    {
        events << what;
        allOnGui &= QThread::currentThread() == qApp->thread();
    }
};

} // namespace

class TstScreenRegion : public QObject
{
    Q_OBJECT

    void resetWorld()
    {
        ScreenRegion::release();
        RecordParameter::release();
        DeviceManager::release();
        const QString settingsFile = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(settingsFile);
        FakeScreencast::reset();
    }

    // The guide opens for the refused permission; `step` answers it.
    void expectGuide(ModalDriver& driver, const std::function<void(QWidget*)>& step)
    {
        driver.expect([step](QWidget* modal) {
            step(modal);
            ModalDriver::forceClose(modal);
        }, "DlgSetPermissions");
    }

private slots:
    void init() { resetWorld(); }
    void cleanup()
    {
        resetWorld();
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    }

    // The box shows at the rectangle with even sides and the ratio lock, at least 64 x 64; a
    // second rectangle moves the same box without asking for the permission again.
    void boxShownAndMoved()
    {
        RecordParameter::instance()->setKeepRatio(true);
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox(QRect(10, 10, 101, 51));
        FakeCropBox* box = FakeScreencast::cropBox();
        QVERIFY(box);
        QCOMPARE(FakeScreencast::callsOf("scShowScreenCropBox"),
                 QStringList{"scShowScreenCropBox(cb, {10,10,110,60}, true, 100, 50)"});
        QCOMPARE(region->resultRegion(), QRect(10, 10, 100, 64));
        QCOMPARE(VxSettings::instance()->applicationParam("VideoLast/VideoRect").toRect(), QRect(10, 10, 100, 64));

        const int permissionChecks = FakeScreencast::callCount("RequestPermissionScreenCapture");
        region->showRegionBox(QRect(200, 100, 640, 360));
        region->showRegionBox(); // shown already: nothing happens
        QCOMPARE(FakeScreencast::cropBox(), box);
        QCOMPARE(boxRect(), QRectF(200, 100, 640, 360));
        QCOMPARE(FakeScreencast::callCount("RequestPermissionScreenCapture"), permissionChecks);

        // Hidden, the rectangle stays and the box comes back at it.
        region->hideRegionBox();
        QVERIFY(!FakeScreencast::cropBox() && region->hasScreenRegion());
        region->showRegionBox();
        QCOMPARE(FakeScreencast::callsOf("scShowScreenCropBox").last(),
                 QString("scShowScreenCropBox(cb, {200,100,840,460}, true, 640, 360)"));
    }

    // A drag reported on an engine thread: the home window hides, the rectangle follows, and a
    // box under 64 px is enlarged before the region is announced on the GUI thread.
    void dragCallbacksReachTheHub()
    {
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox(QRect(100, 100, 400, 300));
        onBoxThread([](CScreenCropCallback* box) { box->OnBeginDrag(); });
        QTRY_COMPARE_WITH_TIMEOUT(hub.events, QStringList{"hide"}, 20000);
        onBoxThread([](CScreenCropCallback* box) { box->OnScreenRectChanged(CRect{300, 200, 340, 250}); });
        QCOMPARE(region->resultRegion(), QRect(300, 200, 64, 64));
        onBoxThread([](CScreenCropCallback* box) { box->OnEndDrag(); });
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions, QList<QRect>{QRect(300, 200, 64, 64)}, 20000);
        QCOMPARE(hub.events, (QStringList{"hide", "region"}));
        QVERIFY(hub.allOnGui);
        // The stored rectangle itself was enlarged.
        region->hideRegionBox();
        region->showRegionBox();
        QCOMPARE(boxRect(), QRectF(300, 200, 64, 64));
    }

    // The cross-hair selection's result (at least 64 x 64) and closing reach the hub on the GUI
    // thread; a new selection and hiding end one still running.
    void selectionCallbacks()
    {
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->startSelect();
        FakeImageCapture* capture = FakeScreencast::imageCapture();
        QVERIFY(capture);
        capture->fireSelCompleted(CRect{100, 100, 400, 300});
        capture->fireSelCompleted(CRect{500, 500, 510, 505});
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions, (QList<QRect>{QRect(100, 100, 300, 200), QRect(500, 500, 64, 64)}), 20000);
        capture->fireClose();
        QTRY_COMPARE_WITH_TIMEOUT(hub.events.count("show"), 1, 20000);
        QVERIFY(hub.allOnGui);

        // The running selection is released before the next one starts.
        FakeScreencast::clearCalls();
        region->startSelect();
        QCOMPARE(FakeScreencast::calls(), (QStringList{"CImageCaptureObject::release()", "CreateImageCapture(cb)"}));
        region->hideRegionBox();
        QVERIFY(!FakeScreencast::imageCapture() && !FakeScreencast::cropBox());
    }

    // What the engine reported just before the shutdown is not announced
    // after it: the posted work goes with the region.
    void releaseDropsPendingWork()
    {
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox(QRect(10, 10, 200, 200));
        region->startSelect();
        onBoxThread([](CScreenCropCallback* box) { box->OnEndDrag(); });
        FakeScreencast::imageCapture()->fireSelCompleted(CRect{1, 1, 100, 100});
        ScreenRegion::release();
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(hub.regions.isEmpty());
    }

    // Refused: the guide opens (first-time steps once), video goes off, no box, the home window
    // returns after it; a request from inside the open guide opens no second one.
    void permissionRefused()
    {
        FakeScreencast::setPermission(2, 1);
        RecordParameter::instance()->setVideoEnable(true);
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();

        QList<bool> firstSteps;
        bool inner = true;
        ModalDriver driver;
        expectGuide(driver, [&](QWidget* modal) {
            QFrame* steps = modal->findChild<QFrame*>("frmSystem");
            firstSteps << (steps && !steps->isHidden());
            // The home window was told to hide before the guide showed.
            QCoreApplication::processEvents();
            QVERIFY(hub.events.contains("hide"));
        });
        region->showRegionBox(QRect(0, 0, 640, 480));
        QCOMPARE(FakeScreencast::callCount("scShowScreenCropBox"), 0);
        QVERIFY(!RecordParameter::instance()->getVideoEnable());
        QTRY_VERIFY_WITH_TIMEOUT(hub.events.contains("show"), 20000);
        QCOMPARE(hub.events, (QStringList{"hide", "video off", "show"}));
        QVERIFY(!region->hasScreenRegion());

        // A second refusal: the guide without the first-time step.
        expectGuide(driver, [&](QWidget* modal) {
            firstSteps << !modal->findChild<QFrame*>("frmSystem")->isHidden();
            inner = region->checkScreenRecordPermission();
            region->showRegionBox();
        });
        QVERIFY(!region->checkScreenRecordPermission());
        DRIVER_DONE(driver, 30000);
        QCOMPARE(firstSteps, (QList<bool>{true, false}));
        QCOMPARE(driver.seen().size(), 2);
        QVERIFY(!inner && !FakeScreencast::cropBox());
    }
};

QTEST_MAIN(TstScreenRegion)
#include "tst_screen_region.moc"
