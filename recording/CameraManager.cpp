#include "recording/CameraManager.h"

#include <QWidget>

#include "core/DeviceManager.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"

namespace {

const char* const kLog = "CameraManager";
// The camera chosen in the webcam options, by its display name, and the
// picture size it is opened in.
const QString kChosenCameraKey = QStringLiteral("CameraDevice");
const QString kChosenModeKey = QStringLiteral("CameraMode");

ScNativeView nativeView(QWidget* view)
{
    return view ? ScNativeView(view->winId()) : ScNativeView(0);
}

} // namespace

// ---- CameraCallback ------------------------------------------------------------------

void CameraCallback::OnErrorOccurred()
{
    Log(kLog, LogLevel::Error, "camera error occurred");
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->cameraErrorOccurred(false);
}

void CameraCallback::OnRecordingErrorOccurred()
{
    Log(kLog, LogLevel::Error, "camera recording error occurred");
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->cameraRecordError();
}

void CameraCallback::OnFinishRecording(signed char failed)
{
    Log(kLog, LogLevel::Error, "camera finish recording :%d", int(failed));
    if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
        emit hub->cameraRecordFinish(failed != 0);
}

CameraCallback::~CameraCallback()
{
    m_pCamera.reset();
}

bool CameraCallback::openCamera(const QString& name, ScNativeView view, bool onlyCamera, const QSize& mode)
{
    m_pCamera.reset();
    const int count = GetCameraDeviceCount();
    for (int i = 0; i < count; ++i) {
        const CaptureDeviceInfo* device = GetCameraDevice(i);
        if (!device || QString::fromUtf8(device->name) != name)
            continue;
        // The record lives only until the next device call: keep the id.
        if (m_id != device->uniqueId) {
            m_id = QByteArray(device->uniqueId);
            m_bModesKnown = false;
        }
        m_strName = name;
        m_bOnlyCamera = onlyCamera;
        m_pCamera = OpenCameraInMode(this, view, m_id.constData(), onlyCamera, qMax(0, mode.width()),
                                     qMax(0, mode.height()));
        if (m_pCamera)
            return true;
        Log(kLog, LogLevel::Error, "open camera fail: %s", name.toUtf8().constData());
        return false;
    }
    Log(kLog, LogLevel::Error, "find camera fail: %s", name.toUtf8().constData());
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
    for (int i = 0; i < count; ++i) {
        if (const CaptureDeviceInfo* device = GetCameraDevice(i))
            cameras.append(QString::fromUtf8(device->name));
    }
    return cameras;
}

QString CameraManager::getDefualCamera()
{
    const char* id = GetCameraDefaultDevice();
    return id ? QString::fromLocal8Bit(id) : QString();
}

QString CameraManager::chosenCamera()
{
    const QString stored = VxSettings::instance()->applicationParam(kChosenCameraKey, QString()).toString();
    const int count = GetCameraDeviceCount();
    const QByteArray defaultId = getDefualCamera().toUtf8();
    QString fallback;
    for (int i = 0; i < count; ++i) {
        const CaptureDeviceInfo* device = GetCameraDevice(i);
        if (!device)
            continue;
        const QString name = QString::fromUtf8(device->name);
        if (!stored.isEmpty() && name == stored)
            return name;
        if (fallback.isEmpty() || defaultId == device->uniqueId)
            fallback = name;
    }
    return fallback;
}

QSize CameraManager::chosenMode()
{
    VxSettings* settings = VxSettings::instance();
    if (chosenCamera() != settings->applicationParam(kChosenCameraKey, QString()).toString())
        return QSize();
    return settings->applicationParam(kChosenModeKey, QSize()).toSize();
}

void CameraManager::setChosenCamera(const QString& name, const QSize& mode)
{
    VxSettings::instance()->setApplicationParam(kChosenCameraKey, name);
    VxSettings::instance()->setApplicationParam(kChosenModeKey, mode);
    Log(kLog, LogLevel::Info, "chosen camera: %s %dx%d", name.toUtf8().constData(), mode.width(), mode.height());
}

bool CameraManager::openCamera(QWidget* view, bool onlyCamera)
{
    QString name = chosenCamera();
    if (name.isEmpty()) {
        m_pCallback->m_pCamera.reset();
        return false;
    }
    return openCamera(name, view, onlyCamera);
}

bool CameraManager::openCamera(QString& name, QWidget* view, bool onlyCamera)
{
    m_pView = view;
    const QSize mode = name == chosenCamera() ? chosenMode() : QSize();
    return m_pCallback->openCamera(name, nativeView(view), onlyCamera, mode);
}

bool CameraManager::isCameraRunning() const
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

QString CameraManager::recordErrorText() const
{
    return camera() ? QString::fromUtf8(camera()->lastErrorText()) : QString();
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
    Log(kLog, LogLevel::Info, "camera video size: %s", QStringLiteral("%1x%2").arg(width).arg(height).toUtf8().constData());
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

QVector<QSize> CameraManager::getModes()
{
    if (!camera())
        return QVector<QSize>();
    CameraCallback* open = m_pCallback;
    if (!open->m_bModesKnown) {
        // Room for what cameras offer; asked again only when a camera offers more.
        QVector<CameraModeInfo> modes(32);
        int count = GetCameraModes(open->m_id.constData(), modes.data(), modes.size());
        if (count > modes.size()) {
            modes.resize(count);
            count = GetCameraModes(open->m_id.constData(), modes.data(), modes.size());
        }
        modes.resize(qBound(0, count, modes.size()));
        open->m_modes.clear();
        for (const CameraModeInfo& mode : modes)
            open->m_modes.append(QSize(mode.width, mode.height));
        open->m_bModesKnown = true;
    }
    return open->m_modes;
}

bool CameraManager::setPreset(CameraResolution preset)
{
    const QVector<QSize> modes = getModes();
    if (preset < 0 || preset >= modes.size())
        return false;
    // The camera is busy while open: it closes before it opens in the new mode.
    const QString name = m_pCallback->m_strName;
    return m_pCallback->openCamera(name, nativeView(m_pView), m_pCallback->m_bOnlyCamera, modes.at(preset));
}

bool CameraManager::isSupportPreset(CameraResolution preset)
{
    return preset >= 0 && preset < getModes().size();
}
