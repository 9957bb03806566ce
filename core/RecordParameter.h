#pragma once

#include <QColor>
#include <QList>
#include <QMutex>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTime>

#include "core/RecordTypes.h"
#include "core/TaskInfo.h"
#include "platform/framework/VxSettings.h"

// Recording options for every window. Some are read from the store when the
// model is made and kept in fields; the rest go to the store on each call, so
// that one window's change shows in the others without any notification.
//
// The save worker reads some options from its own thread while the GUI
// writes them: every cached field is guarded by one mutex.
class RecordParameter
{
public:
    static RecordParameter* instance();
    static void release();

    // Cached video options.
    void setVideoRect(const QRect& rect);
    QRect getVideoRect() const;
    void setVideoOpt(int fps, RP_CodecType codec, RP_CodecQuality quality);
    int getVideoFrameRate() const;
    RP_CodecType getVideoCodecType() const;
    RP_CodecQuality getVideoQuality() const;
    void getVideoOpt(QRect& rect, int& fps, RP_CodecType& codec, RP_CodecQuality& quality) const;
    void setKeepRatio(bool keep);
    bool iskeepRatio() const;
    double getRatio() const;

    void setWindowRecord(bool on);
    bool isWindowRecord() const;
    void setWindowList(const QList<int>& ids);
    QList<int> getWindowList() const;

    // Cached audio options.
    void setAudioOpt(RP_CodecType codec, RP_CodecQuality quality, int extra);
    void getAudioOpt(RP_CodecType& codec, RP_CodecQuality& quality, int& extra) const;
    void setAudioQuality(RP_CodecQuality quality);
    RP_CodecQuality getAudioQuality() const;

    // Cached mouse options.
    void setMouseRecorder(bool on);
    bool isMouseEnable() const;
    void setMouseShow(bool on);
    bool isMouseAlwaysShow() const;
    void setMouseClick(RP_MouseClick click);
    RP_MouseClick getMouseclick() const;
    void setMouseColor(const QColor& click, const QColor& normal);
    QColor getMouseClickColor() const;
    QColor getMouseNormalColor() const;
    void getMouseOpt(bool& cursorEnable, bool& indicate, RP_MouseClick& click, QColor& clickColour,
                     QColor& normalColour) const;

    // Webcam options. "CameraPos" already holds a point (where the webcam
    // window was last), so the corner needs a key of its own.
    void setCameraDefaultPos(RP_DefalutPos pos);
    RP_DefalutPos getCameraDefaultPos() const;
    void setCameraIndex(int index);
    int getCameraIndex() const;
    void setCameraResolution(CameraResolution resolution);
    CameraResolution getCameraResolution() const;
    void setOnlyRecordCamera(bool on);
    bool isOnlyRecordCamera() const;

    // Record length.
    void setTimerEnable(bool on);
    bool timerEnable() const;
    void setTimerDuration(const QTime& duration);
    QTime timerDuration() const;
    void setTimerStopEvent(RecStopEvent event);
    RecStopEvent timerStopEvent() const;
    void setTimerRepeat(bool on);
    bool TimerRepeat() const;
    // True once the seconds recorded reach the record length. A record
    // length that is not set (invalid or zero) means no limit.
    bool needStopRecord(qint64 seconds) const;

    void setAudioOnly(bool on);
    bool isAudioOnly() const;

    // Formats.
    void setUsedVideoFmt(RP_Format format);
    RP_Format usedVideoFmt() const;
    void setUsedAudioFmt(RP_Format format);
    RP_Format usedAudioFmt() const;
    void setUsedImgFmt(RP_Format format);
    RP_Format usedImgFmt() const;

    // Display.
    void setUseDisplayName(const QString& name);
    int getUseDisplayIndex() const;
    void setRetinaMode(int mode);
    int getRetinaMode() const { return 0; }
    bool isRetinaAndHalfSizeMode() const { return false; }
    QRect fixVideoRect(int w, int h, const QRect& around) const;

    // Mouse-following region.
    void setAroundMouse(bool on);
    bool isAroundMouse() const;
    void setFollowMouse(bool on);
    bool isFollowMouse() const;
    void setAroundMouseSize(const QSize& size);
    QSize getAroundMouseSize() const;

    // The video and the audio recorders keep separate sound switches
    // ("Video/..." and "Audio/..."); this picks the pair the getters use.
    void chooseVideoContent(bool video);

    // Live options.
    bool getVideoEnable() const;
    void setVideoEnable(bool on);
    int getWindowModle() const;
    void setWindowModle(int mode);
    bool getMicEnable() const;
    void setMicEnable(bool on);
    bool getSysAudioEnable() const;
    void setSysAudioEnable(bool on);
    bool getCamerastream() const;
    void setCamerastream(bool on);
    bool getAroundMouseCtrl() const;
    void setAroundMouseCtrl(bool on);
    bool getMoveRegion() const;
    void setMoveRegion(bool on);
    bool isBeep() const;
    void setBeep(bool on);
    bool isExcludeFloatBar() const;
    void setExcludeFloatBar(bool on);
    bool isAutoSave() const;
    void setAutoSave(bool on);
    bool isCountDown() const;
    void setCountDown(bool on);
    bool isShowBoundary() const;
    void setShowBoundary(bool on);
    bool isHideFloat() const;
    void setHideFloat(bool on);
    bool isHideDesktop() const;
    void setHideDesktop(bool on);
    bool isHideTaskbar() const;
    void setHideTaskbar(bool on);
    bool isHideMainWhenScreenshot() const;
    void setHideMainWhenScreenshot(bool on);
    bool isMini() const;
    void setMini(bool on);
    bool isCloseWhenClose() const;
    void setCloseWhenClose(bool on);
    bool isFollowTheme() const;
    void setFollowTheme(bool on);

    // Run-time flags, on the GUI thread. Recording, previewing and paused
    // mirror the recording session's state (core/RecordingSession.h), the
    // only one to change them; ask it to start, pause or stop instead.
    const bool& m_bRecording;
    bool m_bRecBarHidden = false;
    const bool& m_bPreviewing;
    const bool& m_bPaused;

    // The key of the webcam's default corner.
    static const char* const kCameraCornerKey;

private:
    RecordParameter();
    RecordParameter(const RecordParameter&) = delete;
    RecordParameter& operator=(const RecordParameter&) = delete;

    static double ratioOf(const QRect& rect);
    template <class T>
    T locked(const T& field) const
    {
        QMutexLocker lock(&m_mutex);
        return field;
    }
    template <class T>
    void store(T& field, const T& value)
    {
        QMutexLocker lock(&m_mutex);
        field = value;
    }
    // Updates the field, then writes the key (outside the lock: the store
    // has its own).
    template <class T, class V>
    void store(T& field, const T& value, const char* key, const V& stored)
    {
        store(field, value);
        VxSettings::instance()->setApplicationParam(QString::fromLatin1(key), QVariant(stored));
    }
    QString micKey() const;
    QString sysAudioKey() const;

    mutable QMutex m_mutex;
    QRect m_rcVideo;
    int m_nFrameRate = 30;
    RP_CodecType m_videoCodec = RP_Codec_H264;
    RP_CodecQuality m_videoQuality = RP_Quality_Medium;
    bool m_bKeepRatio = false;
    double m_dRatio = 1.0;
    bool m_bWindowRecord = false;
    QList<int> m_lstWindows;
    RP_CodecType m_audioCodec = RP_Codec_None;
    RP_CodecQuality m_audioQuality = RP_Quality_Medium;
    int m_nAudioExtra = 0;
    bool m_bCursorEnable = true;
    bool m_bIndicate = true;
    RP_MouseClick m_mouseClick = RP_MouseClick_Status;
    QColor m_clrClick;
    QColor m_clrNormal;
    RP_DefalutPos m_cameraPos = RP_Pos_Center;
    int m_nCameraIndex = 0;
    CameraResolution m_cameraResolution = CameraResolution_First;
    bool m_bOnlyCamera = false;
    bool m_bTimerEnable = false;
    QTime m_timerDuration;
    RecStopEvent m_timerStopEvent = RecStopEvent(0);
    bool m_bTimerRepeat = false;
    bool m_bAudioOnly = false;
    RP_Format m_videoFormat = RP_Format_MOV;
    RP_Format m_audioFormat = RP_Format_MP3;
    RP_Format m_imageFormat = RP_Format_PNG;
    QString m_strDisplayName;
    bool m_bVideoContent = true;
    int m_nRetinaMode = 0;
    bool m_bAroundMouse = false;
    bool m_bFollowMouse = false;
    QSize m_sizeAroundMouse{0, 0};
};
