// Region selection over the engine double: the box's rectangles and least
// size, display and screen coordinates, the engine's callbacks arriving as
// hub signals on the GUI thread, and the screen-capture permission gate.
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <thread>

#include "core/DeviceManager.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRecorder.h"
#include "recording/ScreenRegion.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"

namespace {

QRectF asRect(const CRect& r)
{
    return QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom));
}

// Hub signals as the home window receives them: on the GUI thread.
class HubListener : public QObject
{
public:
    HubListener()
    {
        SignalsTransfer* hub = SignalsTransfer::instance();
        connect(hub, &SignalsTransfer::toHideMainWindow, this, [this] { note(QStringLiteral("hide")); });
        connect(hub, &SignalsTransfer::toShowWindowAndRegion, this, [this] { note(QStringLiteral("show")); });
        connect(hub, &SignalsTransfer::endSelectRegion, this, [this](QRect r) {
            regions << r;
            note(QStringLiteral("region"));
        });
        connect(hub, &SignalsTransfer::toSetVideoEnable, this,
                [this](bool on) { note(on ? QStringLiteral("video on") : QStringLiteral("video off")); });
    }

    QStringList events;
    QList<QRect> regions;
    bool allOnGui = true;

private:
    void note(const QString& what)
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

private slots:
    void init() { resetWorld(); }
    void cleanup()
    {
        resetWorld();
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    }

    // The box is shown at the rectangle with even sides and the ratio lock;
    // the area goes to the settings; a second rectangle moves the same box
    // without asking for the permission again. Nothing stored: the least box.
    void boxShownAndMoved()
    {
        for (bool keepRatio : {false, true}) {
            init();
            RecordParameter::instance()->setKeepRatio(keepRatio);
            ScreenRegion* region = ScreenRegion::instance();
            QVERIFY(!region->hasScreenRegion());
            region->showRegionBox();
            QCOMPARE(asRect(FakeScreencast::cropBox()->rect), QRectF(0, 0, 64, 64));
            region->hideRegionBox();

            region->showRegionBox(QRect(10, 10, 101, 51));
            FakeCropBox* box = FakeScreencast::cropBox();
            QVERIFY(box && box->callback);
            QCOMPARE(asRect(box->rect), QRectF(10, 10, 100, 50));
            QCOMPARE(box->keepRatio, keepRatio);
            QCOMPARE(QSize(box->width, box->height), QSize(100, 50));
            // Reported regions are at least 64 x 64.
            QCOMPARE(region->resultRegion(), QRect(10, 10, 100, 64));
            QCOMPARE(VxSettings::instance()->applicationParam("VideoLast/VideoRect").toRect(), QRect(10, 10, 100, 64));

            const int permissionChecks = FakeScreencast::callCount("RequestPermissionScreenCapture");
            region->showRegionBox(QRect(200, 100, 640, 360));
            region->showRegionBox(); // shown already: nothing happens
            QCOMPARE(FakeScreencast::cropBox(), box);
            QCOMPARE(asRect(box->rect), QRectF(200, 100, 640, 360));
            QCOMPARE(FakeScreencast::callCount("RequestPermissionScreenCapture"), permissionChecks);

            // Hidden, the rectangle stays and the box comes back at it.
            region->hideRegionBox();
            QVERIFY(!FakeScreencast::cropBox() && region->hasScreenRegion());
            region->showRegionBox();
            QCOMPARE(asRect(FakeScreencast::cropBox()->rect), QRectF(200, 100, 640, 360));
            QCOMPARE(QSize(FakeScreencast::cropBox()->width, FakeScreencast::cropBox()->height), QSize(640, 360));
            QCOMPARE(FakeScreencast::callCount("scShowScreenCropBox"), 3);
        }
    }

    // The box's drag, reported on an engine thread: the home window hides,
    // the rectangle follows, and a box dragged under 64 px is enlarged
    // before the region is announced, on the GUI thread.
    void dragCallbacksReachTheHub()
    {
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox(QRect(100, 100, 400, 300));
        FakeCropBox* box = FakeScreencast::cropBox();
        QVERIFY(box);

        box->fireBeginDrag();
        QTRY_COMPARE_WITH_TIMEOUT(hub.events, QStringList{"hide"}, 20000);
        box->fireRectChanged(CRect{300, 200, 340, 250});
        QCOMPARE(region->resultRegion(), QRect(300, 200, 64, 64));
        box->fireEndDrag();
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions.size(), 1, 20000);
        QCOMPARE(hub.regions.first(), QRect(300, 200, 64, 64));
        QCOMPARE(hub.events, (QStringList{"hide", "region"}));
        QVERIFY(hub.allOnGui);
        // The stored rectangle itself was enlarged.
        region->hideRegionBox();
        region->showRegionBox();
        QCOMPARE(asRect(FakeScreencast::cropBox()->rect), QRectF(300, 200, 64, 64));

        // From a plain thread of the test's own, too.
        std::thread engine([] { FakeScreencast::cropBox()->callback->OnEndDrag(); });
        engine.join();
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions.size(), 2, 20000);
        QVERIFY(hub.allOnGui);
    }

    // On a second display the engine's screen rectangles are converted to
    // and from the display's own coordinates.
    void secondDisplayConverts()
    {
        const FakeScreencast::Display primary{"Built-in Display", CRect{0, 0, 1920, 1080}, 1.0, true};
        const FakeScreencast::Display side{"Side", CRect{1920, 0, 3200, 1024}, 1.0, false};
        FakeScreencast::setDisplays({primary, side});
        DeviceManager::instance()->setUseDisplay(1);

        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox(QRect(100, 100, 200, 200));
        FakeCropBox* box = FakeScreencast::cropBox();
        QVERIFY(box);
        QCOMPARE(asRect(box->rect), QRectF(2020, 100, 200, 200));
        region->showRegionBox(QRect(0, 0, 1280, 1024));
        QCOMPARE(asRect(box->rect), QRectF(1920, 0, 1280, 1024));

        box->fireRectChanged(CRect{2000, 50, 2300, 350});
        box->fireEndDrag();
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions.size(), 1, 20000);
        QCOMPARE(hub.regions.first(), QRect(80, 50, 300, 300));

        region->startSelect();
        QVERIFY(FakeScreencast::imageCapture());
        FakeScreencast::imageCapture()->fireSelCompleted(CRect{3000, 900, 3300, 1100});
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions.size(), 2, 20000);
        // Moved back inside the display, not cut.
        QCOMPARE(hub.regions.last(), QRect(1280 - 300, 1024 - 200, 300, 200));
    }

    // The cross-hair selection: its result and its closing reach the hub on
    // the GUI thread; a new selection, a box at a rectangle and hiding all
    // end a selection still running.
    void selectionCallbacks()
    {
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->startSelect();
        QCOMPARE(FakeScreencast::callsOf("CreateImageCapture"), QStringList{"CreateImageCapture(cb)"});
        FakeImageCapture* capture = FakeScreencast::imageCapture();
        QVERIFY(capture);
        capture->fireBeginResize();
        capture->fireSizeChanged(CRect{100, 100, 300, 200});
        capture->fireEndResize();
        capture->fireSelCompleted(CRect{100, 100, 400, 300});
        // A tiny selection is reported with the least size.
        capture->fireSelCompleted(CRect{500, 500, 510, 505});
        QTRY_COMPARE_WITH_TIMEOUT(hub.regions, (QList<QRect>{QRect(100, 100, 300, 200), QRect(500, 500, 64, 64)}), 20000);
        capture->fireClose();
        QTRY_COMPARE_WITH_TIMEOUT(hub.events.count("show"), 1, 20000);
        QVERIFY(hub.allOnGui);

        // The running selection is released before the next one starts.
        FakeScreencast::clearCalls();
        region->startSelect();
        QCOMPARE(FakeScreencast::calls(),
                 (QStringList{"CImageCaptureObject::release()", "CreateImageCapture(cb)"}));
        region->showRegionBox(QRect(0, 0, 320, 240));
        QVERIFY(!FakeScreencast::imageCapture());
        region->startSelect();
        QVERIFY(FakeScreencast::imageCapture());
        region->hideRegionBox();
        QVERIFY(!FakeScreencast::imageCapture());
        QVERIFY(!FakeScreencast::cropBox());
    }

    // What the engine reported just before the shutdown is not announced
    // after it: the posted work goes with the region.
    void releaseDropsPendingWork()
    {
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox(QRect(10, 10, 200, 200));
        region->startSelect();
        FakeScreencast::cropBox()->fireEndDrag();
        FakeScreencast::imageCapture()->fireSelCompleted(CRect{1, 1, 100, 100});
        ScreenRegion::release();
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(hub.regions.isEmpty());
        // Granted: no guide, true.
        QVERIFY(ScreenRegion::instance()->checkScreenRecordPermission());
        QCoreApplication::processEvents();
        QVERIFY(hub.events.isEmpty());
    }

    // Refused: the home window hides, the guide opens (with the first-time
    // steps only the first time), video is switched off, no box appears and
    // the home window comes back after the guide.
    void permissionRefused()
    {
        FakeScreencast::setPermission(2, 1);
        RecordParameter::instance()->setVideoEnable(true);
        HubListener hub;
        ScreenRegion* region = ScreenRegion::instance();

        QList<bool> firstSteps;
        ModalDriver driver;
        auto answer = [&](QWidget* modal) {
            QFrame* steps = modal->findChild<QFrame*>("frmSystem");
            firstSteps << (steps && !steps->isHidden());
            // The home window was told to hide before the guide showed.
            QCoreApplication::processEvents();
            QVERIFY(hub.events.contains("hide"));
            ModalDriver::forceClose(modal);
        };
        driver.expect(answer, "DlgSetPermissions");
        region->showRegionBox(QRect(0, 0, 640, 480));
        QVERIFY(!FakeScreencast::cropBox());
        QCOMPARE(FakeScreencast::callCount("scShowScreenCropBox"), 0);
        QVERIFY(!RecordParameter::instance()->getVideoEnable());
        QTRY_VERIFY_WITH_TIMEOUT(hub.events.contains("show"), 20000);
        QCOMPARE(hub.events, (QStringList{"hide", "video off", "show"}));
        // Nothing was stored.
        QVERIFY(!region->hasScreenRegion());

        // A second refusal: the guide without the first-time step.
        driver.expect(answer, "DlgSetPermissions");
        QVERIFY(!region->checkScreenRecordPermission());
        QVERIFY(driver.waitFinished(30000));
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(firstSteps, (QList<bool>{true, false}));
    }

    // Granted while the guide is open: the box comes.
    void permissionGrantedInGuide()
    {
        FakeScreencast::setPermission(2, 1);
        ModalDriver driver;
        driver.expect(
            [](QWidget* modal) {
                FakeScreencast::setPermission(2, 2);
                ModalDriver::forceClose(modal);
            },
            "DlgSetPermissions");
        ScreenRegion::instance()->showRegionBox(QRect(0, 0, 640, 480));
        QVERIFY(FakeScreencast::cropBox());
        QVERIFY(driver.waitFinished(30000));
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    }

    // A request from inside the open guide opens no second one.
    void guideNotOpenedTwice()
    {
        FakeScreencast::setPermission(2, 1);
        ScreenRegion* region = ScreenRegion::instance();
        bool inner = true;
        ModalDriver driver;
        driver.expect(
            [&](QWidget* modal) {
                inner = region->checkScreenRecordPermission();
                region->showRegionBox();
                ModalDriver::forceClose(modal);
            },
            "DlgSetPermissions");
        QVERIFY(!region->checkScreenRecordPermission());
        QVERIFY(driver.waitFinished(30000));
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(!inner);
        QVERIFY(!FakeScreencast::cropBox());
    }
};

QTEST_MAIN(TstScreenRegion)
#include "tst_screen_region.moc"
