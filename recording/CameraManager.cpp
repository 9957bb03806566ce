#include "recording/CameraManager.h"

#include <QWidget>

#include "core/DeviceManager.h"
#include "core/SignalsTransfer.h"
#include "platform/log/Log.h"

namespace {

const char* const kLog = "CameraManager";

ScNativeView nativeView(QWidget* view)
{
    return view ? ScNativeView(view->winId()) : ScNativeView(0);
}

} // namespace

// ---- CameraCallback ------------------------------------------------------------------

void CameraCallback::OnErrorOccurred()
{
    Log(kLog, 2, "camera error occurred");
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->cameraErrorOccurred(false);
}

void CameraCallback::OnRecordingErrorOccurred()
{
    Log(kLog, 2, "camera recording error occurred");
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->cameraRecordError();
}

void CameraCallback::OnFinishRecording(signed char failed)
{
    Log(kLog, 2, "camera finish recording :%d", int(failed));
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->cameraRecordFinish(failed != 0);
}

CameraCallback::~CameraCallback()
{
    m_pCamera.reset();
}

bool CameraCallback::openCamera(const QString& name, ScNativeView view, bool onlyCamera)
{
    m_pCamera.reset();
    const int count = GetCameraDeviceCount();
    for (int i = 0; i < count; ++i) {
        const CaptureDeviceInfo* device = GetCameraDevice(i);
        if (!device || QString::fromUtf8(device->name) != name)
            continue;
        // The record lives only until the next device call: keep the id.
        const QByteArray id(device->uniqueId);
        m_pCamera = OpenCamera(this, view, id.constData(), onlyCamera, nullptr);
        if (m_pCamera)
            return true;
        Log(kLog, 2, "open camera fail: %s", name.toUtf8().constData());
        return false;
    }
    Log(kLog, 2, "find camera fail: %s", name.toUtf8().constData());
    return false;
}

// ---- CameraManager -------------------------------------------------------------------

CameraManager* CameraManager::m_pInstance = nullptr;

CameraManager::CameraManager() : m_pCallback(new CameraCallback) {}

CameraManager::~CameraManager()
{
    delete m_pCallback;
}

CameraManager* CameraManager::instance()
{
    if (!m_pInstance)
        m_pInstance = new CameraManager;
    return m_pInstance;
}

void CameraManager::release()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

QStringList CameraManager::getCameras()
{
    QStringList cameras;
    const int count = GetCameraDeviceCount();
    const char* defaultId = GetCameraDefaultDevice();
    const QString wanted = defaultId ? QString::fromLatin1(defaultId) : QString();
    for (int i = 0; i < count; ++i) {
        const CaptureDeviceInfo* device = GetCameraDevice(i);
        if (device && QString::fromUtf8(device->uniqueId) == wanted)
            cameras.append(QString::fromUtf8(device->name));
    }
    return cameras;
}

QString CameraManager::getDefualCamera()
{
    const char* id = GetCameraDefaultDevice();
    return id ? QString::fromLocal8Bit(id) : QString();
}

bool CameraManager::openCamera(QWidget* view, bool onlyCamera)
{
    // The move lets the old camera go only once the new one is in place.
    m_pCallback->m_pCamera = OpenCamera(m_pCallback, nativeView(view), GetCameraDefaultDevice(), onlyCamera, nullptr);
    return isCameraRunning();
}

bool CameraManager::openCamera(QString& name, QWidget* view, bool onlyCamera)
{
    return m_pCallback->openCamera(name, nativeView(view), onlyCamera);
}

bool CameraManager::isCameraRunning()
{
    return camera() != nullptr;
}

bool CameraManager::record(QString path, QString mic)
{
    if (!camera())
        return false;
    if (mic.isEmpty()) {
        camera()->setMicrophone(nullptr);
    } else {
        const QByteArray device = DeviceManager::instance()->getAudioCaptureDefaultDevice().toLocal8Bit();
        camera()->setMicrophone(device.constData());
    }
    return camera()->record(path.toLocal8Bit().constData()) == 0;
}

bool CameraManager::stopRecord()
{
    return camera() && camera()->stopRecord() == 0;
}

void CameraManager::pause()
{
    if (camera())
        camera()->pause();
}

void CameraManager::resume()
{
    if (camera())
        camera()->resume();
}

double CameraManager::getVideoDuration()
{
    return camera() ? camera()->duration() : 0.0;
}

qint64 CameraManager::getVideoFileSize()
{
    return camera() ? qint64(camera()->fileSize()) : 0;
}

void CameraManager::getVideoSize(int& width, int& height)
{
    if (!camera())
        return;
    camera()->videoSize(width, height);
    Log(kLog, 1, "camera video size: %s", QStringLiteral("%1x%2").arg(width).arg(height).toUtf8().constData());
}

bool CameraManager::capture(QString path)
{
    return camera() && camera()->capture(path.toLocal8Bit().constData()) == 0;
}

void CameraManager::setMic(QString name)
{
    if (!camera())
        return;
    const QByteArray device = name.toLocal8Bit();
    camera()->setMicrophone(name.isEmpty() ? nullptr : device.constData());
}

bool CameraManager::setPreset(CameraResolution)
{
    return false;
}

bool CameraManager::isSupportPreset(CameraResolution)
{
    return false;
}
