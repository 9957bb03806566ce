#pragma once

#include <QString>
#include <QStringList>

#include "Screencast.h"
#include "core/RecordTypes.h"

class QWidget;

// The engine's camera events. They arrive on engine threads, so they only
// log and pass the news on through the signal hub; the object also holds
// the one open camera, which its destructor closes.
class CameraCallback : public CCameraCallback
{
public:
    CameraCallback() = default;
    void OnErrorOccurred() override;
    void OnRecordingErrorOccurred() override;
    void OnFinishRecording(signed char failed) override;
    ~CameraCallback() override;

    // Closes the open camera before looking for `name` among the display
    // names, so a failed search leaves no camera open.
    bool openCamera(const QString& name, ScNativeView view, bool onlyCamera);

    CBasePtr<CCameraObject> m_pCamera;

private:
    CameraCallback(const CameraCallback&) = delete;
    CameraCallback& operator=(const CameraCallback&) = delete;
};

// Everything the windows do with a camera goes through here, on the GUI
// thread. Towards the windows a camera is its display name, towards the
// engine its unique id.
class CameraManager
{
public:
    static CameraManager* instance();
    // Closes the camera and forgets the manager; the next instance() starts
    // afresh with no camera open.
    static void release();

    // Only the system's default camera is offered, by its display name.
    QStringList getCameras();
    QString getDefualCamera();

    bool openCamera(QWidget* view, bool onlyCamera);
    bool openCamera(QString& name, QWidget* view, bool onlyCamera);
    bool isCameraRunning();

    // Only whether `mic` is empty counts: sound comes from the default
    // input device or not at all.
    bool record(QString path, QString mic);
    bool stopRecord();
    void pause();
    void resume();
    double getVideoDuration();
    qint64 getVideoFileSize();
    void getVideoSize(int& width, int& height);
    bool capture(QString path);
    void setMic(QString name);

    // No camera format is chosen by preset on this platform.
    bool setPreset(CameraResolution preset);
    bool isSupportPreset(CameraResolution preset);

private:
    CameraManager();
    ~CameraManager();
    CameraManager(const CameraManager&) = delete;
    CameraManager& operator=(const CameraManager&) = delete;

    CCameraObject* camera() const { return m_pCallback->m_pCamera.get(); }

    CameraCallback* m_pCallback;
    static CameraManager* m_pInstance;
};
