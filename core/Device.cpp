#include "core/Device.h"

#include "core/SignalsTransfer.h"

// The hub is reached only if it still exists: at shutdown it is released
// while the engine may still be running, and an engine thread must never
// create a new one (it would live on that thread and never be released).

void Device::OnDisplayChanged()
{
    if (auto hub = SignalsTransfer::existing())
        emit hub->displayChange();
}

void Device::OnAudioCaptureChanged()
{
    if (auto hub = SignalsTransfer::existing())
        emit hub->audioCaptureChange();
}

void Device::OnAudioRenderChanged()
{
    if (auto hub = SignalsTransfer::existing())
        emit hub->audioRenderChange();
}

void Device::OnVideoCaptureChanged()
{
    if (auto hub = SignalsTransfer::existing())
        emit hub->cameraDeviceChange();
}
