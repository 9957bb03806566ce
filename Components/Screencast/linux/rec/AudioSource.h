#pragma once

// Sound from the PulseAudio server (or anything that speaks its protocol):
// system sound is the monitor of the output device, the microphone one input
// device; both are read on one libpulse thread and mixed into a single
// stream on the nowUs() clock.

#include "Pipeline.h"

#include <memory>
#include <string>
#include <vector>

namespace sc {
namespace rec {

class AudioMixer;

// How a recorder uses it (screen or sound alone):
//   PulseAudioSource audio(render, capture, deviceIdOrNull);
//   std::string why;
//   if (!audio.start(why)) ...            // no server, no device: refuse
//   every 10..50 ms on the recorder's thread:
//       std::vector<AudioChunk> chunks;
//       if (!audio.take(chunks)) ...     // a device vanished: SR_MicInterrupted
//       ... chunks are contiguous: chunk k+1 begins where chunk k ends
//   audio.stop();                          // joins the libpulse thread
//
// The chunks form one gap-free stream that starts at the moment start()
// was called: missing sound (a microphone that delivers nothing, a late
// device) is filled with silence, so the sample count always matches the
// time passed. firstSampleUs of each chunk is exact for its first sample
// (origin + samples / kAudioRate), where origin is the nowUs() of start().
class PulseAudioSource : public IAudioSource
{
public:
    // `render`: the monitor of the system-sound output (the one chosen with
    // SetAudioSystemOutputDevice while it exists, else the default output).
    // `capture`: the input `captureDeviceId`, or the default input for null
    // or "". When the chosen input is that very monitor, it is read once.
    PulseAudioSource(bool render, bool capture, const char* captureDeviceId);
    ~PulseAudioSource() override;

    PulseAudioSource(const PulseAudioSource&) = delete;
    PulseAudioSource& operator=(const PulseAudioSource&) = delete;

    // Connects and opens the streams; false with a reason when neither
    // source is asked for, no server answers, or a device is missing.
    // Waits at most a few seconds in all. Call it once.
    bool start(std::string& error) override;
    // Any thread; thread-safe. Moves out what is complete (the sound of
    // every open device up to the newest moment all of them reached, or
    // silence for a device that fell 200 ms behind). False once a device
    // vanished or the server went away; what was captured before is still
    // handed out by that call.
    bool take(std::vector<AudioChunk>& out) override;
    // Closes the streams and joins the libpulse thread; idempotent. What
    // was captured until then can still be taken.
    void stop() override;

    // The nowUs() at which the stream begins (0 before start()).
    int64_t originUs() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace rec
} // namespace sc
