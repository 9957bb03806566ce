#pragma once

// The device watcher: one thread that waits for display changes (RandR
// events on a connection of its own), camera nodes coming and going (inotify
// on the camera folder) and sound device changes (posted by the sound
// server connection's thread), and calls the registered CDeviceNotifies.
//
// Callbacks run on the watcher thread under a callback lock that
// setDeviceListener also takes, so a listener that was replaced or removed
// is never called again once setDeviceListener returns. The lock is
// recursive: a listener may unregister itself from inside a callback.

#include "core/EngineCore.h"

#include <string>

class CDeviceNotifies;

namespace sc {

// The listener that callbacks go to; null stops them. Waits for a callback
// in flight on another thread.
void setDeviceListener(CDeviceNotifies* listener);
bool hasDeviceListener();

// Starts the watcher thread unless it runs; `display` is the X display to
// watch (empty: $DISPLAY). Everything watched is in place when this
// returns, so no later change is missed; a sound server that does not
// answer holds it up for the sound time-out at most. The caller serialises
// start and stop.
void startDeviceWatcher(const std::string& display);
// Stops the watcher and waits for its thread, unless called on that thread:
// then the thread is let go and ends after the callback it runs.
void stopDeviceWatcher();
// True on the watcher thread, that is inside a device callback.
bool isDeviceWatcherThread();

// Queues events for the listener; any thread. Dropped when no watcher runs.
void postDeviceEvents(unsigned events);

} // namespace sc
