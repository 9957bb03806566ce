#pragma once

// The recording's own time: microseconds since start() on the nowUs()
// clock, with every paused stretch cut out. Both recorders (screen and
// sound alone) keep their pauses here, so picture and sound lose exactly
// the same spans and stay in step after any number of pauses.
//
// Sound is cut in whole samples: a pause's ends are rounded once to the
// sample grid that starts at start(), so every chunk sees the same cut and
// the sound on both sides of a pause joins without a gap or an overlap.

#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

namespace sc {
namespace rec {

class PauseSpans
{
public:
    static constexpr int64_t kOpen = std::numeric_limits<int64_t>::max();

    // A run of a captured sound chunk that lies outside every pause:
    // `count` samples from `offset` of the chunk belong at sample
    // `position` of the recording.
    struct Run
    {
        int64_t offset;
        int64_t count;
        int64_t position;
    };

    // False when started before (nothing changes).
    bool start(int64_t us);
    bool started() const;
    // Returns false when not started or already paused (nothing changes).
    bool pause(int64_t us);
    // Returns false when not paused.
    bool resume(int64_t us);
    bool paused() const;

    // The recording time of the moment `us`; false before the start and
    // inside a pause (what was captured then is not part of the recording).
    bool map(int64_t us, int64_t& recordUs) const;
    // The first moment at or after `us`, outside a pause, whose recording
    // time is a whole number of periods of `fps`: capture ticks taken from
    // there land exactly on the picture's slots, also after a resume.
    int64_t nextSlotMoment(int64_t us, int fps) const;

    // Sample `frame` of the grid at `rate` that starts at start().
    int64_t sampleAt(int64_t us, int rate) const;
    // The parts of the samples [first, first + count) of that grid that
    // belong to the recording.
    std::vector<Run> runs(int64_t first, int64_t count, int rate) const;

private:
    struct Span
    {
        int64_t begin;
        int64_t end;
    };
    static int64_t toSamples(int64_t us, int rate);

    mutable std::mutex m_mutex;
    int64_t m_startUs = 0;
    bool m_started = false;
    std::vector<Span> m_pauses;
};

// Places a run of contiguous sound chunks (firstSampleUs, count) on the
// recording. Successive chunks whose timestamps differ from contiguous by
// the microsecond rounding of those timestamps stay contiguous; any real
// jump is taken as it is. One per consumer; not thread-safe.
class SoundCutter
{
public:
    SoundCutter(const PauseSpans& spans, int rate) : m_spans(spans), m_rate(rate) {}
    std::vector<PauseSpans::Run> cut(int64_t firstUs, int64_t count);

private:
    const PauseSpans& m_spans;
    const int m_rate;
    int64_t m_next = 0;
    bool m_have = false;
};

} // namespace rec
} // namespace sc
