#pragma once

// Sound devices from the PulseAudio server (or anything that speaks its
// protocol, such as pipewire-pulse).
//
// While the engine runs it keeps one connection to the server, on a libpulse
// thread of its own: queries reuse it, and its device events go to the
// device watcher. Before scInitialize and after scUninitialize a query opens
// a connection just for itself. One call waits for the server at most
// kPulseTimeoutMs in all (connecting, subscribing and asking): a missing
// server answers at once, a hung one after the time-out, and after a
// time-out the queries leave the server alone for a while (kPulseBackoffMs)
// so that a hung server cannot freeze their caller over and over.

#include <string>
#include <vector>

namespace sc {

constexpr int kPulseTimeoutMs = 1500;
constexpr int kPulseBackoffMs = 10000;

struct SoundDevice {
    std::string name;           // the server's name: the unique id
    std::string description;    // the name people read
    std::string monitorSource;  // sinks: the name of their monitor source
    bool isMonitor = false;     // sources: the monitor of a sink
    bool unplugged = false;     // the active port says nothing is plugged in
};

struct AudioSnapshot {
    bool reachable = false;     // the server answered
    std::string defaultSink;
    std::string defaultSource;
    std::vector<SoundDevice> sinks;
    std::vector<SoundDevice> sources;

    const SoundDevice* sink(const std::string& name) const;
    const SoundDevice* source(const std::string& name) const;
    // Input devices offered to the user: the real sources. The monitor of a
    // sink is only offered when the server itself made it the default input
    // (a machine without a microphone), so that the default input is always
    // in the list.
    std::vector<const SoundDevice*> captureDevices() const;
    // The sink whose sound is recorded as system sound: the one chosen with
    // SetAudioSystemOutputDevice while it exists, otherwise the default sink.
    const SoundDevice* systemOutput(const std::string& chosen) const;
};

// The server's devices now. Not reachable (and empty) when there is no
// server or it does not answer in time.
AudioSnapshot audioSnapshot();

// Where sound device changes go (DeviceEvent bits): the device watcher's
// queue, given by the engine's start before the kept connection opens.
void setSoundEventSink(void (*post)(unsigned events));

// Engine life: the kept connection is allowed from scInitialize on; at
// scUninitialize it is closed and its thread joined.
void pulseEngineStarted();
void pulseEngineStopped();
// Called when the device watcher starts (on the starting thread, so that
// every change after the start is reported) and then every few seconds on
// the watcher's thread: opens the kept connection, and with it the device
// events, when there is none. A connection regained after none could be
// had counts as a change of every sound device.
void pulseWatchTick();

} // namespace sc
