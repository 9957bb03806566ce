#include "core/RecordParameter.h"

#include <QMutexLocker>
#include <QVariant>

#include "core/DeviceManager.h"
#include "core/RecordingSession.h"
#include "platform/log/Log.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

const char* const RecordParameter::kCameraCornerKey = "CameraDefaultPos";

namespace {

RecordParameter* g_pInstance = nullptr;

QVariant readKey(const char* key, const QVariant& defaultValue)
{
    return VxSettings::instance()->applicationParam(QString::fromLatin1(key), defaultValue);
}

void writeKey(const char* key, const QVariant& value)
{
    VxSettings::instance()->setApplicationParam(QString::fromLatin1(key), value);
}

bool readBool(const char* key, bool defaultValue)
{
    return readKey(key, defaultValue).toBool();
}

// Colours are stored as QColor but read back through their name, so a
// stored alpha is dropped at the next start.
QColor readColour(const char* key, const char* defaultName)
{
    const QColor parsed(readKey(key, QColor(defaultName)).toString());
    return QColor(parsed.name());
}

} // namespace

RecordParameter* RecordParameter::instance()
{
    if (!g_pInstance)
        g_pInstance = new RecordParameter();
    return g_pInstance;
}

void RecordParameter::release()
{
    delete g_pInstance;
    g_pInstance = nullptr;
}

RecordParameter::RecordParameter()
    : m_bRecording(RecordingSession::instance()->recordingFlag()),
      m_bPreviewing(RecordingSession::instance()->previewingFlag()),
      m_bPaused(RecordingSession::instance()->pausedFlag())
{
    // Frame rates the engine cannot take (negative ones included) are
    // read as the default rather than clamped to a useless 1 fps.
    m_nFrameRate = readKey("VideoFrameRate", 30).toInt();
    if (m_nFrameRate < 1 || m_nFrameRate > 120)
        m_nFrameRate = 30;
    const uint quality = static_cast<uint>(readKey("VideoQuality", 3).toInt());
    m_videoQuality = RP_CodecQuality(quality >= 7 ? 3 : quality);
    m_rcVideo = readKey("VideoLast/VideoRect", QRect()).toRect();
    m_videoCodec = RP_CodecType(readKey("VideoCodec", 1).toInt());
    m_videoFormat = RP_Format(readKey("VideoFormat", Utils::suportVidoeType(1) ? 1 : 16).toInt());
    Log("RecordParameter", LogLevel::Info, "Init Video formate is %d ", static_cast<int>(m_videoFormat));
    m_bKeepRatio = readBool("Application/isRatio", false);
    m_dRatio = ratioOf(m_rcVideo);
    m_nRetinaMode = readKey("RetinaMode", 0).toInt();
    m_audioQuality = RP_CodecQuality(readKey("AudioQuality", 3).toInt());
    // The audio codec is not stored anywhere: recordings choose theirs from
    // the container, so the field only carries what setAudioOpt was given.
    m_audioCodec = RP_Codec_None;
    m_audioFormat = RP_Format(readKey("AudioFormat", 6).toInt());
    m_clrNormal = readColour("MouseOpt/ColorNormal", "#d9252b");
    m_clrClick = readColour("MouseOpt/ColorHighLight", "#ffb517");
    m_mouseClick = RP_MouseClick(readKey("MouseOpt/MouseClick", 1).toInt());
    m_bCursorEnable = readBool("MouseOpt/CursorEnable", true);
    m_bIndicate = readBool("MouseOpt/Indicate", true);
    m_cameraPos = RP_DefalutPos(readKey(kCameraCornerKey, 2).toInt());
    m_imageFormat = RP_Format(readKey("ImageFormat", 11).toInt());
    m_bTimerEnable = readBool("TimerEnable", false);
    m_timerDuration = readKey("TimerDuration", QTime()).toTime();
    m_timerStopEvent = RecStopEvent(readKey("TimerStopEvent", 0).toInt());
    m_bTimerRepeat = readBool("TimerRepeat", false);
    m_strDisplayName = DeviceManager::instance()->getDisplayName(0);
}

double RecordParameter::ratioOf(const QRect& rect)
{
    // An empty rectangle has no ratio; 1.0 keeps every caller's arithmetic
    // finite.
    const double height = rect.bottom() + 1 - rect.top();
    if (height <= 0)
        return 1.0;
    return (rect.right() + 1 - rect.left()) / height;
}

// ---- video -----------------------------------------------------------------

void RecordParameter::setVideoRect(const QRect& rect)
{
    Log("RecordParameter", LogLevel::Info, "rect(%d,%d, %d,%d)", rect.x(), rect.y(), rect.right(), rect.bottom());
    QMutexLocker lock(&m_mutex);
    m_rcVideo = rect;
}

QRect RecordParameter::getVideoRect() const
{
    QMutexLocker lock(&m_mutex);
    Log("RecordParameter", LogLevel::Info, "get rect(%d,%d, %d,%d)", m_rcVideo.x(), m_rcVideo.y(), m_rcVideo.right(),
        m_rcVideo.bottom());
    return m_rcVideo;
}

void RecordParameter::setVideoOpt(int fps, RP_CodecType codec, RP_CodecQuality quality)
{
    // GIF is the only codec of its container, never a choice among codecs:
    // a GIF recording keeps the codec chosen for MP4 and MOV.
    const bool keepCodec = codec == RP_Codec_GIF;
    {
        QMutexLocker lock(&m_mutex);
        m_nFrameRate = fps;
        if (!keepCodec)
            m_videoCodec = codec;
        m_videoQuality = quality;
    }
    writeKey("VideoFrameRate", fps);
    writeKey("VideoQuality", static_cast<int>(quality));
    if (!keepCodec)
        writeKey("VideoCodec", static_cast<int>(codec));
}

int RecordParameter::getVideoFrameRate() const
{
    return locked(m_nFrameRate);
}

RP_CodecType RecordParameter::getVideoCodecType() const
{
    return locked(m_videoCodec);
}

RP_CodecQuality RecordParameter::getVideoQuality() const
{
    return locked(m_videoQuality);
}

void RecordParameter::getVideoOpt(QRect& rect, int& fps, RP_CodecType& codec, RP_CodecQuality& quality) const
{
    QMutexLocker lock(&m_mutex);
    rect = m_rcVideo;
    fps = m_nFrameRate;
    codec = m_videoCodec;
    quality = m_videoQuality;
}

void RecordParameter::setKeepRatio(bool keep)
{
    QMutexLocker lock(&m_mutex);
    m_dRatio = ratioOf(m_rcVideo);
    m_bKeepRatio = keep;
}

bool RecordParameter::iskeepRatio() const
{
    return locked(m_bKeepRatio);
}

double RecordParameter::getRatio() const
{
    return locked(m_dRatio);
}

void RecordParameter::setWindowRecord(bool on)
{
    store(m_bWindowRecord, on);
}

bool RecordParameter::isWindowRecord() const
{
    return locked(m_bWindowRecord);
}

void RecordParameter::setWindowList(const QList<int>& ids)
{
    store(m_lstWindows, ids);
}

QList<int> RecordParameter::getWindowList() const
{
    return locked(m_lstWindows);
}

// ---- audio -----------------------------------------------------------------

void RecordParameter::setAudioOpt(RP_CodecType codec, RP_CodecQuality quality, int extra)
{
    QMutexLocker lock(&m_mutex);
    m_audioCodec = codec;
    m_audioQuality = quality;
    m_nAudioExtra = extra;
}

void RecordParameter::getAudioOpt(RP_CodecType& codec, RP_CodecQuality& quality, int& extra) const
{
    QMutexLocker lock(&m_mutex);
    codec = m_audioCodec;
    quality = m_audioQuality;
    extra = m_nAudioExtra;
}

void RecordParameter::setAudioQuality(RP_CodecQuality quality)
{
    store(m_audioQuality, quality, "AudioQuality", static_cast<int>(quality));
}

RP_CodecQuality RecordParameter::getAudioQuality() const
{
    return locked(m_audioQuality);
}

// ---- mouse -----------------------------------------------------------------

void RecordParameter::setMouseRecorder(bool on)
{
    store(m_bCursorEnable, on, "MouseOpt/CursorEnable", on);
}

bool RecordParameter::isMouseEnable() const
{
    return locked(m_bCursorEnable);
}

void RecordParameter::setMouseShow(bool on)
{
    store(m_bIndicate, on, "MouseOpt/Indicate", on);
}

bool RecordParameter::isMouseAlwaysShow() const
{
    return locked(m_bIndicate);
}

void RecordParameter::setMouseClick(RP_MouseClick click)
{
    store(m_mouseClick, click, "MouseOpt/MouseClick", static_cast<int>(click));
}

RP_MouseClick RecordParameter::getMouseclick() const
{
    return locked(m_mouseClick);
}

void RecordParameter::setMouseColor(const QColor& click, const QColor& normal)
{
    {
        QMutexLocker lock(&m_mutex);
        m_clrClick = click;
    }
    writeKey("MouseOpt/ColorHighLight", click);
    {
        QMutexLocker lock(&m_mutex);
        m_clrNormal = normal;
    }
    writeKey("MouseOpt/ColorNormal", normal);
}

QColor RecordParameter::getMouseClickColor() const
{
    return locked(m_clrClick);
}

QColor RecordParameter::getMouseNormalColor() const
{
    return locked(m_clrNormal);
}

void RecordParameter::getMouseOpt(bool& cursorEnable, bool& indicate, RP_MouseClick& click, QColor& clickColour,
                                  QColor& normalColour) const
{
    QMutexLocker lock(&m_mutex);
    cursorEnable = m_bCursorEnable;
    indicate = m_bIndicate;
    click = m_mouseClick;
    clickColour = m_clrClick;
    normalColour = m_clrNormal;
}

// ---- webcam ----------------------------------------------------------------

void RecordParameter::setCameraDefaultPos(RP_DefalutPos pos)
{
    store(m_cameraPos, pos, kCameraCornerKey, static_cast<int>(pos));
}

RP_DefalutPos RecordParameter::getCameraDefaultPos() const
{
    return locked(m_cameraPos);
}

void RecordParameter::setCameraIndex(int index)
{
    store(m_nCameraIndex, index);
}

int RecordParameter::getCameraIndex() const
{
    return locked(m_nCameraIndex);
}

void RecordParameter::setCameraResolution(CameraResolution resolution)
{
    store(m_cameraResolution, resolution);
}

CameraResolution RecordParameter::getCameraResolution() const
{
    return locked(m_cameraResolution);
}

void RecordParameter::setOnlyRecordCamera(bool on)
{
    store(m_bOnlyCamera, on);
}

bool RecordParameter::isOnlyRecordCamera() const
{
    return locked(m_bOnlyCamera);
}

// ---- record length ---------------------------------------------------------

void RecordParameter::setTimerEnable(bool on)
{
    store(m_bTimerEnable, on, "TimerEnable", on);
}

bool RecordParameter::timerEnable() const
{
    return locked(m_bTimerEnable);
}

void RecordParameter::setTimerDuration(const QTime& duration)
{
    store(m_timerDuration, duration, "TimerDuration", duration);
}

QTime RecordParameter::timerDuration() const
{
    return locked(m_timerDuration);
}

void RecordParameter::setTimerStopEvent(RecStopEvent event)
{
    store(m_timerStopEvent, event, "TimerStopEvent", static_cast<int>(event));
}

RecStopEvent RecordParameter::timerStopEvent() const
{
    return locked(m_timerStopEvent);
}

void RecordParameter::setTimerRepeat(bool on)
{
    store(m_bTimerRepeat, on, "TimerRepeat", on);
}

bool RecordParameter::TimerRepeat() const
{
    return locked(m_bTimerRepeat);
}

bool RecordParameter::needStopRecord(qint64 seconds) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_bTimerEnable || !m_timerDuration.isValid())
        return false;
    const int limit = QTime(0, 0).secsTo(m_timerDuration);
    // A zero length is no length: stopping at second 0 would end every
    // recording the moment it starts.
    if (limit <= 0)
        return false;
    return limit <= seconds;
}

void RecordParameter::setAudioOnly(bool on)
{
    store(m_bAudioOnly, on);
}

bool RecordParameter::isAudioOnly() const
{
    return locked(m_bAudioOnly);
}

// ---- formats ---------------------------------------------------------------

void RecordParameter::setUsedVideoFmt(RP_Format format)
{
    {
        QMutexLocker lock(&m_mutex);
        m_videoFormat = format;
    }
    writeKey("VideoFormat", static_cast<int>(format));
    Log("RecordParameter", LogLevel::Info, "set Video formate is %d ", static_cast<int>(format));
}

RP_Format RecordParameter::usedVideoFmt() const
{
    QMutexLocker lock(&m_mutex);
    Log("RecordParameter", LogLevel::Info, "get Video formate is %d ", static_cast<int>(m_videoFormat));
    return m_videoFormat;
}

void RecordParameter::setUsedAudioFmt(RP_Format format)
{
    store(m_audioFormat, format, "AudioFormat", static_cast<int>(format));
}

RP_Format RecordParameter::usedAudioFmt() const
{
    return locked(m_audioFormat);
}

void RecordParameter::setUsedImgFmt(RP_Format format)
{
    store(m_imageFormat, format, "ImageFormat", static_cast<int>(format));
}

RP_Format RecordParameter::usedImgFmt() const
{
    return locked(m_imageFormat);
}

// ---- display ---------------------------------------------------------------

void RecordParameter::setUseDisplayName(const QString& name)
{
    Log("RecordParameter", LogLevel::Info, "use display name:%s", name.toLocal8Bit().constData());
    QMutexLocker lock(&m_mutex);
    m_strDisplayName = name;
}

int RecordParameter::getUseDisplayIndex() const
{
    QString name;
    {
        QMutexLocker lock(&m_mutex);
        name = m_strDisplayName;
    }
    DeviceManager* devices = DeviceManager::instance();
    const int count = devices->getDisplayCount();
    for (int i = 0; i < count; ++i) {
        if (devices->getDisplayName(i) == name)
            return i;
    }
    return 0;
}

void RecordParameter::setRetinaMode(int mode)
{
    store(m_nRetinaMode, mode, "RetinaMode", mode);
}

QRect RecordParameter::fixVideoRect(int w, int h, const QRect& around) const
{
    const QRect display = DeviceManager::instance()->getSelectedDisplayRect();
    QRect r(0, 0, w, h);
    r.moveCenter(around.center());
    // Later steps win: a rectangle larger than the display ends with its
    // top-left on the display's top-left.
    if (r.bottom() > display.bottom())
        r.moveCenter(r.center() - QPoint(0, r.bottom() - display.bottom()));
    if (r.right() > display.right())
        r.moveCenter(r.center() - QPoint(r.right() - display.right(), 0));
    if (r.top() < display.top())
        r.moveCenter(r.center() + QPoint(0, display.top() - r.top()));
    if (r.left() < display.left())
        r.moveCenter(r.center() + QPoint(display.left() - r.left(), 0));
    return r;
}

// ---- mouse-following region ------------------------------------------------

void RecordParameter::setAroundMouse(bool on)
{
    store(m_bAroundMouse, on);
}

bool RecordParameter::isAroundMouse() const
{
    return locked(m_bAroundMouse);
}

void RecordParameter::setFollowMouse(bool on)
{
    store(m_bFollowMouse, on);
}

bool RecordParameter::isFollowMouse() const
{
    return locked(m_bFollowMouse);
}

void RecordParameter::setAroundMouseSize(const QSize& size)
{
    store(m_sizeAroundMouse, size);
}

QSize RecordParameter::getAroundMouseSize() const
{
    return locked(m_sizeAroundMouse);
}

void RecordParameter::chooseVideoContent(bool video)
{
    store(m_bVideoContent, video);
}

QString RecordParameter::micKey() const
{
    QMutexLocker lock(&m_mutex);
    return m_bVideoContent ? QStringLiteral("Video/MicEnable") : QStringLiteral("Audio/MicEnable");
}

QString RecordParameter::sysAudioKey() const
{
    QMutexLocker lock(&m_mutex);
    return m_bVideoContent ? QStringLiteral("Video/AudioEnable") : QStringLiteral("Audio/AudioEnable");
}

// ---- live options ----------------------------------------------------------

#define SR_LIVE_BOOL(getter, setter, key, def)                                  \
    bool RecordParameter::getter() const { return readBool(key, def); }         \
    void RecordParameter::setter(bool on) { writeKey(key, on); }

SR_LIVE_BOOL(getVideoEnable, setVideoEnable, "VideoEnable", false)
SR_LIVE_BOOL(getCamerastream, setCamerastream, "CameraEnable", false)
SR_LIVE_BOOL(getAroundMouseCtrl, setAroundMouseCtrl, "AroundMouseCtrl", false)
SR_LIVE_BOOL(getMoveRegion, setMoveRegion, "MoveRegion", false)
SR_LIVE_BOOL(isBeep, setBeep, "beep", false)
SR_LIVE_BOOL(isExcludeFloatBar, setExcludeFloatBar, "excludeFloatBar", false)
SR_LIVE_BOOL(isAutoSave, setAutoSave, "AutoSave", false)
SR_LIVE_BOOL(isCountDown, setCountDown, "CountDown", true)
SR_LIVE_BOOL(isShowBoundary, setShowBoundary, "ShowBoundary", true)
SR_LIVE_BOOL(isHideFloat, setHideFloat, "HideFloat", false)
SR_LIVE_BOOL(isHideDesktop, setHideDesktop, "HideDesktop", false)
SR_LIVE_BOOL(isHideTaskbar, setHideTaskbar, "HideTaskbar", false)
SR_LIVE_BOOL(isHideMainWhenScreenshot, setHideMainWhenScreenshot, "HideMain", true)
SR_LIVE_BOOL(isMini, setMini, "mini", false)
SR_LIVE_BOOL(isCloseWhenClose, setCloseWhenClose, "CloseWhenClos", false)
SR_LIVE_BOOL(isFollowTheme, setFollowTheme, "FollowSystemTheme", false)

#undef SR_LIVE_BOOL

int RecordParameter::getWindowModle() const
{
    return readKey("WindowModle", 1).toInt();
}

void RecordParameter::setWindowModle(int mode)
{
    writeKey("WindowModle", mode);
}

bool RecordParameter::getMicEnable() const
{
    return VxSettings::instance()->applicationParam(micKey(), false).toBool();
}

void RecordParameter::setMicEnable(bool on)
{
    VxSettings::instance()->setApplicationParam(micKey(), on);
}

bool RecordParameter::getSysAudioEnable() const
{
    return VxSettings::instance()->applicationParam(sysAudioKey(), false).toBool();
}

void RecordParameter::setSysAudioEnable(bool on)
{
    VxSettings::instance()->setApplicationParam(sysAudioKey(), on);
}
