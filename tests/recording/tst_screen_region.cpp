// Region selection over the engine double: the region box shown, moved and
// hidden with the right rectangles, the least size, the conversion between
// the selected display and the screen, the engine's callbacks (fired on
// threads of their own) arriving as hub signals on the GUI thread, and the
// screen-capture permission gate with its guide.
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

QString rectText(const CRect& r)
{
    return QStringLiteral("{%1,%2,%3,%4}").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom);
}

bool sameRect(const CRect& a, const CRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
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
    // without asking for the permission again.
    void boxShownAndMoved_data()
    {
        QTest::addColumn<bool>("keepRatio");
        QTest::newRow("free") << false;
        QTest::newRow("keep ratio") << true;
    }
    void boxShownAndMoved()
    {
        QFETCH(bool, keepRatio);
        RecordParameter::instance()->setKeepRatio(keepRatio);
        ScreenRegion* region = ScreenRegion::instance();
        QVERIFY(!region->hasScreenRegion());

        region->showRegionBox(QRect(10, 10, 101, 51));
        QCOMPARE(FakeScreencast::callsOf("scShowScreenCropBox").size(), 1);
        FakeCropBox* box = FakeScreencast::cropBox();
        QVERIFY(box);
        QVERIFY2(sameRect(box->rect, CRect{10, 10, 110, 60}), qPrintable(rectText(box->rect)));
        QCOMPARE(box->keepRatio, keepRatio);
        QCOMPARE(box->width, 100);
        QCOMPARE(box->height, 50);
        QVERIFY(box->callback);
        QVERIFY(region->hasScreenRegion());
        // Reported regions are at least 64 x 64.
        QCOMPARE(region->resultRegion(), QRect(10, 10, 100, 64));
        QCOMPARE(VxSettings::instance()->applicationParam("VideoLast/VideoRect").toRect(), QRect(10, 10, 100, 64));

        const int permissionChecks = FakeScreencast::callCount("RequestPermissionScreenCapture");
        region->showRegionBox(QRect(200, 100, 640, 360));
        QCOMPARE(FakeScreencast::callsOf("scShowScreenCropBox").size(), 1);
        QCOMPARE(FakeScreencast::cropBox(), box);
        QCOMPARE(FakeScreencast::callsOf("CScreenCropBoxObject::setRect"),
                 QStringList{"CScreenCropBoxObject::setRect({200,100,840,460})"});
        QCOMPARE(FakeScreencast::callCount("RequestPermissionScreenCapture"), permissionChecks);
        QCOMPARE(region->resultRegion(), QRect(200, 100, 640, 360));

        // Shown already: nothing happens.
        region->showRegionBox();
        QCOMPARE(FakeScreencast::callsOf("scShowScreenCropBox").size(), 1);

        // Hidden, the rectangle stays and the box comes back at it.
        region->hideRegionBox();
        QVERIFY(!FakeScreencast::cropBox());
        QVERIFY(region->hasScreenRegion());
        region->showRegionBox();
        QVERIFY(FakeScreencast::cropBox());
        QVERIFY(sameRect(FakeScreencast::cropBox()->rect, CRect{200, 100, 840, 460}));
        QCOMPARE(FakeScreencast::cropBox()->width, 640);
        QCOMPARE(FakeScreencast::cropBox()->height, 360);
    }

    // With nothing stored the box still has the least size of a region.
    void emptyStoreGivesLeastBox()
    {
        ScreenRegion* region = ScreenRegion::instance();
        region->showRegionBox();
        FakeCropBox* box = FakeScreencast::cropBox();
        QVERIFY(box);
        QVERIFY2(sameRect(box->rect, CRect{0, 0, 64, 64}), qPrintable(rectText(box->rect)));
        QCOMPARE(box->width, 64);
        QCOMPARE(box->height, 64);
        QVERIFY(region->hasScreenRegion());
        QCOMPARE(region->resultRegion(), QRect(0, 0, 64, 64));
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
        QTRY_COMPARE(hub.events, QStringList{"hide"});
        box->fireRectChanged(CRect{300, 200, 340, 250});
        QCOMPARE(region->resultRegion(), QRect(300, 200, 64, 64));
        box->fireEndDrag();
        QTRY_COMPARE(hub.regions.size(), 1);
        QCOMPARE(hub.regions.first(), QRect(300, 200, 64, 64));
        QCOMPARE(hub.events, (QStringList{"hide", "region"}));
        QVERIFY(hub.allOnGui);
        // The stored rectangle itself was enlarged.
        region->hideRegionBox();
        region->showRegionBox();
        QVERIFY2(sameRect(FakeScreencast::cropBox()->rect, CRect{300, 200, 364, 264}),
                 qPrintable(rectText(FakeScreencast::cropBox()->rect)));

        // From a plain thread of the test's own, too.
        std::thread engine([] { FakeScreencast::cropBox()->callback->OnEndDrag(); });
        engine.join();
        QTRY_COMPARE(hub.regions.size(), 2);
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
        QVERIFY2(sameRect(box->rect, CRect{2020, 100, 2220, 300}), qPrintable(rectText(box->rect)));
        region->showRegionBox(QRect(0, 0, 1280, 1024));
        QCOMPARE(FakeScreencast::callsOf("CScreenCropBoxObject::setRect").last(),
                 QStringLiteral("CScreenCropBoxObject::setRect({1920,0,3200,1024})"));

        box->fireRectChanged(CRect{2000, 50, 2300, 350});
        box->fireEndDrag();
        QTRY_COMPARE(hub.regions.size(), 1);
        QCOMPARE(hub.regions.first(), QRect(80, 50, 300, 300));

        region->startSelect();
        QVERIFY(FakeScreencast::imageCapture());
        FakeScreencast::imageCapture()->fireSelCompleted(CRect{3000, 900, 3300, 1100});
        QTRY_COMPARE(hub.regions.size(), 2);
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
        QTRY_COMPARE(hub.regions.size(), 1);
        QCOMPARE(hub.regions.first(), QRect(100, 100, 300, 200));
        // A tiny selection is reported with the least size.
        capture->fireSelCompleted(CRect{500, 500, 510, 505});
        QTRY_COMPARE(hub.regions.size(), 2);
        QCOMPARE(hub.regions.last(), QRect(500, 500, 64, 64));
        capture->fireClose();
        QTRY_COMPARE(hub.events.count("show"), 1);
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
        QTest::qWait(50);
        QVERIFY(hub.regions.isEmpty());
    }

    // Granted: no guide, true.
    void permissionGranted()
    {
        HubListener hub;
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
        QTRY_VERIFY(hub.events.contains("show"));
        QCOMPARE(hub.events, (QStringList{"hide", "video off", "show"}));
        // Nothing was stored.
        QVERIFY(!region->hasScreenRegion());

        // A second refusal: the guide without the first-time step.
        driver.expect(answer, "DlgSetPermissions");
        QVERIFY(!region->checkScreenRecordPermission());
        QVERIFY(driver.waitFinished());
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
        QVERIFY(driver.waitFinished());
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
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(!inner);
        QVERIFY(!FakeScreencast::cropBox());
    }
};

QTEST_MAIN(TstScreenRegion)
#include "tst_screen_region.moc"
