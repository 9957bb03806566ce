// The home window's recording road offscreen, against the engine double:
// the refusals and what they leave, requests racing the starting phase, an
// engine that fails to prepare, scheduled starts on an injected clock, the
// control bar's place, the hotkeys, and the screenshot's save-as.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImageWriter>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "app/ShowPicture.h"
#include "app/SystemStatusBar.h"
#include "capture/DlgSnapshot.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "widgets/CustomSpin.h"

#define VERIFY_DRIVER(driver) QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

namespace {

const int kLong = 30000;   // generous bound for anything the event loop must reach

int liveBars()
{
    int bars = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        bars += qobject_cast<VideoRecCtlWdg*>(w) != nullptr;
    return bars;
}

QStringList historyHead()
{
    const QVariantList list = VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList();
    return list.isEmpty() ? QStringList() : list.first().toStringList();
}

QByteArray head(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
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
    testsupport::ScriptedTaskClient* m_pClient = nullptr;

    MainWindowBase* frame() { return m_frame.get(); }
    MainWindow* home() { return frame()->mainWindow(); }
    void chooseTile(const char* tile) { m_frame.chooseTile(tile); }
    int recordings() { return FakeScreencast::callCount("scVideoRecord"); }

    // Nothing of a start is left: no flag, no bar, no modal, nothing armed,
    // the status item idle and its panel open.
    void verifyIdle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        RecordParameter* rp = RecordParameter::instance();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Idle));
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
        QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Recording), kLong);
        QVERIFY(RecordParameter::instance()->m_bRecording);
        QVERIFY(home()->videoRecCtl());
        QCOMPARE(liveBars(), 1);
        QVERIFY2(FakeScreencast::screenRecorder() && FakeScreencast::screenRecorder()->started,
                 qPrintable(QString("live objects %1, starts %2")
                                .arg(FakeScreencast::liveObjectCount())
                                .arg(FakeScreencast::callCount("CScreenRecoderObject::start"))));
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Recording));
        QVERIFY(SystemStatusBar::instance()->actionEnable());
    }

    // The double writes no file: the bar reports a recording without data.
    void stopByHotkey()
    {
        ModalDriver driver(kLong);
        driver.expect(closeAnything(nullptr), "VxMessageBox");
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Idle), kLong);
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

    QString redPng(const QSize& size)
    {
        QImage image(size, QImage::Format_RGB32);
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
        TaskManage::instance()->isTasking = false;
        m_now = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0));
        TaskManage::instance()->setClock([this] { return m_now; });
    }

    void cleanup()
    {
        MainWindow::setSaveFileChooser(nullptr);
        m_frame.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        TaskManage::instance()->isTasking = false;
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
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));
        waitRecording();
        qApp->removeEventFilter(&watcher);
        QVERIFY(frame()->isHidden());
        QVERIFY(!home()->preferenceAction()->isEnabled());
        const CRect r = FakeScreencast::lastVideoRecord().video.rect;
        QCOMPARE(QRect(QPoint(int(r.left), int(r.top)), QPoint(int(r.right) - 1, int(r.bottom) - 1)), region);
        const QRect bar = home()->videoRecCtl()->geometry();
        QVERIFY(home()->videoRecCtl()->isVisible());
        QCOMPARE(bar.topLeft(), QPoint(qMax(0, region.right() - bar.width()), region.bottom() + 5));
        QCOMPARE(watcher.placeAtShow, bar.topLeft());
        stopByHotkey();
        QVERIFY(home()->preferenceAction()->isEnabled());

        home()->onBtnRecClicked();
        waitRecording();
        stopByHotkey();
        QCOMPARE(recordings(), 2);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("boxes");   // the start of each box's text, in order
        QTest::newRow("previewing") << "previewing" << QStringList();
        QTest::newRow("no source") << "no source" << QStringList();
        QTest::newRow("task without source")
            << "task without source" << QStringList{"The microphone and speaker for the current audio"};
        QTest::newRow("player runs") << "player" << QStringList{"Golden Lion player does not allow"};
        QTest::newRow("windows gone, re-select")
            << "windows gone" << QStringList{"If there is no valid window", "Choosing windows is not available"};
    }

    void refusals()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, boxes);
        VxSettings* settings = VxSettings::instance();
        RecordParameter* rp = RecordParameter::instance();
        if (setup == "no source") {
            settings->setApplicationParam("VideoEnable", false);
            settings->setApplicationParam("Video/AudioEnable", false);
        } else if (setup == "task without source") {
            settings->setApplicationParam("Audio/MicEnable", false);
            settings->setApplicationParam("Audio/AudioEnable", false);
        } else if (setup == "player") {
            // This test program stands in for the player: its path holds the name.
            VxProductInfo::instance()->overrideValue("extend/ExcludeProgress", "1");
            VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName",
                                                     QCoreApplication::applicationName());
        }
        chooseTile(setup == "task without source" ? "frmChoseAudio"
                   : setup == "windows gone"      ? "frmChoseWindow"
                                                  : "frmChoseVideo");
        rp->m_bPreviewing = setup == "previewing";
        TaskManage::instance()->isTasking = setup == "previewing" || setup.startsWith("task");
        if (setup == "windows gone")
            rp->setWindowList({7});   // no such window
        QStringList texts;
        auto owner = std::make_unique<ModalDriver>();
        ModalDriver& driver = *owner;
        if (setup == "windows gone") {
            driver.expect([&texts](QWidget* modal) {
                texts << qobject_cast<VxMessageBox*>(modal)->labelInfo();
                QTest::mouseClick(qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok), Qt::LeftButton);
            });
            driver.expect(closeAnything(&texts));
        } else {
            for (int i = 0; i < boxes.size(); ++i)
                driver.expect(closeAnything(&texts));
        }
        QAction* around = aroundAction("640x480");
        if (around && setup != "no source")
            around->trigger();   // an armed mode must not outlive the refusal
        else
            home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), boxes.size());
        for (int i = 0; i < boxes.size(); ++i)
            QVERIFY2(texts.at(i).startsWith(boxes.at(i)), qPrintable(texts.at(i)));
        QCOMPARE(recordings(), 0);
        rp->m_bPreviewing = false;
        verifyIdle();
        if (setup == "windows gone")
            QVERIFY(rp->getWindowList().isEmpty());
        if (setup == "player") {
            QVERIFY(FakeScreencast::cropBox());   // the region box is back
            // A player name that is empty names no process.
            VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName", QString());
            home()->onBtnRecClicked();
            waitRecording();
            owner.reset();   // one driver at a time
        stopByHotkey();
        }
    }

    void windowGoneContinueRecordsTheRegion()
    {
        FakeScreencast::Window gone;
        gone.id = 42;
        gone.visible = false;
        FakeScreencast::setWindows({gone});
        chooseTile("frmChoseWindow");
        RecordParameter* rp = RecordParameter::instance();
        rp->setWindowList({42});
        const QRect region = rp->getVideoRect();
        auto owner = std::make_unique<ModalDriver>();
        ModalDriver& driver = *owner;
        driver.expect([](QWidget* modal) {
            QTest::mouseClick(qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Cancel), Qt::LeftButton);
        }, "VxMessageBox");
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        waitRecording();
        QVERIFY(rp->getWindowList().isEmpty() && !rp->isWindowRecord() && rp->getVideoEnable());
        const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
        QCOMPARE(int(call.option), int(kWindowListNone));
        QCOMPARE(QRect(QPoint(int(call.video.rect.left), int(call.video.rect.top)),
                       QPoint(int(call.video.rect.right) - 1, int(call.video.rect.bottom) - 1)),
                 region);
        owner.reset();   // one driver at a time
        stopByHotkey();
    }

    // Every request during the hotkey reminder is refused; the start then
    // goes on once.
    void requestsDuringTheReminder()
    {
        VxSettings::instance()->setApplicationParam("HotkeyRemind", false);
        chooseTile("frmChoseVideo");
        int stateDuring = -1;
        int recordersDuring = -1;
        auto owner = std::make_unique<ModalDriver>(kLong);
        ModalDriver& driver = *owner;
        driver.expect([&](QWidget* modal) {
            FakeScreencast::fireHotKey(RP_HotKey_Stop);
            emit SystemStatusBar::instance()->sigStartOrStop();
            emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Snapshot);
            emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Pause);
            home()->onTaskStartRec(RecordWhat_Video);
            QCoreApplication::processEvents();
            stateDuring = int(home()->roadState());
            recordersDuring = recordings();
            QVERIFY(!home()->snapshotEditor());
            QVERIFY(!TaskManage::instance()->isTasking);
            qobject_cast<QDialog*>(modal)->accept();
        }, "DlgHotKeyMessage");
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QCOMPARE(stateDuring, int(MainWindow::Road_Starting));
        QCOMPARE(recordersDuring, 0);
        waitRecording();
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 1);
        owner.reset();   // one driver at a time
        stopByHotkey();
    }

    void requestsDuringTheCountdown()
    {
        countdownPictures(3, 3000);
        chooseTile("frmChoseVideo");
        home()->onBtnRecClicked();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));
        QVERIFY(FakeScreencast::screenRecorder() && !FakeScreencast::screenRecorder()->started);
        auto owner = std::make_unique<ModalDriver>();
        ModalDriver& driver = *owner;   // nothing may open
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        emit SystemStatusBar::instance()->sigStartOrStop();
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Float);
        emit SystemStatusBar::instance()->sigShowRecBar();
        QCoreApplication::processEvents();
        // Well inside the three seconds of the countdown.
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 0);
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::release"), 0);
        QVERIFY(home()->videoRecCtl()->isHidden());
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Idle));
        waitRecording();
        QVERIFY(driver.waitFinished(100));
        VERIFY_DRIVER(driver);
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 1);
        owner.reset();   // one driver at a time
        stopByHotkey();
    }

    // From the home page the key opens the video page and starts half a
    // second later; a second press meanwhile starts at once, and the
    // delayed start is refused. On the page, a second press during the
    // short pause is refused too.
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
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 2);
        stopByHotkey();
    }

    void engineErrorDuringCountdownEndsTheStart()
    {
        countdownPictures(1, 1500);
        chooseTile("frmChoseVideo");
        home()->onBtnRecClicked();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));
        QStringList texts;
        ModalDriver driver(kLong);
        driver.expect(closeAnything(&texts), "VxMessageBox");   // the engine's error
        driver.expect(closeAnything(&texts), "VxMessageBox");   // nothing recorded
        FakeScreencast::screenRecorder()->fireError(SRErrorCode(2));
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(int(home()->roadState()), int(MainWindow::Road_Idle), kLong);
        QTest::qWait(1800);   // past the countdown's end
        verifyIdle();
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 0);
        QVERIFY(frame()->isVisible());
    }

    void engineFailureShows4001AndRestores()
    {
        chooseTile("frmChoseVideo");
        RecordParameter::instance()->setHideTaskbar(true);
        RecordParameter::instance()->setHideDesktop(true);
        FakeScreencast::failNext("scVideoRecord");
        QStringList texts;
        bool frameBack = false;
        bool menuBarBack = false;
        auto owner = std::make_unique<ModalDriver>();
        ModalDriver& driver = *owner;
        driver.expect([&](QWidget* modal) {
            texts << ModalDriver::describe(modal).text;
            frameBack = frame()->isVisible();
            menuBarBack = OSServiceUtils::dockIsHide();
            QTest::mouseClick(qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Cancel), Qt::LeftButton);
        }, "VxMessageBox");
        aroundAction("640x480")->trigger();
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("(error code: 4001)"), qPrintable(texts.first()));
        QVERIFY(frameBack && menuBarBack);   // back before the box asks
        verifyIdle();
        QVERIFY(home()->preferenceAction()->isEnabled());
        QVERIFY(FakeScreencast::cropBox());
        QCOMPARE(FakeScreencast::liveObjectCount(), 1);   // the region box only

        // The next start is an ordinary one: no around-mouse left armed.
        home()->onBtnRecClicked();
        waitRecording();
        QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 0);
        owner.reset();   // one driver at a time
        stopByHotkey();
    }

    void tempFolderCancelShowsNo4001()
    {
        chooseTile("frmChoseVideo");
        FakeScreencast::setFreeSpace(1024LL * 1024 * 1024);   // 1 GiB: the prompt comes
        QStringList texts;
        ModalDriver driver;
        driver.expect([&texts](QWidget* modal) {
            texts << qobject_cast<VxMessageBox*>(modal)->labelInfo();
            QTest::mouseClick(qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Cancel), Qt::LeftButton);
        }, "VxMessageBox");
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("temporary disk space"), qPrintable(texts.first()));
        QCOMPARE(recordings(), 0);
        verifyIdle();
        QVERIFY(frame()->isVisible() && home()->preferenceAction()->isEnabled());
    }

    void taskStarts_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("recwhat");
        QTest::addColumn<int>("delaySeconds");
        QTest::addColumn<int>("expectedMode");
        QTest::addColumn<bool>("starts");
        QTest::newRow("fresh video task from home") << "" << 1 << 0 << int(RecordWhat_Video) << true;
        QTest::newRow("4 s old still starts") << "" << 1 << 4 << int(RecordWhat_Video) << true;
        QTest::newRow("5 s old: page switched, no start") << "" << 1 << 5 << int(RecordWhat_Video) << false;
        QTest::newRow("stale audio task") << "frmChoseVideo" << 2 << 6 << int(RecordWhat_Audio) << false;
        QTest::newRow("window task: invalid type") << "frmChoseWindow" << 3 << 0 << int(RecordWhat_Window) << false;
        QTest::newRow("unknown type") << "frmChoseVideo" << 9 << 0 << int(RecordWhat_Video) << false;
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
        TaskManage* tasks = TaskManage::instance();
        tasks->setClientFactory([this] { return m_pClient = new testsupport::ScriptedTaskClient(); });
        tasks->connectXPCServer();
        QVERIFY(m_pClient);
        TaskInfo task;
        task.id = "t";
        task.enabled = true;
        task.record.recwhat = recwhat;
        RecordParameter::instance()->setSysAudioEnable(true);   // audio needs a source to run at all
        m_pClient->push(task);
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
        QVERIFY(driver.waitFinished(kLong));
        VERIFY_DRIVER(driver);
        QTRY_VERIFY_WITH_TIMEOUT(!tasks->isTasking, kLong);   // completed after the end
        verifyIdle();
    }

    void barAtCornerForFollowMouse()
    {
        chooseTile("frmChoseVideo");
        QAction* follow = m_frame.child<QToolButton>("btnAroundMouse")->menu()->actions().value(0);
        QCOMPARE(follow->text(), QString("Follow the mouse"));
        follow->trigger();
        waitRecording();
        // The recorder consumed the mode while it prepared; the bar did not
        // lose it, also when the region is dragged later.
        QVERIFY(!RecordParameter::instance()->isFollowMouse());
        QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 2);
        const QPoint corner(1920 - home()->videoRecCtl()->width(), 5);
        QCOMPARE(home()->videoRecCtl()->geometry().topLeft(), corner);
        emit SignalsTransfer::instance()->RREndDrag(QRect(10, 10, 300, 300));
        QCoreApplication::processEvents();
        QCOMPARE(home()->videoRecCtl()->geometry().topLeft(), corner);
        stopByHotkey();
    }

    void ratioLockKeepsTheRegionOnTheDisplay()
    {
        chooseTile("frmChoseVideo");
        auto* width = m_frame.child<CustomSpin>("editWidth");
        auto* height = m_frame.child<CustomSpin>("editHeight");
        height->setValue(1000);
        width->setValue(1000);
        QTest::mouseClick(m_frame.child<QToolButton>("btnLockOff"), Qt::LeftButton);
        QVERIFY(RecordParameter::instance()->iskeepRatio());
        width->setValue(1500);
        const QRect region = RecordParameter::instance()->getVideoRect();
        QCOMPARE(region.size(), QSize(1080, 1080));
        QVERIFY(QRect(0, 0, 1920, 1080).contains(region));
        QCOMPARE(width->value(), 1080);
        QCOMPARE(height->value(), 1080);
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
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QVERIFY(endedInside);
        QVERIFY(VxDialogBase::getAllExecDialogs().isEmpty());
    }

    void hotkeysFollowTheEngineAndTheEnableSwitch()
    {
        chooseTile("frmChoseVideo");
        QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Stop).keysym, 0xffc6u);   // F9, grabbed
        emit SignalsTransfer::instance()->hotKeyEnable(false);
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        QTest::qWait(700);
        QCOMPARE(recordings(), 0);
        emit SignalsTransfer::instance()->hotKeyEnable(true);
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        waitRecording();
        stopByHotkey();
        // Released before the engine stops.
        FakeScreencast::clearCalls();
        m_frame.reset();
        const QStringList calls = FakeScreencast::calls();
        const int callbackGone = calls.indexOf("scSetHotKeyCallback(null)");
        QVERIFY(callbackGone >= 0 && callbackGone < calls.indexOf("scUninitialize()"));
        QVERIFY(FakeScreencast::hotKeys().isEmpty());
    }

    // ---- screenshots -----------------------------------------------------------

    void snapshotEditorEndingReleasesIt()
    {
        chooseTile("frmChoseVideo");
        RecordParameter::instance()->setHideMainWhenScreenshot(true);
        home()->onBtnSnapshot();
        QPointer<DlgSnapshot> editor = home()->snapshotEditor();
        QVERIFY(editor && FakeScreencast::imageCapture());
        QVERIFY(frame()->isHidden() && !FakeScreencast::cropBox());
        // A second screenshot waits for the first editor to finish.
        home()->onBtnSnapshot();
        QCOMPARE(home()->snapshotEditor(), editor.data());
        // Offscreen there is no screen to cut from: the editor ends without
        // a picture and the home window takes over again.
        FakeScreencast::imageCapture()->fireSelCompleted(CRect{100, 100, 300, 250});
        QTRY_VERIFY_WITH_TIMEOUT(!editor, kLong);
        QVERIFY(!home()->snapshotEditor());
        QVERIFY(frame()->isVisible() && FakeScreencast::cropBox());
    }

    // A name without a suffix takes the filter's; the same format is moved,
    // another one written in the format the suffix names.
    void snapshotSuffixAndFormat()
    {
        frame();
        QString temp = redPng(QSize(64, 64));
        const QString same = m_dir.filePath("same.png");
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&, QString*) {
            return same;
        });
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(same, 4), QByteArray("\x89PNG"));

        temp = redPng(QSize(64, 64));
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&, QString* f) {
            *f = "JPEG (*.jpg *.jpeg)";
            return m_dir.filePath("nosuffix");
        });
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(m_dir.filePath("nosuffix.jpg"), 2), QByteArray("\xFF\xD8"));
        QCOMPARE(historyHead().value(0), QString("nosuffix.jpg"));
    }

    void snapshotCancelDropsTheTemporaryImage()
    {
        frame();
        home()->onBtnSnapshot();
        QPointer<DlgSnapshot> editor = home()->snapshotEditor();
        const QString temp = redPng(QSize(50, 50));
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

    // An unwritable folder and a format Qt cannot write are asked again; a
    // file the user would have replaced stays as it was.
    void snapshotAskedAgain()
    {
        frame();
        const QString blocker = m_dir.filePath("blocker");   // a folder below a file cannot exist
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString gif = m_dir.filePath("keep.gif");
        const bool gifWritable = QImageWriter::supportedImageFormats().contains("gif");
        if (!gifWritable) {
            QFile old(gif);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        const QStringList answers{blocker + "/sub/x.png", gifWritable ? QString() : gif, m_dir.filePath("then.bmp")};
        QStringList offered;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString& path, const QString&, QString*) {
            offered << path;
            return answers.value(offered.size() - 1);
        });
        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts));
        if (!gifWritable)
            driver.expect(closeAnything(&texts));
        const QString temp = redPng(QSize(50, 50));
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(offered.value(1), blocker + "/sub/x.png");
        QVERIFY2(texts.value(0).contains("is not writable"), qPrintable(texts.value(0)));
        QVERIFY(!QFileInfo::exists(temp));
        if (gifWritable)
            return;   // cancelled at the second question
        QVERIFY2(texts.value(1).contains("failed! Please select another one."), qPrintable(texts.value(1)));
        QCOMPARE(head(gif, 10), QByteArray("old"));
        QCOMPARE(head(m_dir.filePath("then.bmp"), 2), QByteArray("BM"));
        QCOMPARE(historyHead().value(0), QString("then.bmp"));
    }
};

QTEST_MAIN(TstRoad)
#include "tst_road.moc"
