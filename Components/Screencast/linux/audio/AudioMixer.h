#pragma once

// Puts the sound of several inputs on one timeline and sums them.
//
// The output is a gap-free run of frames at kAudioRate: frame p is the
// moment origin + p / kAudioRate on the nowUs() clock. Each input's frames
// are placed by their own timestamps to the sample: an input stays
// contiguous, and the slow drift of its device's clock is taken out by
// resampling it (audio/DriftCorrector.h) rather than by jumps, so inputs never
// click and never slide off their timestamps.
//
// Output is released up to the moment every live input has reached. An
// input is live while its sound keeps arriving (the last arrival at most
// kStallUs ago), and at the start until kStartupUs passed: sound servers
// may take a second or more to deliver the first sound of a device, and
// its latency may be long. An input that is not live holds nobody back: its
// missing part is silence, and frames of it that arrive after their moment
// was released are dropped. With no live input at all, silence is released
// up to kStallUs before the clock, so a recording keeps its length.
// Not thread-safe: the owner locks.

#include "audio/DriftCorrector.h"
#include "core/Pipeline.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sc {
namespace rec {

class AudioMixer
{
public:
    static constexpr int64_t kStallUs = 500000;
    static constexpr int64_t kStartupUs = 3000000;
    static constexpr int64_t kMaxBufferedFrames = kAudioRate * 10; // per input

    AudioMixer(int inputs, int64_t originUs);

    // Interleaved kAudioChannels frames of `input`, the first heard at
    // `firstUs`, arrived at `arrivalUs`.
    void push(int input, const float* frames, std::size_t frameCount, int64_t firstUs, int64_t arrivalUs);
    // Appends what is complete at `nowUs` to `out`.
    void pull(int64_t nowUs, std::vector<AudioChunk>& out);
    // The inputs have ended at `endUs`: everything buffered goes out, and
    // silence up to `endUs` where no input reached it.
    void drain(int64_t endUs, std::vector<AudioChunk>& out);

    int64_t originUs() const { return m_originUs; }
    // The output frame of a moment, and the moment of an output frame.
    int64_t frameAt(int64_t us) const;
    int64_t timeOf(int64_t frame) const;

private:
    struct Input {
        Input() : corrector(kAudioChannels, kAudioRate) {}
        DriftCorrector corrector;     // knows where the next frame goes
        std::vector<float> samples;   // interleaved, from frame `start` on
        int64_t start = 0;
        int64_t arrivalUs = 0;        // the last push, 0 before the first
        int64_t end() const { return start + int64_t(samples.size() / kAudioChannels); }
    };

    void dropBefore(Input& in, int64_t frame);
    // Puts m_placed, resampled frames of `in` from output frame `at`, in place.
    void store(Input& in, int64_t at);
    void releaseUpTo(int64_t target, std::vector<AudioChunk>& out);

    std::vector<Input> m_inputs;
    std::vector<float> m_placed;      // one push after resampling
    int64_t m_originUs;
    int64_t m_out = 0;                // next output frame
};

} // namespace rec
} // namespace sc
