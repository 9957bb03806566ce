#include "recording/ScreenRecorder.h"

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
#include "core/SignalsTransfer.h"
#include "core/StatusItem.h"
#include "core/Utils.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
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

bool contains(const int* ids, int id)
{
    for (const int* p = ids; p && *p != 0; ++p) {
        if (*p == id)
            return true;
    }
    return false;
}

int firstOf(const int* ids)
{
    return ids ? ids[0] : 0;
}

QString productName()
{
    return VxProductInfo::instance()->productName();
}

void sendRecordInfo(const CEIPWrapper::SRecord_Info& info)
{
    CEIPWrapper::instance()->MakeEvent_kModular_Record_Info(info);
}

// Runs on the GUI thread, posted by the drag-end callback: the settings
// model, the display queries and the engine's conversion are GUI-thread
// business.
void applyRegionEndDrag(CRect screenRect)
{
    const CRect display = ConvertCurrentScreenRectToDisplay(screenRect);
    Log(kLog, 1, "screen rect: (%d,%d) %d*%d | display rect: (%d,%d) %d*%d", int(screenRect.left),
        int(screenRect.top), int(screenRect.right - screenRect.left), int(screenRect.bottom - screenRect.top),
        int(display.left), int(display.top), int(display.right - display.left), int(display.bottom - display.top));
    RecordParameter::instance()->setVideoRect(RECT2QRect(display));
    Log(kLog, 1, "OnRecordingRegionEndDrag");
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
    Log("-----source Rect", 1, "(%f,%f)-(%f,%f)", r.left, r.top, r.right, r.bottom);
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
    Log("-----revise rect", 1, "(%d,%d)-(%d,%d)(%dx%d)", x, y, x2, y2, x2 - x + 1, y2 - y + 1);
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
    Log(kLog, 2, "record faild ! error code is %d", int(code));
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
    // A hidden file named after the product; recordVideo adds the suffix.
    m_strTempBasePath = folder + QStringLiteral("/.") + VxProductInfo::instance()->productNativeName();
    m_strTempFilePath = m_strTempBasePath;
    return true;
}

QString ScreenRecorder::chackTempFile(QString path)
{
    Utils::ensureExists(path);
    if (!VxFileUtils::isFolderPathWritable(path))
        return showWarning(path, tr("\"%1\" is not writable.").arg(path), false);

    // Asked about the folder itself ("dir/." names dir as the folder).
    bool known = false;
    const qint64 free = Utils::freeDiskSize(QDir(path).filePath(QStringLiteral(".")), known);
    if (!known) {
        // A volume the engine cannot examine is not a full one: the folder
        // is writable, so recording goes ahead and the running check of the
        // control bar watches the space.
        Log(kLog, 2, "free space of %s unknown, not checked", path.toUtf8().constData());
        return path;
    }
    if (free <= kMinFreeToRecord) {
        return showWarning(path,
                           tr("To avoid system error and get a smooth recording, you need to make sure the "
                              "temporary disk space is no less than 4GB. Please free up more space or change "
                              "the temporary path."),
                           false);
    }
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
            box.setIcon(2);
            box.setLabelInfo(message);
            StatusItem::instance()->setActionEnable(false);
            box.setModal(true);
            answer = box.exec();
        }
        if (answer != QMessageBox::Ok)
            return canContinue ? path : QString();

        const QString choice = VxFileUtils::makeOSLikePath(chooseFolder(tr("Select Temporary Folder"), path));
        if (!choice.isEmpty() && VxFileUtils::isFolderPathWritable(choice))
            return chackTempFile(choice);
        VxMessageBox::information(nullptr, productName(), tr("\"%1\" is not writable.").arg(choice),
                                  QMessageBox::Ok);
    }
}

// ---- preparing ----------------------------------------------------------------

bool ScreenRecorder::recordVideo()
{
    releaseRecorders();
    if (m_strTempBasePath.isEmpty()) {
        // Without a checked temporary folder the file would land wherever
        // the process happens to run.
        Log(kLog, 2, "record video without a temporary folder");
        return false;
    }
    SetHEVC10BITEnabled(0);

    RecordParameter* param = RecordParameter::instance();

    // One window and no window to record: nothing sensible can be built.
    const bool windowRecord = param->isWindowRecord();
    const int windowMode = windowRecord ? param->getWindowModle() : 0;
    QList<int> windowIds;
    CRect windowRect{0, 0, 0, 0};
    if (windowRecord) {
        windowIds = param->getWindowList();
        if (windowMode == kWindowListSingle) {
            if (windowIds.isEmpty()) {
                Log(kLog, 2, "single window record without a window");
                return false;
            }
            const CRect frame = GetWindowRect(static_cast<unsigned int>(windowIds.first()));
            // The engine wants the window's size; the frame is in corner form
            // and global coordinates.
            windowRect = CRect{0, 0, frame.right - frame.left, frame.bottom - frame.top};
            if (windowRect.right <= 0 || windowRect.bottom <= 0) {
                Log(kLog, 2, "single window record: window %d is gone", windowIds.first());
                return false;
            }
        }
    }

    QRect stored;
    int fps = 30;
    RP_CodecType codec = RP_Codec_H264;
    RP_CodecQuality quality = RP_Quality_Medium;
    param->getVideoOpt(stored, fps, codec, quality);

    VideoOpt video{};
    video.rect.left = stored.x();
    video.rect.top = stored.y();
    video.rect.right = stored.x() + (stored.right() - stored.x() + 1);
    video.rect.bottom = stored.y() + (stored.bottom() - stored.y() + 1);
    video.fps = fps;
    video.codec = codec;
    video.quality = quality;
    video.reserved = 0;

    AudioOpt audio{};
    audio.render = param->getSysAudioEnable() ? 1 : 0;
    audio.capture = param->getMicEnable() ? 1 : 0;
    RP_CodecType unusedAudioCodec = RP_Codec_None;
    RP_CodecQuality audioQuality = RP_Quality_Medium;
    int audioExtra = 0;
    param->getAudioOpt(unusedAudioCodec, audioQuality, audioExtra);
    audio.quality = audioQuality;
    audio.channels = 2;

    bool cursorEnable = true;
    bool indicate = true;
    RP_MouseClick click = RP_MouseClick_None;
    QColor clickColour;
    QColor normalColour;
    param->getMouseOpt(cursorEnable, indicate, click, clickColour, normalColour);
    MouseOpt mouse{};
    mouse.cursor = cursorEnable ? 1 : 0;
    mouse.indicate = indicate ? 1 : 0;
    mouse.reserved = 0;

    if (param->isAroundMouse()) {
        const QSize around = param->getAroundMouseSize();
        video.rect = CRect{0, 0, double(around.width()), double(around.height())};
        Log(kLog, 1, "MouseMethod::Center, sz(%d,%d)", around.width(), around.height());
        // Corner coordinates: right - left is the display's width.
        const QRect full = DeviceManager::instance()->getFullScreenRect(param->getUseDisplayIndex());
        const int displayWidth = full.right() - full.left();
        const int displayHeight = full.bottom() - full.top();
        if (!(displayWidth >= around.width() && displayHeight >= around.height())) {
            video.rect.right = displayWidth;
            video.rect.bottom = displayHeight;
        }
        Log(kLog, 1, "MouseMethod::Center, video Rect(0,0, %f,%f)", video.rect.right, video.rect.bottom);
        mouse.method = 1;
        mouse.methodParam = 0;
        param->setAroundMouse(false);
    } else if (param->isFollowMouse()) {
        param->setFollowMouse(false);
        mouse.method = 2;
        mouse.methodParam = 0;
    } else {
        mouse.method = param->getMoveRegion() ? 1 : 0;
        mouse.methodParam = mouse.method;
    }

    mouse.clickType = click == RP_MouseClick_Status ? 1 : click == RP_MouseClick_Blink ? 2 : 0;
    SetMouseHighLightColor(qColor2ColorRef(clickColour));
    SetMouseNormalColor(qColor2ColorRef(normalColour));

    OutputVideoFileType type = kOutputMp4;
    QString suffix;
    switch (param->usedVideoFmt()) {
    case RP_Format_GIF:
        suffix = QStringLiteral(".gif");
        type = kOutputGif;
        audio.render = 0;
        audio.capture = 0;
        break;
    case RP_Format_MOV:
        suffix = QStringLiteral(".mov");
        type = kOutputMov;
        break;
    default:
        suffix = QStringLiteral(".mp4");
        type = kOutputMp4;
        break;
    }
    m_strTempFilePath = m_strTempBasePath + suffix;

    const AVFormatCodecs* codecs = GetAVFormatCodecs(type);
    if (!codecs) {
        audio.codec = kAudioCodecAac;
    } else {
        if (firstOf(codecs->videoCodecs) == 0)
            return false;
        if (!contains(codecs->videoCodecs, video.codec)) {
            video.codec = firstOf(codecs->videoCodecs);
            param->setVideoOpt(fps, RP_CodecType(video.codec), quality);
        }
        int audioCodec = video.codec == kVideoCodecProRes422    ? kAudioCodecPcm16
                       : video.codec == kVideoCodecProRes4444 ? kAudioCodecPcm24
                                                               : firstOf(codecs->audioCodecs);
        if (!contains(codecs->audioCodecs, audioCodec))
            audioCodec = kAudioCodecAac;
        audio.codec = audioCodec;
    }
    Log(kLog, 1, "record video use format of videoCodec:%d,  audioCodec:%d", video.codec, audio.codec);

    Utils::setFileSuffix(QFileInfo(m_strTempFilePath).suffix());

    m_pPrivate->m_nLastError = 0;
    const bool boundary = param->isShowBoundary();

    QSize frame(int(video.rect.right - video.rect.left), int(video.rect.bottom - video.rect.top));

    QVector<unsigned int> include;
    QVector<unsigned int> exclude;
    int option = kWindowListNone;
    if (windowRecord) {
        option = windowMode;
        if (windowMode == kWindowListInclude) {
            for (int id : windowIds)
                include << static_cast<unsigned int>(id);
        } else if (windowMode == kWindowListExclude) {
            for (int id : windowIds)
                exclude << static_cast<unsigned int>(id);
        } else if (windowMode == kWindowListSingle) {
            video.windowRect = windowRect;
            for (int id : windowIds)
                include << static_cast<unsigned int>(id);
            frame = QSize(int(windowRect.right), int(windowRect.bottom));
            mouse.cursor = 0;
        }
    } else {
        option = param->isExcludeFloatBar() ? kWindowListExclude : kWindowListNone;
    }
    m_sizeRecordFrame = frame;

    WaterMarkDataManage::instance()->useWaterMark(frame);

    if (param->getCamerastream()) {
        // 0 means the webcam window is not open: no id to take in.
        const int cameraWindow = WindowListManger::instance()->getCameraWinId();
        if (cameraWindow != 0)
            include << static_cast<unsigned int>(cameraWindow);
    }

    Log(kLog, 1, "-----------record video info-----------");
    Log(kLog, 1, "video Rect(%f,%f, %f,%f) CodecType:%d FileFormat:%d", video.rect.left, video.rect.top,
        video.rect.right, video.rect.bottom, video.codec, int(type));
    Log(kLog, 1, "video Render:%d, Capture:%d, codetype:%d", audio.render, audio.capture, audio.codec);
    Log(kLog, 1, "window Option type:%d", option);
    Log(kLog, 1, "Include count:%d Exclude count:%d", include.size(), exclude.size());
    Log(kLog, 1, "-----------show info end-----------");

    VxSettings::instance()->setApplicationParam(QStringLiteral("outputVideo"), m_strTempFilePath);

    CEIPWrapper::SRecord_Info info;
    info.videoFormat = suffix.mid(1);
    info.videoQuality = QString::number(int(quality));
    info.videoResolution = QStringLiteral("%1*%2|FullSreen:%3")
                               .arg(stored.width())
                               .arg(stored.height())
                               .arg(DeviceManager::instance()->isFullScreen(stored, param->getUseDisplayIndex()) ? 1 : 0);
    info.videoFrameRate = QString::number(fps);
    info.Mouse_Mode = QString::number(mouse.method);
    info.Windows_Mode = QStringLiteral("0");
    info.Exclude_Windows = QStringLiteral("0");
    info.Task_Record = QStringLiteral("0");
    info.VideoStream = QStringLiteral("1");
    info.AudioSystem = QString::number(audio.render);
    info.AudioMic = QString::number(audio.capture);
    info.AudioVirtual = QStringLiteral("1");
    info.CameraStream = param->getCamerastream() ? QStringLiteral("1") : QStringLiteral("0");
    sendRecordInfo(info);

    Log(kLog, 2, "scVideoRecord");
    m_pPrivate->m_pScreenRecorder = scVideoRecord(m_pPrivate, type, m_strTempFilePath.toUtf8().constData(), video,
                                                  audio, mouse, boundary, WindowListOption(option),
                                                  exclude.isEmpty() ? nullptr : exclude.constData(), exclude.size(),
                                                  include.isEmpty() ? nullptr : include.constData(), include.size());
    Log(kLog, 2, "scVideoRecord");

    if (!m_pPrivate->m_pScreenRecorder) {
        Log(kLog, 2, "record video faild!");
        CEIPWrapper::instance()->MakeEvent_kModular_Recording_Result(0);
        return false;
    }
    return true;
}

bool ScreenRecorder::recordAudio()
{
    releaseRecorders();
    Log(kLog, 2, "delete audio file!");
    // The engine keeps its own temporary sound files: no suffix here.
    m_strTempFilePath = m_strTempBasePath;

    RecordParameter* param = RecordParameter::instance();
    const int8_t render = param->getSysAudioEnable() ? 1 : 0;
    const int8_t capture = param->getMicEnable() ? 1 : 0;
    Log(kLog, 1, "Audio Render:%d, Capture:%d, Channel 2", render, capture);

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
        Log(kLog, 2, "record audio faild!");
        CEIPWrapper::instance()->MakeEvent_kModular_Recording_Result(0);
        return false;
    }
    return true;
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

qint64 ScreenRecorder::getAudioTempFileSize()
{
    if (!m_pPrivate->m_pAudioRecorder)
        return 0;
    return m_pPrivate->m_pAudioRecorder->tempFileSize();
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
