#pragma once

// Keeps one sound input on the output's sample grid by resampling.
//
// A sound card's clock runs a little fast or slow against the monotonic
// clock (a tenth of a percent is common): taken sample by sample, its sound
// slides off its timestamps by a millisecond every second. Instead of
// letting it slide and jumping back now and then (an audible click and a
// step in the A/V offset), the input is stretched or squeezed slightly so
// that each sample lands where its timestamp says. The amount follows the
// placement error through a slow proportional-integral loop: the integral
// learns the clocks' steady ratio, the proportional part removes what is
// left within about a second, and the sound's pitch never moves by more
// than kMaxCorrection. Only an error too large to be drift (lost sound, a
// stalled stream: over kReplaceFrames) places the input afresh.
//
// The resampler is a four-point cubic: at the exact ratio it passes the
// samples through unchanged.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sc {
namespace rec {

class DriftCorrector
{
public:
    static constexpr double kMaxCorrection = 0.005;

    // `channels` interleaved per frame; `rate` frames a second (sets the
    // loop's time constants).
    DriftCorrector(int channels, int rate);

    // Takes `count` frames whose first belongs at output frame `expected`
    // (fractional) and appends what can be made of them to `out`. Returns
    // the output frame of the first frame appended.
    int64_t push(const float* frames, std::size_t count, double expected, std::vector<float>& out);
    // False when frames expected there would place the input afresh:
    // what is held back for the interpolation should be flushed first.
    bool follows(double expected) const;
    // Appends the few frames held back (the input ended or jumps) and
    // returns the output frame of the first.
    int64_t flush(std::vector<float>& out);

    // The output frame the next appended frame goes to.
    int64_t next() const { return m_next; }
    bool placed() const { return m_placed; }
    // The current stretch: output frames per input frame, minus one.
    double correction() const { return m_correction; }

private:
    double error(double expected) const;
    void place(double expected);
    void steer(double error, std::size_t count);
    void resample(std::vector<float>& out);

    const int m_channels;
    const double m_horizon;      // frames over which an error is removed
    const double m_integralTime; // frames
    const double m_replace;      // frames

    std::vector<float> m_history; // input frames not yet used up
    double m_pos = 0;             // input position of the next output frame
    int64_t m_next = 0;
    bool m_placed = false;
    double m_integral = 0;
    double m_correction = 0;
};

// When a device's sound was heard, from noisy measurements of its
// arrival. Each fragment's measurement jitters with the wake-ups of the
// sound thread; the estimate follows it through a slow loop that also
// learns how fast the device's clock runs, so a drifting card's timestamps
// do not lag behind the truth. Measurements off by more than kReanchorUs
// several times in a row start a new estimate (an overrun, lost data, a
// stalled stream); a single late wake-up does not.
class DeviceClock
{
public:
    static constexpr int64_t kReanchorUs = 20000;
    static constexpr int kReanchorAfter = 3;

    // `frames` at the nominal `rate` came in; the measurement says the first
    // was heard at `measuredUs`. Returns the estimate for that first frame.
    int64_t place(int64_t frames, int64_t measuredUs, int rate);
    // The device's clock against the nominal rate, minus one, as learnt.
    double skew() const { return m_skew; }

private:
    bool m_timed = false;
    double m_nextUs = 0;
    double m_skew = 0;
    int m_outliers = 0;
};

} // namespace rec
} // namespace sc
