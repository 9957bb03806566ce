#include "recording/CameraDlg.h"

#include "ui_CameraDlg.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QMessageBox>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include "capture/DlgPaintToScreen.h"
#include "capture/DlgVideoClip.h"
#include "capture/UnsavedOffer.h"
#include "core/RecordingSession.h"
#include "core/DataCollect.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/StatusItem.h"
#include "core/UnsavedRecording.h"
#include "core/Utils.h"
#include "feedback/FeedBackDialog.h"
#include "platform/framework/VxMainWindowBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "recording/CameraManager.h"
#include "recording/DlgSetPermissions.h"
#include "recording/VideoRecCtlWdg.h"
#include "schedule/TaskManage.h"
#include "widgets/VxComboboxViewItemDelegate.h"

namespace {

const char* const kLog = "camera";
// The window list finds the overlay by this title, whatever the language.
const char* const kWindowTitle = "Webcam Recorder";
const QString kSizeKey = QStringLiteral("CameraSize");
// The window's last top-left corner (a point). The options dialog keeps its
// corner choice under a key of its own; the two are never read as each other.
const QString kPosKey = QStringLiteral("CameraPos");
const QString kMicKey = QStringLiteral("CameraMicEnable");

constexpr int kTickMs = 500;
constexpr int kStopLockSeconds = 4;
constexpr qint64 kMinFreeBytes = 0xFFFFFFFFLL;
constexpr int kMaxNameWidth = 150;
// Room between the overlay and the edge of the recorded area.
constexpr int kCornerMargin = 10;

const Qt::WindowFlags kRecorderFlags(0x0800C000);
const Qt::WindowFlags kRecordingFlags(0x0804C000);
const Qt::WindowFlags kOverlayFlags(0x0004C000);

QString productName()
{
    return VxProductInfo::instance()->productName();
}

VxSettings* settings()
{
    return VxSettings::instance();
}

} // namespace

CameraDlg::CameraDlg(bool onlyRecordCamera, QWidget* parent)
    : VxDialogBase(parent, Qt::WindowFlags(), false), ui(new Ui::CameraDlg), m_bOnlyRecordCamera(onlyRecordCamera)
{
    ui->setupUi(this);
    ui->frmSetting->hide();
    if (m_bOnlyRecordCamera) {
        m_pInfoTimer = new QTimer;
        connect(m_pInfoTimer, &QTimer::timeout, this, &CameraDlg::onUpdateInfo);
        setWindowFlags(kRecorderFlags);
        setWindowTitle(tr("Webcam Recorder"));
        setupControls();
    } else {
        setWindowTitle(QString::fromLatin1(kWindowTitle));
        setWindowFlags(kOverlayFlags);
    }
    setAttribute(Qt::WA_TranslucentBackground, false);
    // The engine draws into the view: Qt must leave its pixels alone.
    ui->wdgRender->setAttribute(Qt::WA_NativeWindow);
    ui->wdgRender->setAttribute(Qt::WA_PaintOnScreen);
    ui->wdgRender->setAttribute(Qt::WA_NoSystemBackground);
    ui->cmbCamera->installEventFilter(this);
    // The colour properties come from the form's style sheet.
    ensurePolished();
    m_pCameraDelegate = new VxComboboxViewItemDelegate(ui->cmbCamera);
    applyComboColours();
    ui->cmbCamera->setItemDelegate(m_pCameraDelegate);

    fillCameraList();
    DeviceManager* devices = DeviceManager::instance();
    for (int i = 0; i < devices->getAudioCaptureDeviceCount(); ++i)
        ui->cmbMicrophone->addItem(devices->getAudioCaptureDeviceInfo(i));

    ui->btnStop->hide();
    if (ui->cmbCamera->count() > 0)
        CameraManager::instance()->openCamera(ui->wdgRender, m_bOnlyRecordCamera);

    SignalsTransfer* hub = SignalsTransfer::instance();
    connect(hub, &SignalsTransfer::cameraRecordError, this, &CameraDlg::onRecordingError, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::cameraRecordFinish, this, &CameraDlg::onRecordingFinish, Qt::QueuedConnection);

    ui->cmbMicrophone->hide();
    postCreateDerivedDialog(m_bOnlyRecordCamera, false, nullptr);
}

CameraDlg::~CameraDlg()
{
    if (!m_bOnlyRecordCamera)
        settings()->setApplicationParam(kSizeKey, size());
    settings()->setApplicationParam(kPosKey, pos());
    CameraManager::release();
    if (m_pInfoTimer)
        m_pInfoTimer->stop();
    delete m_pInfoTimer;
    RecordParameter::instance()->setOnlyRecordCamera(false);
    delete ui;
}

void CameraDlg::setupControls()
{
    ui->frmSetting->show();
    changeStatus(true);
    ui->btnPause->hide();
    ui->btnResume->hide();
    connect(ui->btnSnapshot, &QToolButton::clicked, this, &CameraDlg::snapshot);
    connect(ui->cmbCamera, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            QOverload<int>::of(&CameraDlg::onCameraItemChanged));
    connect(ui->btnMic, &QToolButton::clicked, this, &CameraDlg::changeMicState);
    connect(ui->btnMicOff, &QToolButton::clicked, this, &CameraDlg::changeMicState);
    connect(ui->btnPause, &QToolButton::clicked, this, &CameraDlg::onPause);
    connect(ui->btnResume, &QToolButton::clicked, this, &CameraDlg::onResume);

    DeviceManager* devices = DeviceManager::instance();
    m_bMicOn = devices->getAudioCaptureDeviceCount() > 0
               && devices->isPermissionMicrophone() == Permission_Authorized
               && settings()->applicationParam(kMicKey, false).toBool();
    ui->btnMic->setVisible(m_bMicOn);
    ui->btnMicOff->setVisible(!m_bMicOn);
}

void CameraDlg::fillCameraList()
{
    // Filling the list must not open each camera in turn: the default one
    // is opened once, below.
    const QSignalBlocker blocker(ui->cmbCamera);
    const QFontMetrics metrics(font());
    CameraManager* cameras = CameraManager::instance();
    for (const QString& name : cameras->getCameras()) {
        const QString shown = metrics.boundingRect(name).width() > kMaxNameWidth
                                  ? metrics.elidedText(name, Qt::ElideRight, kMaxNameWidth)
                                  : name;
        ui->cmbCamera->addItem(shown, name);
    }
    ui->cmbCamera->setCurrentIndex(qMax(0, ui->cmbCamera->findData(cameras->chosenCamera())));
}

void CameraDlg::setFlagsKeepingView(Qt::WindowFlags flags)
{
    // Setting the flags the usual way re-creates the native windows, and
    // the engine would go on drawing into a view that no longer exists.
    QWindow* window = windowHandle();
    if (!window) {
        setWindowFlags(flags);
        return;
    }
    overrideWindowFlags((windowFlags() & Qt::WindowType_Mask) | flags);
    window->setFlags(windowFlags());
}

void CameraDlg::setMainWindowBase(VxMainWindowBase* frame)
{
    m_pMainWindow = frame;
}

void CameraDlg::resizeView()
{
    setMinimumSize(113, 64);
    ui->frmView->setMinimumSize(113, 64);
    resize(settings()->applicationParam(kSizeKey, QSize(1047, 745)).toSize());
}

void CameraDlg::changeStatus(bool idle)
{
    ui->btnRec->setVisible(idle);
    ui->frmDevices->setVisible(idle);
    ui->frmMic->setVisible(idle);
    ui->btnStop->setVisible(!idle);
    ui->frmSize->setVisible(!idle);
    ui->frmPause->setVisible(!idle);
}

void CameraDlg::idleLayout()
{
    changeStatus(true);
    ui->btnMic->setVisible(m_bMicOn);
    ui->btnMicOff->setVisible(!m_bMicOn);
}

void CameraDlg::showRecViewInfo()
{
    changeStatus(false);
    ui->btnPause->show();
    ui->btnResume->hide();
    ui->btnStop->setEnabled(false);
    StatusItem::instance()->setStopEnable(false);
}

// ---- recording -------------------------------------------------------------------------

void CameraDlg::startOrStop()
{
    Log(kLog, LogLevel::Info, "startOrStop");
    if (!CameraManager::instance()->isCameraRunning() || !RecordParameter::instance()->m_bRecording)
        on_btnRec_clicked();
    else
        on_btnStop_clicked();
}

void CameraDlg::on_btnRec_clicked()
{
    Log(kLog, LogLevel::Info, "start record");
    RecordingSession* session = RecordingSession::instance();
    if (!session->isIdle()) {
        Log(kLog, LogLevel::Info, "start record cancel, recording:%d, preview:%d", int(session->isRecording()),
            int(session->isPreviewing()));
        return;
    }
    if (!m_pInfoTimer)
        return;   // the overlay does not record
    session->requestStart();
    // The movie's name is reused and the last one may still wait to be
    // saved: settle that first.
    if (!UnsavedOffer::settleBeforeRecording(m_pMainWindow.data()) || !session->isStarting()) {
        session->abandonStart();
        return;
    }
    ui->lblLength->setText(QStringLiteral("00:00:00"));
    m_strTmpFile = Utils::getRecorderTmpRoot() + QStringLiteral("/.CaptureCamera.mov");
    QFile::remove(m_strTmpFile);
    const QString mic = m_bMicOn ? ui->cmbMicrophone->currentText() : QString();
    UnsavedRecording::remember(m_strTmpFile);
    CameraManager* camera = CameraManager::instance();
    if (!camera->record(m_strTmpFile, mic)) {
        session->abandonStart();
        refuseStart(camera->isCameraRunning());
        return;
    }
    QTimer::singleShot(kTickMs, this, [this] {
        if (RecordParameter::instance()->m_bRecording)
            m_pInfoTimer->start(kTickMs);
    });
    DataCollect::instanse()->incWebcamCnt();
    session->recordingStarted();
    setFlagsKeepingView(kRecordingFlags);
    showRecViewInfo();
}

void CameraDlg::refuseStart(bool cameraOpen)
{
    // Nothing was recorded: there is no movie to offer later, and the
    // window stays ready for the next try.
    const QString reason = CameraManager::instance()->recordErrorText();
    Log(kLog, LogLevel::Error, "camera recording refused, camera open:%d: %s", int(cameraOpen),
        reason.toUtf8().constData());
    UnsavedRecording::forget();
    QFile::remove(m_strTmpFile);
    idleLayout();
    const QString advice =
        cameraOpen ? tr("The webcam recording could not start. Please make sure that the temporary folder (which can "
                        "be changed in the Settings) can be written to and has enough space, then try again.")
                   : tr("The webcam recording could not start because no camera picture is available. Please make "
                        "sure your camera is connected and not used by another program, then choose it again.");
    const QString text = reason.isEmpty() ? advice : reason + ' ' + advice;
    Utils::showMacWindowMessage(MsgType_Warning, this, text, MsgButton_Ok);
}

void CameraDlg::on_btnStop_clicked()
{
    idleLayout();
    RecordingSession* session = RecordingSession::instance();
    if (!session->requestStop())
        return;
    if (m_pInfoTimer)
        m_pInfoTimer->stop();
    m_bStopping = CameraManager::instance()->stopRecord();
    if (!m_bStopping) {
        // No movie will be handed over: nothing is left to preview.
        Log(kLog, LogLevel::Info, "stop camera recording error!");
        session->finish();
    }
}

void CameraDlg::pauseOrResume()
{
    if (!RecordingSession::instance()->isPaused())
        onPause();
    else
        onResume();
}

void CameraDlg::onPause()
{
    ui->btnPause->hide();
    ui->btnResume->show();
    CameraManager* camera = CameraManager::instance();
    // The camera's picture alone (nothing recording) has nothing to pause.
    if (!camera->isCameraRunning() || !RecordingSession::instance()->requestPause())
        return;
    if (m_pInfoTimer)
        m_pInfoTimer->stop();
    camera->pause();
}

void CameraDlg::onResume()
{
    ui->btnPause->show();
    ui->btnResume->hide();
    CameraManager* camera = CameraManager::instance();
    if (camera->isCameraRunning() && RecordingSession::instance()->requestResume()) {
        if (m_pInfoTimer)
            m_pInfoTimer->start(kTickMs);
        camera->resume();
    }
    onUpdateInfo();
}

void CameraDlg::onUpdateInfo()
{
    if (!RecordParameter::instance()->m_bRecording)
        return;
    CameraManager* camera = CameraManager::instance();
    const qint64 size = camera->getVideoFileSize();
    const int seconds = qMax(0, int(camera->getVideoDuration()));
    if (seconds >= kStopLockSeconds) {
        ui->btnStop->setEnabled(true);
        StatusItem::instance()->setStopEnable(true);
    }
    if (!checkFreeSpace(seconds))
        return;
    applyStopRules(seconds);

    const QString time = timeCounter(seconds);
    ui->lblLength->setText(time);
    const QString sizeText = VideoRecCtlWdg::sizeCounter(size, m_nFreeSize);
    ui->lblSize->setText(sizeText);
    StatusItem::instance()->setRecordInfo(time, sizeText);
}

bool CameraDlg::checkFreeSpace(int seconds)
{
    if (seconds % 5 != 1)
        return true;
    bool ok = false;
    const qint64 free = Utils::freeDiskSize(Utils::getRecorderTmpRoot(), ok);
    // A folder the engine cannot measure is no proof of a full disk.
    if (!ok)
        return true;
    m_nFreeSize = free;
    if (free > kMinFreeBytes)
        return true;
    onPause();
    // Paused behind the box, which leaves the tick at once; the stop follows
    // once it is gone.
    VxMessageBox::tell(VxMessageBox::kIconWarning, this, productName(),
                       tr("The recording has automatically stopped due to insufficient recording space. If you want "
                          "to record longer videos, please make sure that the temporary directory (which can be "
                          "changed in the Settings) has enough disk space before recording."),
                       this, [this](int) { on_btnStop_clicked(); });
    return false;
}

void CameraDlg::applyStopRules(int seconds)
{
    TaskManage* tasks = TaskManage::instance();
    RecordParameter* rp = RecordParameter::instance();
    if (tasks->isTasking) {
        if (tasks->needStopRecord(seconds))
            on_btnStop_clicked();
    } else if (rp->timerEnable() && rp->needStopRecord(seconds)) {
        on_btnStop_clicked();
    }
}

QString CameraDlg::timeCounter(int seconds)
{
    return VideoRecCtlWdg::timeCounter(seconds);
}

// ---- the end of a recording -----------------------------------------------------------

void CameraDlg::showFailure(const QString& text)
{
    // The box leaves the caller at once. Once it is answered: Ok offers the
    // feedback form, the tray's actions come back (whatever became of this
    // window meanwhile), then a close asked for during the recording is done.
    // The engine's reason goes first: it tells the user what to change.
    const QString reason = CameraManager::instance()->recordErrorText();
    Log(kLog, LogLevel::Error, "camera recording failed: %s", reason.toUtf8().constData());
    const QPointer<CameraDlg> self(this);
    StatusItem::instance()->setActionEnable(false);
    VxMessageBox::openBox(VxMessageBox::kIconInformation, this, productName(), reason.isEmpty() ? text : reason + ' ' + text,
                          QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel,
                          QCoreApplication::instance(), [self](int answer) {
                              if (answer == QMessageBox::Ok && self)
                                  FeedBackDialog::showFeedBack(self);
                              StatusItem::instance()->setActionEnable(true);
                              if (self)
                                  self->closeAfterRecording();
                          });
}

void CameraDlg::onRecordingError()
{
    m_bStopping = false;
    RecordingSession* session = RecordingSession::instance();
    session->finish();
    session->endTask();
    idleLayout();
    if (m_pInfoTimer)
        m_pInfoTimer->stop();
    showFailure(tr("Webcam recording failed, (error code: 1001), you can click OK to give feedback on this issue."));
}

void CameraDlg::onRecordingFinish(bool failed)
{
    m_bStopping = false;
    RecordingSession* session = RecordingSession::instance();
    // Ended by the engine on its own, or by Stop: it stops either way.
    if (session->isRunning())
        session->requestStop();
    // The engine may call a movie complete that never reached the disk:
    // there is nothing to preview then.
    if (!failed && Utils::getFileSize(m_strTmpFile) <= 0) {
        Log(kLog, LogLevel::Error, "the camera recording left no movie at %s", m_strTmpFile.toLocal8Bit().constData());
        failed = true;
    }
    if (failed) {
        session->finish();
        session->endTask();
        showFailure(tr("Failed to save file, (error code: 1002), you can click OK to give feedback on this issue."));
        return;
    }
    Log(kLog, LogLevel::Info, "stop camera recording success!");
    openPreview();
}

void CameraDlg::openPreview()
{
    hide();
    RecordParameter* rp = RecordParameter::instance();
    TaskManage* tasks = TaskManage::instance();
    const bool autoSave = rp->isAutoSave() || tasks->isTasking || rp->timerEnable();
    VxMainWindowBase* frame = m_pMainWindow.data();
    auto* preview = new DlgVideoClip(m_strTmpFile, frame, frame, true, autoSave);
    // Returns at once; the road goes on once the preview closed, unless this
    // window went meanwhile.
    preview->openThen(this, [this](int result) { afterPreview(result); });
}

void CameraDlg::afterPreview(int result)
{
    RecordParameter* rp = RecordParameter::instance();
    TaskManage* tasks = TaskManage::instance();
    // A saved movie's history comes first; this window goes on once that
    // is closed.
    if (result == QDialog::Accepted && !tasks->isTasking && !rp->timerEnable())
        SignalsTransfer::instance()->showHistoryThen(this, [this] { afterHistory(); });
    else
        afterHistory();
}

void CameraDlg::afterHistory()
{
    RecordParameter* rp = RecordParameter::instance();
    TaskManage* tasks = TaskManage::instance();
    setFlagsKeepingView(kRecorderFlags);
    if (m_bCloseAfterStop)
        closeAfterRecording();
    else
        show();
    if (tasks->isTasking) {
        QTimer::singleShot(500, this, [this] { TaskManage::instance()->taskCompleted(this, 0); });
        return;
    }
    if (!rp->timerEnable())
        return;
    const int stopEvent = int(rp->timerStopEvent());
    Log(kLog, LogLevel::Info, "timerEnable:%d stopway:%d,repeat:%d", int(rp->timerEnable()), stopEvent, int(rp->TimerRepeat()));
    if (!rp->TimerRepeat())
        rp->setTimerEnable(false);
    if (stopEvent != 0)
        QTimer::singleShot(500, this, [this, stopEvent] { TaskManage::instance()->taskCompleted(this, stopEvent); });
}

// ---- photo, camera and microphone -----------------------------------------------------

void CameraDlg::snapshot()
{
    CameraManager* camera = CameraManager::instance();
    if (!camera->isCameraRunning())
        return;
    const QString folder = Utils::getSnapshotPath();
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
    const QString stamp = now.toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
    QString path;
    if (stamp == m_strLastStamp) {
        ++m_nSameStamp;
        path = folder + QStringLiteral("/Camera_%1(%2)%3").arg(stamp).arg(m_nSameStamp).arg(QStringLiteral(".jpg"));
    } else {
        m_strLastStamp = stamp;
        m_nSameStamp = 0;
        path = folder + QStringLiteral("/Camera_%1%2").arg(stamp, QStringLiteral(".jpg"));
    }
    if (camera->capture(path))
        flyOut(path);
}

void CameraDlg::flyOut(const QString& path)
{
    QImage image;
    if (!image.load(path))
        return;
    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(QFileInfo(path).size(), value);
    SignalsTransfer::instance()->addHistoryFile(path, HistoryFile_Image,
                                                QString::asprintf("%d*%d", image.width(), image.height()), QString(),
                                                QStringLiteral("%1%2").arg(int(value)).arg(unit));

    // The picture shrinks away towards the top-left, with no loop waiting
    // for it: the window counts as taking a photo until it has landed, and
    // takes it along when it goes first.
    m_pFlyOut = DlgPaintToScreen::flyOut(this, image, geometry(), QRect(geometry().bottomRight(), QPoint(0, 0)));
    m_pFlyOut->setBaseSize(size());
}

void CameraDlg::onCameraItemChanged(int index)
{
    onCameraItemChanged(ui->cmbCamera->itemData(index).toString());
}

void CameraDlg::onCameraItemChanged(QString name)
{
    CameraManager* camera = CameraManager::instance();
    if (camera->getCameras().contains(name))
        camera->openCamera(name, ui->wdgRender, m_bOnlyRecordCamera);
}

void CameraDlg::changeMicState()
{
    DeviceManager* devices = DeviceManager::instance();
    if (devices->getAudioCaptureDeviceCount() <= 0) {
        m_bMicOn = false;
    } else {
        m_bMicOn = !m_bMicOn;
        const int permission = devices->isPermissionMicrophone();
        if (m_bMicOn && permission != Permission_Authorized) {
            DlgSetPermissions guide(this);
            guide.setMainWindow(m_pMainWindow.data());
            guide.setshowGuide(Privacy_Microphone, permission == Permission_NotDetermined);
            guide.setWindowModality(Qt::WindowModal);
            guide.exec();
            if (devices->isPermissionMicrophone() != Permission_Authorized) {
                m_bMicOn = false;
                return;
            }
        }
    }
    ui->btnMic->setVisible(m_bMicOn);
    ui->btnMicOff->setVisible(!m_bMicOn);
    settings()->setApplicationParam(kMicKey, m_bMicOn);
}

void CameraDlg::onMoveSize(QRect rc)
{
    if (!RecordParameter::instance()->isOnlyRecordCamera())
        return;
    const QSignalBlocker blocker(this);
    resize(rc.right() - rc.left() + 1, rc.bottom() - rc.top() + 1);
    move(rc.topLeft());
}

// ---- events ---------------------------------------------------------------------------

bool CameraDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->cmbCamera && event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ui->cmbCamera->currentText());
        return true;
    }
    return VxDialogBase::eventFilter(watched, event);
}

bool CameraDlg::holdsRecording() const
{
    return m_bOnlyRecordCamera && (RecordParameter::instance()->m_bRecording || m_bStopping);
}

bool CameraDlg::deferClose()
{
    // The overlay records nothing: a recording running meanwhile is the
    // screen's, and closing the overlay must not stop it.
    if (m_pInfoTimer && RecordParameter::instance()->m_bRecording) {
        on_btnStop_clicked();
    } else if (!m_bStopping) {
        return false;
    }
    // The movie goes to the preview as after Stop; the window closes after it.
    m_bCloseAfterStop = m_bStopping;
    return m_bStopping;
}

void CameraDlg::closeAfterRecording()
{
    if (!m_bCloseAfterStop)
        return;
    m_bCloseAfterStop = false;
    emit closes(false);
    reject();
}

void CameraDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (deferClose()) {
            event->accept();
            return;
        }
        emit closes(false);
    }
    VxDialogBase::keyPressEvent(event);
}

void CameraDlg::closeEvent(QCloseEvent* event)
{
    if (deferClose()) {
        event->ignore();
        return;
    }
    emit closes(false);
    VxDialogBase::closeEvent(event);
}

// ---- the overlay's corner -------------------------------------------------------------

void CameraDlg::moveToDefaultPos()
{
    placeInCorner();
    m_bKeepInCorner = frameGeometry() == geometry();
}

void CameraDlg::placeInCorner()
{
    RecordParameter* rp = RecordParameter::instance();
    // The recorded area, so that the camera is in the recording; the screen
    // when no area is known.
    QRect area = Utils::DisplayRectToScreen(rp->getUseDisplayIndex(), rp->getVideoRect());
    const QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    area = area.isValid() && screen ? area.intersected(screen->geometry()) : QRect();
    if (area.isEmpty() && screen)
        area = screen->availableGeometry();
    QWindow* window = windowHandle();
    m_placedFrame = size().grownBy(window ? window->frameMargins() : QMargins());
    const QRect inner = area.adjusted(kCornerMargin, kCornerMargin, -kCornerMargin, -kCornerMargin);
    const int left = inner.left();
    const int right = qMax(inner.left(), inner.right() + 1 - m_placedFrame.width());
    const int top = inner.top();
    const int bottom = qMax(inner.top(), inner.bottom() + 1 - m_placedFrame.height());
    QPoint place;
    switch (rp->getCameraDefaultPos()) {
    case RP_Pos_TopRight: place = QPoint(right, top); break;
    case RP_Pos_Center: place = QPoint((left + right) / 2, (top + bottom) / 2); break;
    case RP_Pos_BottomLeft: place = QPoint(left, bottom); break;
    case RP_Pos_BottomRight: place = QPoint(right, bottom); break;
    default: place = QPoint(left, top); break;
    }
    if (window)
        window->setFramePosition(place);
    else
        move(place);
}

bool CameraDlg::event(QEvent* event)
{
    const bool handled = VxDialogBase::event(event);
    // The window manager's frame arrives after the first placement and
    // makes the window larger: place it again until the frame is known.
    if (m_bKeepInCorner && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && frameGeometry().size() != m_placedFrame) {
        placeInCorner();
        if (frameGeometry() != geometry())
            m_bKeepInCorner = false;
    }
    return handled;
}

void CameraDlg::showEvent(QShowEvent* event)
{
    VxDialogBase::showEvent(event);
}

void CameraDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    VxDialogBase::changeEvent(event);
    // A new style sheet brings new colour properties.
    if (event->type() == QEvent::StyleChange)
        applyComboColours();
}

void CameraDlg::applyComboColours()
{
    if (!m_pCameraDelegate)
        return;
    m_pCameraDelegate->setTextColorH(m_colorHover);
    m_pCameraDelegate->setTextColorN(m_colorNormal);
    m_pCameraDelegate->setBacColorH(m_colorBacHover);
    m_pCameraDelegate->setBacColorN(m_colorBacNormal);
    m_pCameraDelegate->useStandardCheckImage();
}
