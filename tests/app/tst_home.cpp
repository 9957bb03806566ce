// The home window and its frame offscreen, against the engine double: the
// region arithmetic as values, the default region as the engine's box gets
// it, pages and source switches, permission prompts, a failed engine start,
// the ordered teardown, and the frame's own duties.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "app/RegionGeometry.h"
#include "app/SystemStatusBar.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxSettings.h"
#include "recording/ScreenRegion.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "widgets/CustomSpin.h"
#include "widgets/FfSwitchButton.h"

#define VERIFY_DRIVER(driver) QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

namespace {

// Where the region box is now, right and bottom exclusive; null without one.
QRectF regionBox()
{
    if (!FakeScreencast::cropBox())
        return QRectF();
    const CRect r = FakeScreencast::cropBox()->rect;
    return QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom));
}

QString lastCropBox()
{
    const QStringList boxes = FakeScreencast::callsOf("scShowScreenCropBox");
    return boxes.isEmpty() ? QString() : boxes.last();
}

void setSingleDisplay(int width, int height)
{
    FakeScreencast::Display display;
    display.name = "Built-in Display";
    display.frame = CRect{0, 0, double(width), double(height)};
    display.primary = true;
    FakeScreencast::setDisplays({display});
}

class HideCounter : public QObject
{
public:
    int hides = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        hides += event->type() == QEvent::Hide;
        return false;
    }
};

} // namespace

class TestHome : public QObject
{
    Q_OBJECT

private:
    testsupport::ShownFrame m_frame;

    MainWindowBase* frame() { return m_frame.get(); }
    MainWindow* home() { return frame()->mainWindow(); }
    template <class T>
    T* child(const char* name)
    {
        return m_frame.child<T>(name);
    }
    bool checked(const char* name)
    {
        if (auto* button = frame()->findChild<QAbstractButton*>(name))
            return button->isChecked();
        return child<FfSwitchButton>(name)->isChecked();
    }
    void chooseTile(const char* tile) { m_frame.chooseTile(tile); }
    void click(const char* name)
    {
        QWidget* w = child<QWidget>(name);
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
    }

private slots:
    void init()
    {
        FakeScreencast::reset();
        FakeScreencast::setAudioCaptureDevices({{"Microphone", "mic-1"}}, "mic-1");
        FakeScreencast::setAudioRenderDevices({{"Speakers", "spk-1"}});
        const QString file = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(file);
        VxSettings::instance()->setApplicationParam("HotkeyRemind", true);
        VxSettings::instance()->setApplicationParam("CountDown", false);
    }

    void cleanup()
    {
        m_frame.reset();
        QCoreApplication::processEvents();
    }

    // Each row: the helper, its inputs (a rectangle, the display or the
    // size asked for, a ratio, a flag) and the rectangle it must give (a
    // point or a size as the rectangle's corner or size).
    void geometry_data()
    {
        QTest::addColumn<QString>("fn");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<QRect>("expected");
        const QSize hd(1920, 1080);
        const double wide = 16.0 / 9.0;
        auto bar = [](const char* name, QRect region, bool corner, QPoint at) {
            QTest::newRow(name) << "bar" << region << QSize() << 0.0 << corner << QRect(at, QSize());
        };
        // The bar (300x40) on 1920x1080, the display in corner form.
        bar("bar: middle, below", QRect(100, 100, 320, 240), false, QPoint(119, 344));
        bar("bar: near the bottom, above", QRect(QPoint(500, 800), QPoint(999, 1049)), false, QPoint(699, 755));
        bar("bar: exactly no room below", QRect(QPoint(500, 800), QPoint(999, 1035)), false, QPoint(699, 755));
        bar("bar: one pixel of room below", QRect(QPoint(500, 800), QPoint(999, 1034)), false, QPoint(699, 1039));
        bar("bar: full display, inside", QRect(0, 0, 1920, 1080), false, QPoint(1619, 5));
        bar("bar: tall at the top edge", QRect(QPoint(100, 0), QPoint(899, 1050)), false, QPoint(599, 5));
        bar("bar: tall, room above", QRect(QPoint(100, 45), QPoint(899, 1050)), false, QPoint(599, 0));
        bar("bar: narrow at the left edge", QRect(0, 300, 200, 200), false, QPoint(0, 504));
        bar("bar: around the mouse", QRect(100, 100, 320, 240), true, QPoint(1620, 5));
        auto lock = [&](const char* name, QSize asked, double ratio, bool widthTyped, QSize expected) {
            QTest::newRow(name) << "lock" << QRect() << asked << ratio << widthTyped << QRect(QPoint(), expected);
        };
        lock("lock: 16:9, width typed", QSize(1280, 500), wide, true, QSize(1280, 720));
        lock("lock: 16:9, height typed", QSize(500, 720), wide, false, QSize(1280, 720));
        lock("lock: square, width past the height", QSize(1500, 100), 1.0, true, QSize(1080, 1080));
        lock("lock: wide, height past the width", QSize(100, 1080), 2.5, false, QSize(1920, 768));
        lock("lock: width past the display", QSize(3000, 100), wide, true, QSize(1920, 1080));
        lock("lock: very wide, the minimum holds", QSize(100, 100), 4.0, true, QSize(100, 64));
        auto fit = [](const char* name, QSize display, double scale, QRect stored, QRect expected) {
            QTest::newRow(name) << "fit" << stored << display << scale << false << expected;
        };
        fit("fit: 1920x1080, nothing stored", hd, 1.0, QRect(), QRect(321, 181, 1280, 720));
        // 512 - 511 = 1 would put the right edge one pixel past the display.
        fit("fit: 1024x768, nothing stored", QSize(1024, 768), 1.0, QRect(), QRect(0, 25, 1024, 720));
        fit("fit: scale 2 on 1920x1080", hd, 2.0, QRect(), QRect(0, 0, 1920, 1080));
        fit("fit: scale 2 on 3840x2160", QSize(3840, 2160), 2.0, QRect(), QRect(641, 361, 2560, 1440));
        fit("fit: scale 1.25 on 2560x1600", QSize(2560, 1600), 1.25, QRect(), QRect(0, 81, 2560, 1440));
        fit("fit: width below 64", hd, 1.0, QRect(100, 100, 40, 300), QRect(321, 391, 1280, 300));
        fit("fit: bottom past the display", hd, 1.0, QRect(100, 900, 400, 300), QRect(761, 181, 400, 720));
        fit("fit: left of the display", hd, 1.0, QRect(-5, 100, 800, 600), QRect(321, 241, 1280, 600));
        fit("fit: wider than the display", hd, 1.0, QRect(0, 0, 2000, 500), QRect(321, 291, 1280, 500));
        fit("fit: a region that fits", hd, 1.0, QRect(10, 20, 500, 400), QRect(10, 20, 500, 400));
        fit("fit: height below 64, scale 2", hd, 2.0, QRect(10, 10, 300, 10), QRect(811, 0, 300, 1080));
    }

    void geometry()
    {
        QFETCH(QString, fn);
        QFETCH(QRect, rect);
        QFETCH(QSize, size);
        QFETCH(double, ratio);
        QFETCH(bool, flag);
        QFETCH(QRect, expected);
        const QRect hd(QPoint(0, 0), QPoint(1920, 1080));
        if (fn == "bar") {
            QCOMPARE(videoCtlBarPos(rect, hd, QSize(300, 40), flag), expected.topLeft());
        } else if (fn == "lock") {
            QCOMPARE(lockedRatioSize(size.width(), size.height(), ratio, flag, QSize(1920, 1080)), expected.size());
        } else {
            QCOMPARE(fitStoredRegion(rect, size, ratio), expected);
            QVERIFY(QRect(QPoint(0, 0), size).contains(expected));
        }
    }

    void defaultRegionReachesTheRegionBox()
    {
        setSingleDisplay(1024, 768);
        chooseTile("frmChoseVideo");
        // Screen coordinates, right and bottom exclusive.
        QCOMPARE(lastCropBox(), QString("scShowScreenCropBox(cb, {0,25,1024,745}, false, 1024, 720)"));
        QCOMPARE(child<CustomSpin>("editWidth")->value(), 1024);
        QCOMPARE(child<CustomSpin>("editHeight")->value(), 720);
        QCOMPARE(RecordParameter::instance()->getVideoRect(), QRect(0, 25, 1024, 720));
        QVERIFY(checked("btnCustom") && !checked("btnFull"));
    }

    void tilesSwitchPagesOnce()
    {
        QSignalSpy inited(home(), &MainWindow::inited);
        chooseTile("frmChoseVideo");
        QCOMPARE(inited.count(), 1);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Video));
        click("btnHome");
        QTRY_COMPARE(child<QWidget>("frameChoseContent")->x(), 0);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Home));
        QVERIFY(!FakeScreencast::cropBox());   // back home the region box goes

        chooseTile("frmChoseAudio");
        QCOMPARE(inited.count(), 2);
        QVERIFY(child<QWidget>("frameAudioImage")->isVisibleTo(frame()));
        QVERIFY(!FakeScreencast::cropBox());
        // The preset menu on the same page switches the mode without a slide.
        chooseTile("frmChoseVideo");
        for (QWidget* w : QApplication::allWidgets())
            if (auto* b = qobject_cast<QRadioButton*>(w); b && b->text() == "Audio Recorder")
                b->click();
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Audio));
        QCOMPARE(child<QToolButton>("btnPresetMenu")->text(), QString("Audio Recorder"));
        QCOMPARE(inited.count(), 3);
    }

    void sizeBoxesAndTheFullButton()
    {
        chooseTile("frmChoseVideo");
        auto* width = child<CustomSpin>("editWidth");
        QCOMPARE(width->maximum(), 1920);
        click("btnFull");
        QCOMPARE(regionBox(), QRectF(0, 0, 1920, 1080));
        QVERIFY(checked("btnFull") && !checked("btnCustom"));
        // A typed width is taken when confirmed: centre kept, inside the display.
        width->setFocus();
        width->selectAll();
        QTest::keyClicks(width, "800");
        QTest::keyClick(width, Qt::Key_Return);
        QCOMPARE(RecordParameter::instance()->getVideoRect(), QRect(560, 0, 800, 1080));
        QCOMPARE(regionBox(), QRectF(560, 0, 800, 1080));
        QVERIFY(!checked("btnFull") && checked("btnCustom"));
        // Screen off: no box, no size controls; on again: the last region.
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(false);
        QVERIFY(!FakeScreencast::cropBox() && !width->isEnabled());
        QVERIFY(!RecordParameter::instance()->getVideoEnable());
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(true);
        QCOMPARE(lastCropBox(), QString("scShowScreenCropBox(cb, {560,0,1360,1080}, false, 800, 1080)"));
        QVERIFY(width->isEnabled() && checked("btnCustom"));
    }

    void microphoneWithRefusedPermission()
    {
        FakeScreencast::setPermission(1, 1);
        chooseTile("frmChoseVideo");
        bool frameHiddenDuringGuide = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            frameHiddenDuringGuide = frame()->isHidden();
            static_cast<QDialog*>(modal)->reject();
        }, "DlgSetPermissions");
        child<FfSwitchButton>("btnUseMic")->setBtnChecked(true);
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QVERIFY(frameHiddenDuringGuide && frame()->isVisible());
        QVERIFY(!checked("btnUseMic") && !RecordParameter::instance()->getMicEnable());
        QVERIFY(!VxSettings::instance()->applicationParam("Video/MicEnable", true).toBool());
        // Granted meanwhile: the switch stays on, no guide.
        FakeScreencast::setPermission(1, 2);
        child<FfSwitchButton>("btnUseMic")->setBtnChecked(true);
        QVERIFY(checked("btnUseMic") && RecordParameter::instance()->getMicEnable());
        QCOMPARE(driver.seen().size(), 1);
    }

    void refusedScreenCaptureSwitchesVideoOff()
    {
        FakeScreencast::setPermission(2, 1);
        ModalDriver driver;
        driver.rejectDialog("DlgSetPermissions");
        chooseTile("frmChoseVideo");
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QVERIFY(!checked("btnUseDisplay") && !RecordParameter::instance()->getVideoEnable());
        QVERIFY(!FakeScreencast::cropBox());
        QVERIFY(!child<QToolButton>("btnAroundMouse")->isEnabled());
        QTRY_VERIFY(frame()->isVisible());   // the guide's end brings it back
    }

    void accessibilityGuideOnlyWhenRefused()
    {
        HideCounter counter;
        frame()->installEventFilter(&counter);
        chooseTile("frmChoseVideo");
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(false);
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(true);
        QCOMPARE(counter.hides, 0);   // granted: the frame never stepped aside
        cleanup();
        init();
        FakeScreencast::setPermission(3, 1);
        ModalDriver driver;
        driver.rejectDialog("DlgSetPermissions");
        chooseTile("frmChoseVideo");
        QVERIFY(driver.waitFinished());
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(false);
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(true);
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.seen().size(), 1);   // once, however often the switch moves
        QVERIFY(frame()->isVisible());
    }

    void failedEngineStartComputesNothing()
    {
        FakeScreencast::setInitResult(1);
        frame();
        QVERIFY(!home()->engineStarted());
        chooseTile("frmChoseVideo");
        for (const char* call : {"UseDisplay", "SetScreenCropBoxColors", "GetSelectedDisplayWidth",
                                 "scShowScreenCropBox"})
            QVERIFY2(FakeScreencast::callCount(call) == 0, call);
        QCOMPARE(child<QComboBox>("cmbDisplay")->count(), 0);
        QVERIFY(RecordParameter::instance()->getVideoRect().isNull());
        click("btnHome");   // the window works all the same
        QTRY_COMPARE(child<QWidget>("frameChoseContent")->x(), 0);
    }

    void teardownStopsTheEngineLast_data()
    {
        QTest::addColumn<bool>("recording");
        QTest::newRow("idle") << false;
        QTest::newRow("while recording") << true;
    }

    void teardownStopsTheEngineLast()
    {
        QFETCH(bool, recording);
        chooseTile("frmChoseVideo");
        QPointer<VideoRecCtlWdg> bar;
        if (recording) {
            home()->onBtnRecClicked();
            QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Recording), 30000);
            bar = home()->videoRecCtl();
        }
        FakeScreencast::clearCalls();
        m_frame.reset();
        QVERIFY(!bar);
        const QStringList calls = FakeScreencast::calls();
        QCOMPARE(calls.value(calls.size() - 1), QString("scUninitialize()"));
        const int unregister = calls.indexOf("RegisterDeviceNotifies(null)");
        QVERIFY(unregister >= 0 && unregister < calls.size() - 1);
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QVERIFY(!FakeScreencast::deviceListener());
        QVERIFY(!TaskManage::instance()->mainWidBase());
    }

    void scheduledStartWaitsWhileBusy()
    {
        frame();
        testsupport::ScriptedTaskClient* client = nullptr;
        TaskManage* tasks = TaskManage::instance();
        tasks->setClientFactory([&client] { return client = new testsupport::ScriptedTaskClient(); });
        tasks->connectXPCServer();
        QSignalSpy starts(tasks, &TaskManage::sigStartRecord);
        TaskInfo task;
        task.id = "t1";
        task.enabled = true;
        task.record.recwhat = RecordWhat_Audio;
        RecordParameter* rp = RecordParameter::instance();
        rp->m_bPreviewing = true;
        client->push(task);
        rp->m_bPreviewing = false;
        rp->m_bRecording = true;
        client->push(task);
        QCOMPARE(starts.count(), 0);
        rp->m_bRecording = false;
        client->push(task);
        QCOMPARE(starts.count(), 1);
        QTRY_COMPARE(home()->recordWhat(), int(RecordWhat_Audio));   // the task's page first
        tasks->isTasking = false;
        tasks->setClientFactory(nullptr);
    }

    // ---- the frame ----------------------------------------------------------------

    void topMostRoundTrip()
    {
        VxSettings::instance()->setApplicationParam("TopMost", true);
        auto onTop = [this] { return frame()->windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
        auto* hint = child<QToolButton>("btnTopHint");
        QVERIFY(onTop());
        QVERIFY(!hint->isChecked());   // start-up applies the flag, leaves the button
        hint->click();
        QVERIFY(!onTop() && frame()->isVisible());
        QVERIFY(!VxSettings::instance()->applicationParam("TopMost", true).toBool());
        hint->click();
        QVERIFY(onTop() && hint->isChecked() && frame()->isVisible());
        QVERIFY(VxSettings::instance()->applicationParam("TopMost", false).toBool());
        cleanup();
        QVERIFY(onTop());   // the next start honours what was stored
    }

    // The status item's request brings back the innermost running dialog
    // unless it is minimised behind another; with none, the frame.
    void showMainRequest()
    {
        auto request = [] { emit SystemStatusBar::instance()->sigShowMain(); };
        frame()->showMinimized();
        request();
        QVERIFY(!frame()->isMinimized() && frame()->isVisible());
        frame()->hide();
        bool restored = false;
        bool innerStayedMinimized = false;
        bool frameStayedHidden = false;
        ModalDriver driver;
        driver.expect([&](QWidget* outer) {
            outer->showMinimized();
            request();
            restored = !outer->isMinimized() && outer->isVisible();
            VxDialogBase inner(frame());
            inner.exec();
            static_cast<QDialog*>(outer)->reject();
        });
        driver.expect([&](QWidget* inner) {
            inner->showMinimized();
            request();
            innerStayedMinimized = inner->isMinimized();
            frameStayedHidden = frame()->isHidden();
            static_cast<QDialog*>(inner)->reject();
        });
        VxDialogBase outer(frame());
        outer.exec();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QVERIFY(restored && innerStayedMinimized && frameStayedHidden);
        request();
        QVERIFY(frame()->isVisible());
    }

    void aboutAndUpdateRefusedWhileBusy()
    {
        frame();
        RecordParameter* params = RecordParameter::instance();
        {
            ModalDriver none(1500);
            params->m_bRecording = true;
            frame()->showAboutDialog();
            frame()->showUpdateDialog(nullptr);
            params->m_bRecording = false;
            params->setOnlyRecordCamera(true);
            frame()->showAboutDialog();
            params->setOnlyRecordCamera(false);
            QVERIFY(none.seen().isEmpty() && none.failures().isEmpty());
        }
        ModalDriver driver;   // idle: the framework's own box comes
        driver.clickButton(QMessageBox::Ok);
        frame()->showAboutDialog();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.seen().size(), 1);
    }

    void interruptedRecordingIsOffered()
    {
        frame();
        FakeScreencast::setRestoreAudioResult(0);
        {
            ModalDriver none(1000);
            frame()->checkUnSaveFile();   // nothing to restore: nothing asked
            QVERIFY(none.seen().isEmpty());
        }
        QCOMPARE(FakeScreencast::callCount("RestoreAudioRecordTempFiles"), 1);

        QTemporaryDir dir;
        const QString path = dir.filePath("rec.mov");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        VxSettings::instance()->setApplicationParam("outputVideo", path);
        FakeScreencast::clearCalls();
        ModalDriver driver;
        driver.clickButton(QMessageBox::No);
        frame()->checkUnSaveFile();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.seen().value(0).text, QString("An unsaved recording was detected. Restore it now?"));
        // A video file needs no audio restore; "No" changes nothing.
        QCOMPARE(FakeScreencast::callCount("RestoreAudioRecordTempFiles"), 0);
        QVERIFY(frame()->isVisible() && QFile::exists(path));
    }

    void regionBoxFollowsTheFrame()
    {
        chooseTile("frmChoseVideo");
        QVERIFY(FakeScreencast::cropBox());
        // Minimised: the box goes (offscreen restores at once; the log tells).
        FakeScreencast::clearCalls();
        frame()->showMinimized();
        QCOMPARE(FakeScreencast::callCount("CScreenCropBoxObject::release"), 1);
        frame()->showNormal();
        frame()->hide();
        ScreenRegion::instance()->hideRegionBox();
        frame()->show();
        QVERIFY(FakeScreencast::cropBox());
    }

    // Last: closing ends the event loop with 0 and hides the region box.
    void closingHidesTheBoxAndQuits()
    {
        chooseTile("frmChoseVideo");
        QVERIFY(FakeScreencast::cropBox());
        QEventLoop loop;
        QTimer::singleShot(0, frame(), [this] { frame()->close(); });
        QTimer::singleShot(30000, &loop, [&loop] { loop.exit(99); });
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!FakeScreencast::cropBox() && frame()->isHidden());
    }
};

QTEST_MAIN(TestHome)
#include "tst_home.moc"
