#pragma once

// Sound from the PulseAudio server (or anything that speaks its protocol):
// system sound is the monitor of the output device, the microphone one input
// device; both are read on one libpulse thread and mixed into a single
// stream on the nowUs() clock.

#include "core/Pipeline.h"

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
// (origin + samples / kAudioRate), where origin is the nowUs() of start(),
// and it is the moment the sound was played or spoken (the server's
// latency is taken off). Sound arrives that much later than it was heard:
// usually tens of milliseconds, but a sound server may report most of a
// second, and the first sound of a device may take over a second to come.
// A consumer that lines sound up with pictures goes by firstSampleUs and
// waits for the sound; it never assumes a chunk is from "now".
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
    // Any thread; thread-safe. Moves out what is complete: the sound of
    // every device up to the moment all of them reached; a device that
    // delivers nothing (for half a second, or for 3 s after start()) is
    // silence. False once a device vanished or the server went away; what
    // was captured before is still handed out by that call.
    bool take(std::vector<AudioChunk>& out) override;
    // Closes the streams and joins the libpulse thread; idempotent. What
    // was captured until then can still be taken.
    void stop() override;
    int failureCause() const override;

    // The nowUs() at which the stream begins (0 before start()).
    int64_t originUs() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace rec
} // namespace sc
