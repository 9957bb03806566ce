// The recording road of the home window, offscreen, against the engine
// double: every refusal and what it leaves behind, the starting phase with
// start and stop requests racing it, an engine that fails to prepare, the
// temporary-folder prompt given up, scheduled starts on an injected clock,
// the control bar's place and the ratio lock as pure functions, ending the
// running dialogs, the global hotkeys' lifetime, and the screenshot's
// save-as (content by suffix, cancel, an unwritable folder, pinning).
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>


#include "widgets/CustomSpin.h"
#include "capture/DlgPaintToScreen.h"
#include "capture/DlgSnapshot.h"
#include "tests/support/FakeScreencast.h"
#include "widgets/FfSwitchButton.h"
#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRecorder.h"
#include "app/ShowPicture.h"
#include "core/SignalsTransfer.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskManage.h"
#include "core/Utils.h"
#include "recording/VideoRecCtlWdg.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

using testsupport::ScriptedTaskClient;
using testsupport::ShownFrame;

namespace {

QList<VideoRecCtlWdg*> liveBars()
{
    QList<VideoRecCtlWdg*> bars;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* bar = qobject_cast<VideoRecCtlWdg*>(w))
            bars << bar;
    return bars;
}

QStringList historyHead()
{
    const QVariantList list = VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList();
    return list.isEmpty() ? QStringList() : list.first().toStringList();
}

int historyCount()
{
    return VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList().size();
}

QByteArray head(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

// Modal answers that do not care which modal comes.
ModalDriver::Action closeAnything(QStringList* texts)
{
    return [texts](QWidget* modal) {
        if (texts)
            *texts << ModalDriver::describe(modal).text;
        ModalDriver::forceClose(modal);
    };
}

} // namespace

class TstRoad : public QObject
{
    Q_OBJECT

private:
    ShownFrame m_frame;
    QTemporaryDir m_dir;
    QDateTime m_now;
    ScriptedTaskClient* m_pClient = nullptr;

    MainWindowBase* frame() { return m_frame.get(); }
    MainWindow* home() { return frame()->mainWindow(); }

    template <class T>
    T* child(const char* name)
    {
        return m_frame.child<T>(name);
    }

    void chooseTile(const char* tile) { m_frame.chooseTile(tile); }

    // Nothing of a start is left: no flag, no bar, no modal loop, nothing
    // armed, the status item idle and its panel open.
    void verifyIdle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        RecordParameter* rp = RecordParameter::instance();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Idle));
        QVERIFY(!rp->m_bRecording);
        QVERIFY(!rp->m_bPaused);
        QVERIFY(!TaskManage::instance()->isTasking);
        QVERIFY(!rp->isAroundMouse());
        QVERIFY(!rp->isFollowMouse());
        QVERIFY(!home()->videoRecCtl());
        QVERIFY(liveBars().isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(VxDialogBase::getAllExecDialogs().isEmpty());
        QVERIFY(SystemStatusBar::instance()->actionEnable());
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Idle));
    }

    void verifyRecording()
    {
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Recording));
        QVERIFY(RecordParameter::instance()->m_bRecording);
        QVERIFY(home()->videoRecCtl());
        QCOMPARE(liveBars().size(), 1);
        QVERIFY(FakeScreencast::screenRecorder());
        QVERIFY(FakeScreencast::screenRecorder()->started);
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Recording));
        QVERIFY(SystemStatusBar::instance()->actionEnable());
    }

    // Stops through the start/stop hotkey. The double writes no file, so
    // the bar reports a recording without data instead of a preview.
    void stopByHotkey()
    {
        ModalDriver driver;
        driver.expect(closeAnything(nullptr), "VxMessageBox");
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        const bool finished = driver.waitFinished();
        VERIFY_DRIVER(driver);
        QVERIFY2(finished, qPrintable(QString("steps left %1, modal %2")
                                          .arg(driver.pendingSteps())
                                          .arg(QApplication::activeModalWidget()
                                                   ? QApplication::activeModalWidget()->objectName()
                                                   : QString("none"))));
        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Idle));
        verifyIdle();
        QVERIFY(frame()->isVisible());
    }

    QAction* aroundAction(const QString& text)
    {
        QMenu* menu = child<QToolButton>("btnAroundMouse")->menu();
        for (QAction* a : menu->actions()) {
            if (a->menu()) {
                for (QAction* s : a->menu()->actions())
                    if (s->text() == text)
                        return s;
            }
        }
        return nullptr;
    }

    QString redPng(const QSize& size)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 0));
        const QString path = Utils::getRecorderTmpRoot() + "/snap_" + QString::number(QRandomGenerator::global()->generate()) + ".png";
        Utils::ensureExists(Utils::getRecorderTmpRoot());
        if (!image.save(path, "PNG"))
            return QString();
        return path;
    }

    DlgSnapshot* openEditor()
    {
        home()->onBtnSnapshot();
        return home()->snapshotEditor();
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
        m_pClient = nullptr;
    }

    // ---- a whole start and stop ------------------------------------------------

    void startAndStop()
    {
        chooseTile("frmChoseVideo");
        const QRect region = RecordParameter::instance()->getVideoRect();
        home()->onBtnRecClicked();
        verifyRecording();
        QVERIFY(frame()->isHidden());
        QVERIFY(!home()->preferenceAction()->isEnabled());
        const CRect r = FakeScreencast::lastVideoRecord().video.rect;
        QCOMPARE(QRect(QPoint(int(r.left), int(r.top)), QPoint(int(r.right) - 1, int(r.bottom) - 1)), region);
        stopByHotkey();
        QVERIFY(home()->preferenceAction()->isEnabled());

        // And again right after.
        home()->onBtnRecClicked();
        verifyRecording();
        stopByHotkey();
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 2);
    }

    // ---- refusals --------------------------------------------------------------

    void refusedWhilePreviewing()
    {
        chooseTile("frmChoseVideo");
        QAction* around = aroundAction("640x480");
        QVERIFY(around);
        RecordParameter::instance()->m_bPreviewing = true;
        TaskManage::instance()->isTasking = true;
        ModalDriver driver;   // no step: any box is a failure
        around->trigger();
        QVERIFY(driver.waitFinished(200));
        VERIFY_DRIVER(driver);
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
        RecordParameter::instance()->m_bPreviewing = false;
        verifyIdle();
        QVERIFY(frame()->isVisible());
    }

    void refusedWithoutSource()
    {
        VxSettings::instance()->setApplicationParam("VideoEnable", false);
        VxSettings::instance()->setApplicationParam("Video/AudioEnable", false);
        chooseTile("frmChoseVideo");
        QVERIFY(!home()->onCheckCanRec());
        RecordParameter::instance()->setFollowMouse(true);
        ModalDriver driver;
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished(200));
        VERIFY_DRIVER(driver);
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
        verifyIdle();
    }

    void refusedTaskWithoutSourceSaysSo()
    {
        VxSettings::instance()->setApplicationParam("Audio/MicEnable", false);
        VxSettings::instance()->setApplicationParam("Audio/AudioEnable", false);
        chooseTile("frmChoseAudio");
        TaskManage::instance()->isTasking = true;
        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts), "VxMessageBox");
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().startsWith("The microphone and speaker for the current audio recording"),
                 qPrintable(texts.first()));
        verifyIdle();
    }

    void refusedWhileForbiddenPlayerRuns()
    {
        // This test program stands in for the player: its path holds the name.
        VxProductInfo::instance()->overrideValue("extend/ExcludeProgress", "1");
        VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName", QCoreApplication::applicationName());
        chooseTile("frmChoseVideo");
        QAction* around = aroundAction("320x240");
        QVERIFY(around);
        QStringList texts;
        auto driver = std::make_unique<ModalDriver>();
        driver->expect(closeAnything(&texts), "VxMessageBox");
        around->trigger();
        QVERIFY(driver->waitFinished());
        VERIFY_DRIVER(*driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().startsWith("Golden Lion player does not allow program recording"),
                 qPrintable(texts.first()));
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
        verifyIdle();
        QVERIFY(frame()->isVisible());
        // The region box is back.
        QVERIFY(FakeScreencast::cropBox());

        // A player name that is empty names no process.
        VxProductInfo::instance()->overrideValue("extend/ExcludeProgressName", QString());
        home()->onBtnRecClicked();
        verifyRecording();
        driver.reset();
        stopByHotkey();
    }

    void windowGoneContinue()
    {
        FakeScreencast::Window gone;
        gone.id = 42;
        gone.title = "Closed";
        gone.visible = false;
        FakeScreencast::setWindows({gone});
        chooseTile("frmChoseWindow");
        RecordParameter* rp = RecordParameter::instance();
        rp->setWindowList({42});
        const QRect region = rp->getVideoRect();

        QStringList buttons;
        auto driver = std::make_unique<ModalDriver>();
        driver->expect(
            [&buttons](QWidget* modal) {
                auto* box = qobject_cast<VxMessageBox*>(modal);
                QVERIFY(box);
                buttons << box->button(QMessageBox::Ok)->text() << box->button(QMessageBox::Cancel)->text();
                QVERIFY(box->labelInfo().startsWith("If there is no valid window to record"));
                QTest::mouseClick(box->button(QMessageBox::Cancel), Qt::LeftButton);
            },
            "VxMessageBox");
        home()->onBtnRecClicked();
        QVERIFY(driver->waitFinished());
        VERIFY_DRIVER(*driver);
        QCOMPARE(buttons, (QStringList{"Re-select", "Continue"}));
        verifyRecording();
        QVERIFY(rp->getWindowList().isEmpty());
        QVERIFY(!rp->isWindowRecord());
        QVERIFY(rp->getVideoEnable());
        const FakeScreencast::VideoRecordCall call = FakeScreencast::lastVideoRecord();
        QCOMPARE(int(call.option), int(kWindowListNone));
        QCOMPARE(QRect(QPoint(int(call.video.rect.left), int(call.video.rect.top)),
                       QPoint(int(call.video.rect.right) - 1, int(call.video.rect.bottom) - 1)),
                 region);
        driver.reset();
        stopByHotkey();
        QVERIFY(rp->getWindowList().isEmpty());
    }

    void windowGoneReselect()
    {
        chooseTile("frmChoseWindow");
        RecordParameter* rp = RecordParameter::instance();
        rp->setWindowList({7});   // no such window
        TaskManage::instance()->isTasking = true;
        QStringList texts;
        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok, "VxMessageBox");   // "Re-select"
        driver.expect(closeAnything(&texts), "VxMessageBox");   // the picker is not there yet
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("not available"), qPrintable(texts.first()));
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
        QVERIFY(rp->getWindowList().isEmpty());
        verifyIdle();
    }

    // ---- the starting phase ------------------------------------------------------

    void stopHotkeyDuringReminder()
    {
        VxSettings::instance()->setApplicationParam("HotkeyRemind", false);
        chooseTile("frmChoseVideo");
        QVERIFY(FakeScreencast::hotKeyCallback());
        bool stillModal = false;
        int stateDuring = -1;
        int recordersDuring = -1;
        auto driver = std::make_unique<ModalDriver>();
        driver->expect(
            [&](QWidget* modal) {
                // The stop key through the real key grab path, and the
                // status item's request.
                FakeScreencast::fireHotKey(RP_HotKey_Stop);
                QTest::qWait(50);
                emit SystemStatusBar::instance()->sigStartOrStop();
                emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Snapshot);
                emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Pause);
                home()->onTaskStartRec(RecordWhat_Video);
                QCoreApplication::processEvents();
                stillModal = QApplication::activeModalWidget() == modal && modal->isVisible();
                stateDuring = int(home()->roadState());
                recordersDuring = FakeScreencast::callCount("scVideoRecord");
                QVERIFY(!home()->snapshotEditor());
                QVERIFY(!TaskManage::instance()->isTasking);
                qobject_cast<QDialog*>(modal)->accept();
            },
            "DlgHotKeyMessage");
        home()->onBtnRecClicked();
        QVERIFY(driver->waitFinished());
        VERIFY_DRIVER(*driver);
        QVERIFY(stillModal);
        QCOMPARE(stateDuring, int(MainWindow::Road_Starting));
        QCOMPARE(recordersDuring, 0);
        // The start went on as asked, once.
        verifyRecording();
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 1);
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 1);
        QVERIFY(!TaskManage::instance()->isTasking);
        driver.reset();
        stopByHotkey();
    }

    void stopHotkeyDuringCountdown()
    {
        QVERIFY(m_dir.isValid());
        const QString pictures = m_dir.filePath("countdown");
        QDir().mkpath(pictures);
        for (int i = 1; i <= 3; ++i) {
            QImage picture(40, 40, QImage::Format_RGB32);
            picture.fill(Qt::white);
            QVERIFY(picture.save(QString("%1/%2.png").arg(pictures).arg(i)));
        }
        ShowPicture::setFolderOverride(pictures);
        ShowPicture::setDurations(1000, 100);
        VxSettings::instance()->setApplicationParam("CountDown", true);
        chooseTile("frmChoseVideo");

        home()->onBtnRecClicked();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));
        QVERIFY(FakeScreencast::screenRecorder());
        QVERIFY(!FakeScreencast::screenRecorder()->started);
        QTest::qWait(100);
        auto driver = std::make_unique<ModalDriver>();   // nothing may open
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        QTest::qWait(20);
        emit SystemStatusBar::instance()->sigStartOrStop();
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Float);
        emit SystemStatusBar::instance()->sigShowRecBar();
        QCoreApplication::processEvents();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));
        QVERIFY(RecordParameter::instance()->m_bRecording);
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 0);
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::release"), 0);
        QVERIFY(home()->videoRecCtl()->isHidden());
        QCOMPARE(int(SystemStatusBar::instance()->sysBarState()), int(SysBar_Idle));

        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Recording));
        QVERIFY(driver->waitFinished(100));
        VERIFY_DRIVER(*driver);
        verifyRecording();
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 1);
        driver.reset();
        stopByHotkey();
    }

    void doublePress()
    {
        chooseTile("frmChoseVideo");
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        // The second press arrives during the short pause before the start.
        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Recording));
        QTest::qWait(100);
        verifyRecording();
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 1);
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 1);
        stopByHotkey();
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 1);
    }

    void homePageHotkeyOpensVideoPageAndStarts()
    {
        frame();
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Home));
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Video));
        // A second press at once starts; the delayed one is then refused.
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Recording));
        QTest::qWait(700);
        verifyRecording();
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 1);
        stopByHotkey();
    }

    void engineErrorDuringCountdownEndsTheStart()
    {
        ShowPicture::setFolderOverride(QString());
        ShowPicture::setDurations(3000, 500);
        const QString pictures = m_dir.filePath("countdown2");
        QDir().mkpath(pictures);
        QImage picture(40, 40, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QVERIFY(picture.save(pictures + "/1.png"));
        ShowPicture::setFolderOverride(pictures);
        ShowPicture::setDurations(1500, 100);
        VxSettings::instance()->setApplicationParam("CountDown", true);
        chooseTile("frmChoseVideo");
        home()->onBtnRecClicked();
        QCOMPARE(int(home()->roadState()), int(MainWindow::Road_Starting));

        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts), "VxMessageBox");   // the engine's error
        driver.expect(closeAnything(&texts), "VxMessageBox");   // nothing recorded
        FakeScreencast::screenRecorder()->fireError(SRErrorCode(2));
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 2);
        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Idle));
        QTest::qWait(1800);   // the countdown would have ended by now
        verifyIdle();
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::start"), 0);
        QVERIFY(frame()->isVisible());
    }

    // ---- failures of the preparation ------------------------------------------------

    void engineFailureShows4001AndRestores()
    {
        chooseTile("frmChoseVideo");
        RecordParameter* rp = RecordParameter::instance();
        rp->setHideTaskbar(true);
        rp->setHideDesktop(true);
        QAction* around = aroundAction("640x480");
        QVERIFY(around);
        FakeScreencast::failNext("scVideoRecord");
        QStringList texts;
        bool hiddenDuring = false;
        bool menuBarHiddenDuring = false;
        auto driver = std::make_unique<ModalDriver>();
        driver->expect(
            [&](QWidget* modal) {
                texts << ModalDriver::describe(modal).text;
                hiddenDuring = !frame()->isVisible();
                menuBarHiddenDuring = !OSServiceUtils::dockIsHide();
                QTest::mouseClick(qobject_cast<VxMessageBox*>(modal)->button(QMessageBox::Cancel), Qt::LeftButton);
            },
            "VxMessageBox");
        around->trigger();
        QVERIFY(driver->waitFinished());
        VERIFY_DRIVER(*driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("(error code: 4001)"), qPrintable(texts.first()));
        // The frame is back before the box asks.
        QVERIFY(!hiddenDuring);
        QVERIFY(!menuBarHiddenDuring);
        verifyIdle();
        QVERIFY(frame()->isVisible());
        QVERIFY(home()->preferenceAction()->isEnabled());
        QVERIFY(OSServiceUtils::dockIsHide());   // true: the menu bar shows
        QVERIFY(FakeScreencast::cropBox());
        QCOMPARE(FakeScreencast::liveObjectCount(), 1);   // the region box only

        // The next start is an ordinary one: no around-mouse left armed.
        home()->onBtnRecClicked();
        verifyRecording();
        QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 0);
        driver.reset();
        stopByHotkey();
    }

    void tempFolderCancelShowsNo4001()
    {
        chooseTile("frmChoseVideo");
        FakeScreencast::setFreeSpace(1024LL * 1024 * 1024);   // 1 GiB: refused
        QStringList texts;
        ModalDriver driver;
        driver.expect(
            [&texts](QWidget* modal) {
                auto* box = qobject_cast<VxMessageBox*>(modal);
                texts << box->labelInfo();
                QTest::mouseClick(box->button(QMessageBox::Cancel), Qt::LeftButton);
            },
            "VxMessageBox");
        home()->onBtnRecClicked();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("temporary disk space"), qPrintable(texts.first()));
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
        verifyIdle();
        QVERIFY(frame()->isVisible());
        QVERIFY(home()->preferenceAction()->isEnabled());
    }

    // ---- scheduled starts ----------------------------------------------------------

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
        QTest::newRow("stale audio task on video page")
            << "frmChoseVideo" << 2 << 6 << int(RecordWhat_Audio) << false;
        QTest::newRow("window task on window page: invalid type")
            << "frmChoseWindow" << 3 << 0 << int(RecordWhat_Window) << false;
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
        tasks->setClientFactory([this] {
            m_pClient = new ScriptedTaskClient();
            return m_pClient;
        });
        tasks->connectXPCServer();
        QVERIFY(m_pClient);
        TaskInfo task;
        task.id = "t";
        task.enabled = true;
        task.record.recwhat = recwhat;
        // Audio needs a source for the task to run at all.
        RecordParameter::instance()->setSysAudioEnable(true);

        m_pClient->push(task);
        m_now = m_now.addSecs(delaySeconds);   // before the queued start arrives
        QCoreApplication::processEvents();
        QCOMPARE(home()->recordWhat(), expectedMode);
        if (!starts) {
            QTest::qWait(700);
            QCOMPARE(FakeScreencast::callCount("scVideoRecord") + FakeScreencast::callCount("scAudioRecord"), 0);
            verifyIdle();
            return;
        }
        QVERIFY(tasks->isTasking);
        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Recording));
        verifyRecording();

        // While it records, another task is turned away, here as well.
        home()->onTaskStartRec(RecordWhat_Audio);
        QCOMPARE(home()->recordWhat(), int(RecordWhat_Video));
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 1);
        QVERIFY(tasks->isTasking);

        ModalDriver driver;
        driver.expect(closeAnything(nullptr), "VxMessageBox");
        emit SignalsTransfer::instance()->hotKeyPressed(RP_HotKey_Stop);
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        // The task completes 500 ms after the end; its end action is none.
        QTRY_VERIFY(!tasks->isTasking);
        verifyIdle();
    }

    // ---- the control bar's place ---------------------------------------------------

    void barPlacement_data()
    {
        QTest::addColumn<QRect>("region");
        QTest::addColumn<QRect>("full");
        QTest::addColumn<bool>("corner");
        QTest::addColumn<QPoint>("expected");

        // Displays as the device model gives them: corner form, the right
        // and bottom edges themselves.
        const QRect hd(QPoint(0, 0), QPoint(1920, 1080));
        QTest::newRow("middle: below, right-aligned")
            << QRect(100, 100, 320, 240) << hd << false << QPoint(119, 344);
        QTest::newRow("near the bottom: above")
            << QRect(QPoint(500, 800), QPoint(999, 1049)) << hd << false << QPoint(699, 755);
        QTest::newRow("exactly no room below: above")
            << QRect(QPoint(500, 800), QPoint(999, 1035)) << hd << false << QPoint(699, 755);
        QTest::newRow("one pixel of room below")
            << QRect(QPoint(500, 800), QPoint(999, 1034)) << hd << false << QPoint(699, 1039);
        QTest::newRow("full display: inside the top")
            << QRect(0, 0, 1920, 1080) << hd << false << QPoint(1619, 5);
        QTest::newRow("tall region at the top edge: inside")
            << QRect(QPoint(100, 0), QPoint(899, 1050)) << hd << false << QPoint(599, 5);
        QTest::newRow("tall region, room above")
            << QRect(QPoint(100, 45), QPoint(899, 1050)) << hd << false << QPoint(599, 0);
        QTest::newRow("left edge, narrow: kept on the display")
            << QRect(0, 300, 200, 200) << hd << false << QPoint(0, 504);
        QTest::newRow("around the mouse: top right")
            << QRect(100, 100, 320, 240) << hd << true << QPoint(1620, 5);
        const QRect second(QPoint(1920, 0), QPoint(3200, 1024));
        QTest::newRow("second display, around the mouse")
            << QRect(1920, 0, 100, 100) << second << true << QPoint(2900, 5);
        const QRect lower(QPoint(0, 200), QPoint(1280, 1000));
        QTest::newRow("display below another, full region: inside")
            << QRect(QPoint(0, 200), QPoint(1279, 999)) << lower << false << QPoint(979, 205);
    }

    void barPlacement()
    {
        QFETCH(QRect, region);
        QFETCH(QRect, full);
        QFETCH(bool, corner);
        QFETCH(QPoint, expected);
        QCOMPARE(MainWindow::videoCtlBarPos(region, full, QSize(300, 40), corner), expected);
    }

    void barPlacedBesideTheRegion()
    {
        chooseTile("frmChoseVideo");
        const QRect region = RecordParameter::instance()->getVideoRect();
        home()->onBtnRecClicked();
        verifyRecording();
        const QRect bar = home()->videoRecCtl()->geometry();
        QCOMPARE(bar.top(), region.bottom() + 5);
        QCOMPARE(bar.left(), qMax(0, region.right() - bar.width()));
        QVERIFY(home()->videoRecCtl()->isVisible());
        stopByHotkey();
    }

    void barAtCornerForFollowMouse()
    {
        chooseTile("frmChoseVideo");
        QMenu* menu = child<QToolButton>("btnAroundMouse")->menu();
        QAction* follow = menu->actions().value(0);
        QVERIFY(follow);
        QCOMPARE(follow->text(), QString("Follow the mouse"));
        follow->trigger();
        verifyRecording();
        // The recorder consumed the mode while it prepared; the bar did not
        // lose it.
        QVERIFY(!RecordParameter::instance()->isFollowMouse());
        QCOMPARE(FakeScreencast::lastVideoRecord().mouse.method, 2);
        const QRect bar = home()->videoRecCtl()->geometry();
        QCOMPARE(bar.topLeft(), QPoint(1920 - bar.width(), 5));
        // A region dragged later keeps the corner.
        emit SignalsTransfer::instance()->RREndDrag(QRect(10, 10, 300, 300));
        QCoreApplication::processEvents();
        QCOMPARE(home()->videoRecCtl()->geometry().topLeft(), QPoint(1920 - bar.width(), 5));
        stopByHotkey();
    }

    // ---- the ratio lock --------------------------------------------------------------

    void ratioLock_data()
    {
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("widthTyped");
        QTest::addColumn<QSize>("expected");

        const double wide = 16.0 / 9.0;
        QTest::newRow("16:9, width typed") << QSize(1280, 500) << wide << true << QSize(1280, 720);
        QTest::newRow("16:9, height typed") << QSize(500, 720) << wide << false << QSize(1280, 720);
        QTest::newRow("square, width past the height")
            << QSize(1500, 100) << 1.0 << true << QSize(1080, 1080);
        QTest::newRow("wide ratio, height typed past the width")
            << QSize(100, 1080) << 2.5 << false << QSize(1920, 768);
        QTest::newRow("width past the display") << QSize(3000, 100) << wide << true << QSize(1920, 1080);
        QTest::newRow("very wide: the minimum holds") << QSize(100, 100) << 4.0 << true << QSize(100, 64);
    }

    void ratioLock()
    {
        QFETCH(QSize, asked);
        QFETCH(double, ratio);
        QFETCH(bool, widthTyped);
        QFETCH(QSize, expected);
        const QSize display(1920, 1080);
        const QSize size = MainWindow::lockedRatioSize(asked.width(), asked.height(), ratio, widthTyped, display);
        QCOMPARE(size, expected);
        QVERIFY(size.width() <= display.width() && size.height() <= display.height());
    }

    void ratioLockKeepsTheRegionOnTheDisplay()
    {
        chooseTile("frmChoseVideo");
        auto* width = child<CustomSpin>("editWidth");
        auto* height = child<CustomSpin>("editHeight");
        height->setValue(1000);
        width->setValue(1000);
        RecordParameter* rp = RecordParameter::instance();
        QCOMPARE(rp->getVideoRect().size(), QSize(1000, 1000));
        QTest::mouseClick(child<QToolButton>("btnLockOff"), Qt::LeftButton);
        QVERIFY(rp->iskeepRatio());
        width->setValue(1500);
        const QRect region = rp->getVideoRect();
        QCOMPARE(region.size(), QSize(1080, 1080));
        QVERIFY2(QRect(0, 0, 1920, 1080).contains(region), qPrintable(QString("%1,%2 %3x%4")
                                                                         .arg(region.x())
                                                                         .arg(region.y())
                                                                         .arg(region.width())
                                                                         .arg(region.height())));
        QCOMPARE(width->value(), 1080);
        QCOMPARE(height->value(), 1080);
    }

    // ---- running dialogs and hotkeys -----------------------------------------------------

    void hidePopupDialogEndsRunningDialogs()
    {
        frame();
        bool endedInside = false;
        ModalDriver driver;
        driver.expect([&](QWidget* modal) {
            home()->hidePopupDialog();
            endedInside = modal->isHidden();
        });
        const int answer = VxMessageBox::question(nullptr, "t", "a question");
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QVERIFY(endedInside);
        QCOMPARE(answer, int(QMessageBox::No));
        QVERIFY(VxDialogBase::getAllExecDialogs().isEmpty());
    }

    void hotkeysFollowTheEngineAndTheEnableSwitch()
    {
        frame();
        // Grabbed once the engine runs: the default start/stop key.
        const QMap<int, FakeScreencast::HotKey> keys = FakeScreencast::hotKeys();
        QVERIFY(keys.contains(RP_HotKey_Stop));
        QCOMPARE(keys.value(RP_HotKey_Stop).keysym, 0xffc6u);   // F9
        QVERIFY(FakeScreencast::hotKeyCallback());

        chooseTile("frmChoseVideo");
        emit SignalsTransfer::instance()->hotKeyEnable(false);
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        QTest::qWait(700);
        QCOMPARE(FakeScreencast::callCount("scVideoRecord"), 0);
        emit SignalsTransfer::instance()->hotKeyEnable(true);
        FakeScreencast::fireHotKey(RP_HotKey_Stop);
        QTRY_COMPARE(int(home()->roadState()), int(MainWindow::Road_Recording));
        stopByHotkey();

        // Released before the engine stops.
        FakeScreencast::clearCalls();
        m_frame.reset();
        const QStringList calls = FakeScreencast::calls();
        const int callbackGone = calls.indexOf("scSetHotKeyCallback(null)");
        QVERIFY(callbackGone >= 0);
        QVERIFY(callbackGone < calls.indexOf("scUninitialize()"));
        QVERIFY(FakeScreencast::hotKeys().isEmpty());
    }

    // ---- screenshots -------------------------------------------------------------------

    void snapshotEditorEndingReleasesIt()
    {
        chooseTile("frmChoseVideo");
        RecordParameter::instance()->setHideMainWhenScreenshot(true);
        QPointer<DlgSnapshot> editor = openEditor();
        QVERIFY(editor);
        QVERIFY(FakeScreencast::imageCapture());
        QVERIFY(frame()->isHidden());
        QVERIFY(!FakeScreencast::cropBox());
        int asked = 0;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&, QString*) {
            ++asked;
            return QString();
        });
        // Offscreen there is no screen to cut the area from: the editor
        // ends without a picture, and the home window takes over again.
        FakeScreencast::imageCapture()->fireSelCompleted(CRect{100, 100, 300, 250});
        QTRY_VERIFY(!editor);
        QVERIFY(!home()->snapshotEditor());
        QCOMPARE(asked, 0);
        QVERIFY(frame()->isVisible());
        QVERIFY(FakeScreencast::cropBox());
    }

    void snapshotSavedAsJpegHoldsJpeg()
    {
        frame();
        QPointer<DlgSnapshot> editor = openEditor();
        QVERIFY(editor);
        const QString temp = redPng(QSize(120, 80));
        QVERIFY(!temp.isEmpty());
        const QString target = m_dir.filePath("shots/red.jpg");
        QDir().mkpath(m_dir.filePath("shots"));
        QString filterSeen;
        MainWindow::setSaveFileChooser(
            [&](QWidget*, const QString&, const QString&, const QString&, QString* filter) {
                filterSeen = *filter;
                return target;
            });
        emit editor->pictureSave(temp, "PNG (*.png)");
        QCOMPARE(filterSeen, QString("PNG (*.png)"));
        QVERIFY(!QFileInfo::exists(temp));
        const QByteArray magic = head(target, 3);
        QCOMPARE(magic, QByteArray("\xFF\xD8\xFF"));
        const QImage saved(target);
        QCOMPARE(saved.size(), QSize(120, 80));
        const QColor centre = saved.pixelColor(60, 40);
        QVERIFY2(centre.red() > 230 && centre.green() < 30 && centre.blue() < 30, qPrintable(centre.name()));
        const QStringList entry = historyHead();
        QCOMPARE(entry.value(0), QString("red.jpg"));
        QCOMPARE(entry.value(1), target);
        QCOMPARE(entry.value(2), QString("0"));
        QCOMPARE(entry.value(3), QString("120*80"));
        QCOMPARE(entry.value(4), QString());
        double value = 0;
        const QString unit = Utils::getUtilOfSize(QFileInfo(target).size(), value);
        QCOMPARE(entry.value(5), QString::number(qint64(value)) + unit);
        QCOMPARE(Utils::getSnapshotPath(), m_dir.filePath("shots"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!editor);
    }

    void snapshotSameFormatIsMovedAndNoSuffixFollowsFilter()
    {
        frame();
        QString temp = redPng(QSize(64, 64));
        QString target = m_dir.filePath("same.png");
        MainWindow::setSaveFileChooser(
            [&](QWidget*, const QString&, const QString&, const QString&, QString*) { return target; });
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(target, 4), QByteArray("\x89PNG"));

        temp = redPng(QSize(64, 64));
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&,
                                           QString* filter) {
            *filter = "JPEG (*.jpg *.jpeg)";
            return m_dir.filePath("nosuffix");
        });
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(head(m_dir.filePath("nosuffix.jpg"), 2), QByteArray("\xFF\xD8"));
        QCOMPARE(historyHead().value(0), QString("nosuffix.jpg"));
    }

    void snapshotCancelRemovesTheTemporaryImage()
    {
        frame();
        QPointer<DlgSnapshot> editor = openEditor();
        const QString temp = redPng(QSize(50, 50));
        int asked = 0;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&, QString*) {
            ++asked;
            return QString();
        });
        ModalDriver driver;
        emit editor->pictureSave(temp, "PNG (*.png)");
        QVERIFY(driver.waitFinished(100));
        VERIFY_DRIVER(driver);
        QCOMPARE(asked, 1);
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(historyCount(), 0);
        QVERIFY(!home()->snapshotEditor());
        QVERIFY(frame()->isVisible());
    }

    void snapshotUnwritableFolderCanBeCancelled()
    {
        frame();
        // A folder below a regular file cannot exist, root or not.
        const QString blocker = m_dir.filePath("blocker");
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString temp = redPng(QSize(50, 50));
        QStringList offered;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString& path, const QString&, QString*) {
            offered << path;
            return offered.size() == 1 ? blocker + "/sub/x.png" : QString();
        });
        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts));
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(offered.size(), 2);
        QCOMPARE(offered.at(1), blocker + "/sub/x.png");
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("is not writable"), qPrintable(texts.first()));
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(historyCount(), 0);
    }

    void snapshotFormatThatCannotBeWrittenAsksAgain()
    {
        if (QImageWriter::supportedImageFormats().contains("gif"))
            QSKIP("this Qt writes GIF");
        frame();
        const QString temp = redPng(QSize(50, 50));
        const QString existing = m_dir.filePath("keep.gif");
        {
            QFile old(existing);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        int asked = 0;
        MainWindow::setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&, QString*) {
            return ++asked == 1 ? existing : m_dir.filePath("then.bmp");
        });
        QStringList texts;
        ModalDriver driver;
        driver.expect(closeAnything(&texts));
        home()->onSaveSnapPic(temp, "PNG (*.png)");
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(asked, 2);
        QVERIFY2(texts.value(0).contains("failed! Please select another one."), qPrintable(texts.value(0)));
        // The file the user would have replaced is as it was.
        QCOMPARE(head(existing, 10), QByteArray("old"));
        QCOMPARE(head(m_dir.filePath("then.bmp"), 2), QByteArray("BM"));
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(historyHead().value(0), QString("then.bmp"));
    }

    void snapshotPinnedAndReleased()
    {
        frame();
        QPointer<DlgSnapshot> editor = openEditor();
        QImage image(90, 60, QImage::Format_RGB32);
        image.fill(Qt::red);
        emit editor->paintToScreen(image);
        QPointer<DlgPaintToScreen> pinned;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<DlgPaintToScreen*>(w))
                pinned = p;
        QVERIFY(pinned);
        QVERIFY(pinned->isVisible());
        QCOMPARE(pinned->img().size(), QSize(90, 60));
        pinned->done(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!pinned);
        // A second screenshot waits for the first editor to finish.
        home()->onBtnSnapshot();
        QCOMPARE(home()->snapshotEditor(), editor.data());
        editor->reject();
        QTRY_VERIFY(!home()->snapshotEditor());
        home()->onBtnSnapshot();
        QVERIFY(home()->snapshotEditor());
    }
};

QTEST_MAIN(TstRoad)
#include "tst_road.moc"
