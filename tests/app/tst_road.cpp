// The home window's recording road offscreen against the engine double:
// refusals, races with the start, engine failures, scheduled starts, screenshots.
#include <QAction>
#include <QApplication>
#include <QtTest>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "app/ShowPicture.h"
#include "app/SystemStatusBar.h"
#include "capture/DlgSnapshot.h"
#include "core/RecordingSession.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "preferences/CMASShortcut.h"
#include "recording/CameraDlg.h"
#include "recording/DlgLockWindow.h"
#include "recording/ScreenRecorder.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/SessionHelpers.h"
#include "tests/support/WidgetTestHelpers.h"

using testsupport::historyHead;

namespace {

const int kLong = 30000;   // generous bound for anything the event loop must reach

int liveBars()
{
    int bars = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        bars += qobject_cast<VideoRecCtlWdg*>(w) != nullptr;
    return bars;
}

QByteArray head(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

QRect engineRect(const CRect& r)
{
    return QRect(QPoint(int(r.left), int(r.top)), QPoint(int(r.right) - 1, int(r.bottom) - 1));
}

// Closes whatever modal comes, keeping its text.
ModalDriver::Action closeAnything(QStringList* texts)
{
    return [texts](QWidget* modal) {
        if (texts)
            *texts << ModalDriver::describe(modal).text;
        ModalDriver::forceClose(modal);
    };
}

// Answers a box with one of its buttons, keeping its text.
ModalDriver::Action answer(QMessageBox::StandardButton button, QStringList* texts)
{
    return [button, texts](QWidget* modal) {
        auto* box = qobject_cast<VxMessageBox*>(modal);
        QVERIFY(box);
        if (texts)
            *texts << box->labelInfo();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    };
}

// Where the bar stood when it was first shown: it must be placed by then.
class ShowWatcher : public QObject
{
public:
    QPoint placeAtShow{-1, -1};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<VideoRecCtlWdg*>(watched) && placeAtShow.x() < 0)
            placeAtShow = static_cast<QWidget*>(watched)->geometry().topLeft();
        return false;
    }
};

} // namespace

class TstRoad : public QObject
{
    Q_OBJECT

private:
    testsupport::ShownFrame m_frame;
    QTemporaryDir m_dir;
    QDateTime m_now;

    MainWindowBase* frame() { return m_frame.get(); }
    MainWindow* home() { return frame()->mainWindow(); }
    void chooseTile(const char* tile) { m_frame.chooseTile(tile); }
    static DlgLockWindow* picker()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dlg = qobject_cast<DlgLockWindow*>(w))
                if (dlg->isVisible())
                    return dlg;
        return nullptr;
    }
    int recordings() { return FakeScreencast::callCount("scVideoRecord"); }
    int starts() { return FakeScreencast::callCount("CScreenRecoderObject::start"); }

    // Nothing of a start is left: no flag, no bar, no modal, nothing armed,
    // the status item idle and its panel open.
    void verifyIdle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        RecordParameter* rp = RecordParameter::instance();
        QCOMPARE(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle));
        QVERIFY(!rp->m_bRecording && !rp->m_bPaused && !TaskManage::instance()->isTasking);
        QVERIFY(!rp->isAroundMouse() && !rp->isFollowMouse());
        QVERIFY(!home()->videoRecCtl());
        QCOMPARE(liveBars(), 0);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(VxDialogBase::getAllExecDialogs().isEmpty());
        QVERIFY(SystemStatusBar::instance()->actionEnable());
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Idle));
    }

    void waitRecording()
    {
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Recording), kLong);
        QVERIFY(RecordParameter::instance()->m_bRecording);
        QVERIFY(home()->videoRecCtl());
        QCOMPARE(liveBars(), 1);
        QVERIFY(FakeScreencast::screenRecorder() && FakeScreencast::screenRecorder()->started);
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Recording));
        QVERIFY(SystemStatusBar::instance()->actionEnable());
    }

    // The double writes no file: the bar reports a recording without data.
    void stopByHotkey()
    {
        ModalDriver driver(kLong);
        driver.expect(closeAnything(nullptr), "VxMessageBox");
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        DRIVER_DONE(driver, kLong);
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle), kLong);
        verifyIdle();
        QVERIFY(frame()->isVisible());
    }

    QAction* aroundAction(const QString& text)
    {
        for (QAction* a : m_frame.child<QToolButton>("btnAroundMouse")->menu()->actions())
            for (QAction* s : a->menu() ? a->menu()->actions() : QList<QAction*>())
                if (s->text() == text)
                    return s;
        return nullptr;
    }

    QString redPng()
    {
        QImage image(50, 50, QImage::Format_RGB32);
        image.fill(Qt::red);
        Utils::ensureExists(Utils::getRecorderTmpRoot());
        const QString path = Utils::getRecorderTmpRoot() + "/snap_"
            + QString::number(QRandomGenerator::global()->generate()) + ".png";
        return image.save(path, "PNG") ? path : QString();
    }

    void countdownPictures(int count, int durationMs)
    {
        const QString pictures = m_dir.filePath(QString("countdown%1").arg(count));
        QDir().mkpath(pictures);
        for (int i = 1; i <= count; ++i) {
            QImage picture(40, 40, QImage::Format_RGB32);
            picture.fill(Qt::white);
            QVERIFY(picture.save(QString("%1/%2.png").arg(pictures).arg(i)));
        }
        ShowPicture::setFolderOverride(pictures);
        ShowPicture::setDurations(durationMs, 100);
        VxSettings::instance()->setApplicationParam("CountDown", true);
    }

    // The requests a user or a task can make while a start is under way.
    void requestEverything(bool stopKey = true)
    {
        if (stopKey)
            FakeScreencast::fireHotKey(RP_HotKey_Stop);
        emit SystemStatusBar::instance()->sigStartOrStop();
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Snapshot);
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Pause);
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Float);
        emit SystemStatusBar::instance()->sigShowRecBar();
        home()->onTaskStartRec(RecordWhat_Video);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        FakeScreencast::reset();
        const QString file = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(file);
        VxSettings::instance()->setApplicationParam("HotkeyRemind", true);
        VxSettings::instance()->setApplicationParam("CountDown", false);
        VxProductInfo::instance()->overrideValue("extend/ExcludeProgress", QString());
        VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName", QString());
        ShowPicture::setFolderOverride(QString());
        ShowPicture::setDurations(3000, 500);
        MainWindow::setSaveFileChooser(nullptr);
        // A fresh controller: a start request of an earlier case must not
        // count as one still under way.
        TaskManage::release();
        m_now = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0));
        TaskManage::instance()->setClock([this] { return m_now; });
    }

    void cleanup()
    {
        MainWindow::setSaveFileChooser(nullptr);
        m_frame.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        testsupport::resetSession();
        TaskManage::instance()->setClientFactory(nullptr);
        TaskManage::instance()->setClock(nullptr);
    }

    // Two starts and stops in a row; the bar is placed below the region
    // before it first shows.
    void startAndStop()
    {
        chooseTile("frmChoseVideo");
        const QRect region = RecordParameter::instance()->getVideoRect();
        ShowWatcher watcher;
        qApp->installEventFilter(&watcher);
        home()->onBtnRecClicked();
        QCOMPARE(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Countdown));
        waitRecording();
        qApp->removeEventFilter(&watcher);
        QVERIFY(frame()->isHidden());
        QVERIFY(!home()->preferenceAction()->isEnabled());
        QCOMPARE(engineRect(FakeScreencast::lastVideoRecord().video.rect), region);
        const QRect bar = home()->videoRecCtl()->geometry();
        QVERIFY(home()->videoRecCtl()->isVisible());
        QCOMPARE(bar.topLeft(), QPoint(qMax(0, region.right() - bar.width()), region.bottom() + 5));
        QCOMPARE(watcher.placeAtShow, bar.topLeft());
        stopByHotkey();
        QVERIFY(home()->preferenceAction()->isEnabled());

        // A bar kept hidden from the start is one the tray offers to show.
        RecordParameter::instance()->setHideFloat(true);
        RecordParameter::instance()->m_bRecBarHidden = false;   // as in a new run
        home()->onBtnRecClicked();
        waitRecording();
        QVERIFY(home()->videoRecCtl()->isHidden() && RecordParameter::instance()->m_bRecBarHidden);
        RecordParameter::instance()->setHideFloat(false);
        stopByHotkey();
        QCOMPARE(recordings(), 2);
    }

    // A saved recording's history ends the road once it is closed; a start
    // asked for while it is open is refused, not begun under the bar whose
    // end is still to come.
    void startDuringTheHistoryOfAStopIsRefused()
    {
        chooseTile("frmChoseVideo");
        RecordParameter::instance()->setAutoSave(true);
        home()->onBtnRecClicked();
        waitRecording();
        const QString temp = ScreenRecorder::instance()->getTmpFilePath();
        QVERIFY(testsupport::writeFile(temp, QByteArray(4096, 'v')));
        MediaFileInfo info{};
        info.duration = 3.2;
        info.hasVideo = 1;
        info.width = 320;
        info.height = 240;
        FakeScreencast::setMediaInfo(temp, info);
        const int before = recordings();
        int stateDuring = -1;
        bool barDuring = false;
        ModalDriver driver(kLong);
        driver.expect([](QWidget*) {}, "DlgVideoClip");   // saves and closes by itself
        driver.expect(
            [&](QWidget* history) {
                home()->startOrStop();
                stateDuring = int(RecordingSession::instance()->state());
                barDuring = home()->videoRecCtl() != nullptr;
                ModalDriver::forceClose(history);
            },
            "RecordHistoryDlg");
        home()->startOrStop();
        DRIVER_DONE(driver, kLong);
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle), kLong);
        QCOMPARE(stateDuring, int(RecordingSession::Session_Idle));
        QVERIFY2(barDuring, "the stop was told before the history was closed");
        QCOMPARE(recordings(), before);
        QTRY_VERIFY_WITH_TIMEOUT(!home()->videoRecCtl(), kLong);
        verifyIdle();
    }

    // The history opens without a loop of its own: whoever asked for it
    // goes on once it is closed and not before; a second request waits for
    // the same window.
    void historyOpensWithoutALoop()
    {
        chooseTile("frmChoseVideo");
        SignalsTransfer* hub = SignalsTransfer::instance();
        QObject context;
        int after = 0;
        auto count = [&after] { ++after; };
        QVERIFY2(testsupport::returnsWithoutLoop([&] { hub->showHistoryThen(&context, count); }),
                 "the history ran an event loop inside its caller");
        QPointer<QWidget> history = QApplication::activeModalWidget();
        QVERIFY(history && history->isVisible());
        QCOMPARE(history->objectName(), QString("RecordHistoryDlg"));
        hub->showHistoryThen(&context, count);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeModalWidget(), history.data());
        QCOMPARE(after, 0);
        static_cast<QDialog*>(history.data())->reject();
        QTRY_COMPARE_WITH_TIMEOUT(after, 2, kLong);
        QVERIFY(!hub->isHistoryOpen());
    }

    // A display change while recording waits for the recording's end: the
    // region stays and no editable box comes over the recording meanwhile.
    void displayChangeWaitsForTheEnd()
    {
        chooseTile("frmChoseVideo");
        home()->onBtnRecClicked();
        waitRecording();
        const QRect region = RecordParameter::instance()->getVideoRect();
        FakeScreencast::setDisplays({{"Small", CRect{0, 0, 800, 600}, 1.0, true}});
        emit SignalsTransfer::instance()->displayChange();
        QCoreApplication::processEvents();
        QVERIFY(!FakeScreencast::cropBox());
        QCOMPARE(RecordParameter::instance()->getVideoRect(), region);
        home()->releaseSnapshot();   // a screenshot taken from the bar ends
        QVERIFY(!FakeScreencast::cropBox());
        stopByHotkey();
        QCOMPARE(RecordParameter::instance()->getVideoRect(), QRect(0, 0, 800, 600));
        QVERIFY(FakeScreencast::cropBox());
    }

    // Esc, grabbed for the countdown only, or the start/stop key take the
    // start back: nothing starts, nothing is left to restore.
    void countdownCancelled_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Esc") << int(CMASShortcut::kCancelKeyId);
        QTest::newRow("start/stop key") << int(RP_HotKey_Stop);
    }

    void countdownCancelled()
    {
        QFETCH(int, key);
        countdownPictures(3, 1500);
        chooseTile("frmChoseVideo");
        home()->onBtnRecClicked();
        QTRY_VERIFY_WITH_TIMEOUT(FakeScreencast::screenRecorder(), kLong);
        QCOMPARE(FakeScreencast::hotKeys().value(CMASShortcut::kCancelKeyId).keysym, 0xff1bu);
        const QString temp = ScreenRecorder::instance()->getTmpFilePath();
        FakeScreencast::fireHotKey(key);
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle), kLong);
        QVERIFY(!FakeScreencast::hotKeys().contains(CMASShortcut::kCancelKeyId));
        QVERIFY(!QFileInfo::exists(temp));
        QTest::qWait(1800);   // past the countdown's end
        verifyIdle();
        QCOMPARE(starts(), 0);
        QVERIFY(frame()->isVisible());
    }

    // One row per refusal of a start; the row's tag sets the scene.
    void refusals_data()
    {
        QTest::addColumn<QString>("tile");
        QTest::addColumn<QStringList>("boxes");   // the start of each box's text, in order
        QTest::newRow("nothing to record") << "frmChoseVideo" << QStringList();
        QTest::newRow("task without sources")
            << "frmChoseAudio" << QStringList{"The microphone and speaker for the current audio"};
        QTest::newRow("little temporary space, cancelled")
            << "frmChoseVideo" << QStringList{"To avoid system error and get a smooth recording"};
        QTest::newRow("player") << "frmChoseVideo" << QStringList{"Golden Lion player does not allow"};
    }

    void refusals()
    {
        QFETCH(QString, tile);
        QFETCH(QStringList, boxes);
        const QString row = QTest::currentDataTag();
        VxSettings* settings = VxSettings::instance();
        if (row == "nothing to record") {
            settings->setApplicationParam("VideoEnable", false);
            settings->setApplicationParam("Video/AudioEnable", false);
        } else if (row == "task without sources") {
            settings->setApplicationParam("Audio/MicEnable", false);
            settings->setApplicationParam("Audio/AudioEnable", false);
        } else if (row.startsWith("little temporary space")) {
            FakeScreencast::setFreeSpace(1024LL * 1024 * 1024);
        } else if (row == "player") {
            // This test program stands in for the player: its path holds the name.
            VxProductInfo::instance()->overrideValue("extend/ExcludeProgress", "1");
            VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName",
                                                     QCoreApplication::applicationName());
        }
        chooseTile(tile.toLatin1().constData());
        if (row.startsWith("task"))
            QVERIFY(RecordingSession::instance()->beginTask());
        QStringList texts;
        {
            ModalDriver driver;
            for (int i = 0; i < boxes.size(); ++i)
                driver.expect(closeAnything(&texts));
            QAction* around = aroundAction("640x480");
            if (around && row != "nothing to record")
                around->trigger();   // an armed mode must not outlive the refusal
            else
                home()->onBtnRecClicked();
            DRIVER_DONE(driver, kLong);
        }
        QCOMPARE(texts.size(), boxes.size());
        for (int i = 0; i < boxes.size(); ++i)
            QVERIFY2(texts.at(i).startsWith(boxes.at(i)), qPrintable(texts.at(i)));
        QCOMPARE(recordings(), 0);
        verifyIdle();
        QVERIFY(frame()->isVisible() && home()->preferenceAction()->isEnabled());
        if (row == "player") {
            QVERIFY(FakeScreencast::cropBox());   // the region box is back
            // A player name that is empty names no process.
            VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName", QString());
            home()->onBtnRecClicked();
            waitRecording();
            stopByHotkey();
        }
    }

    // A window chosen in the picker that closes before the start is refused
    // and never recorded: "Re-select" opens the picker again.
    void closedWindowRefused()
    {
        FakeScreencast::setWindows({{7, "Editor", "editor", CRect{10, 10, 410, 310}, true, 400, 300}});
        RecordParameter* rp = RecordParameter::instance();
        rp->setWindowModle(WindowModle_Single);
        chooseTile("frmChoseWindow");
        QTRY_VERIFY_WITH_TIMEOUT(picker(), kLong);
        auto* list = picker()->findChild<QListWidget*>("listWdgWindow");
        QCOMPARE(list->count(), 1);
        list->setCurrentRow(0);
        picker()->findChild<QToolButton*>("btnRecord")->click();
        QCOMPARE(rp->getWindowList(), QList<int>{7});
        QTRY_VERIFY_WITH_TIMEOUT(!picker() && frame()->isVisible(), kLong);

        FakeScreencast::setWindows({});   // closed after OK
        QStringList texts;
        {
            ModalDriver driver;
            driver.expect(answer(QMessageBox::Ok, &texts));
            home()->onBtnRecClicked();
            DRIVER_DONE(driver, kLong);
        }
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().startsWith("If there is no valid window"), qPrintable(texts.first()));
        QTRY_VERIFY_WITH_TIMEOUT(picker(), kLong);
        QCOMPARE(recordings(), 0);
        QVERIFY(rp->getWindowList().isEmpty() && !rp->isWindowRecord());
        picker()->reject();
        QTRY_VERIFY_WITH_TIMEOUT(!picker() && frame()->isVisible(), kLong);
        verifyIdle();
    }

    // "HideDesktop" on: a window recording leaves the chosen window on the
    // screen and puts only the others away, and the end brings them back.
    void hiddenDesktopKeepsTheRecordedWindow()
    {
        const QVector<FakeScreencast::Window> windows{{7, "Editor", "editor", CRect{10, 10, 410, 310}, true, 400, 300},
                                                      {8, "Mail", "mail", CRect{20, 20, 420, 320}, true, 400, 300}};
        FakeScreencast::setWindows(windows);
        FakeScreencast::setDesktopWindows(kDesktopApps, windows);
        RecordParameter* rp = RecordParameter::instance();
        rp->setHideDesktop(true);
        rp->setWindowModle(WindowModle_Single);
        chooseTile("frmChoseWindow");
        QTRY_VERIFY_WITH_TIMEOUT(picker(), kLong);
        picker()->findChild<QListWidget*>("listWdgWindow")->setCurrentRow(0);
        picker()->findChild<QToolButton*>("btnRecord")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!picker() && frame()->isVisible(), kLong);
        const int chosen = rp->getWindowList().value(0);
        QVERIFY(chosen == 7 || chosen == 8);

        home()->onBtnRecClicked();
        waitRecording();
        QCOMPARE(FakeScreencast::calls().filter("scHideDesktopWindows"),
                 QStringList{QStringLiteral("scHideDesktopWindows(1, %1)").arg(15 - chosen)});
        stopByHotkey();
        QTRY_COMPARE_WITH_TIMEOUT(FakeScreencast::calls().filter("scShowDesktopWindows"),
                                  QStringList{QStringLiteral("scShowDesktopWindows(1, %1)").arg(15 - chosen)}, kLong);
        rp->setHideDesktop(false);
    }

    // An unsettled recording is offered before a start: Cancel or a preview closed unsettled
    // keep it and start nothing; Discard deletes it and the start goes on.
    void unsavedRecordingOfferedFirst_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("cancel") << int(QMessageBox::Cancel);
        QTest::newRow("restore, left unsettled") << int(QMessageBox::Yes);
        QTest::newRow("discard") << int(QMessageBox::Discard);
    }

    void unsavedRecordingOfferedFirst()
    {
        QFETCH(int, button);
        Utils::ensureExists(Utils::getRecorderTmpRoot());
        const QString kept = Utils::getRecorderTmpRoot() + "/.CaptureCamera.mov";
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        VxSettings::instance()->setApplicationParam("outputVideo", kept);
        chooseTile("frmChoseVideo");
        QStringList texts;
        {
            ModalDriver driver(kLong);
            driver.expect(answer(QMessageBox::StandardButton(button), &texts), "VxMessageBox");
            if (button == QMessageBox::Yes)
                driver.expect([](QWidget* preview) { static_cast<QDialog*>(preview)->done(0); }, "DlgVideoClip");
            home()->onBtnRecClicked();
            DRIVER_DONE(driver, kLong);
        }
        QCOMPARE(texts.size(), 1);
        const QString named = VxSettings::instance()->applicationParam("outputVideo").toString();
        if (button != QMessageBox::Discard) {
            QCOMPARE(recordings(), 0);
            verifyIdle();
            QVERIFY(QFile::exists(kept));
            QCOMPARE(named, kept);
            return;
        }
        waitRecording();
        QVERIFY(!QFile::exists(kept));
        QCOMPARE(named, ScreenRecorder::instance()->getTmpFilePath());
        stopByHotkey();
    }

    // Every request during the hotkey reminder and during the countdown is
    // refused; the start then goes on once.
    void requestsWhileStarting()
    {
        VxSettings::instance()->setApplicationParam("HotkeyRemind", false);
        countdownPictures(3, 3000);
        chooseTile("frmChoseVideo");
        int stateInReminder = -1;
        int recordingsInReminder = -1;
        {
            ModalDriver driver(kLong);
            driver.expect([&](QWidget* modal) {
                requestEverything();
                stateInReminder = int(RecordingSession::instance()->state());
                recordingsInReminder = recordings();
                QVERIFY(!home()->snapshotEditor());
                QVERIFY(!TaskManage::instance()->isTasking);
                qobject_cast<QDialog*>(modal)->accept();
            }, "DlgHotKeyMessage");
            home()->onBtnRecClicked();
            DRIVER_DONE(driver, kLong);
        }
        QCOMPARE(stateInReminder, int(RecordingSession::Session_Starting));
        QCOMPARE(recordingsInReminder, 0);
        {
            ModalDriver driver;   // nothing may open
            QTRY_VERIFY_WITH_TIMEOUT(FakeScreencast::screenRecorder(), kLong);
            requestEverything(false);   // the start/stop key cancels a countdown
            // Well inside the three seconds of the countdown.
            QCOMPARE(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Countdown));
            QCOMPARE(starts(), 0);
            QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::release"), 0);
            QVERIFY(home()->videoRecCtl()->isHidden());
            QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Idle));
            waitRecording();
            DRIVER_DONE(driver, kLong);
        }
        QCOMPARE(starts(), 1);
        stopByHotkey();
    }

    // From home the key opens the video page and starts later; a second press meanwhile
    // starts at once and the delayed start is refused; so is a press in the short pause.
    void doublePresses()
    {
        frame();
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Video));
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        waitRecording();
        QTest::qWait(700);
        QCOMPARE(recordings(), 1);
        stopByHotkey();
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        waitRecording();
        QTest::qWait(100);
        QCOMPARE(recordings(), 2);
        QCOMPARE(starts(), 2);
        stopByHotkey();
    }

    void engineErrorDuringCountdownEndsTheStart()
    {
        countdownPictures(1, 1500);
        chooseTile("frmChoseVideo");
        home()->onBtnRecClicked();
        QCOMPARE(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Countdown));
        QStringList texts;
        ModalDriver driver(kLong);
        driver.expect(closeAnything(&texts), "VxMessageBox");   // the engine's error
        driver.expect(closeAnything(&texts), "VxMessageBox");   // nothing recorded
        FakeScreencast::screenRecorder()->fireError(SRErrorCode(2));
        DRIVER_DONE(driver, kLong);
        QCOMPARE(texts.size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(int(RecordingSession::instance()->state()), int(RecordingSession::Session_Idle), kLong);
        QTest::qWait(1800);   // past the countdown's end
        verifyIdle();
        QCOMPARE(starts(), 0);
        QVERIFY(frame()->isVisible());
    }

    void engineFailureShows4001AndRestores()
    {
        chooseTile("frmChoseVideo");
        RecordParameter::instance()->setHideTaskbar(true);
        RecordParameter::instance()->setHideDesktop(true);
        FakeScreencast::failNext("scVideoRecord");
        FakeScreencast::setLastErrorText("No sound server is running.");
        QStringList texts;
        bool frameBack = false;
        bool menuBarBack = false;
        {
            ModalDriver driver;
            driver.expect([&](QWidget* modal) {
                frameBack = frame()->isVisible();
                menuBarBack = OSServiceUtils::dockIsHide();
                answer(QMessageBox::Cancel, &texts)(modal);
            }, "VxMessageBox");
            aroundAction("640x480")->trigger();
            DRIVER_DONE(driver, kLong);
        }
        FakeScreencast::setLastErrorText(QString());
        QCOMPARE(texts.size(), 1);
        // The engine's reason, then the code to report.
        QVERIFY2(texts.first().startsWith("No sound server is running. Failed to start recording"),
                 qPrintable(texts.first()));
        QVERIFY2(texts.first().contains("(error code: 4001)"), qPrintable(texts.first()));
        QVERIFY(frameBack && menuBarBack);   // back before the box asks
        verifyIdle();
        QVERIFY(home()->preferenceAction()->isEnabled());
        QCOMPARE(FakeScreencast::liveObjectCount(), 1);   // the region box only
        QVERIFY(FakeScreencast::cropBox());

        // The next start is an ordinary one: no around-mouse left armed.
        home()->onBtnRecClicked();
        waitRecording();
        QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 0);
        stopByHotkey();
    }

    void taskStarts_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("recwhat");
        QTest::addColumn<int>("delaySeconds");
        QTest::addColumn<int>("expectedMode");
        QTest::addColumn<bool>("starts");
        QTest::newRow("fresh video task from home") << "" << 1 << 0 << int(RecordWhat_Video) << true;
        QTest::newRow("5 s old: page switched, no start") << "" << 1 << 5 << int(RecordWhat_Video) << false;
        QTest::newRow("window task: invalid type") << "frmChoseWindow" << 3 << 0 << int(RecordWhat_Window) << false;
    }

    void taskStarts()
    {
        QFETCH(QString, page);
        QFETCH(int, recwhat);
        QFETCH(int, delaySeconds);
        QFETCH(int, expectedMode);
        QFETCH(bool, starts);
        frame();
        if (!page.isEmpty())
            chooseTile(page.toLatin1().constData());
        if (DlgLockWindow* opened = picker()) {   // the window page opens it at once
            opened->reject();
            QTRY_VERIFY_WITH_TIMEOUT(SystemStatusBar::instance()->actionEnable(), kLong);
        }
        TaskManage* tasks = TaskManage::instance();
        testsupport::ScriptedTaskClient* client = nullptr;
        tasks->setClientFactory([&client] { return client = new testsupport::ScriptedTaskClient(); });
        tasks->connectXPCServer();
        QVERIFY(client);
        TaskInfo task;
        task.id = "t";
        task.enabled = true;
        task.record.recwhat = recwhat;
        RecordParameter::instance()->setSysAudioEnable(true);   // audio needs a source to run at all
        client->push(task);
        m_now = m_now.addSecs(delaySeconds);   // before the queued start arrives
        QCoreApplication::processEvents();
        QCOMPARE(home()->recordWhat(), expectedMode);
        if (!starts) {
            QTest::qWait(700);
            QCOMPARE(recordings() + FakeScreencast::callCount("scAudioRecord"), 0);
            verifyIdle();
            return;
        }
        QVERIFY(tasks->isTasking);
        waitRecording();
        // While it records, another task is turned away.
        home()->onTaskStartRec(RecordWhat_Audio);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Video));
        QCOMPARE(recordings(), 1);
        ModalDriver driver(kLong);
        driver.expect(closeAnything(nullptr), "VxMessageBox");
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        DRIVER_DONE(driver, kLong);
        QTRY_VERIFY_WITH_TIMEOUT(!tasks->isTasking, kLong);   // completed after the end
        verifyIdle();
    }

    // The recorder takes the mouse mode while it prepares; the bar keeps
    // its corner, also when the region is dragged later.
    void barAtCornerForFollowMouse()
    {
        chooseTile("frmChoseVideo");
        m_frame.child<QToolButton>("btnAroundMouse")->menu()->actions().value(0)->trigger();
        waitRecording();
        QVERIFY(!RecordParameter::instance()->isFollowMouse());
        QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 2);
        const QPoint corner(1920 - home()->videoRecCtl()->width(), 5);
        QCOMPARE(home()->videoRecCtl()->geometry().topLeft(), corner);
        emit SignalsTransfer::instance()->RREndDrag(QRect(10, 10, 300, 300));
        QCoreApplication::processEvents();
        QCOMPARE(home()->videoRecCtl()->geometry().topLeft(), corner);
        stopByHotkey();
    }

    void hidePopupDialogEndsRunningDialogs()
    {
        frame();
        bool endedInside = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            home()->hidePopupDialog();
            endedInside = modal->isHidden();
        });
        QCOMPARE(VxMessageBox::question(nullptr, "t", "a question"), int(QMessageBox::No));
        DRIVER_DONE(driver, kLong);
        QVERIFY(endedInside);
        QVERIFY(VxDialogBase::getAllExecDialogs().isEmpty());
    }

    // ---- screenshots -----------------------------------------------------------

    // A name without a suffix takes the filter's, in that format; an existing file of that full
    // name is replaced only when the user says so; formats Qt cannot write are not offered.
    void snapshotSuffixFromTheFilter()
    {
        frame();
        const QString temp = redPng();
        QFile kept(m_dir.filePath("nosuffix.jpg"));
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("keep") == 4);
        kept.close();
        QStringList offered;
        QString filters;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString& path, const QString& all, QString* f) {
            offered << path;
            filters = all;
            *f = "JPEG (*.jpg *.jpeg)";
            return m_dir.filePath(offered.size() == 1 ? "nosuffix" : "other");
        });
        QStringList texts;
        ModalDriver driver;
        driver.expect(answer(QMessageBox::No, &texts));
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        DRIVER_DONE(driver, kLong);
        // Written on a pool thread: its end comes back through the event loop.
        QTRY_COMPARE_WITH_TIMEOUT(historyHead().value(0), QString("other.jpg"), kLong);
        QVERIFY2(texts.value(0).contains("nosuffix.jpg"), qPrintable(texts.value(0)));
        QCOMPARE(offered.value(1), m_dir.filePath("nosuffix.jpg"));
        QCOMPARE(head(kept.fileName(), 8), QByteArray("keep"));
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(m_dir.filePath("other.jpg"), 2), QByteArray("\xFF\xD8"));
        QCOMPARE(historyHead().value(0), QString("other.jpg"));
        QVERIFY2(filters.contains("*.png") && !filters.contains("gif", Qt::CaseInsensitive), qPrintable(filters));
    }

    void snapshotCancelDropsTheTemporaryImage()
    {
        frame();
        home()->onBtnSnapshot();
        QPointer<DlgSnapshot> editor = home()->snapshotEditor();
        const QString temp = redPng();
        int asked = 0;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&, QString*) {
            ++asked;
            return QString();
        });
        emit editor->pictureSave(temp, "PNG (*.png)");
        QCOMPARE(asked, 1);
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(historyHead().isEmpty());
        QVERIFY(!home()->snapshotEditor());
        QVERIFY(frame()->isVisible());
    }

    // An unwritable folder is asked again; nothing is lost meanwhile.
    void snapshotAskedAgain()
    {
        frame();
        const QString blocker = m_dir.filePath("blocker");   // a folder below a file cannot exist
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QStringList answers{blocker + "/sub/x.png", m_dir.filePath("then.bmp")};
        QStringList offered;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString& path, const QString&, QString*) {
            offered << path;
            return answers.value(offered.size() - 1);
        });
        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts));
        const QString temp = redPng();
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        DRIVER_DONE(driver, kLong);
        QTRY_COMPARE_WITH_TIMEOUT(historyHead().value(0), QString("then.bmp"), kLong);
        QCOMPARE(offered.value(1), blocker + "/sub/x.png");
        QVERIFY2(texts.value(0).contains("is not writable"), qPrintable(texts.value(0)));
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(m_dir.filePath("then.bmp"), 2), QByteArray("BM"));
        QCOMPARE(historyHead().value(0), QString("then.bmp"));
    }

    // The picture is written on a pool thread: the save returns at once; a
    // failed write is reported and the user asked again, the picture kept.
    void snapshotWrittenInTheBackground()
    {
        frame();
        QStringList offered;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString& path, const QString&, QString*) {
            offered << path;
            // No writer knows the first suffix.
            return m_dir.filePath(offered.size() == 1 ? "first.xyz" : "second.png");
        });
        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts));
        const QString temp = redPng();
        QVERIFY2(testsupport::returnsWithoutLoop([&] { home()->onSaveSnapPic(temp, "PNG (*.png)"); }),
                 "the save ran an event loop inside its caller");
        DRIVER_DONE(driver, kLong);
        QTRY_COMPARE_WITH_TIMEOUT(historyHead().value(0), QString("second.png"), kLong);
        QVERIFY2(texts.value(0).contains("failed"), qPrintable(texts.value(0)));
        QCOMPARE(offered.value(1), m_dir.filePath("first.xyz"));
        QVERIFY(!QFileInfo::exists(m_dir.filePath("first.xyz")));
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(m_dir.filePath("second.png"), 4), QByteArray("\x89PNG"));
    }

    // The home window asking the webcam window away (its home page, the
    // camera's close from the status bar) during a webcam recording stops it
    // into the preview, as the window's own close box does; the movie is
    // never left behind in the temporary folder.
    void webcamRecordingIsNeverDropped_data()
    {
        QTest::addColumn<bool>("fromHub");
        QTest::newRow("home page") << false;
        QTest::newRow("camera closed from the status bar") << true;
    }

    void webcamRecordingIsNeverDropped()
    {
        QFETCH(bool, fromHub);
        FakeScreencast::setCameras({{"Test Camera", "test-camera"}}, "test-camera");
        auto* tile = frame()->findChild<QWidget*>("frmChoseWebCam");
        QVERIFY(tile);
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
        QPointer<CameraDlg> recorder;
        QTRY_VERIFY_WITH_TIMEOUT((recorder = webcamWindow()) && recorder->isRecorder(), kLong);
        recorder->on_btnRec_clicked();
        QVERIFY(RecordParameter::instance()->m_bRecording);

        if (fromHub)
            emit SignalsTransfer::instance()->cameraDlgClose();
        else
            home()->onShowHome();
        QCOMPARE(FakeScreencast::callCount("CCameraObject::stopRecord"), 1);
        QVERIFY(recorder);

        bool previewed = false;
        ModalDriver driver(kLong);
        driver.expect([&](QWidget* preview) {
            previewed = true;
            static_cast<QDialog*>(preview)->done(0);
        }, "DlgVideoClip");
        FakeScreencast::camera()->fireFinish(false);
        DRIVER_DONE(driver, kLong);
        QVERIFY(previewed);
        QTRY_VERIFY_WITH_TIMEOUT(!webcamWindow() || !webcamWindow()->isVisible(), kLong);
    }

private:
    static CameraDlg* webcamWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dlg = qobject_cast<CameraDlg*>(w))
                return dlg;
        return nullptr;
    }
};

QTEST_MAIN(TstRoad)
#include "tst_road.moc"
