#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

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
    // names, so a failed search leaves no camera open. `mode` is a size the
    // camera offers, or empty for the engine's choice.
    bool openCamera(const QString& name, ScNativeView view, bool onlyCamera, const QSize& mode = QSize());

    CBasePtr<CCameraObject> m_pCamera;
    // What the open camera was opened with, to open it again in another mode.
    QString m_strName;
    QByteArray m_id;
    bool m_bOnlyCamera = false;
    // The open camera's modes, asked once: a test camera is opened to tell.
    QVector<QSize> m_modes;
    bool m_bModesKnown = false;

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

    // Every camera, by its display name, in the engine's order.
    QStringList getCameras();
    QString getDefualCamera();

    // The camera and mode chosen in the webcam options; a camera no longer
    // there gives way to the engine's default one (and its mode to the
    // engine's choice).
    QString chosenCamera();
    QSize chosenMode();
    void setChosenCamera(const QString& name, const QSize& mode);

    // Opens the chosen camera in its chosen mode.
    bool openCamera(QWidget* view, bool onlyCamera);
    // The chosen mode applies when `name` is the chosen camera.
    bool openCamera(QString& name, QWidget* view, bool onlyCamera);
    bool isCameraRunning() const;
    // The view and the kind of window the open camera draws for, so that a
    // dialog that borrowed the camera can give it back.
    QWidget* cameraView() const { return isCameraRunning() ? m_pView.data() : nullptr; }
    bool isOnlyCamera() const { return m_pCallback->m_bOnlyCamera; }
    QString openCameraName() const { return isCameraRunning() ? m_pCallback->m_strName : QString(); }

    // Only whether `mic` is empty counts: sound comes from the default
    // input device or not at all.
    bool record(QString path, QString mic);
    bool stopRecord();
    // Why the camera's last movie failed or was refused, in the engine's
    // words for the user; empty when it did not fail or no camera is open.
    QString recordErrorText() const;
    void pause();
    void resume();
    double getVideoDuration();
    qint64 getVideoFileSize();
    void getVideoSize(int& width, int& height);
    bool capture(QString path);
    void setMic(QString name);

    // A preset is a mode of the open camera: an index into getModes().
    // setPreset opens the camera again in that mode, into the same view.
    QVector<QSize> getModes();
    bool setPreset(CameraResolution preset);
    bool isSupportPreset(CameraResolution preset);

private:
    CameraManager();
    ~CameraManager();
    CameraManager(const CameraManager&) = delete;
    CameraManager& operator=(const CameraManager&) = delete;

    CCameraObject* camera() const { return m_pCallback->m_pCamera.get(); }

    CameraCallback* m_pCallback;
    QPointer<QWidget> m_pView;
    static CameraManager* m_pInstance;
};
