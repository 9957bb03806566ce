#include "recording/ScreenRecorder.h"

#include <cerrno>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QVector>

#include <cmath>

#include "core/CEIPWrapper.h"
#include "core/DeviceManager.h"
#include "platform/log/Log.h"
#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "core/SignalsTransfer.h"
#include "core/StatusItem.h"
#include "core/UnsavedRecording.h"
#include "core/Utils.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "recording/RecordOptions.h"
#include "watermark/WaterMarkDataManage.h"
#include "core/WindowListManger.h"

namespace {

const char* const kLog = "ScreenRecorder";

ScreenRecorder* g_pRecorder = nullptr;

// Free space the temporary folder needs: more than 4 GB to record at all,
// more than 8 GB to record without a warning.
constexpr qint64 kMinFreeToRecord = 0xFFFFFFFFLL;
constexpr qint64 kMinFreeWithoutWarning = 0x1FFFFFFFFLL;

// A GIF recording stops before 1.5 GiB of raw frames (one byte a pixel).
constexpr double kGifByteLimit = 1610612736.0;

ScreenRecorder::FolderChooser& folderChooser()
{
    static ScreenRecorder::FolderChooser chooser;
    return chooser;
}

QString chooseFolder(const QString& title, const QString& startDir)
{
    if (folderChooser())
        return folderChooser()(title, startDir);
    return QFileDialog::getExistingDirectory(nullptr, title, startDir,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

QString productName()
{
    return VxProductInfo::instance()->productName();
}

void sendRecordInfo(const CEIPWrapper::SRecord_Info& info)
{
    CEIPWrapper::instance()->MakeEvent_kModular_Record_Info(info);
}

// The size of the one window to record, {0, 0, w, h}; false when there is
// no window or it is gone (the engine reports an empty frame).
bool singleWindowSize(const QList<int>& ids, CRect& size)
{
    if (ids.isEmpty()) {
        Log(kLog, LogLevel::Error, "single window record without a window");
        return false;
    }
    // The frame is in corner form and global coordinates.
    const CRect frame = GetWindowRect(static_cast<unsigned int>(ids.first()));
    size = CRect{0, 0, frame.right - frame.left, frame.bottom - frame.top};
    if (size.right <= 0 || size.bottom <= 0) {
        Log(kLog, LogLevel::Error, "single window record: window %d is gone", ids.first());
        return false;
    }
    return true;
}

// What the next screen recording is made of; false when it has to be one
// window and there is none.
bool readScreenSettings(RecordParameter* param, RecordOptions::ScreenSettings& s)
{
    using RecordOptions::MouseFollow;
    s.windowRecord = param->isWindowRecord();
    if (s.windowRecord) {
        s.windowMode = param->getWindowModle();
        s.windowIds = param->getWindowList();
        if (s.windowMode == kWindowListSingle && !singleWindowSize(s.windowIds, s.windowSize))
            return false;
    }
    RP_CodecType codec = RP_Codec_H264;
    RP_CodecQuality quality = RP_Quality_Medium;
    param->getVideoOpt(s.region, s.fps, codec, quality);
    s.codec = codec;
    s.quality = quality;
    s.format = param->usedVideoFmt();
    s.systemSound = param->getSysAudioEnable();
    s.microphone = param->getMicEnable();
    RP_CodecType unusedCodec = RP_Codec_None;
    RP_CodecQuality audioQuality = RP_Quality_Medium;
    int extra = 0;
    param->getAudioOpt(unusedCodec, audioQuality, extra);
    s.audioQuality = audioQuality;
    QColor unusedClick;
    QColor unusedNormal;
    param->getMouseOpt(s.cursor, s.indicate, s.click, unusedClick, unusedNormal);
    if (param->isAroundMouse()) {
        s.follow = MouseFollow::Centred;
        s.around = param->getAroundMouseSize();
        s.display = DeviceManager::instance()->getFullScreenRect(param->getUseDisplayIndex());
    } else if (param->isFollowMouse()) {
        s.follow = MouseFollow::Edges;
    } else {
        s.follow = param->getMoveRegion() ? MouseFollow::Draggable : MouseFollow::Fixed;
    }
    s.excludeFloatBar = param->isExcludeFloatBar();
    // 0 while the webcam window is not open: nothing to take in.
    if (param->getCamerastream())
        s.cameraWindow = WindowListManger::instance()->getCameraWinId();
    return true;
}

void applyMouseColours(RecordParameter* param)
{
    bool cursor = true;
    bool indicate = true;
    RP_MouseClick click = RP_MouseClick_None;
    QColor clickColour;
    QColor normalColour;
    param->getMouseOpt(cursor, indicate, click, clickColour, normalColour);
    SetMouseHighLightColor(qColor2ColorRef(clickColour));
    SetMouseNormalColor(qColor2ColorRef(normalColour));
}

void logScreenRecord(const RecordOptions::ScreenSettings& s, const RecordOptions::ScreenRecord& r)
{
    const CRect& rect = r.video.rect;
    if (s.follow == RecordOptions::MouseFollow::Centred) {
        Log(kLog, LogLevel::Info, "MouseMethod::Center, sz(%d,%d)", s.around.width(), s.around.height());
        Log(kLog, LogLevel::Info, "MouseMethod::Center, video Rect(0,0, %f,%f)", rect.right, rect.bottom);
    }
    Log(kLog, LogLevel::Info, "record video use format of videoCodec:%d,  audioCodec:%d", r.video.codec, r.audio.codec);
    Log(kLog, LogLevel::Info, "-----------record video info-----------");
    Log(kLog, LogLevel::Info, "video Rect(%f,%f, %f,%f) CodecType:%d FileFormat:%d", rect.left, rect.top, rect.right,
        rect.bottom, r.video.codec, int(r.container.type));
    Log(kLog, LogLevel::Info, "video Render:%d, Capture:%d, codetype:%d", r.audio.render, r.audio.capture, r.audio.codec);
    Log(kLog, LogLevel::Info, "window Option type:%d", int(r.lists.option));
    Log(kLog, LogLevel::Info, "Include count:%d Exclude count:%d", r.lists.include.size(), r.lists.exclude.size());
    Log(kLog, LogLevel::Info, "-----------show info end-----------");
}

void sendVideoRecordInfo(const RecordOptions::ScreenSettings& s, const RecordOptions::ScreenRecord& r,
                         int display, bool camera)
{
    CEIPWrapper::SRecord_Info info;
    info.videoFormat = r.container.suffix.mid(1);
    info.videoQuality = QString::number(s.quality);
    info.videoResolution = QStringLiteral("%1*%2|FullSreen:%3")
                               .arg(s.region.width())
                               .arg(s.region.height())
                               .arg(DeviceManager::instance()->isFullScreen(s.region, display) ? 1 : 0);
    info.videoFrameRate = QString::number(s.fps);
    info.Mouse_Mode = QString::number(r.mouse.method);
    info.Windows_Mode = QStringLiteral("0");
    info.Exclude_Windows = QStringLiteral("0");
    info.Task_Record = QStringLiteral("0");
    info.VideoStream = QStringLiteral("1");
    info.AudioSystem = QString::number(r.audio.render);
    info.AudioMic = QString::number(r.audio.capture);
    info.AudioVirtual = QStringLiteral("1");
    info.CameraStream = camera ? QStringLiteral("1") : QStringLiteral("0");
    sendRecordInfo(info);
}

// Runs on the GUI thread, posted by the drag-end callback: the settings
// model, the display queries and the engine's conversion are GUI-thread
// business.
void applyRegionEndDrag(CRect screenRect)
{
    const CRect display = ConvertCurrentScreenRectToDisplay(screenRect);
    Log(kLog, LogLevel::Info, "screen rect: (%d,%d) %d*%d | display rect: (%d,%d) %d*%d", int(screenRect.left),
        int(screenRect.top), int(screenRect.right - screenRect.left), int(screenRect.bottom - screenRect.top),
        int(display.left), int(display.top), int(display.right - display.left), int(display.bottom - display.top));
    RecordParameter::instance()->setVideoRect(RECT2QRect(display));
    Log(kLog, LogLevel::Info, "OnRecordingRegionEndDrag");
    const QRect moved = RECT2QRect(screenRect);
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->RREndDrag(moved);
}

} // namespace

// ===========================================================================
// Free functions
// ===========================================================================

ColorRef qColor2ColorRef(const QColor& colour)
{
    return (ColorRef(colour.alpha() & 0xFF) << 24) | (ColorRef(colour.red() & 0xFF) << 16)
         | (ColorRef(colour.green() & 0xFF) << 8) | ColorRef(colour.blue() & 0xFF);
}

QRect RECT2QRect(CRect r)
{
    Log("-----source Rect", LogLevel::Info, "(%f,%f)-(%f,%f)", r.left, r.top, r.right, r.bottom);
    int x = int(r.left);
    int y = int(r.top);
    int w = int(r.right - r.left);
    int h = int(r.bottom - r.top);
    if (w < 64)
        w = 64;
    if (h < 64)
        h = 64;

    const QRect d = DeviceManager::instance()->getSelectedDisplayRect();
    int x2 = w > d.width() ? x + d.width() - 1 : x + w - 1;
    int y2 = h > d.height() ? y + d.height() - 1 : y + h - 1;

    if (x < d.left()) {
        x2 += d.left() - x;
        x = d.left();
    }
    if (y < d.top()) {
        y2 += d.top() - y;
        y = d.top();
    }
    if (x2 > d.right()) {
        x -= x2 - d.right();
        x2 = d.right();
    }
    if (y2 > d.bottom()) {
        y -= y2 - d.bottom();
        y2 = d.bottom();
    }
    Log("-----revise rect", LogLevel::Info, "(%d,%d)-(%d,%d)(%dx%d)", x, y, x2, y2, x2 - x + 1, y2 - y + 1);
    return QRect(QPoint(x, y), QPoint(x2, y2));
}

// ===========================================================================
// Engine callbacks
// ===========================================================================

ScreenRecorderPrivate::~ScreenRecorderPrivate()
{
    m_pCanvas = nullptr;
    m_pScreenRecorder.reset();
    m_pAudioRecorder.reset();
}

void ScreenRecorderPrivate::OnError(SRErrorCode code)
{
    m_nLastError = int(code);
    if (code == SR_Success)
        return;
    Log(kLog, LogLevel::Error, "record faild ! error code is %d", int(code));
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->recordErrorOccur(int(code));
    CEIPWrapper::instance()->MakeEvent_kModular_Recording_Result(0);
}

void ScreenRecorderPrivate::OnRecordingRegionBeginDrag()
{
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->RRBeginDrag();
}

void ScreenRecorderPrivate::OnRecordingRegionEndDrag(CRect screenRect)
{
    // The settings model and the display queries belong to the GUI thread:
    // the whole update is posted there. Without an application there is no
    // GUI thread to post to, and nothing to update.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(app, [screenRect] { applyRegionEndDrag(screenRect); }, Qt::QueuedConnection);
}

void ScreenCanvasEvent::OnScreenCanvasEvent(signed char canUndo, signed char canRedo)
{
    m_pRecorder->m_bCanUndo = canUndo != 0;
    m_pRecorder->m_bCanRedo = canRedo != 0;
}

void ScreenCanvasEvent::OnNumberChanged(int number)
{
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->canvasNumChange(number);
}

// ===========================================================================
// ScreenRecorder
// ===========================================================================

ScreenRecorder* ScreenRecorder::instance()
{
    if (!g_pRecorder)
        g_pRecorder = new ScreenRecorder();
    return g_pRecorder;
}

void ScreenRecorder::release()
{
    delete g_pRecorder;
    g_pRecorder = nullptr;
}

void ScreenRecorder::setFolderChooser(const FolderChooser& chooser)
{
    folderChooser() = chooser;
}

ScreenRecorder::ScreenRecorder()
    : m_pPrivate(new ScreenRecorderPrivate())
    , m_pCanvasEvent(new ScreenCanvasEvent(this))
{
}

ScreenRecorder::~ScreenRecorder()
{
    // The recorder objects go first: the engine keeps the canvas event
    // pointer until the screen recorder object is released.
    delete m_pPrivate;
    m_pPrivate = nullptr;
    delete m_pCanvasEvent;
    m_pCanvasEvent = nullptr;
}

void ScreenRecorder::releaseRecorders()
{
    m_pPrivate->m_pCanvas = nullptr;
    m_pPrivate->m_pScreenRecorder.reset();
    m_pPrivate->m_pAudioRecorder.reset();
}

// ---- temporary folder -------------------------------------------------------

bool ScreenRecorder::checkTempfilePath()
{
    const QString root = Utils::getRecorderTmpRoot();
    const QString folder = chackTempFile(root);
    if (folder.isEmpty()) {
        m_strTempBasePath.clear();
        m_strTempFilePath.clear();
        return false;
    }
    // Dot-prefixed so it stays out of sight; the container's suffix comes later.
    m_strTempBasePath = folder + QStringLiteral("/.") + VxProductInfo::instance()->productNativeName();
    m_strTempFilePath = m_strTempBasePath;
    return true;
}

QString ScreenRecorder::chackTempFile(QString path)
{
    Utils::ensureExists(path);
    const QString noRoom = tr("To avoid system error and get a smooth recording, you need to make sure the "
                              "temporary disk space is no less than 4GB. Please free up more space or change "
                              "the temporary path.");
    const int why = VxFileUtils::folderPathWriteError(path);
    if (why == ENOSPC || why == EDQUOT)
        return showWarning(path, noRoom, false);
    if (why == ENAMETOOLONG)
        return showWarning(path, tr("The name \"%1\" is too long for the file system.").arg(path), false);
    if (why != 0)
        return showWarning(path, tr("\"%1\" is not writable.").arg(path), false);

    // Asked about the folder itself ("dir/." names dir as the folder).
    bool known = false;
    const qint64 free = Utils::freeDiskSize(QDir(path).filePath(QStringLiteral(".")), known);
    if (!known) {
        // A volume the engine cannot examine is not a full one: the folder
        // is writable, so recording goes ahead and the running check of the
        // control bar watches the space.
        Log(kLog, LogLevel::Warning, "free space of %s unknown, not checked", path.toUtf8().constData());
        return path;
    }
    if (free <= kMinFreeToRecord)
        return showWarning(path, noRoom, false);
    if (free <= kMinFreeWithoutWarning) {
        return showWarning(path,
                           tr("To ensure a long-term recording and system running normally, you need to make "
                              "sure the temporary disk space is no less than 8GB. Please free up more space or "
                              "change the temporary path."),
                           true);
    }
    return path;
}

QString ScreenRecorder::showWarning(QString path, QString message, bool canContinue)
{
    for (;;) {
        int answer = QMessageBox::NoButton;
        {
            VxMessageBox box(nullptr, false);
            box.setButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.addButton(tr("Change path"), QMessageBox::Ok);
            box.addButton(canContinue ? tr("Continue") : tr("Cancel"), QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            box.setMsgTitle(productName());
            box.setIcon(VxMessageBox::kIconWarning);
            box.setLabelInfo(message);
            StatusItem::instance()->setActionEnable(false);
            box.setModal(true);
            answer = box.exec();
        }
        if (answer != QMessageBox::Ok)
            return canContinue ? path : QString();

        const QString choice = VxFileUtils::makeOSLikePath(chooseFolder(tr("Select Temporary Folder"), path));
        // A cancelled folder dialog leads back to the question, unremarked.
        if (choice.isEmpty())
            continue;
        if (VxFileUtils::isFolderPathWritable(choice))
            return chackTempFile(choice);
        VxMessageBox::information(nullptr, productName(), tr("\"%1\" is not writable.").arg(choice),
                                  QMessageBox::Ok);
    }
}

// ---- preparing ----------------------------------------------------------------

bool ScreenRecorder::recordVideo()
{
    releaseRecorders();
    m_strStartError.clear();
    if (m_strTempBasePath.isEmpty()) {
        // Without a checked temporary folder the file would land wherever
        // the process happens to run.
        Log(kLog, LogLevel::Error, "record video without a temporary folder");
        return false;
    }
    SetHEVC10BITEnabled(0);

    RecordParameter* param = RecordParameter::instance();
    RecordOptions::ScreenSettings settings;
    if (!readScreenSettings(param, settings))
        return false;
    // Centring on the pointer and following it hold for one recording only.
    if (settings.follow == RecordOptions::MouseFollow::Centred)
        param->setAroundMouse(false);
    else if (settings.follow == RecordOptions::MouseFollow::Edges)
        param->setFollowMouse(false);
    applyMouseColours(param);

    const RecordOptions::Container container = RecordOptions::containerFor(settings.format);
    m_strTempFilePath = m_strTempBasePath + container.suffix;
    RecordOptions::ScreenRecord record;
    if (!RecordOptions::screenRecord(settings, GetAVFormatCodecs(container.type), record))
        return false;
    if (record.video.codec != settings.codec) {
        // The container does not offer the stored codec: its replacement
        // becomes the setting.
        param->setVideoOpt(settings.fps, RP_CodecType(record.video.codec), RP_CodecQuality(settings.quality));
    }
    Utils::setFileSuffix(container.suffix.mid(1));
    m_pPrivate->m_nLastError = 0;
    m_sizeRecordFrame = record.frame;
    QString watermarkProblem;
    if (!WaterMarkDataManage::instance()->useWaterMark(record.frame, &watermarkProblem)
        && !watermarkProblem.isEmpty() && !RecordingSession::instance()->isTasking()) {
        // Said before the engine starts, so that the box is not in the
        // recording; a watermark is no reason to lose the recording. A
        // scheduled recording may start with nobody at the screen: a box
        // waiting for an answer would hold it back, so the log alone says it.
        VxMessageBox::warning(nullptr, productName(),
                              watermarkProblem + QLatin1Char('\n') + tr("The recording goes on without it."),
                              QMessageBox::Ok);
    }
    logScreenRecord(settings, record);

    UnsavedRecording::remember(m_strTempFilePath);
    sendVideoRecordInfo(settings, record, param->getUseDisplayIndex(), param->getCamerastream());

    const RecordOptions::WindowLists& lists = record.lists;
    // Around the call: a hang inside the engine shows as a first line
    // without its second.
    Log(kLog, LogLevel::Error, "scVideoRecord");
    m_pPrivate->m_pScreenRecorder =
        scVideoRecord(m_pPrivate, container.type, m_strTempFilePath.toUtf8().constData(), record.video,
                      record.audio, record.mouse, param->isShowBoundary(), lists.option,
                      lists.exclude.isEmpty() ? nullptr : lists.exclude.constData(), lists.exclude.size(),
                      lists.include.isEmpty() ? nullptr : lists.include.constData(), lists.include.size());
    Log(kLog, LogLevel::Error, "scVideoRecord");
    if (!m_pPrivate->m_pScreenRecorder) {
        Log(kLog, LogLevel::Error, "record video faild!");
        noteRefusal();
        return false;
    }
    return true;
}

bool ScreenRecorder::recordAudio()
{
    releaseRecorders();
    m_strStartError.clear();
    Log(kLog, LogLevel::Error, "delete audio file!");
    // The engine keeps its own temporary sound files: no suffix here.
    m_strTempFilePath = m_strTempBasePath;

    RecordParameter* param = RecordParameter::instance();
    const int8_t render = param->getSysAudioEnable() ? 1 : 0;
    const int8_t capture = param->getMicEnable() ? 1 : 0;
    Log(kLog, LogLevel::Info, "Audio Render:%d, Capture:%d, Channel 2", render, capture);

    QString suffix;
    switch (param->usedAudioFmt()) {
    case RP_Format_M4A: suffix = QStringLiteral("m4a"); break;
    case RP_Format_CAF: suffix = QStringLiteral("caf"); break;
    case RP_Format_MP3: suffix = QStringLiteral("mp3"); break;
    case RP_Format_OGG: suffix = QStringLiteral("ogg"); break;
    case RP_Format_OPUS: suffix = QStringLiteral("opus"); break;
    case RP_Format_FLAC: suffix = QStringLiteral("flac"); break;
    case RP_Format_WMA: suffix = QStringLiteral("wma"); break;
    default: suffix = QStringLiteral("mp3"); break;
    }

    CEIPWrapper::SRecord_Info info;
    info.videoFormat = suffix;
    info.RecordAudio = QStringLiteral("1");
    info.Task_Record = QStringLiteral("0");
    info.AudioSystem = QString::number(render);
    info.AudioMic = QString::number(capture);
    info.AudioVirtual = QStringLiteral("1");
    sendRecordInfo(info);

    m_pPrivate->m_nLastError = 0;
    m_pPrivate->m_pAudioRecorder = scAudioRecord(m_pPrivate, render, capture, 2, nullptr);
    if (!m_pPrivate->m_pAudioRecorder) {
        Log(kLog, LogLevel::Error, "record audio faild!");
        noteRefusal();
        return false;
    }
    return true;
}

void ScreenRecorder::noteRefusal()
{
    m_strStartError = QString::fromUtf8(scGetLastErrorText());
    Log(kLog, LogLevel::Error, "the engine's reason: %s", m_strStartError.toUtf8().constData());
    CEIPWrapper::instance()->MakeEvent_kModular_Recording_Result(0);
}

// ---- running ------------------------------------------------------------------

void ScreenRecorder::start()
{
    if (m_pPrivate->m_pScreenRecorder) {
        m_pPrivate->m_pScreenRecorder->start();
        m_pPrivate->m_pCanvas = m_pPrivate->m_pScreenRecorder->createCanvas(m_pCanvasEvent);
    } else if (m_pPrivate->m_pAudioRecorder) {
        m_pPrivate->m_pAudioRecorder->start();
    }
}

void ScreenRecorder::pause()
{
    if (m_pPrivate->m_pScreenRecorder)
        m_pPrivate->m_pScreenRecorder->pause();
    else if (m_pPrivate->m_pAudioRecorder)
        m_pPrivate->m_pAudioRecorder->pause();
}

void ScreenRecorder::resume()
{
    if (m_pPrivate->m_pScreenRecorder)
        m_pPrivate->m_pScreenRecorder->resume();
    else if (m_pPrivate->m_pAudioRecorder)
        m_pPrivate->m_pAudioRecorder->resume();
}

void ScreenRecorder::stop()
{
    releaseRecorders();
}

bool ScreenRecorder::recordError(int& code)
{
    code = m_pPrivate->m_nLastError;
    return code != 0;
}

QString ScreenRecorder::getTmpFilePath() const
{
    return m_strTempFilePath;
}

QString ScreenRecorder::audioRecordFile()
{
    return QString::fromUtf8(GetAudioRecordFile());
}

qint64 ScreenRecorder::getAudioTempFileSize()
{
    if (!m_pPrivate->m_pAudioRecorder)
        return 0;
    return m_pPrivate->m_pAudioRecorder->tempFileSize();
}

QString ScreenRecorder::recordErrorText() const
{
    const char* text = nullptr;
    if (m_pPrivate->m_pScreenRecorder)
        text = m_pPrivate->m_pScreenRecorder->lastErrorText();
    else if (m_pPrivate->m_pAudioRecorder)
        text = m_pPrivate->m_pAudioRecorder->lastErrorText();
    return QString::fromUtf8(text ? text : "");
}

int ScreenRecorder::recordErrorCause() const
{
    if (m_pPrivate->m_pScreenRecorder)
        return m_pPrivate->m_pScreenRecorder->errorCause();
    return m_pPrivate->m_pAudioRecorder ? m_pPrivate->m_pAudioRecorder->errorCause() : SR_CauseNone;
}

bool ScreenRecorder::isTmpFileLost() const
{
    if (m_pPrivate->m_pScreenRecorder)
        return m_pPrivate->m_pScreenRecorder->fileNameLost() != 0;
    return m_pPrivate->m_pAudioRecorder && m_pPrivate->m_pAudioRecorder->fileNameLost() != 0;
}

qint64 ScreenRecorder::getGifSize()
{
    if (!m_pPrivate->m_pScreenRecorder)
        return 0;
    const QRect stored = RecordParameter::instance()->getVideoRect();
    qint64 pixels = qint64(stored.right() - stored.left() + 1) * qint64(stored.bottom() - stored.top() + 1);
    if (stored.right() < stored.left() || stored.bottom() < stored.top() || pixels <= 0) {
        // No stored region (a window recording, a cleared setting): the
        // frames recorded are what counts against the limit.
        pixels = qint64(m_sizeRecordFrame.width()) * qint64(m_sizeRecordFrame.height());
        if (m_sizeRecordFrame.width() <= 0 || m_sizeRecordFrame.height() <= 0)
            return 0;
    }
    const qint64 limit = qint64(std::trunc(kGifByteLimit / double(pixels)));
    const qint64 frames = m_pPrivate->m_pScreenRecorder->frameCount();
    if (frames >= limit)
        return -1;
    return pixels * frames;
}

QString ScreenRecorder::snapshot()
{
    if (!m_pPrivate->m_pScreenRecorder)
        return QString();
    const QString folder = Utils::getSnapshotPath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
    if (stamp == m_strLastSnapshotStamp) {
        ++m_nSnapshotCount;
    } else {
        m_nSnapshotCount = 0;
        m_strLastSnapshotStamp = stamp;
    }

    QString suffix = QStringLiteral(".png");
    int format = kImagePng;
    switch (int(RecordParameter::instance()->usedImgFmt())) {
    case RP_Format_GIF: suffix = QStringLiteral(".gif"); format = kImageGif; break;
    case RP_Format_PNG: suffix = QStringLiteral(".png"); format = kImagePng; break;
    case RP_Format_JPG: suffix = QStringLiteral(".jpg"); format = kImageJpg; break;
    case RP_Format_BMP: suffix = QStringLiteral(".bmp"); format = kImageBmp; break;
    case RP_Format_TIFF: suffix = QStringLiteral(".tiff"); format = kImageTiff; break;
    case 15: suffix = QStringLiteral(".jpg"); format = kImageJpg2; break;
    default: break;
    }

    auto nameFor = [&](int count) {
        const QString name = count == 0 ? QStringLiteral("/Snapshot_%1").arg(stamp)
                                        : QStringLiteral("/Snapshot_%1(%2)").arg(stamp).arg(count);
        return folder + name + suffix;
    };
    // A file of that name from an earlier run is never overwritten.
    QString path = nameFor(m_nSnapshotCount);
    while (QFileInfo::exists(path))
        path = nameFor(++m_nSnapshotCount);

    m_pPrivate->m_pScreenRecorder->snapshot(path.toUtf8().constData(), format);
    return QFileInfo::exists(path) ? path : QString();
}

// ---- drawing canvas ---------------------------------------------------------------

bool ScreenRecorder::isCanvas() const
{
    return m_pPrivate->m_pCanvas != nullptr;
}

void ScreenRecorder::onStartCanvs(int shape, int fontSize, int lineSize, QColor colour, QColor background,
                                  const char* fontFamily, int number)
{
    CScreenCanvasObject* canvas = m_pPrivate->m_pCanvas;
    if (!canvas)
        return;
    const double size = shape == 8 ? fontSize : lineSize;
    if (shape == 7) {
        // A numbered callout swaps the colours: the disc takes the
        // background colour and its number the foreground colour.
        canvas->setNumber(number);
        canvas->start(7, qColor2ColorRef(background), qColor2ColorRef(colour), fontFamily, size);
    } else {
        const ColorRef fill = (qColor2ColorRef(background) & 0x00FFFFFFu) | 0x64000000u;
        canvas->start(shape, qColor2ColorRef(colour), fill, fontFamily, size);
    }
}

void ScreenRecorder::onStopCanvs()
{
    if (m_pPrivate->m_pCanvas)
        m_pPrivate->m_pCanvas->stop();
}

void ScreenRecorder::onUndo()
{
    if (m_pPrivate->m_pCanvas)
        m_pPrivate->m_pCanvas->undo();
}

void ScreenRecorder::onRedo()
{
    if (m_pPrivate->m_pCanvas)
        m_pPrivate->m_pCanvas->redo();
}

void ScreenRecorder::onClear()
{
    if (m_pPrivate->m_pCanvas)
        m_pPrivate->m_pCanvas->clear();
}

bool ScreenRecorder::isCanUndo() const
{
    return m_bCanUndo;
}

bool ScreenRecorder::isCanRedo() const
{
    return m_bCanRedo;
}
