#pragma once

// The capture thread's ticks and how many of them it grabs. When the
// encoder falls behind (the queue to it stays full), fewer ticks are
// grabbed: one in 2, 3, 4, then halved each step, down to one frame a
// second; at that rate a queue that still stays full ends the recording.
// When the encoder keeps up again (nothing dropped and the queue at most
// half full for a while), the rate goes back up a step at a time. A step up
// that the encoder cannot carry is taken back like any other, and the next
// try waits twice as long as that one did, so that a machine that is simply
// too slow settles instead of swinging; a step up that holds brings the
// short wait back. The decisions depend only on the times and queue
// states given, never on a clock of their own.

#include "core/Pipeline.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace sc {
namespace rec {

class CaptureRate
{
public:
    // Frames that keep being dropped this long lower the rate a step; at
    // the lowest rate, they end the recording.
    static constexpr int64_t kBehindStepUs = 1500000;
    static constexpr int64_t kFullLimitUs = 3000000;
    // A second without a dropped frame means the encoder has caught up.
    static constexpr int64_t kCalmUs = 1000000;
    // How long the encoder must keep up before the rate goes up a step, and
    // the longest that wait grows to after steps up that did not hold.
    static constexpr int64_t kRaiseAfterUs = 3000000;
    static constexpr int64_t kLongestRaiseAfterUs = 24000000;

    enum class Change { None, Slower, Faster, GiveUp };

    CaptureRate(int fps, int64_t startUs);

    int fps() const { return m_fps; }
    // Every stride-th tick is grabbed.
    int stride() const { return m_stride; }
    double framesPerSecond() const { return double(m_fps) / m_stride; }
    int64_t tick() const { return m_tick; }
    int64_t due(int64_t tick) const { return m_base + tick * 1000000 / m_fps; }
    int64_t skipped() const { return m_skipped; }
    int64_t dropped() const { return m_dropped; }
    // The slots passed over so far, by why (never `other`).
    MissedSlots missed() const { return {m_dropped, m_skipped, m_lowered, 0}; }

    // The ticks start afresh at `baseUs` (the start, or a resume).
    void restart(int64_t baseUs);

    // A grabbed frame went into the queue, which then held `depth` of at
    // most `capacity` frames; or it found the queue full. Either way the
    // clock moves on to the next tick it grabs.
    Change queued(int64_t nowUs, std::size_t depth, std::size_t capacity);
    Change dropped(int64_t nowUs);

private:
    void advance(int64_t nowUs);
    Change raiseIfCalm(int64_t nowUs);

    int m_fps = 1;
    int64_t m_base = 0;
    int64_t m_tick = 0;
    int m_stride = 1;
    int64_t m_behindSinceUs = -1;   // since when frames keep being dropped
    int64_t m_lastDropUs = -1;
    int64_t m_keptUpSinceUs = -1;   // since when the encoder keeps up
    int64_t m_raisedAtUs = -1;      // the last step up
    int64_t m_raiseAfterUs = kRaiseAfterUs;
    int64_t m_triedAfterUs = kRaiseAfterUs; // the wait before the last step up
    int64_t m_skipped = 0;          // ticks that passed during a slow grab
    int64_t m_dropped = 0;          // frames the full queue did not take
    int64_t m_lowered = 0;          // ticks passed over at a lowered rate
};

// Which of the reasons `pending` (what the capture passed over before a
// frame) explain a gap of `gap` repeated slots before it: the first reasons
// first, the rest as `other`. The parts add up to `gap`.
MissedSlots attributeGap(int64_t gap, const MissedSlots& pending);

// "1800 frames, 12 skipped (0.7%): 9 encoder behind, 3 capture late": the
// frames of a recording and how many of them repeated the one before, why.
std::string describeSkips(int64_t frames, const MissedSlots& skipped);

} // namespace rec
} // namespace sc
