#include "app/MainWindow.h"

#include <QFile>
#include <QPointer>
#include <QTimer>

#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "app/RecordHistoryTool.h"
#include "app/ShowPicture.h"
#include "app/SystemStatusBar.h"
#include "core/CEIPWrapper.h"
#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "core/SignalsTransfer.h"
#include "app/MainWindowAudioPlugin.h"
#include "capture/UnsavedOffer.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "core/DataCollect.h"
#include "feedback/FeedBackDialog.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "preferences/CMASShortcut.h"
#include "preferences/DlgHotKeyMessage.h"
#include "recording/CameraDlg.h"
#include "recording/ScreenRecorder.h"
#include "recording/ScreenRegion.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "ui_MainWindow.h"

// From a request to a running recording and back: hotkeys and scheduled starts,
// the checks a start request must pass, its preparation, the countdown or
// the short pause, the start itself and the end of a recording.

using homewindow::productName;

namespace {
const char* const kLogModule = homewindow::logModule();
} // namespace

// ---- hotkeys and tasks -------------------------------------------------------------------

bool MainWindow::startingRefused(const char* what) const
{
    if (!RecordingSession::instance()->isStarting())
        return false;
    // Nothing runs yet that could be paused, stopped or shot, and a second
    // start would stack on the first.
    Log(kLogModule, LogLevel::Info, "%s refused: a recording is starting", what);
    return true;
}

void MainWindow::onHotKeyPressed(int id)
{
    Log(kLogModule, LogLevel::Info, "onHotKeyPressed:%d", id);
    // Esc, or the start/stop key pressed again, takes back a start still
    // counting down.
    if (id == CMASShortcut::kCancelKeyId || (id == RP_HotKey_Stop && m_pShowPicture)) {
        if (m_pShowPicture)
            cancelCountdown();
        return;
    }
    if (!m_recording.m_bHotkeyEnable || RecordParameter::instance()->m_bPreviewing) {
        Log(kLogModule, LogLevel::Info, "m_bHotkeyEable: false");
        return;
    }
    if (startingRefused("hotkey"))
        return;
    switch (id) {
    case RP_HotKey_Pause:
        onHotkeyPauseOrResume();
        break;
    case RP_HotKey_Stop:
        onHotkeyStartOrStop();
        break;
    case RP_HotKey_Snapshot:
        onHotkeySnap();
        break;
    case RP_HotKey_WebCam:
        // The webcam recorder has no overlay to switch: the key records.
        if (CameraDlg* recorder = webcamRecorder(); recorder && !m_pVideoRecCtl)
            recorder->startOrStop();
        else if (m_pVideoRecCtl)
            Log(kLogModule, LogLevel::Info, "m_pVideoRecCtl can not change camera");
        else if (m_nRecordWhat == RecordWhat_Video && ui->btnUseCamera->isEnabled())
            ui->btnUseCamera->setBtnChecked(!RecordParameter::instance()->getCamerastream());
        break;
    case RP_HotKey_Float:
        onHotkeyRecbar();
        break;
    default:
        break;
    }
}

void MainWindow::onHotKeyEnable(bool enable)
{
    m_recording.m_bHotkeyEnable = enable;
}

void MainWindow::onHotkeySnap()
{
    if (startingRefused("snapshot"))
        return;
    if (m_pVideoRecCtl)
        m_pVideoRecCtl->onSnapshot();
    else if (CameraDlg* recorder = webcamRecorder())
        recorder->snapshot();
    else
        onBtnSnapshot();
}

void MainWindow::onHotkeyPauseOrResume()
{
    if (startingRefused("pause or resume"))
        return;
    if (m_pVideoRecCtl)
        m_pVideoRecCtl->pauseOrResume();
    else if (CameraDlg* recorder = webcamRecorder())
        recorder->pauseOrResume();
}

void MainWindow::onHotkeyRecbar()
{
    if (startingRefused("show or hide the control bar") || !m_pVideoRecCtl)
        return;
    if (m_pVideoRecCtl->isHidden())
        m_pVideoRecCtl->show();
    else
        m_pVideoRecCtl->hide();
}

void MainWindow::onTaskStartRec(int recwhat)
{
    TaskManage* tasks = TaskManage::instance();
    RecordingSession* session = RecordingSession::instance();
    if (session->isTasking() || !session->isIdle()) {
        Log(kLogModule, LogLevel::Info, "Task start cancel, isTasking:%d, state:%s", session->isTasking() ? 1 : 0,
            RecordingSession::stateName(session->state()));
        return;
    }
    if (recwhat == RecordWhat_Webcam) {
        m_nRecordWhat = RecordWhat_Webcam;
        m_nPreRecordWhat = RecordWhat_Home;
        hidePopupDialog();
        onCameraRedord();
        if (tasks->isOutOfDate()) {
            Log(kLogModule, LogLevel::Info, "Task start out of date");
        } else if (CameraDlg* recorder = webcamRecorder(); recorder && session->beginTask()) {
            QTimer::singleShot(500, recorder, &CameraDlg::on_btnRec_clicked);
        } else {
            Log(kLogModule, LogLevel::Info, "camera task start failed: camera state failed");
        }
        return;
    }
    // Checked before anything else: a type that no page records must not
    // start whatever page happens to show.
    QString name;
    if (recwhat == RecordWhat_Video) {
        name = tr("Video Recorder");
    } else if (recwhat == RecordWhat_Audio) {
        name = tr("Audio Recorder");
    } else {
        Log(kLogModule, LogLevel::Info, "Task start failed: invalid record type");
        return;
    }
    hidePopupDialog();
    if (m_nRecordWhat != recwhat) {
        m_nPreRecordWhat = RecordWhat_Home;
        chooseRecorder(recwhat, name);
    }
    if (tasks->isOutOfDate()) {
        Log(kLogModule, LogLevel::Info, "Task start out of date");
        return;
    }
    if (session->beginTask())
        QTimer::singleShot(500, this, &MainWindow::onBtnRecClicked);
}

// ---- recording -----------------------------------------------------------------------------

// A reason to turn a start request down. `applies` may ask the user (the
// chosen windows being gone is settled by a question); `tell` shows the
// message of the refusal before the start is undone, `after` runs once it
// is.
struct MainWindow::StartRefusal
{
    const char* name;
    bool (MainWindow::*applies)();
    void (MainWindow::*tell)();
    void (MainWindow::*after)();
};

const MainWindow::StartRefusal MainWindow::kStartRefusals[] = {
    {"scheduled task without sources", &MainWindow::taskLacksSources, &MainWindow::warnTaskLacksSources, nullptr},
    {"nothing to record", &MainWindow::cannotStartNow, nullptr, nullptr},
    {"an unsaved recording kept", &MainWindow::unsavedRecordingKept, nullptr, nullptr},
    {"chosen windows gone, re-select", &MainWindow::windowsGoneReselect, nullptr, &MainWindow::onWindowSelect},
    {"a player forbids capture", &MainWindow::playerForbidsCapture, &MainWindow::warnForbiddenPlayer,
     &MainWindow::onShowRegionBox},
};

bool MainWindow::checkAudioDriver()
{
    return homewindow::checkAudioPluginOffering(this, m_pMainWindowBase);
}

bool MainWindow::askPermissionFor(Privacy_Setting setting, int (DeviceManager::*permission)())
{
    DeviceManager* devices = DeviceManager::instance();
    if ((devices->*permission)() == Permission_Authorized || TaskManage::instance()->isTasking)
        return true;
    execPermissionGuide(setting, (devices->*permission)() == Permission_NotDetermined);
    return (devices->*permission)() == Permission_Authorized;
}

void MainWindow::reUpdateMainData()
{
    RecordParameter* params = RecordParameter::instance();
    if (ui->btnUseMic->isChecked() && !askPermissionFor(Privacy_Microphone, &DeviceManager::isPermissionMicrophone))
        ui->btnUseMic->setBtnOnlyOff();
    if (ui->btnUseCamera->isChecked() && !askPermissionFor(Privacy_Camera, &DeviceManager::isPermissionCamera))
        ui->btnUseCamera->setBtnOnlyOff();
    params->setMicEnable(ui->btnUseMic->isChecked());
    params->setVideoEnable(ui->btnUseDisplay->isChecked());
    params->setCamerastream(ui->btnUseCamera->isChecked());
    params->setSysAudioEnable(ui->btnUseAudio->isChecked());
    ScreenRegion::instance()->hideRegionBox();
    const QRect stored = params->getVideoRect();
    const int width = ui->editWidth->customValue();
    const int height = ui->editHeight->customValue();
    if (width != stored.right() + 1 - stored.left() || height != stored.bottom() + 1 - stored.top())
        setCustomRegionBox(width, height, false);
}

void MainWindow::clearMouseModes()
{
    RecordParameter* params = RecordParameter::instance();
    params->setAroundMouse(false);
    params->setFollowMouse(false);
    m_bBarAtCorner = false;
}

void MainWindow::refuseStart()
{
    RecordingSession::instance()->abandonStart();
    // An armed mode would otherwise ride along with the next, ordinary start.
    clearMouseModes();
    SystemStatusBar::instance()->setActionEnable(true);
}

bool MainWindow::forbiddenPlayerRuns() const
{
    VxProductInfo* info = VxProductInfo::instance();
    if (info->extendParam(QStringLiteral("ExcludeProgress"), QString()).toInt() == 0)
        return false;
    // An empty name is part of every process path: it names no player.
    const QString name = info->extendParam(QStringLiteral("ExcludeProgressName"), QString());
    if (name.isEmpty())
        return false;
    return OSServiceUtils::isRunningProcess(name);
}


bool MainWindow::askWindowGone()
{
    const bool goOn = VxMessageBox::choose(m_pMainWindowBase, productName(),
                                tr("If there is no valid window to record, please click Re-select to choose a "
                                   "valid window. Click Continue, the recording will start with the default "
                                   "settings."),
                                {{QMessageBox::Ok, tr("Re-select")}, {QMessageBox::Cancel, tr("Continue")}})
        != QMessageBox::Ok;
    if (goOn)
        DataCollect::instanse()->incContinueCnt();
    return goOn;
}

// ---- the start checks ----------------------------------------------------------------------

bool MainWindow::taskLacksSources()
{
    return TaskManage::instance()->isTasking && !onCheckCanRec();
}

void MainWindow::warnTaskLacksSources()
{
    const QString text = m_nRecordWhat == RecordWhat_Audio
        ? tr("The microphone and speaker for the current audio recording are not enabled. It fails to start "
             "recording with Task Schedule. Please reconfigure!")
        : tr("The current video recording settings are invalid. It fails to start recording with Task "
             "Schedule. Please reconfigure!");
    VxMessageBox::warning(m_pMainWindowBase, productName(), text, QMessageBox::Ok);
}

bool MainWindow::cannotStartNow()
{
    // A recording or preview under way was turned down by the session
    // before any check ran.
    const bool canRec = onCheckCanRec();
    if (!m_pVideoRecCtl && canRec)
        return false;
    Log(kLogModule, LogLevel::Info, "start record cancel, bar:%d, canrec:%d ", m_pVideoRecCtl ? 1 : 0, canRec ? 0 : 1);
    return true;
}

bool MainWindow::unsavedRecordingKept()
{
    return !UnsavedOffer::settleBeforeRecording(m_pMainWindowBase);
}

bool MainWindow::windowsGoneReselect()
{
    if (m_nRecordWhat != RecordWhat_Window)
        return false;
    RecordParameter* params = RecordParameter::instance();
    const bool single = params->getWindowModle() == WindowModle_Single;
    if (WindowListManger::instance()->chechWindowVisible(params->getWindowList(), single)) {
        if (single)
            ui->btnUseCamera->setBtnChecked(false);
        return false;
    }
    params->setWindowList(QList<int>());
    params->setVideoEnable(true);
    params->setWindowRecord(false);
    // "Continue" records the stored region instead.
    return !askWindowGone();
}

bool MainWindow::playerForbidsCapture()
{
    const RecordParameter* params = RecordParameter::instance();
    return (params->getVideoEnable() || params->isWindowRecord()) && forbiddenPlayerRuns();
}

void MainWindow::warnForbiddenPlayer()
{
    VxMessageBox::warning(nullptr, productName(),
                          tr("Golden Lion player does not allow program recording, please close the Golden "
                             "Lion player before continuing to record other content."),
                          QMessageBox::Ok);
}

bool MainWindow::passStartChecks()
{
    for (const StartRefusal& refusal : kStartRefusals) {
        if (!(this->*refusal.applies)())
            continue;
        Log(kLogModule, LogLevel::Info, "start refused: %s", refusal.name);
        if (refusal.tell)
            (this->*refusal.tell)();
        refuseStart();
        // After the refusal: an open window picker keeps the status item's
        // panel closed on its own.
        if (refusal.after)
            (this->*refusal.after)();
        return false;
    }
    // The recorder consumes these while it prepares; the bar needs them
    // until the recording ends.
    const RecordParameter* params = RecordParameter::instance();
    m_bBarAtCorner = params->isAroundMouse() || params->isFollowMouse();
    return true;
}

// ---- the start ------------------------------------------------------------------------------

bool MainWindow::enterStarting()
{
    RecordingSession* session = RecordingSession::instance();
    if (!session->requestStart()) {
        // A start under way, a running recording or a preview owns the task
        // claim and the status item: this request leaves them alone.
        Log(kLogModule, LogLevel::Info, "start record cancel, state:%s, canrec:%d ", RecordingSession::stateName(session->state()),
            onCheckCanRec() ? 0 : 1);
        return false;
    }
    SystemStatusBar::instance()->setActionEnable(false);
    reUpdateMainData();
    return true;
}

void MainWindow::prepareStart()
{
    RecordParameter* params = RecordParameter::instance();
    if (params->getSysAudioEnable() && !checkAudioDriver()) {
        ui->btnUseAudio->setBtnOnlyOff();
        params->setSysAudioEnable(false);
        ui->lblAudio->hide();
        ui->lblAudioName->setEnabled(false);
        ui->lblAudioNotUse->show();
        ui->frameRecord->setEnabled(onCheckCanRec());
    }
    hideFrame();

    if (!VxSettings::instance()->applicationParam("HotkeyRemind", false).toBool()
        && !TaskManage::instance()->isTasking) {
        m_bReminderOpen = true;
        if (!m_pHotKeyMessage)
            m_pHotKeyMessage = new DlgHotKeyMessage(m_pMainWindowBase);
        m_pHotKeyMessage->setWindowTitle(productName());
        m_pHotKeyMessage->exec();
        Log("REC", LogLevel::Info, "DlgHotkeyMessage has been exited");
        m_bReminderOpen = false;
    }

    ScreenRegion::instance()->hideRegionBox();
    if (params->isHideTaskbar())
        OSServiceUtils::setDockHide(false);
    if (params->isHideDesktop()) {
        // The windows being recorded stay: hidden, they would record as
        // nothing.
        const bool chosen = params->isWindowRecord() && params->getWindowModle() != WindowModle_Exclude;
        OSServiceUtils::setHideDesktopIcon(false, chosen ? params->getWindowList() : QList<int>());
    }
    ui->actionOptions->setEnabled(false);
    hideFrame();
}

bool MainWindow::createControlBar()
{
    m_pVideoRecCtl = new VideoRecCtlWdg(nullptr);
    // Not shown yet, and never with "HideFloat" on: the tray must offer to
    // show it.
    RecordParameter::instance()->m_bRecBarHidden = true;
    m_pVideoRecCtl->setMainWindowBase(m_pMainWindowBase);
    if (m_pVideoRecCtl->initRecord())
        return true;
    // The temporary-folder check leaves no file path when the user gave up
    // in its prompt: that was an answer, not an engine failure.
    if (ScreenRecorder::instance()->getTmpFilePath().isEmpty()) {
        Log("REC", LogLevel::Info, "start given up in the temporary folder prompt");
        undoStart();
        onShowRegionBox();
    } else {
        onCreateRecordError();
    }
    return false;
}

void MainWindow::waitThenStart()
{
    RecordingSession::instance()->beginCountdown();
    if (RecordParameter::instance()->isCountDown() && !TaskManage::instance()->isTasking) {
        Log("REC", LogLevel::Info, "Show count Picture");
        m_pShowPicture = new ShowPicture(nullptr);
        connect(m_pShowPicture, &ShowPicture::showPicEnd, this, &MainWindow::releaseShowPic);
        CMASShortcut::instance()->grabCancelKey();
        m_pShowPicture->start();
        return;
    }
    // A short pause lets the hidden frame and region box go before the
    // capture starts. The road carries on from the timer; a start undone
    // and begun again meanwhile has a new number, so a stale timer starts
    // nothing.
    const int start = ++m_recording.m_nStartSerial;
    QTimer::singleShot(500, this, [this, start] {
        if (start == m_recording.m_nStartSerial)
            startRec();
    });
}

void MainWindow::onBtnRecClicked()
{
    if (!enterStarting() || !passStartChecks())
        return;
    prepareStart();
    if (createControlBar())
        waitThenStart();
}

void MainWindow::releaseShowPic()
{
    endCountdown();
    startRec();
}

void MainWindow::endCountdown()
{
    if (!m_pShowPicture)
        return;
    CMASShortcut::instance()->releaseCancelKey();
    // It may be inside its own signal.
    m_pShowPicture->disconnect(this);
    m_pShowPicture->deleteLater();
    m_pShowPicture = nullptr;
}

void MainWindow::finishRecordingForQuit()
{
    if (m_pShowPicture)
        cancelCountdown();
    RecordingSession* session = RecordingSession::instance();
    if (!session->isRecording())
        return;
    Log("REC", LogLevel::Info, "finishing the recording before quitting");
    session->finish();
    ScreenRecorder::instance()->stop();
}

void MainWindow::cancelCountdown()
{
    Log("REC", LogLevel::Info, "countdown cancelled");
    const QString temp = ScreenRecorder::instance()->getTmpFilePath();
    undoStart();
    // Nothing was recorded: no file is left to be offered for restoring.
    if (!temp.isEmpty())
        QFile::remove(temp);
    onShowRegionBox();
}

void MainWindow::countStart()
{
    const RecordParameter* params = RecordParameter::instance();
    DataCollect* counters = DataCollect::instanse();
    if (params->timerEnable())
        counters->incDurationCnt();
    if (m_bBarAtCorner)
        counters->incMouseCnt();
    else if (params->getVideoEnable() && !params->isWindowRecord() && params->getVideoRect().size() == displaySize())
        counters->incFullScreenCnt();
    else if (params->getVideoEnable() && !params->isWindowRecord())
        counters->incCustomCnt();
}

void MainWindow::startRec()
{
    // The bar may have ended during the countdown or the pause (an engine
    // error stops it): then nothing is left to start and the status item
    // must not claim a recording.
    RecordingSession* session = RecordingSession::instance();
    if (!session->isStarting() || !m_pVideoRecCtl) {
        Log("REC", LogLevel::Info, "startRec: no prepared recording (state %s)", RecordingSession::stateName(session->state()));
        if (session->isStarting())
            undoStart();
        return;
    }
    SystemStatusBar* status = SystemStatusBar::instance();
    status->setActionEnable(true);
    hideFrame();
    // The panel stands in for the frame only while nothing records; the
    // frame's return after the recording hides it for good.
    hideFloatWindow();
    session->recordingStarted();
    countStart();
    CEIPWrapper::instance()->MakeEvent(5000);
    m_pVideoRecCtl->start();
    RecordParameter* params = RecordParameter::instance();
    if (params->getVideoEnable() || params->isWindowRecord())
        moveVideoCtlBar(Utils::DisplayRectToScreen(params->getUseDisplayIndex(), params->getVideoRect()));
    if (!params->isHideFloat())
        m_pVideoRecCtl->show();
    if (params->isBeep())
        OSServiceUtils::beep();
}

void MainWindow::undoStart()
{
    SystemStatusBar* status = SystemStatusBar::instance();
    status->setActionEnable(true);
    endCountdown();
    // Not inside any of the bar's own handlers here.
    delete m_pVideoRecCtl.data();
    // The bar may have ended the start as it went; the task's claim goes
    // either way.
    RecordingSession::instance()->abandonStart();
    clearMouseModes();
    ui->actionOptions->setEnabled(true);
    OSServiceUtils::setDockHide(true);
    OSServiceUtils::setHideDesktopIcon(true);
    showFrame();
}

void MainWindow::onCreateRecordError()
{
    // The engine's reason first: it tells the user what to change.
    const QString reason = ScreenRecorder::instance()->startErrorText();
    undoStart();
    const QString failed =
        tr("Failed to start recording, (error code: 4001), you can click OK to give feedback on this issue.");
    const int answer = VxMessageBox::information(
        m_pMainWindowBase, productName(), reason.isEmpty() ? failed : reason + QLatin1Char(' ') + failed,
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    if (answer == QMessageBox::Ok)
        FeedBackDialog::showFeedBack(m_pMainWindowBase);
    onShowRegionBox();
}

void MainWindow::onRecordStop()
{
    if (m_bReminderOpen)
        return;
    // The bar announces its end once the session is back to idle; a start
    // under way is another road's.
    if (RecordingSession::instance()->isStarting()) {
        Log(kLogModule, LogLevel::Info, "recordStop while a recording is starting: not this one's");
        return;
    }
    RecordParameter* params = RecordParameter::instance();
    // The bar may have ended a start in its countdown or short pause (an
    // engine error): that start is over too.
    endCountdown();
    SystemStatusBar::instance()->setActionEnable(true);
    // The bar announced the end from inside its own handler: it goes once
    // that handler has returned.
    if (m_pVideoRecCtl)
        m_pVideoRecCtl->deleteLater();
    m_pVideoRecCtl = nullptr;
    clearMouseModes();

    TaskManage* tasks = TaskManage::instance();
    if (tasks->isTasking) {
        QTimer::singleShot(500, this, [this] { TaskManage::instance()->taskCompleted(m_pMainWindowBase, 0); });
    } else if (params->timerEnable()) {
        Log(kLogModule, LogLevel::Info, "timerEnable:%d stopway:%d,repeat:%d", params->timerEnable() ? 1 : 0,
            static_cast<int>(params->timerStopEvent()), params->TimerRepeat() ? 1 : 0);
        if (!params->TimerRepeat())
            params->setTimerEnable(false);
        if (params->timerStopEvent() != 0) {
            QTimer::singleShot(500, this, [this] {
                TaskManage::instance()->taskCompleted(m_pMainWindowBase,
                                                      RecordParameter::instance()->timerStopEvent());
            });
        }
    }
    // The timer may have just been switched off above.
    ui->recordHistory->onCheckDurationState(true);
    // The other programs come back first: each is raised as it returns,
    // and this program's windows belong above them.
    OSServiceUtils::setDockHide(true);
    OSServiceUtils::setHideDesktopIcon(true);
    onShowWindowAndRegion();
}

void MainWindow::onHotkeyStartOrStop()
{
    if (startingRefused("start or stop"))
        return;
    // A page already chosen, or the webcam recorder's window, starts and
    // stops as it is.
    if (m_nRecordWhat != RecordWhat_Home || webcamRecorder()) {
        startOrStop();
        return;
    }
    m_nPreRecordWhat = RecordWhat_Home;
    chooseRecorder(RecordWhat_Video, tr("Video Recorder"));
    QTimer::singleShot(500, this, [this] {
        // This press asked for a start: a recording another request began
        // meanwhile is not this one's to stop.
        if (!RecordingSession::instance()->isIdle()) {
            Log(kLogModule, LogLevel::Info, "start or stop refused: already recording");
            return;
        }
        startOrStop();
    });
}

void MainWindow::startOrStop()
{
    Log(kLogModule, LogLevel::Info, "startOrStop");
    if (startingRefused("start or stop"))
        return;
    if (CameraDlg* recorder = webcamRecorder()) {
        recorder->startOrStop();
        return;
    }
    const RecordingSession* session = RecordingSession::instance();
    if (m_pVideoRecCtl && session->isRecording()) {
        m_pVideoRecCtl->onBtnStopClicked();
        return;
    }
    // The preview of the last recording is one of the running dialogs:
    // ending it would throw the recording away. The start below is refused
    // then anyway.
    if (!m_pVideoRecCtl && !session->isPreviewing())
        hidePopupDialog();
    onBtnRecClicked();
}
