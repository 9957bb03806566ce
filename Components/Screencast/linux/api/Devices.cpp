// Sound devices, cameras, permissions and the system-sound source.
//
// Every query asks the sound server or the camera folder afresh: the lists
// are short, and a cache would be one more thing to keep right while
// devices come and go.

#include "audio/AudioDevices.h"
#include "cam/Cameras.h"
#include "core/EngineCore.h"
#include "core/XConnection.h"

#include "Screencast.h"

#include "platform/log/Log.h"

#include <cstdlib>

using namespace sc;

namespace {

// What GetAudioCaptureDeviceStatus answers.
enum CaptureStatus : int {
    kCaptureUsable = 0,
    kCaptureNoServer = 1,       // no sound server answers
    kCaptureNoDevice = 2,       // the server has no input device
    kCaptureUnplugged = 3,      // the default input's port says nothing is plugged in
};

// What CheckVirtualAudioDriver answers.
enum SystemSoundStatus : int {
    kSystemSoundOk = 0,
    kSystemSoundNoServer = 1,   // no sound server answers
    kSystemSoundNoMonitor = 2,  // no output device, or it has no monitor source
};

constexpr int kPermissionRefused = 1;
constexpr int kPermissionGranted = 2;

// What GetPermissionRefusal answers.
enum Refusal : int {
    kRefusalNone = 0,
    kRefusalNoDevice = 1,
    kRefusalNoAccess = 2,
    kRefusalNoService = 3,
};

int cameraRefusal()
{
    if (!listCameras().empty())
        return kRefusalNone;
    // A node that is there but refuses this user is a camera the user may
    // be given, not a missing one.
    return refusedCameraNodes() > 0 ? kRefusalNoAccess : kRefusalNoDevice;
}

int microphoneRefusal()
{
    const AudioSnapshot snapshot = audioSnapshot();
    if (!snapshot.reachable)
        return kRefusalNoService;
    return snapshot.captureDevices().empty() ? kRefusalNoDevice : kRefusalNone;
}

int permissionOf(int refusal)
{
    return refusal == kRefusalNone ? kPermissionGranted : kPermissionRefused;
}

void fill(AudioDeviceInfo& record, const SoundDevice& device)
{
    record = AudioDeviceInfo{};
    copyText(record.name, sizeof record.name, device.description);
    copyText(record.uniqueId, sizeof record.uniqueId, device.name);
}

} // namespace

int GetAudioRenderDeviceCount()
{
    return static_cast<int>(audioSnapshot().sinks.size());
}

const AudioDeviceInfo* GetAudioRenderDeviceInfo(int index)
{
    static thread_local AudioDeviceInfo record;
    const AudioSnapshot snapshot = audioSnapshot();
    if (index < 0 || index >= static_cast<int>(snapshot.sinks.size()))
        return nullptr;
    fill(record, snapshot.sinks[index]);
    return &record;
}

int GetAudioCaptureDeviceCount()
{
    return static_cast<int>(audioSnapshot().captureDevices().size());
}

const AudioDeviceInfo* GetAudioCaptureDeviceInfo(int index)
{
    static thread_local AudioDeviceInfo record;
    const AudioSnapshot snapshot = audioSnapshot();
    const std::vector<const SoundDevice*> devices = snapshot.captureDevices();
    if (index < 0 || index >= static_cast<int>(devices.size()))
        return nullptr;
    fill(record, *devices[index]);
    return &record;
}

const char* GetAudioCaptureDefaultDevice()
{
    static thread_local std::string id;
    const AudioSnapshot snapshot = audioSnapshot();
    // Only a device that exists: a server may name a default it has lost.
    if (snapshot.defaultSource.empty() || !snapshot.source(snapshot.defaultSource))
        return nullptr;
    id = snapshot.defaultSource;
    return id.c_str();
}

int GetAudioCaptureDeviceStatus()
{
    const AudioSnapshot snapshot = audioSnapshot();
    if (!snapshot.reachable)
        return kCaptureNoServer;
    const SoundDevice* input = snapshot.source(snapshot.defaultSource);
    if (!input)
        return kCaptureNoDevice;
    if (input->unplugged)
        return kCaptureUnplugged;
    return kCaptureUsable;
}

const char* GetAudioSystemOutputDevice()
{
    static thread_local std::string id;
    const AudioSnapshot snapshot = audioSnapshot();
    const SoundDevice* sink = snapshot.systemOutput(settings().systemOutputDevice);
    if (!sink)
        return nullptr;
    id = sink->name;
    return id.c_str();
}

void SetAudioSystemOutputDevice(const char* deviceId)
{
    std::string id = deviceId ? deviceId : "";
    updateSettings([&id](EngineSettings& s) { s.systemOutputDevice = std::move(id); });
}

// An X11 desktop asks no one for leave; a resource is granted when it can
// be used.
int RequestPermissionCamera()
{
    return permissionOf(cameraRefusal());
}

int RequestPermissionMicrophone()
{
    return permissionOf(microphoneRefusal());
}

namespace {

// The pointer and the screen need the X server: the engine's connection
// while it runs, otherwise a connection tried just now.
int displayPermission()
{
    {
        XLock x;
        if (x)
            return xcb_connection_has_error(x.conn()) ? kPermissionRefused : kPermissionGranted;
    }
    return XConnection(std::string()).ok() ? kPermissionGranted : kPermissionRefused;
}

} // namespace

int RequestPermissionMouseEvent() { return displayPermission(); }
int RequestPermissionScreenCapture() { return displayPermission(); }

int GetPermissionRefusal(int kind)
{
    switch (kind) {
    case 0: return cameraRefusal();
    case 1: return microphoneRefusal();
    case 2:
    case 3: return displayPermission() == kPermissionGranted ? kRefusalNone : kRefusalNoService;
    default: return kRefusalNone;
    }
}

int CheckVirtualAudioDriver()
{
    const AudioSnapshot snapshot = audioSnapshot();
    if (!snapshot.reachable)
        return kSystemSoundNoServer;
    const SoundDevice* sink = snapshot.systemOutput(settings().systemOutputDevice);
    if (!sink || sink->monitorSource.empty() || !snapshot.source(sink->monitorSource))
        return kSystemSoundNoMonitor;
    return kSystemSoundOk;
}

const char* GetVirtualAudioDriverName()
{
    static thread_local std::string name;
    name = settings().virtualAudioDriverName;
    return name.c_str();
}

void SetVirtualAudioDriverName(const char* name)
{
    // The name is what the user sees for the system-sound source; an empty
    // one would leave nothing to see.
    if (!name || !*name) {
        Log(kLogModule, LogLevel::Error, "SetVirtualAudioDriverName: empty name refused");
        return;
    }
    std::string text = validUtf8(name);
    updateSettings([&text](EngineSettings& s) { s.virtualAudioDriverName = std::move(text); });
}

int Is_X86_64()
{
#if defined(__x86_64__)
    return 1;
#else
    return 0;
#endif
}

int GetCameraDeviceCount()
{
    return static_cast<int>(listCameras().size());
}

const CaptureDeviceInfo* GetCameraDevice(int index)
{
    static thread_local CaptureDeviceInfo record;
    const std::vector<Camera> cameras = listCameras();
    if (index < 0 || index >= static_cast<int>(cameras.size()))
        return nullptr;
    record = CaptureDeviceInfo{};
    copyText(record.name, sizeof record.name, cameras[index].name);
    copyText(record.uniqueId, sizeof record.uniqueId, cameras[index].path);
    return &record;
}

// The first camera: V4L2 has no notion of a default one.
const char* GetCameraDefaultDevice()
{
    static thread_local std::string id;
    const std::vector<Camera> cameras = listCameras();
    if (cameras.empty())
        return nullptr;
    id = cameras.front().path;
    return id.c_str();
}
