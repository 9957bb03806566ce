#include "recording/VideoRecCtlWdg.h"

#include "platform/framework/VxMainWindowBase.h"
#include "ui_VideoRecCtlWdg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLayout>
#include <QStyle>
#include <QHBoxLayout>
#include <QTimer>

#include "core/RecordingSession.h"
#include "core/CEIPWrapper.h"
#include "capture/DlgPaintToScreen.h"
#include "capture/DlgVideoClip.h"
#include "capture/FfColor.h"
#include "platform/log/Log.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "recording/AudioLevelFeed.h"
#include "recording/ScreenRecorder.h"
#include "core/SignalsTransfer.h"
#include "core/StatusItem.h"
#include "core/UnsavedRecording.h"
#include "schedule/TaskManage.h"
#include "core/Utils.h"
#include "widgets/CustomLEDFrame.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"

namespace {

const char* const kLogModule = "VideoRecCtlWdg";

// Free space at or below this stops a running recording (4 GiB - 1).
const qint64 kMinFreeSpace = 0xFFFFFFFFLL;

// Engine error codes (SRErrorCode) and what the user is told about them.
struct ErrorText
{
    const char* message;
    const char* shownCode;
};
const ErrorText kErrorTexts[] = {
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "success!"), "0"},
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "Unknown error!"), "3001"},
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "File writing failed!"), "3002"},
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "Buffer full!"), "3003"},
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "The selected window is resized!"), "3004"},
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "The selected window is closed!"), "3005"},
    {QT_TRANSLATE_NOOP("VideoRecCtlWdg", "Microphone interruption!"), "2001"},
};
const int kErrorTextCount = int(sizeof(kErrorTexts) / sizeof(kErrorTexts[0]));
const int kUnknownError = 1;
const int kFileWriteFailed = 2;

// Where one code stands for several things, the engine's cause (SRErrorCause)
// picks the words; the shown code stays that of the code.
const char* const kCauseTexts[] = {
    nullptr,
    QT_TRANSLATE_NOOP("VideoRecCtlWdg", "Microphone interruption!"),
    QT_TRANSLATE_NOOP("VideoRecCtlWdg", "System sound interruption!"),
    QT_TRANSLATE_NOOP("VideoRecCtlWdg", "The sound server stopped!"),
    QT_TRANSLATE_NOOP("VideoRecCtlWdg", "The screen size changed!"),
};
const int kCauseTextCount = int(sizeof(kCauseTexts) / sizeof(kCauseTexts[0]));

qint64 systemMonotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

QString productName()
{
    return VxProductInfo::instance()->productName();
}

} // namespace

VideoRecCtlWdg::VideoRecCtlWdg(QWidget* parent)
    : VxDialogBase(parent)
    , ui(new Ui::VideoRecCtlWdg)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    QFile sheet(QStringLiteral(":/controlbar/controlbar.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));

    m_pTimer = new QTimer();
    m_pTimer->setInterval(1000);
    // A coarse timer may fire up to 5% early: the first tick would still
    // read second 0, and the Stop lock and a timed length would run a
    // second late.
    m_pTimer->setTimerType(Qt::PreciseTimer);

    connect(m_pTimer, &QTimer::timeout, this, &VideoRecCtlWdg::onShowMessage);
    connect(ui->btnPause, &QToolButton::clicked, this, &VideoRecCtlWdg::onBtnPauseClicked);
    connect(ui->btnResume, &QToolButton::clicked, this, &VideoRecCtlWdg::onBtnResumeClicked);
    connect(ui->btnStop, &QToolButton::clicked, this, &VideoRecCtlWdg::onBtnStopClicked);
    connect(ui->btnSnapshot, &QToolButton::clicked, this, &VideoRecCtlWdg::onSnapshot);
    connect(ui->frameEdit, &FfColor::redo, this, &VideoRecCtlWdg::onRedo);
    connect(ui->frameEdit, &FfColor::undo, this, &VideoRecCtlWdg::onUndo);
    connect(ui->frameEdit, &FfColor::startCanvs, this, &VideoRecCtlWdg::onStartCanvs);
    connect(ui->frameEdit, &FfColor::stopCanvs, this, &VideoRecCtlWdg::onStopCanvs);
    connect(ui->frameEdit, &FfColor::clear, this, &VideoRecCtlWdg::onClear);
    connect(ui->btnEdit, &QToolButton::clicked, this, &VideoRecCtlWdg::onBtnEditClicked);

    // The engine raises these on its own threads: queued, so they arrive
    // here on the GUI thread after the engine's callback has returned.
    SignalsTransfer* hub = SignalsTransfer::instance();
    connect(hub, &SignalsTransfer::canvasNumChange, ui->frameEdit, &FfColor::setNumberNumber,
            Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::RRBeginDrag, this, &QWidget::hide, Qt::QueuedConnection);
    connect(hub, &SignalsTransfer::recordErrorOccur, this, &VideoRecCtlWdg::onRecordErrorOccur,
            Qt::QueuedConnection);
    connect(ui->btnHide, &QToolButton::clicked, this, &QWidget::hide);

    ui->btnResume->hide();
    ui->frameEdit->hide();
    ui->frameEdit->setHasBlur(false);

    // One window or chosen windows only: no canvas to draw on.
    RecordParameter* rp = RecordParameter::instance();
    if (rp->isWindowRecord() && rp->getWindowModle() != WindowModle_Exclude)
        ui->btnEdit->setEnabled(false);

    fitHeight();
    postCreateDerivedDialog(false, false, nullptr);
}

VideoRecCtlWdg::~VideoRecCtlWdg()
{
    m_pTimer->stop();
    delete m_pTimer;
    // Deleted with a recording claimed (a start undone, the program
    // quitting) or in its own stop road before the preview: the road ends
    // here, so no state is left behind for the next start to trip over. An
    // open preview ends it itself when it closes.
    RecordingSession* session = RecordingSession::instance();
    if (session->isRecording()) {
        session->finish();
        ScreenRecorder::instance()->stop();
    } else if (m_bStopping && session->state() == RecordingSession::Session_Stopping) {
        session->finish();
    }
    delete ui;
}

void VideoRecCtlWdg::setMainWindowBase(VxMainWindowBase* frame)
{
    m_pMainWindow = frame;
}

void VideoRecCtlWdg::setClock(const Clock& clock)
{
    m_clock = clock;
}

qint64 VideoRecCtlWdg::now() const
{
    return m_clock ? m_clock() : systemMonotonicMs();
}

int VideoRecCtlWdg::recordedSeconds() const
{
    const qint64 stretch = m_bStretchRunning ? qMax<qint64>(0, now() - m_nStretchStart) : 0;
    return m_nAccumulated + int(stretch / 1000);
}

QString VideoRecCtlWdg::timeCounter(int seconds)
{
    const int s = qMax(0, seconds);
    const QChar zero(QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, zero)
        .arg(s % 3600 / 60, 2, 10, zero)
        .arg(s % 60, 2, 10, zero);
}

QString VideoRecCtlWdg::sizeCounter(qint64 size, qint64 freeSpace)
{
    double sizeValue = 0.0;
    double freeValue = 0.0;
    const QString sizeUnit = Utils::getUtilOfSize(size, sizeValue);
    const QString freeUnit = Utils::getUtilOfSize(freeSpace, freeValue);
    return QStringLiteral("%1 %2/%3 %4").arg(sizeValue, 0, 'f', 2).arg(sizeUnit).arg(freeValue, 0, 'f', 2).arg(freeUnit);
}

bool VideoRecCtlWdg::initRecord()
{
    Log(kLogModule, LogLevel::Info, "initRecord");
    // Leftovers go; a recording still waiting to be saved or discarded
    // (offered before every start) never does.
    if (UnsavedRecording::find().isEmpty())
        Utils::removeTempRoot();
    ScreenRecorder* recorder = ScreenRecorder::instance();
    if (!recorder->checkTempfilePath())
        return false;

    RecordParameter* rp = RecordParameter::instance();
    // Taken once: the tick and the stop must agree on what is recorded even
    // if the settings change meanwhile.
    m_bAudioOnly = !rp->getVideoEnable() && !rp->isWindowRecord();
    if (m_bAudioOnly) {
        // Nothing to photograph or draw on: the meter takes their place and
        // shows that sound is actually arriving.
        ui->btnSnapshot->hide();
        ui->btnEdit->hide();
        showLevelMeter();
        return recorder->recordAudio();
    }
    return recorder->recordVideo();
}

void VideoRecCtlWdg::showLevelMeter()
{
    if (m_pLevels)
        return;
    auto* meter = new CustomLEDFrame(ui->frameCenter);
    meter->setObjectName(QStringLiteral("ledLevels"));
    meter->setFixedSize(170, 28);
    auto* row = qobject_cast<QHBoxLayout*>(ui->frameCenter->layout());
    if (row)
        row->insertWidget(row->indexOf(ui->btnSnapshot), meter);
    m_pLevels = new AudioLevelFeed(meter, this);
    fitHeight();
}

void VideoRecCtlWdg::start()
{
    Log(kLogModule, LogLevel::Info, "start Rec");
    ScreenRecorder::instance()->start();
    m_nAccumulated = 0;
    m_nElapsedSeconds = 0;
    m_nNextDiskCheck = 1;
    m_nStretchStart = now();
    m_bStarted = true;
    m_bStretchRunning = true;
    m_pTimer->start(1000);
    if (m_pLevels)
        m_pLevels->start();
    // A recording cannot be stopped by the button during its first seconds.
    ui->btnStop->setEnabled(false);
    StatusItem::instance()->setStopEnable(false);
}

void VideoRecCtlWdg::onShowMessage()
{
    if (!RecordParameter::instance()->m_bRecording)
        return;
    if (!tickFileKept())
        return;
    qint64 size = 0;
    if (!tickSize(size))
        return;
    const int seconds = recordedSeconds();
    if (seconds >= 4) {
        // The stop lock opens after four seconds.
        ui->btnStop->setEnabled(true);
        StatusItem::instance()->setStopEnable(true);
    }
    if (!tickFreeSpace(seconds))
        return;
    m_nElapsedSeconds = seconds;
    showFigures(seconds, size);
    tickLengthLimit();
}

bool VideoRecCtlWdg::tickSize(qint64& size)
{
    ScreenRecorder* recorder = ScreenRecorder::instance();
    if (m_bAudioOnly) {
        size = recorder->getAudioTempFileSize();
    } else if (m_nElapsedSeconds > 0 && forbiddenPlayerRuns()) {
        // The warning outlives the bar (it is discarded once the stop has
        // run), so it hangs on the application.
        QTimer::singleShot(300, QCoreApplication::instance(), [] { showPlayerWarning(); });
        Log(kLogModule, LogLevel::Info, "Golden Lion player");
        onBtnStopClicked();
        return false;
    } else if (Utils::getFileSuffix() != QLatin1String("gif")) {
        size = Utils::getFileSize(recorder->getTmpFilePath());
    } else {
        size = recorder->getGifSize();
        if (size == -1) {
            Log(kLogModule, LogLevel::Info, "gif file Size overflow!");
            onBtnStopClicked();
            return false;
        }
    }
    // The file may not exist before the first frames are written.
    size = qMax<qint64>(0, size);
    return true;
}

bool VideoRecCtlWdg::tickFreeSpace(int seconds)
{
    // Read on seconds 1, 6, 11 ...; a late tick that skipped the due second
    // still reads it.
    if (seconds < m_nNextDiskCheck)
        return true;
    m_nNextDiskCheck = ((seconds - 1) / 5 + 1) * 5 + 1;
    ScreenRecorder* recorder = ScreenRecorder::instance();
    bool ok = false;
    const qint64 free = Utils::freeDiskSize(recorder->getTmpFilePath(), ok);
    if (!ok) {
        // An unknown amount is no reason to stop a recording.
        Log(kLogModule, LogLevel::Info, "free space of the temp folder unknown, check skipped");
        return true;
    }
    m_nFreeSpace = free;
    if (free > kMinFreeSpace)
        return true;
    Log(kLogModule, LogLevel::Info, "disk size is full");
    stopWithWarning(
        tr("The recording has automatically stopped due to insufficient recording space. If you want "
           "to record longer videos, please make sure that the temporary directory (which can be "
           "changed in the Settings) has enough disk space before recording."));
    return false;
}

bool VideoRecCtlWdg::tickFileKept()
{
    ScreenRecorder* recorder = ScreenRecorder::instance();
    if (!recorder->isTmpFileLost())
        return true;
    // The engine still holds the open file and writes it out again when it
    // is stopped: what was recorded up to now survives.
    Log(kLogModule, LogLevel::Info, "the temporary file was deleted during the recording");
    stopWithWarning(m_bAudioOnly ? tr("The sound recording's temporary file was deleted while recording. The "
                                      "recording has stopped; what was recorded up to now is kept.")
                                 : tr("The recording's temporary file in \"%1\" was deleted while recording. The "
                                      "recording has stopped; what was recorded up to now is kept.")
                                       .arg(QFileInfo(recorder->getTmpFilePath()).absolutePath()));
    return false;
}

void VideoRecCtlWdg::stopWithWarning(const QString& message)
{
    ScreenRecorder::instance()->pause();
    // No further tick (and no second warning) while the box is open, and
    // no resume of a recording that cannot go on.
    m_pTimer->stop();
    m_bErrorHandling = true;
    tellThen(VxMessageBox::kIconWarning, nullptr, message, [this] {
        m_bErrorHandling = false;
        onBtnStopClicked();
    });
}

void VideoRecCtlWdg::showFigures(int seconds, qint64 size)
{
    const QString timeText = timeCounter(seconds);
    ui->lblLength->setText(timeText);
    const QString sizeText = sizeCounter(size, m_nFreeSpace);
    ui->lblSize->setText(sizeText);
    StatusItem::instance()->setRecordInfo(timeText, sizeText);
}

void VideoRecCtlWdg::tickLengthLimit()
{
    // A scheduled task's own length wins over the record length.
    TaskManage* tasks = TaskManage::instance();
    if (tasks->isTasking) {
        if (tasks->needStopRecord(m_nElapsedSeconds))
            onBtnStopClicked();
    } else if (RecordParameter::instance()->timerEnable()
               && RecordParameter::instance()->needStopRecord(m_nElapsedSeconds)) {
        onBtnStopClicked();
    }
}

bool VideoRecCtlWdg::forbiddenPlayerRuns() const
{
    VxProductInfo* info = VxProductInfo::instance();
    if (info->extendParam(QStringLiteral("ExcludeProgress")).toInt() == 0)
        return false;
    // An empty name is contained in every process path.
    const QString name = info->extendParam(QStringLiteral("ExcludeProgressName"));
    if (name.isEmpty())
        return false;
    return OSServiceUtils::isRunningProcess(name);
}

void VideoRecCtlWdg::showPlayerWarning()
{
    StatusItem::instance()->setActionEnable(false);
    VxMessageBox::tell(VxMessageBox::kIconWarning, nullptr, productName(),
                       tr("Golden Lion player does not allow program recording, please close the Golden "
                          "Lion player before continuing to record other content."),
                       QCoreApplication::instance(), [](int) { StatusItem::instance()->setActionEnable(true); });
}

void VideoRecCtlWdg::pauseOrResume()
{
    if (!RecordingSession::instance()->isPaused())
        onBtnPauseClicked();
    else
        onBtnResumeClicked();
}

void VideoRecCtlWdg::onBtnPauseClicked()
{
    // Only a started, running recording pauses: a second pause would count
    // the running stretch twice. While an error or disk box is open the
    // engine is stopped or paused for good.
    if (!m_bStarted || m_bErrorHandling || !RecordingSession::instance()->requestPause())
        return;
    m_pTimer->stop();
    m_nAccumulated = recordedSeconds();
    m_bStretchRunning = false;
    showPausedFace(true);
    ScreenRecorder::instance()->pause();
}

void VideoRecCtlWdg::onBtnResumeClicked()
{
    if (!m_bStarted || m_bErrorHandling || !RecordingSession::instance()->requestResume())
        return;
    m_nStretchStart = now();
    m_bStretchRunning = true;
    m_pTimer->start(1000);
    showPausedFace(false);
    ScreenRecorder::instance()->resume();
}

void VideoRecCtlWdg::showPausedFace(bool paused)
{
    ui->btnPause->setVisible(!paused);
    ui->btnResume->setVisible(paused);
    // The style sheet colours a paused time differently.
    ui->lblLength->setProperty("paused", paused);
    ui->lblLength->style()->unpolish(ui->lblLength);
    ui->lblLength->style()->polish(ui->lblLength);
}

void VideoRecCtlWdg::onSnapshot()
{
    const QString path = ScreenRecorder::instance()->snapshot();
    if (path.isEmpty())
        return;
    QImage image;
    if (!image.load(path))
        return;

    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(QFileInfo(path).size(), value);
    SignalsTransfer::instance()->addHistoryFile(
        path, HistoryFile_Image, QString::asprintf("%d*%d", image.width(), image.height()), QString(),
        QStringLiteral("%1%2").arg(int(value)).arg(unit));
    showFlyOut(image);
}

void VideoRecCtlWdg::showFlyOut(const QImage& image)
{
    // The picture flies into the button. No local event loop: the bar must
    // stay free to stop (and be discarded) while it plays; the window is a
    // child of the bar and goes with it.
    const QPoint p = ui->btnSnapshot->mapToGlobal(QPoint(0, 0));
    DlgPaintToScreen::flyOut(this, image, QRect(QPoint(p.x() - 120, p.y() - 120), QPoint(p.x() - 1, p.y() - 1)),
                             QRect(p, p));
}

void VideoRecCtlWdg::fitHeight()
{
    // The tool bar's show or hide has only posted a layout request: make
    // the layouts take it now, so the minimum height is the new one.
    if (QLayout* inner = ui->vxDialogExClient->layout()) {
        inner->invalidate();
        inner->activate();
        ui->vxDialogExClient->updateGeometry();
    }
    if (layout()) {
        layout()->invalidate();
        layout()->activate();
    }
    const int height = ui->frameEdit->isVisible() ? qMax(minimumHeight(), sizeHint().height())
                                                  : minimumHeight();
    resize(width(), height);
}

void VideoRecCtlWdg::onBtnEditClicked()
{
    ui->btnHide->setEnabled(!m_bDrawing);
    // isHidden, not isVisible: the bar itself may be hidden.
    ui->frameEdit->setVisible(ui->frameEdit->isHidden());
    fitHeight();
}

void VideoRecCtlWdg::foldToolBar()
{
    if (!ui->frameEdit->isHidden())
        onBtnEditClicked();
}

void VideoRecCtlWdg::onStartCanvs(int tool)
{
    // A look changed with no tool picked: nothing draws, and the bar may
    // still be hidden.
    if (tool == CanvasShapes_None)
        return;
    ui->btnHide->setEnabled(false);
    ScreenRecorder* recorder = ScreenRecorder::instance();
    if (!recorder->isCanvas())
        return;
    const QByteArray familyUtf8 = Utils::productFontFamily(QStringLiteral("en")).toUtf8();
    FfColor* tools = ui->frameEdit;
    recorder->onStartCanvs(tool, tools->getFontSize(), tools->getPainterSize(), tools->getColor(),
                           tools->getBackgroundColor(), familyUtf8.constData(), tools->numberNumber());
    m_bDrawing = true;
}

void VideoRecCtlWdg::onStopCanvs(bool quit)
{
    ui->btnHide->setEnabled(true);
    if (m_bDrawing) {
        ScreenRecorder::instance()->onStopCanvs();
        m_bDrawing = false;
    }
    if (quit)
        foldToolBar();
}

void VideoRecCtlWdg::leaveDrawing()
{
    ui->btnHide->setEnabled(true);
    ui->frameEdit->resetTool();
    ScreenRecorder::instance()->onStopCanvs();
    m_bDrawing = false;
    foldToolBar();
}

void VideoRecCtlWdg::onUndo()
{
    ScreenRecorder* recorder = ScreenRecorder::instance();
    if (recorder->isCanUndo())
        recorder->onUndo();
}

void VideoRecCtlWdg::onRedo()
{
    ScreenRecorder* recorder = ScreenRecorder::instance();
    if (recorder->isCanRedo())
        recorder->onRedo();
}

void VideoRecCtlWdg::onClear()
{
    ScreenRecorder::instance()->onClear();
}

void VideoRecCtlWdg::showEvent(QShowEvent* event)
{
    RecordParameter::instance()->m_bRecBarHidden = false;
    VxDialogBase::showEvent(event);
    Utils::setTopWindowLevel(this);
}

void VideoRecCtlWdg::hideEvent(QHideEvent* event)
{
    RecordParameter::instance()->m_bRecBarHidden = true;
    VxDialogBase::hideEvent(event);
}

void VideoRecCtlWdg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape) {
        VxDialogBase::keyPressEvent(event);
        return;
    }
    event->accept();
    if (m_bDrawing)
        leaveDrawing();
    else
        onBtnStopClicked();   // may end with the bar scheduled for deletion
}

void VideoRecCtlWdg::onRecordErrorOccur(int code)
{
    RecordParameter* rp = RecordParameter::instance();
    // An error queued before the user stopped arrives after the stop: the
    // recording it speaks of is already over. A second error while the
    // first is shown changes nothing.
    if (!rp->m_bRecording || m_bErrorHandling) {
        Log(kLogModule, LogLevel::Info, "record error %d ignored: the recording is no longer running", code);
        return;
    }
    if (code == 0) {
        Log(kLogModule, LogLevel::Info, "record error 0 (success) ignored");
        return;
    }
    m_bErrorHandling = true;
    hide();
    m_pTimer->stop();
    ScreenRecorder* recorder = ScreenRecorder::instance();
    const int cause = recorder->recordErrorCause();
    const QString reason = recorder->recordErrorText();
    recorder->stop();

    // The engine names only the codes of the table; anything else is an
    // unknown error. Its own reason says more than the table (which disk,
    // which device), so it takes the table's place when it gives one.
    const int index = (code > 0 && code < kErrorTextCount) ? code : kUnknownError;
    const bool known = cause > 0 && cause < kCauseTextCount;
    const QString message =
        !reason.isEmpty() ? reason : tr(known ? kCauseTexts[cause] : kErrorTexts[index].message);
    const QString shownCode = QString::fromLatin1(kErrorTexts[index].shownCode);
    Log(kLogModule, LogLevel::Info, "record error %d (%s), cause %d: %s", code, kErrorTexts[index].shownCode, cause,
        message.toUtf8().constData());

    // The recording is still claimed once the box is gone, so the ordinary
    // stop below takes what the engine wrote up to the error to the preview.
    tellThen(VxMessageBox::kIconInformation, m_pMainWindow.data(),
             tr("Recording is interrupted. %1 You can preview and save the recorded content (error code: %2).")
                 .arg(message, shownCode),
             [this] { QTimer::singleShot(1, this, &VideoRecCtlWdg::onBtnStopClicked); });
}

void VideoRecCtlWdg::onBtnStopClicked()
{
    RecordingSession* session = RecordingSession::instance();
    if (!session->requestStop())
        return;
    m_bStopping = true;

    RecordParameter* rp = RecordParameter::instance();
    hide();
    m_pTimer->stop();
    m_nAccumulated = 0;
    m_bStretchRunning = false;
    if (m_pLevels)
        m_pLevels->stop();

    ScreenRecorder* recorder = ScreenRecorder::instance();
    recorder->stop();

    // A sound-only recording lives in the engine's own files; a screen
    // recording in the temp file, which must hold something.
    const QString temp = m_bAudioOnly ? ScreenRecorder::audioRecordFile() : recorder->getTmpFilePath();
    Log(kLogModule, LogLevel::Info, "temp path: %s", temp.toLocal8Bit().constData());
    const bool recorded = m_bAudioOnly ? Utils::getAudioDuration() > 0.0 : Utils::getFileSize(temp) > 0;
    // Kept for the restore offer until the preview saved or discarded it.
    if (m_bAudioOnly && recorded)
        UnsavedRecording::remember(temp);

    CEIPWrapper::instance()->MakeEvent(CEIPWrapper::kEvent_RecordingStopped);
    CEIPWrapper::instance()->MakeEvent_kModular_Recording_Result(recorded ? 1 : 0);

    Log(kLogModule, LogLevel::Info, "video enable: %d , Only Camrea: %d, window: %d", int(rp->getVideoEnable()),
        int(rp->isOnlyRecordCamera()), int(rp->isWindowRecord()));
    const bool autoSave = QFileInfo(temp).suffix() == QLatin1String("gif") || rp->isAutoSave()
                          || rp->timerEnable() || TaskManage::instance()->isTasking;

    // The box or the preview returns at once; the stop goes on once it is
    // closed, and never after this bar went.
    if (!recorded) {
        Log(kLogModule, LogLevel::Error, "the recording left no data at %s", temp.toLocal8Bit().constData());
        tellThen(VxMessageBox::kIconInformation, m_pMainWindow.data(), tr(kErrorTexts[kFileWriteFailed].message),
                 [this] { finishStop(false); });
        return;
    }
    VxMainWindowBase* frame = m_pMainWindow.data();
    auto* preview = new DlgVideoClip(temp, frame, frame, !m_bAudioOnly, autoSave);
    preview->openThen(this, [this](int result) { finishStop(result == QDialog::Accepted); });
}

void VideoRecCtlWdg::finishStop(bool saved)
{
    // Nothing was recorded, or the preview closed: the road is over before
    // anyone hears of its end. A saved recording's history comes first; its
    // end is told once that window is closed.
    auto end = [] {
        RecordingSession::instance()->finish();
        // The receiver discards this bar: nothing of it is touched afterwards.
        emit SignalsTransfer::instance()->recordStop();
    };
    if (saved && !RecordParameter::instance()->timerEnable() && !TaskManage::instance()->isTasking)
        SignalsTransfer::instance()->showHistoryThen(this, end);
    else
        end();
}

void VideoRecCtlWdg::tellThen(int icon, QWidget* parent, const QString& text, std::function<void()> then)
{
    // The tray's actions wait for the box, whatever becomes of this bar.
    StatusItem::instance()->setActionEnable(false);
    VxMessageBox* box = VxMessageBox::tell(icon, parent, productName(), text, this, [then](int) { then(); });
    connect(box, &QDialog::finished, box, [] { StatusItem::instance()->setActionEnable(true); });
}
