#pragma once

#include "ScreencastObjects.h"

// The engine's device-change listener. Each notification becomes one signal
// of the hub; nothing else happens here, because the engine calls on its
// device-watching thread.
class Device : public CDeviceNotifies
{
public:
    Device() = default;
    ~Device() override = default;

    void OnDisplayChanged() override;
    void OnAudioCaptureChanged() override;
    void OnAudioRenderChanged() override;
    void OnVideoCaptureChanged() override;

private:
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
};
