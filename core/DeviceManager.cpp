#include "core/DeviceManager.h"

#include "core/Device.h"
#include "platform/log/Log.h"
#include "core/OSServiceUtils.h"
#include "core/RecordTypes.h"
#include "Screencast.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

namespace {

DeviceManager* g_pDeviceManager = nullptr;

const char* const kLogModule = "DeviceManager";
const char* const kPermissionScreenCaptureKey = "PermissionScreenCapture";

// The engine's texts are UTF-8 (whatever the locale), and point into the
// engine until its next call: copy at once.
QString engineText(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

DeviceManager* DeviceManager::instance()
{
    if (!g_pDeviceManager)
        g_pDeviceManager = new DeviceManager();
    return g_pDeviceManager;
}

void DeviceManager::release()
{
    delete g_pDeviceManager;
    g_pDeviceManager = nullptr;
}

DeviceManager::DeviceManager()
    : m_pDevice(new Device())
    , m_strAudioDriverName(Utils::getAudioDriverName())
{
    RegisterDeviceNotifies(m_pDevice);
}

DeviceManager::~DeviceManager()
{
    // Unregistered first: the engine waits for a notification in flight, so
    // once this returns nothing can call the Device any more.
    RegisterDeviceNotifies(nullptr);
    delete m_pDevice;
    m_pDevice = nullptr;
}

int DeviceManager::getDisplayCount()
{
    return GetDisplayCount();
}

QString DeviceManager::getDisplayName(int index)
{
    const DisplayInfo* info = GetDisplayInfo(index);
    const QString name = info ? engineText(info->name) : QString();
    Log(kLogModule, LogLevel::Info, "get index:%d, display name:%s", index, name.toUtf8().constData());
    return name;
}

QRect DeviceManager::getFullScreenRect(int index)
{
    const DisplayInfo* info = GetDisplayInfo(index);
    if (!info)
        return QRect();
    // Corner coordinates on purpose: x2 is the right edge itself.
    return QRect(QPoint(int(info->frame.left), int(info->frame.top)),
                 QPoint(int(info->frame.right), int(info->frame.bottom)));
}

bool DeviceManager::isFullScreen(QRect rect, int index)
{
    const QRect full = getFullScreenRect(index);
    return rect.left() == full.left() && rect.top() == full.top()
        && rect.right() == full.right() && rect.bottom() == full.bottom();
}

bool DeviceManager::isRetinaCurrentDisplay(int index)
{
    const DisplayInfo* info = GetDisplayInfo(index);
    return info && info->scale != 1.0;
}

void DeviceManager::setUseDisplay(int index)
{
    UseDisplay(index);
    Log(kLogModule, LogLevel::Info, "use display cnt: %d", index);
}

QRect DeviceManager::getSelectedDisplayRect()
{
    return QRect(0, 0, GetSelectedDisplayWidth(), GetSelectedDisplayHeight());
}

int DeviceManager::getAudioRenderDeviceCount()
{
    return GetAudioRenderDeviceCount();
}

QString DeviceManager::getAudioRenderDevUID(int index)
{
    const AudioDeviceInfo* info = GetAudioRenderDeviceInfo(index);
    if (!info)
        return QString();
    return QStringLiteral("%1 - %2").arg(engineText(info->name), engineText(info->uniqueId));
}

int DeviceManager::getAudioCaptureDeviceCount()
{
    return GetAudioCaptureDeviceCount();
}

QString DeviceManager::getAudioCaptureDeviceInfo(int index)
{
    const AudioDeviceInfo* info = GetAudioCaptureDeviceInfo(index);
    return info ? engineText(info->name) : QString();
}

QString DeviceManager::getAudioCaptureUID(const QString& name)
{
    const int count = GetAudioCaptureDeviceCount();
    for (int i = 0; i < count; ++i) {
        const AudioDeviceInfo* info = GetAudioCaptureDeviceInfo(i);
        if (info && engineText(info->name) == name)
            return engineText(info->uniqueId);
    }
    return QString();
}

QString DeviceManager::getAudioCaptureDefaultDevice()
{
    return engineText(GetAudioCaptureDefaultDevice());
}

int DeviceManager::getdAudioCaptureDeviceStatus()
{
    const int status = GetAudioCaptureDeviceStatus();
    Log(kLogModule, LogLevel::Info, "Audio Capture Device Status: %d", status);
    return status;
}

bool DeviceManager::getAudioSystemOutputDevice()
{
    return GetAudioSystemOutputDevice() != nullptr;
}

void DeviceManager::setAudioSystemOutputDevice(const QString& deviceId)
{
    SetAudioSystemOutputDevice(deviceId.toUtf8().constData());
}

void DeviceManager::setAudioCaptureDef()
{
    // The engine always records the default input unless told otherwise.
}

int DeviceManager::isPermissionCamera()
{
    return RequestPermissionCamera();
}

int DeviceManager::isPermissionMicrophone()
{
    return RequestPermissionMicrophone();
}

int DeviceManager::isPermissionMouseEvent()
{
    return RequestPermissionMouseEvent();
}

int DeviceManager::isPermissionScreenCapture()
{
    if (RequestPermissionScreenCapture() == Permission_Authorized)
        return Permission_Authorized;
    if (!OSServiceUtils::isLaterThenMacOS10_15())
        return Permission_Denied;
    VxSettings* settings = VxSettings::instance();
    if (!settings->applicationParam(kPermissionScreenCaptureKey, true).toBool())
        return Permission_Denied;
    settings->setApplicationParam(kPermissionScreenCaptureKey, false);
    return Permission_NotDetermined;
}

int DeviceManager::permissionRefusal(Privacy_Setting kind)
{
    return GetPermissionRefusal(kind);
}

bool DeviceManager::checkVirtualAudioDriver()
{
    if (CheckVirtualAudioDriver() != 0)
        return false;
    // A product without a name of its own for the source leaves the name
    // alone: renaming it to nothing would hide it.
    if (!m_strAudioDriverName.isEmpty()
        && engineText(GetVirtualAudioDriverName()) != m_strAudioDriverName)
        SetVirtualAudioDriverName(m_strAudioDriverName.toUtf8().constData());
    return true;
}

bool DeviceManager::isX86_64()
{
    return Is_X86_64() != 0;
}

bool initScreencast()
{
    if (scInitialize() == kScInitOk)
        return true;
    Log(kLogModule, LogLevel::Error, "the capture engine did not start: %s", scGetLastErrorText());
    return false;
}

void uninitScreencast()
{
    scUninitialize();
}
