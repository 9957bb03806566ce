// The home window and its frame offscreen: region arithmetic, permissions,
// a failed engine start, ordered teardown and the offer of an interrupted recording.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPainter>
#include <QSpinBox>
#include <QtTest>
#include <QToolButton>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "app/RegionGeometry.h"
#include "capture/RecordHistoryDlg.h"
#include "preferences/OptionDialog.h"
#include "schedule/TaskEditDlg.h"
#include "watermark/DlgWatermarkManage.h"
#include "widgets/FfTimeSetting.h"
#include "widgets/VxComboboxViewItemDelegate.h"
#include "core/RecordingSession.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "widgets/FfSwitchButton.h"


namespace {

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


// Whether the combo's painter marks `row` with the red check picture left
// of the text, the row painted as the list paints it.
bool checkMarked(QComboBox* combo, int row)
{
    auto* painter = qobject_cast<VxComboboxViewItemDelegate*>(combo->itemDelegate());
    if (!painter)
        return false;
    QImage picture(240, 24, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    QStyleOptionViewItem option;
    option.rect = picture.rect();
    option.state = QStyle::State_Enabled;
    painter->paint(&p, option, combo->model()->index(row, 0));
    p.end();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < 26; ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 110 && c.blue() < 110)
                return true;
        }
    return false;
}

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
    void chooseTile(const char* tile) { m_frame.chooseTile(tile); }

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

    // Each row: the helper, its inputs (rectangle, display or size, ratio, flag) and the
    // rectangle it must give.
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
        auto bar = [](const char* name, QRect region, QPoint at) {
            QTest::newRow(name) << "bar" << region << QSize() << 0.0 << false << QRect(at, QSize());
        };
        // The bar (300x40) on 1920x1080, the display in corner form.
        bar("bar: exactly no room below", QRect(QPoint(500, 800), QPoint(999, 1035)), QPoint(699, 755));
        bar("bar: one pixel of room below", QRect(QPoint(500, 800), QPoint(999, 1034)), QPoint(699, 1039));
        bar("bar: narrow at the left edge", QRect(0, 300, 200, 200), QPoint(0, 504));
        auto lock = [&](const char* name, QSize asked, double ratio, bool widthTyped, QSize expected) {
            QTest::newRow(name) << "lock" << QRect() << asked << ratio << widthTyped << QRect(QPoint(), expected);
        };
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
        fit("fit: width below 64", hd, 1.0, QRect(100, 100, 40, 300), QRect(321, 391, 1280, 300));
        fit("fit: bottom past the display", hd, 1.0, QRect(100, 900, 400, 300), QRect(761, 181, 400, 720));
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
        if (fn == "bar")
            QCOMPARE(videoCtlBarPos(rect, hd, QSize(300, 40), flag), expected.topLeft());
        else if (fn == "lock")
            QCOMPARE(lockedRatioSize(size.width(), size.height(), ratio, flag, QSize(1920, 1080)), expected.size());
        else
            QCOMPARE(fitStoredRegion(rect, size, ratio), expected);
    }

    // A refused permission: the guide shows with the frame aside, the
    // switch ends off; the microphone's is asked when it is switched on.
    void refusedPermission_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("switchName");
        QTest::newRow("microphone") << 1 << "btnUseMic";
        QTest::newRow("screen capture") << 2 << "btnUseDisplay";
    }

    void refusedPermission()
    {
        QFETCH(int, kind);
        QFETCH(QString, switchName);
        FakeScreencast::setPermission(kind, 1);
        bool frameHiddenDuringGuide = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            frameHiddenDuringGuide = frame()->isHidden();
            static_cast<QDialog*>(modal)->reject();
        }, "DlgSetPermissions");
        chooseTile("frmChoseVideo");
        auto* toggle = child<FfSwitchButton>(switchName.toLatin1().constData());
        if (kind == 1)
            toggle->setBtnChecked(true);
        DRIVER_DONE(driver, 5000);
        QVERIFY(frameHiddenDuringGuide);
        QTRY_VERIFY(frame()->isVisible());
        QVERIFY(!toggle->isChecked());
        RecordParameter* rp = RecordParameter::instance();
        QVERIFY(kind == 1 ? !rp->getMicEnable() : !rp->getVideoEnable() && !FakeScreencast::cropBox());
        // Granted meanwhile: the switch stays on, no second guide.
        FakeScreencast::setPermission(kind, 2);
        toggle->setBtnChecked(true);
        QVERIFY(toggle->isChecked());
        QCOMPARE(driver.seen().size(), 1);
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
        QTest::mouseClick(child<QWidget>("btnHome"), Qt::LeftButton);   // the window works all the same
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
            QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Recording), 30000);
            bar = home()->videoRecCtl();
        }
        FakeScreencast::clearCalls();
        m_frame.reset();
        QVERIFY(!bar);
        const QStringList calls = FakeScreencast::calls();
        QCOMPARE(calls.value(calls.size() - 1), QString("scUninitialize()"));
        // The device listener and the hotkey callback go before the engine.
        for (const char* call : {"RegisterDeviceNotifies(null)", "scSetHotKeyCallback(null)"})
            QVERIFY2(calls.indexOf(call) >= 0 && calls.indexOf(call) < calls.size() - 1, call);
        QVERIFY(FakeScreencast::hotKeys().isEmpty());
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        QVERIFY(!FakeScreencast::deviceListener());
        QVERIFY(!TaskManage::instance()->mainWidBase());
    }

    // The fields, the stored region and the box agree on the even size the
    // encoders record, whether typed or dragged.
    void regionFieldsShowWhatIsRecorded()
    {
        chooseTile("frmChoseVideo");
        auto* width = child<QSpinBox>("editWidth");
        width->setValue(999);
        QCOMPARE(width->value(), 998);
        QCOMPARE(RecordParameter::instance()->getVideoRect().width(), 998);
        QCOMPARE(int(FakeScreencast::cropBox()->rect.right - FakeScreencast::cropBox()->rect.left), 998);
        emit SignalsTransfer::instance()->endSelectRegion(QRect(100, 100, 601, 361));
        QTRY_COMPARE_WITH_TIMEOUT(width->value(), 600, 30000);
        QCOMPARE(child<QSpinBox>("editHeight")->value(), 360);
        QCOMPARE(RecordParameter::instance()->getVideoRect(), QRect(100, 100, 600, 360));
    }

    // The size presets follow the display in use: another display chosen,
    // or the display itself changed; each row lists the visible presets.
    void sizePresetsFollowTheDisplay()
    {
        FakeScreencast::setDisplays({{"Big", CRect{0, 0, 3840, 2160}, 1.0, true},
                                     {"Small", CRect{3840, 0, 3840 + 1366, 768}, 1.0, false}});
        chooseTile("frmChoseVideo");
        const QStringList all = {"action5120x2880", "action4096x2304", "action1920x1080_1080p",
                                 "action1280x720_720p", "action854x480_480p", "action1024x768", "action640x480"};
        const auto visible = [&] {
            QStringList shown;
            for (const QString& name : all)
                if (home()->findChild<QAction*>(name)->isVisible())
                    shown << name;
            return shown;
        };
        const QStringList big = all.mid(2);
        const QStringList small = {"action1280x720_720p", "action854x480_480p", "action1024x768", "action640x480"};
        QCOMPARE(visible(), big);
        auto* displays = child<QComboBox>("cmbDisplay");
        displays->setCurrentIndex(1);
        QCOMPARE(visible(), small);
        displays->setCurrentIndex(0);
        QCOMPARE(visible(), big);
        FakeScreencast::setDisplays({{"Big", CRect{0, 0, 1024, 768}, 1.0, true}});
        emit SignalsTransfer::instance()->displayChange();
        QTRY_COMPARE_WITH_TIMEOUT(visible(), QStringList({"action854x480_480p", "action1024x768", "action640x480"}),
                                  30000);
    }

    // Each row: a window and one of its styled combos; its list marks the
    // current entry, and only that one.
    void combosMarkTheirCurrentRow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("combo");
        QTest::newRow("home: displays") << "home" << "cmbDisplay";
        QTest::newRow("record length: end action") << "length" << "cbStopEvent";
        QTest::newRow("history: filter") << "history" << "cmbFilter";
        QTest::newRow("watermark manager: position") << "watermark" << "cmbPosition";
        QTest::newRow("task editor: kind") << "task" << "cmbKind";
        QTest::newRow("task editor: end action") << "task" << "cmbEndAction";
        QTest::newRow("preferences: format") << "preferences" << "cmbContainer";
    }

    void combosMarkTheirCurrentRow()
    {
        QFETCH(QString, window);
        QFETCH(QString, combo);
        FakeScreencast::setDisplays({{"One", CRect{0, 0, 1920, 1080}, 1.0, true},
                                     {"Two", CRect{1920, 0, 3840, 1080}, 1.0, false}});
        std::unique_ptr<QWidget> owned;
        QWidget* owner = nullptr;
        if (window == "home") {
            owner = frame();
        } else if (window == "length") {
            owned.reset(new FfTimeSetting);
        } else if (window == "history") {
            owned.reset(new RecordHistoryDlg);
        } else if (window == "watermark") {
            auto* manager = new DlgWatermarkManage;
            manager->onInitUI();
            owned.reset(manager);
        } else if (window == "task") {
            owned.reset(new TaskEditDlg(TaskInfo{}));
        } else {
            owned.reset(new OptionDialog(SETTINGPAGE(1)));
        }
        if (!owner)
            owner = owned.get();
        auto* box = owner->findChild<QComboBox*>(combo);
        QVERIFY(box);
        QVERIFY2(box->count() >= 2, qPrintable(QString::number(box->count())));
        box->setCurrentIndex(1);
        QVERIFY(checkMarked(box, 1));
        QVERIFY(!checkMarked(box, 0));
    }

    void topMostRoundTrip()
    {
        VxSettings::instance()->setApplicationParam("TopMost", true);
        auto onTop = [this] { return frame()->windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
        auto* hint = child<QToolButton>("btnTopHint");
        QVERIFY(onTop() && hint->isChecked());   // the pin shows the stored level
        hint->click();
        QVERIFY(!onTop() && frame()->isVisible() && !hint->isChecked());
        QVERIFY(!VxSettings::instance()->applicationParam("TopMost", true).toBool());
        hint->click();
        QVERIFY(onTop() && frame()->isVisible());
        QVERIFY(VxSettings::instance()->applicationParam("TopMost", false).toBool());
        cleanup();
        QVERIFY(onTop());   // the next start honours what was stored
    }

    // A movie named as unsaved is offered ("No" keeps it, no sound restore
    // is tried); with nothing named and no sound to restore, nothing is asked.
    void interruptedRecordingIsOffered()
    {
        frame();
        {
            ModalDriver silent;
            frame()->checkUnSaveFile();
            QVERIFY(silent.seen().isEmpty());
            VERIFY_DRIVER(silent);
        }
        const QString path = Utils::getRecorderTmpRoot() + "/.CaptureCamera.mov";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        VxSettings::instance()->setApplicationParam("outputVideo", path);
        FakeScreencast::clearCalls();
        ModalDriver driver;
        driver.clickButton(QMessageBox::No);
        frame()->checkUnSaveFile();
        DRIVER_DONE(driver, 5000);
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(FakeScreencast::callCount("RestoreAudioRecordTempFiles"), 0);
        QVERIFY(frame()->isVisible() && QFile::exists(path));
        QFile::remove(path);
    }

    // An interrupted sound-only recording, restored by the engine into a
    // file, opens in the preview as sound, and stays named until settled.
    void interruptedSoundOpensAsSound()
    {
        frame();
        QTemporaryDir dir;
        const QString sound = dir.filePath("sound.wav");
        QFile file(sound);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("RIFF") == 4);
        file.close();
        FakeScreencast::setRestoreAudioResult(1);
        FakeScreencast::setAudioRecordFile(sound);
        FakeScreencast::setMediaInfo(sound, MediaFileInfo{4.0, 0, 0, 0});
        FakeScreencast::clearCalls();
        ModalDriver driver(30000);
        driver.clickButton(QMessageBox::Yes, "VxMessageBox");
        // Closed as a test may, past the preview's own question.
        driver.expect(
            [](QWidget* preview) {
                (void)QTest::qWaitFor([] { return FakeScreencast::calls().join(' ').contains("Player("); }, 20000);
                static_cast<QDialog*>(preview)->done(0);
            },
            "DlgVideoClip");
        frame()->checkUnSaveFile();
        DRIVER_DONE(driver, 30000);
        const QString quoted = '"' + sound + '"';
        QCOMPARE(FakeScreencast::callsOf("CreateAudioPlayer").size(), 1);
        QVERIFY(FakeScreencast::callsOf("CreateAudioPlayer").first().contains(quoted));
        QCOMPARE(FakeScreencast::callCount("CreateAVPlayer"), 0);
        QCOMPARE(VxSettings::instance()->applicationParam("outputVideo").toString(), sound);
        QVERIFY(frame()->isVisible());
    }
};

QTEST_MAIN(TestHome)
#include "tst_home.moc"
