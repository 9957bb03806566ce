// The home window inside its frame, offscreen, against the engine double:
// the default recording region, the pages and their tiles, the source
// switches and size boxes (what reaches the engine's region box), the
// permission prompts, a failed engine start and the ordered teardown.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include "widgets/CustomSpin.h"
#include "tests/support/FakeScreencast.h"
#include "widgets/FfSwitchButton.h"
#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRegion.h"
#include "core/SignalsTransfer.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskManage.h"
#include "recording/VideoRecCtlWdg.h"
#include "platform/framework/VxSettings.h"

using testsupport::ScriptedTaskClient;
using testsupport::ShownFrame;

namespace {

// Counts the frame's hide events: the frame must not blink for nothing.
class HideCounter : public QObject
{
public:
    int hides = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            ++hides;
        return QObject::eventFilter(watched, event);
    }
};

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

} // namespace

class TestHome : public QObject
{
    Q_OBJECT

private:
    ShownFrame m_frame;

    MainWindowBase* frame() { return m_frame.get(); }
    MainWindow* home() { return frame()->mainWindow(); }

    template <class T>
    T* child(const char* name)
    {
        return m_frame.child<T>(name);
    }

    void click(const char* name)
    {
        QWidget* w = child<QWidget>(name);
        QVERIFY(w);
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
    }

    void chooseTile(const char* tile) { m_frame.chooseTile(tile); }

    static void setSingleDisplay(int width, int height)
    {
        FakeScreencast::Display display;
        display.name = "Built-in Display";
        display.frame = CRect{0, 0, double(width), double(height)};
        display.primary = true;
        FakeScreencast::setDisplays({display});
    }

private slots:
    void init()
    {
        FakeScreencast::reset();
        FakeScreencast::setAudioCaptureDevices({{"Microphone", "mic-1"}}, "mic-1");
        FakeScreencast::setAudioRenderDevices({{"Speakers", "spk-1"}});
        // A fresh settings file for every case.
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

    // ---- the default region --------------------------------------------------

    void defaultRegion_data()
    {
        QTest::addColumn<QSize>("display");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QRect>("expected");

        QTest::newRow("1920x1080, nothing stored")
            << QSize(1920, 1080) << 1.0 << QRect() << QRect(321, 181, 1280, 720);
        // 512 - 511 = 1 would put the right edge one pixel past the display.
        QTest::newRow("1024x768, nothing stored")
            << QSize(1024, 768) << 1.0 << QRect() << QRect(0, 25, 1024, 720);
        QTest::newRow("scale 2 on 1920x1080")
            << QSize(1920, 1080) << 2.0 << QRect() << QRect(0, 0, 1920, 1080);
        QTest::newRow("scale 2 on 3840x2160")
            << QSize(3840, 2160) << 2.0 << QRect() << QRect(641, 361, 2560, 1440);
        QTest::newRow("scale 1.25 on 2560x1600")
            << QSize(2560, 1600) << 1.25 << QRect() << QRect(0, 81, 2560, 1440);
        QTest::newRow("stored width below 64")
            << QSize(1920, 1080) << 1.0 << QRect(100, 100, 40, 300) << QRect(321, 391, 1280, 300);
        QTest::newRow("stored bottom past the display")
            << QSize(1920, 1080) << 1.0 << QRect(100, 900, 400, 300) << QRect(761, 181, 400, 720);
        QTest::newRow("stored left of the display")
            << QSize(1920, 1080) << 1.0 << QRect(-5, 100, 800, 600) << QRect(321, 241, 1280, 600);
        QTest::newRow("stored wider than the display")
            << QSize(1920, 1080) << 1.0 << QRect(0, 0, 2000, 500) << QRect(321, 291, 1280, 500);
        QTest::newRow("stored region that fits")
            << QSize(1920, 1080) << 1.0 << QRect(10, 20, 500, 400) << QRect(10, 20, 500, 400);
        QTest::newRow("stored height below 64, scale 2")
            << QSize(1920, 1080) << 2.0 << QRect(10, 10, 300, 10) << QRect(811, 0, 300, 1080);
    }

    void defaultRegion()
    {
        QFETCH(QSize, display);
        QFETCH(double, ratio);
        QFETCH(QRect, stored);
        QFETCH(QRect, expected);
        const QRect region = MainWindow::fitStoredRegion(stored, display, ratio);
        QCOMPARE(region, expected);
        QVERIFY(QRect(QPoint(0, 0), display).contains(region));
    }

    void defaultRegionReachesTheRegionBox()
    {
        setSingleDisplay(1024, 768);
        chooseTile("frmChoseVideo");
        // The box gets the region in screen coordinates, right and bottom
        // exclusive.
        QCOMPARE(lastCropBox(), QString("scShowScreenCropBox(cb, {0,25,1024,745}, false, 1024, 720)"));
        QCOMPARE(child<CustomSpin>("editWidth")->value(), 1024);
        QCOMPARE(child<CustomSpin>("editHeight")->value(), 720);
        QCOMPARE(RecordParameter::instance()->getVideoRect(), QRect(0, 25, 1024, 720));
        QVERIFY(child<QToolButton>("btnCustom")->isChecked());
        QVERIFY(!child<QToolButton>("btnFull")->isChecked());
    }

    void storedRegionAndTheFullButton()
    {
        // Full only when the region is the whole display.
        VxSettings::instance()->setApplicationParam("VideoLast/VideoRect", QRect(0, 0, 1920, 1080));
        chooseTile("frmChoseVideo");
        QCOMPARE(lastCropBox(), QString("scShowScreenCropBox(cb, {0,0,1920,1080}, false, 1920, 1080)"));
        QVERIFY(child<QToolButton>("btnFull")->isChecked());
        QVERIFY(!child<QToolButton>("btnCustom")->isChecked());

        cleanup();
        init();
        VxSettings::instance()->setApplicationParam("VideoLast/VideoRect", QRect(0, 0, 1920, 1000));
        chooseTile("frmChoseVideo");
        QCOMPARE(lastCropBox(), QString("scShowScreenCropBox(cb, {0,0,1920,1000}, false, 1920, 1000)"));
        QVERIFY(!child<QToolButton>("btnFull")->isChecked());
        QVERIFY(child<QToolButton>("btnCustom")->isChecked());
    }

    // ---- pages ----------------------------------------------------------------

    void tilesSwitchPagesOnce()
    {
        QSignalSpy inited(home(), &MainWindow::inited);
        QSignalSpy goHome(home(), &MainWindow::goHome);
        QCOMPARE(child<QWidget>("frameChoseContent")->x(), 0);

        chooseTile("frmChoseVideo");
        QCOMPARE(inited.count(), 1);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Video));
        QCOMPARE(child<QToolButton>("btnPresetMenu")->text(), QString("Video Recorder"));
        QCOMPARE(child<QWidget>("frameChoseContent")->x(), -child<QWidget>("frameChoseContent")->width());
        QVERIFY(child<QWidget>("frmChoseVideo")->property("selected").isValid());
        QVERIFY(!child<QWidget>("frmChoseVideo")->property("selected").toBool());

        click("btnHome");
        QTRY_COMPARE(child<QWidget>("frameChoseContent")->x(), 0);
        QCOMPARE(goHome.count(), 1);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Home));
        // Back home the region box goes.
        QVERIFY(!FakeScreencast::cropBox());

        chooseTile("frmChoseAudio");
        QCOMPARE(inited.count(), 2);
        QCOMPARE(child<QToolButton>("btnPresetMenu")->text(), QString("Audio Recorder"));
        QVERIFY(child<QWidget>("frameAudioImage")->isVisibleTo(frame()));
        QVERIFY(!child<QWidget>("frameVideo")->isVisibleTo(frame()));
        QVERIFY(!child<FfSwitchButton>("btnUseDisplay")->isChecked());
        QVERIFY(!FakeScreencast::cropBox());
    }

    void presetMenuSwitchesTheMode()
    {
        chooseTile("frmChoseVideo");
        QSignalSpy inited(home(), &MainWindow::inited);
        QRadioButton* audio = nullptr;
        for (QWidget* w : QApplication::allWidgets()) {
            auto* b = qobject_cast<QRadioButton*>(w);
            if (b && b->text() == "Audio Recorder")
                audio = b;
        }
        QVERIFY(audio);
        audio->click();
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Audio));
        QCOMPARE(child<QToolButton>("btnPresetMenu")->text(), QString("Audio Recorder"));
        QVERIFY(child<QWidget>("frameAudioImage")->isVisibleTo(frame()));
        // Same page: no second slide.
        QCOMPARE(inited.count(), 0);
    }

    // ---- switches and size boxes ------------------------------------------------

    void sizeBoxesAndTheFullButton()
    {
        chooseTile("frmChoseVideo");
        auto* width = child<CustomSpin>("editWidth");
        auto* height = child<CustomSpin>("editHeight");
        QCOMPARE(width->maximum(), 1920);
        QCOMPARE(height->maximum(), 1080);

        click("btnFull");
        QCOMPARE(regionBox(), QRectF(0, 0, 1920, 1080));
        QCOMPARE(width->value(), 1920);
        QCOMPARE(height->value(), 1080);
        QVERIFY(child<QToolButton>("btnFull")->isChecked());
        QVERIFY(!child<QToolButton>("btnCustom")->isChecked());

        // A typed width is taken when confirmed: the region keeps its centre
        // and stays inside the display.
        width->setFocus();
        width->selectAll();
        QTest::keyClicks(width, "800");
        QTest::keyClick(width, Qt::Key_Return);
        QCOMPARE(RecordParameter::instance()->getVideoRect(), QRect(560, 0, 800, 1080));
        QCOMPARE(regionBox(), QRectF(560, 0, 800, 1080));
        QVERIFY(!child<QToolButton>("btnFull")->isChecked());
        QVERIFY(child<QToolButton>("btnCustom")->isChecked());

        // Screen off: no box, no size controls; on again: the last region.
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(false);
        QVERIFY(!FakeScreencast::cropBox());
        QVERIFY(!width->isEnabled());
        QVERIFY(!child<QToolButton>("btnFull")->isEnabled());
        QVERIFY(!RecordParameter::instance()->getVideoEnable());
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(true);
        QCOMPARE(lastCropBox(), QString("scShowScreenCropBox(cb, {560,0,1360,1080}, false, 800, 1080)"));
        QVERIFY(width->isEnabled());
        QVERIFY(child<QToolButton>("btnCustom")->isChecked());
    }

    void presetSizesFitTheDisplay()
    {
        setSingleDisplay(1366, 768);
        frame();
        const QList<QAction*> actions = home()->findChildren<QAction*>();
        auto visible = [&](const char* name) {
            for (QAction* a : actions)
                if (a->objectName() == QLatin1String(name))
                    return a->isVisible();
            return false;
        };
        QVERIFY(!visible("action1920x1080_1080p"));
        QVERIFY(!visible("action4096x2304"));
        QVERIFY(!visible("action5120x2880"));
        QVERIFY(visible("action1280x720_720p"));
        QVERIFY(visible("action854x480_480p"));
        QVERIFY(visible("action1024x768"));
        QVERIFY(visible("action640x480"));
    }

    void systemSoundWithoutItsSource()
    {
        FakeScreencast::setVirtualAudioDriver(2, QString());
        chooseTile("frmChoseVideo");
        QVERIFY(!child<FfSwitchButton>("btnUseAudio")->isChecked());
        child<FfSwitchButton>("btnUseAudio")->setBtnChecked(true);
        QVERIFY(!child<FfSwitchButton>("btnUseAudio")->isChecked());
        QVERIFY(!RecordParameter::instance()->getSysAudioEnable());
        QVERIFY(child<QLabel>("lblAudioNotUse")->isVisibleTo(frame()));
    }

    void microphoneWithRefusedPermission()
    {
        FakeScreencast::setPermission(1, 1);
        chooseTile("frmChoseVideo");
        auto* mic = child<FfSwitchButton>("btnUseMic");
        QVERIFY(mic->isEnabled());

        ModalDriver driver;
        bool frameHiddenDuringGuide = false;
        driver.expect([&](QWidget* modal) {
            frameHiddenDuringGuide = frame()->isHidden();
            static_cast<QDialog*>(modal)->reject();
        }, "DlgSetPermissions");
        mic->setBtnChecked(true);
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(frameHiddenDuringGuide);
        QVERIFY(frame()->isVisible());
        QVERIFY(!mic->isChecked());
        QVERIFY(!RecordParameter::instance()->getMicEnable());
        QVERIFY(!VxSettings::instance()->applicationParam("Video/MicEnable", true).toBool());
        QVERIFY(child<QLabel>("lblMicorphoneNotUsed")->isVisibleTo(frame()));
        QVERIFY(!child<QLabel>("lblMicorphone")->isVisibleTo(frame()));

        // Granted meanwhile: the switch stays on, no guide.
        FakeScreencast::setPermission(1, 2);
        ModalDriver none(1000);
        mic->setBtnChecked(true);
        QVERIFY(mic->isChecked());
        QVERIFY(RecordParameter::instance()->getMicEnable());
        QVERIFY(none.seen().isEmpty());
    }

    void refusedScreenCaptureSwitchesVideoOff()
    {
        FakeScreencast::setPermission(2, 1);
        ModalDriver driver;
        driver.rejectDialog("DlgSetPermissions");
        chooseTile("frmChoseVideo");
        QVERIFY(driver.waitFinished());
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(!child<FfSwitchButton>("btnUseDisplay")->isChecked());
        QVERIFY(!RecordParameter::instance()->getVideoEnable());
        QVERIFY(!FakeScreencast::cropBox());
        QVERIFY(!child<QToolButton>("btnAroundMouse")->isEnabled());
        QVERIFY(!child<CustomSpin>("editWidth")->isEnabled());
        // The guide's end brings the frame back.
        QTRY_VERIFY(frame()->isVisible());
    }

    void accessibilityGuideOnlyWhenRefused()
    {
        HideCounter counter;
        frame()->installEventFilter(&counter);
        chooseTile("frmChoseVideo");
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(false);
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(true);
        // Granted: the frame never stepped aside.
        QCOMPARE(counter.hides, 0);
        cleanup();

        init();
        FakeScreencast::setPermission(3, 1);
        ModalDriver driver;
        driver.rejectDialog("DlgSetPermissions");
        chooseTile("frmChoseVideo");
        QVERIFY(driver.waitFinished());
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(false);
        child<FfSwitchButton>("btnUseDisplay")->setBtnChecked(true);
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        // Shown once, however often the screen switch moves.
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(frame()->isVisible());
    }

    // ---- engine start and stop -------------------------------------------------

    void failedEngineStartComputesNothing()
    {
        FakeScreencast::setInitResult(1);
        frame();
        QVERIFY(!home()->engineStarted());
        QCOMPARE(FakeScreencast::callCount("UseDisplay"), 0);
        QCOMPARE(FakeScreencast::callCount("SetScreenCropBoxColors"), 0);
        QCOMPARE(FakeScreencast::callCount("GetSelectedDisplayWidth"), 0);
        QCOMPARE(child<QComboBox>("cmbDisplay")->count(), 0);

        chooseTile("frmChoseVideo");
        QCOMPARE(FakeScreencast::callCount("scShowScreenCropBox"), 0);
        QCOMPARE(FakeScreencast::callCount("GetSelectedDisplayWidth"), 0);
        QVERIFY(RecordParameter::instance()->getVideoRect().isNull());
        QVERIFY(child<CustomSpin>("editWidth")->maximum() > 64);
        // The window works all the same.
        click("btnHome");
        QTRY_COMPARE(child<QWidget>("frameChoseContent")->x(), 0);
    }

    void teardownStopsTheEngineLast()
    {
        chooseTile("frmChoseVideo");
        QVERIFY(FakeScreencast::cropBox());
        FakeScreencast::clearCalls();
        m_frame.reset();
        const QStringList calls = FakeScreencast::calls();
        QVERIFY(!calls.isEmpty());
        QCOMPARE(calls.last(), QString("scUninitialize()"));
        const int unregister = calls.indexOf("RegisterDeviceNotifies(null)");
        const int boxGone = calls.indexOf("CScreenCropBoxObject::release()");
        QVERIFY(unregister >= 0);
        QVERIFY(boxGone >= 0);
        QVERIFY(unregister < calls.size() - 1);
        QVERIFY(boxGone < calls.size() - 1);
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QVERIFY(!FakeScreencast::deviceListener());
        QVERIFY(!TaskManage::instance()->mainWidBase());
    }

    void teardownWhileRecording()
    {
        chooseTile("frmChoseVideo");
        QPointer<VideoRecCtlWdg> bar;
        home()->onBtnRecClicked();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<VideoRecCtlWdg*>(w))
                bar = found;
        QVERIFY(bar);
        QVERIFY(RecordParameter::instance()->m_bRecording);
        QVERIFY(FakeScreencast::screenRecorder());
        QVERIFY(FakeScreencast::screenRecorder()->started);
        QVERIFY(frame()->isHidden());
        QVERIFY(!FakeScreencast::cropBox());

        // A second start is refused at the gate.
        const int made = FakeScreencast::callCount("scVideoRecord");
        home()->onBtnRecClicked();
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), made);

        // Shutdown in the middle: everything goes at once, nothing is left.
        m_frame.reset();
        QVERIFY(!bar);
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QCOMPARE(FakeScreencast::calls().last(), QString("scUninitialize()"));
    }

    void scheduledStartWaitsWhileBusy()
    {
        frame();
        ScriptedTaskClient* client = nullptr;
        TaskManage* tasks = TaskManage::instance();
        tasks->setClientFactory([&client] {
            client = new ScriptedTaskClient();
            return client;
        });
        tasks->connectXPCServer();
        QVERIFY(client);
        QSignalSpy starts(tasks, &TaskManage::sigStartRecord);
        TaskInfo task;
        task.id = "t1";
        task.enabled = true;
        task.record.recwhat = RecordWhat_Audio;

        RecordParameter::instance()->m_bPreviewing = true;
        client->push(task);
        RecordParameter::instance()->m_bPreviewing = false;
        RecordParameter::instance()->m_bRecording = true;
        client->push(task);
        QCOMPARE(starts.count(), 0);

        RecordParameter::instance()->m_bRecording = false;
        client->push(task);
        QCOMPARE(starts.count(), 1);
        // The queued start reaches the home window, which turns to the
        // task's page before it starts.
        QTRY_COMPARE(home()->recordWhat(), int(RecordWhat_Audio));
        tasks->isTasking = false;
        tasks->setClientFactory(nullptr);
    }
};

QTEST_MAIN(TestHome)
#include "tst_home.moc"
