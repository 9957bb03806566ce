// The engine's start and stop: the X connection (core), the sound server
// connection and the device watcher, and the listener they report to.

#include "api/DeviceWatcher.h"
#include "api/HotKeys.h"
#include "audio/AudioDevices.h"
#include "core/EngineCore.h"
#include "core/LastError.h"

#include "Screencast.h"

#include "platform/log/Log.h"

#include <mutex>

namespace sc {

namespace {

// Start, stop and the device watcher's life are serialised by this lock; it
// is never held by a device callback.
std::mutex g_lifeMutex;

// Everything but the listener: the watcher, the sound server connection,
// the X connection. The caller holds g_lifeMutex.
void stopEngine()
{
    stopDeviceWatcher();
    pulseEngineStopped();
    disconnectDisplay();
}

} // namespace

} // namespace sc

using namespace sc;

int scInitialize()
{
    // A device callback runs while the engine is up; it must not wait for
    // the lock that a thread stopping the watcher holds.
    if (isDeviceWatcherThread())
        return engineRunning() ? kScInitOk : kScInitNoDisplay;

    std::lock_guard<std::mutex> life(g_lifeMutex);
    clearLastError();
    if (engineRunning())
        return kScInitOk;
    const int connected = connectDisplay();
    if (connected != kScInitOk) {
        setLastError("The screen cannot be reached: no X display is running.");
        return connected;
    }
    setSoundEventSink(&postDeviceEvents);
    pulseEngineStarted();
    if (hasDeviceListener())
        startDeviceWatcher(engineDisplayName());
    return kScInitOk;
}

const char* scGetLastErrorText()
{
    return lastError().c_str();
}

void scUninitialize()
{
    // No callback may run once this returns: forgetting the listener waits
    // for one in flight.
    stopHotKeys();
    setDeviceListener(nullptr);

    if (isDeviceWatcherThread()) {
        // Stopping from inside a device callback: the watcher cannot wait
        // for itself, so it is let go and ends after this callback. Another
        // thread that is stopping the engine already does the rest.
        Log(kLogModule, LogLevel::Error, "scUninitialize: called from a device callback");
        std::unique_lock<std::mutex> life(g_lifeMutex, std::try_to_lock);
        if (life.owns_lock())
            stopEngine();
        return;
    }
    std::lock_guard<std::mutex> life(g_lifeMutex);
    stopEngine();
}

void RegisterDeviceNotifies(CDeviceNotifies* listener)
{
    // Synchronous with a callback in flight: once this returns with null,
    // the old listener is never called again.
    setDeviceListener(listener);
    if (isDeviceWatcherThread())
        return;     // the watcher idles with no listener and ends with the engine

    std::lock_guard<std::mutex> life(g_lifeMutex);
    if (!hasDeviceListener())
        stopDeviceWatcher();
    else if (engineRunning())
        startDeviceWatcher(engineDisplayName());
}
