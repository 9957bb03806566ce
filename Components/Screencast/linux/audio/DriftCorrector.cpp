#include "audio/DriftCorrector.h"

#include <algorithm>
#include <cmath>

namespace sc {
namespace rec {

namespace {

// Errors below this (in frames) are rounding, not drift: inside it the
// loop holds still, so an input already in step passes through untouched.
constexpr double kDeadBand = 0.5;

float cubic(float x0, float x1, float x2, float x3, float t)
{
    return x1 + 0.5f * t * (x2 - x0 + t * (2.0f * x0 - 5.0f * x1 + 4.0f * x2 - x3 + t * (3.0f * (x1 - x2) + x3 - x0)));
}

} // namespace

DriftCorrector::DriftCorrector(int channels, int rate)
    : m_channels(std::max(channels, 1)), m_horizon(0.5 * rate), m_integralTime(2.0 * rate),
      m_replace(0.02 * rate)
{
}

void DriftCorrector::place(double expected)
{
    // The clocks' ratio learnt so far stays: a jump does not change it.
    m_history.clear();
    m_pos = 0;
    m_next = std::llround(expected);
    m_placed = true;
}

void DriftCorrector::steer(double error, std::size_t count)
{
    if (std::fabs(error) > kDeadBand) {
        m_integral += error * double(count) / (m_horizon * m_integralTime);
        m_integral = std::clamp(m_integral, -kMaxCorrection, kMaxCorrection);
    }
    const double proportional = std::fabs(error) > kDeadBand ? error / m_horizon : 0.0;
    m_correction = std::clamp(m_integral + proportional, -kMaxCorrection, kMaxCorrection);
}

double DriftCorrector::error(double expected) const
{
    // Where the input frame at the read position belongs, against where it
    // goes: positive when the input runs behind its timestamps.
    const double held = double(m_history.size() / std::size_t(m_channels));
    return expected - (held - m_pos) - double(m_next);
}

bool DriftCorrector::follows(double expected) const
{
    return m_placed && std::fabs(error(expected)) <= m_replace;
}

int64_t DriftCorrector::flush(std::vector<float>& out)
{
    const int64_t first = m_next;
    const std::size_t ch = std::size_t(m_channels);
    const int64_t held = int64_t(m_history.size() / ch);
    for (int64_t i = std::llround(m_pos); i < held; ++i, ++m_next)
        out.insert(out.end(), m_history.begin() + std::ptrdiff_t(std::size_t(i) * ch),
                   m_history.begin() + std::ptrdiff_t(std::size_t(i + 1) * ch));
    m_history.clear();
    m_pos = 0;
    return first;
}

int64_t DriftCorrector::push(const float* frames, std::size_t count, double expected, std::vector<float>& out)
{
    if (!follows(expected))
        place(expected);
    else
        steer(error(expected), count);
    m_history.insert(m_history.end(), frames, frames + count * std::size_t(m_channels));
    const int64_t first = m_next;
    resample(out);
    return first;
}

void DriftCorrector::resample(std::vector<float>& out)
{
    const std::size_t ch = std::size_t(m_channels);
    const int64_t held = int64_t(m_history.size() / ch);
    const double step = 1.0 / (1.0 + m_correction);
    // Each output frame needs the input frame before its position and the
    // two after it.
    while (int64_t(m_pos) + 2 < held) {
        const int64_t i = int64_t(m_pos);
        const float t = float(m_pos - double(i));
        const float* x1 = m_history.data() + std::size_t(i) * ch;
        const float* x0 = i > 0 ? x1 - ch : x1;
        const float* x2 = x1 + ch;
        const float* x3 = x2 + ch;
        for (std::size_t c = 0; c < ch; ++c)
            out.push_back(t == 0.0f ? x1[c] : cubic(x0[c], x1[c], x2[c], x3[c], t));
        m_pos += step;
        ++m_next;
    }
    // Keep one frame before the read position for the next interpolation.
    const int64_t drop = std::max<int64_t>(0, int64_t(m_pos) - 1);
    if (drop > 0) {
        m_history.erase(m_history.begin(), m_history.begin() + std::ptrdiff_t(std::size_t(drop) * ch));
        m_pos -= double(drop);
    }
}

int64_t DeviceClock::place(int64_t frames, int64_t measuredUs, int rate)
{
    const double duration = double(frames) * 1e6 / rate;
    const double error = double(measuredUs) - m_nextUs;
    if (!m_timed || (std::fabs(error) > kReanchorUs && ++m_outliers >= kReanchorAfter)) {
        m_nextUs = double(measuredUs);
        m_timed = true;
        m_outliers = 0;
    } else if (std::fabs(error) <= kReanchorUs) {
        // A critically damped loop over about 30 fragments: a sixteenth of
        // the error now, and its running sum as the clock's rate.
        m_nextUs += error / 16;
        if (duration > 0)
            m_skew = std::clamp(m_skew + error / (1024 * duration), -0.01, 0.01);
        m_outliers = 0;
    }
    const double first = m_nextUs;
    m_nextUs = first + duration * (1.0 + m_skew);
    return std::llround(first);
}

} // namespace rec
} // namespace sc
