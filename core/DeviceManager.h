#pragma once

#include <QRect>
#include <QString>

#include "core/RecordTypes.h"

class Device;

// Displays, sound devices, privacy permissions and the system-sound source
// of the capture engine, in Qt types. Created on the GUI thread by the first
// instance(); from then on the engine reports device changes to its Device.
class DeviceManager
{
public:
    static DeviceManager* instance();
    static void release();

    int getDisplayCount();
    // Empty for a display that does not exist.
    QString getDisplayName(int index);
    // The display's corners in screen coordinates (x2 = right edge, not
    // width - 1); QRect() when it does not exist.
    QRect getFullScreenRect(int index);
    bool isFullScreen(QRect rect, int index);
    bool isRetinaCurrentDisplay(int index);
    void setUseDisplay(int index);
    // (0, 0, width, height) of the display the engine records.
    QRect getSelectedDisplayRect();

    int getAudioRenderDeviceCount();
    // "name - unique id" of an output device; empty when it does not exist.
    QString getAudioRenderDevUID(int index);
    int getAudioCaptureDeviceCount();
    // Name of an input device; empty when it does not exist.
    QString getAudioCaptureDeviceInfo(int index);
    // Names may repeat: the first match wins, and no match gives "".
    QString getAudioCaptureUID(const QString& name);
    QString getAudioCaptureDefaultDevice();
    int getdAudioCaptureDeviceStatus();
    bool getAudioSystemOutputDevice();
    void setAudioSystemOutputDevice(const QString& deviceId);
    void setAudioCaptureDef();

    // Answers with a Permission_Result value.
    int isPermissionCamera();
    int isPermissionMicrophone();
    int isPermissionMouseEvent();
    // A refusal reads 0 ("not asked yet") only the first time per settings
    // store, so the first-time guide is shown once; later refusals read 1.
    int isPermissionScreenCapture();
    // Why the kind's permission is refused (Permission_Refusal), asked afresh.
    int permissionRefusal(Privacy_Setting kind);

    // False when the system-sound source is missing or broken; otherwise it
    // is given the product's name (when the product has one) and true.
    bool checkVirtualAudioDriver();
    bool isX86_64();

private:
    DeviceManager();
    ~DeviceManager();
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    Device* m_pDevice = nullptr;
    QString m_strAudioDriverName;
};

// Start and stop the capture engine. initScreencast() is true when the engine
// runs; uninitScreencast() stops it, so whatever holds engine objects (the
// region box, the recorder) must be released first.
bool initScreencast();
void uninitScreencast();
