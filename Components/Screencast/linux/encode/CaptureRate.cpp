#include "encode/CaptureRate.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sc {
namespace rec {

namespace {

// A step down this soon after a step up means the step up did not hold.
constexpr int64_t kHeldUs = 10000000;

} // namespace

CaptureRate::CaptureRate(int fps, int64_t startUs) : m_fps(std::max(fps, 1)), m_base(startUs) {}

void CaptureRate::restart(int64_t baseUs)
{
    m_base = baseUs;
    m_tick = 0;
    m_behindSinceUs = -1;
    m_keptUpSinceUs = -1;
}

CaptureRate::Change CaptureRate::queued(int64_t nowUs, std::size_t depth, std::size_t capacity)
{
    if (m_behindSinceUs >= 0 && nowUs - m_lastDropUs > kCalmUs)
        m_behindSinceUs = -1;
    // More than half full: the encoder is busy, even if it takes everything.
    if (depth * 2 > capacity)
        m_keptUpSinceUs = -1;
    else if (m_keptUpSinceUs < 0)
        m_keptUpSinceUs = nowUs;
    const Change change = raiseIfCalm(nowUs);
    advance(nowUs);
    return change;
}

CaptureRate::Change CaptureRate::dropped(int64_t nowUs)
{
    ++m_dropped;
    m_lastDropUs = nowUs;
    m_keptUpSinceUs = -1;
    Change change = Change::None;
    if (m_behindSinceUs < 0) {
        m_behindSinceUs = nowUs;
    } else if (nowUs - m_behindSinceUs >= (m_stride >= m_fps ? kFullLimitUs : kBehindStepUs)) {
        if (m_stride >= m_fps)
            return Change::GiveUp;
        const bool held = m_raisedAtUs < 0 || nowUs - m_raisedAtUs >= kHeldUs;
        m_raiseAfterUs = held ? kRaiseAfterUs : std::min(m_triedAfterUs * 2, kLongestRaiseAfterUs);
        m_stride = std::min(m_fps, m_stride < 4 ? m_stride + 1 : m_stride * 2);
        m_behindSinceUs = -1;
        change = Change::Slower;
    }
    advance(nowUs);
    return change;
}

CaptureRate::Change CaptureRate::raiseIfCalm(int64_t nowUs)
{
    if (m_stride <= 1 || m_keptUpSinceUs < 0 || nowUs - m_keptUpSinceUs < m_raiseAfterUs)
        return Change::None;
    m_stride = m_stride <= 4 ? m_stride - 1 : std::max(4, m_stride / 2);
    m_raisedAtUs = nowUs;
    m_keptUpSinceUs = nowUs;
    // Should this step hold, the next one waits the short time.
    m_triedAfterUs = m_raiseAfterUs;
    m_raiseAfterUs = kRaiseAfterUs;
    return Change::Faster;
}

// A tick that is less than half a period late is still taken (its frame
// lands in its own slot); older ones are skipped, not bunched, and the
// encoder fills their slots with the previous picture.
void CaptureRate::advance(int64_t nowUs)
{
    m_tick += m_stride;
    m_lowered += m_stride - 1;
    const int64_t halfPeriod = 500000 / m_fps;
    while (due(m_tick) + halfPeriod < nowUs) {
        m_tick += m_stride;
        ++m_skipped;
        m_lowered += m_stride - 1;
    }
}

MissedSlots attributeGap(int64_t gap, const MissedSlots& pending)
{
    MissedSlots out;
    int64_t left = std::max<int64_t>(gap, 0);
    auto take = [&left](int64_t available) {
        const int64_t n = std::min(left, std::max<int64_t>(available, 0));
        left -= n;
        return n;
    };
    out.encoderBehind = take(pending.encoderBehind);
    out.captureLate = take(pending.captureLate);
    out.rateLowered = take(pending.rateLowered);
    out.other = left;
    return out;
}

std::string describeSkips(int64_t frames, const MissedSlots& skipped)
{
    const int64_t total = skipped.total();
    char text[160];
    std::snprintf(text, sizeof text, "%lld frames, %lld skipped (%.1f%%)", static_cast<long long>(frames),
                  static_cast<long long>(total), frames > 0 ? 100.0 * double(total) / double(frames) : 0.0);
    std::string out = text;
    const std::pair<int64_t, const char*> reasons[] = {{skipped.encoderBehind, "encoder behind"},
                                                       {skipped.captureLate, "capture late"},
                                                       {skipped.rateLowered, "capture rate lowered"},
                                                       {skipped.other, "timing"}};
    const char* separator = ": ";
    for (const auto& reason : reasons) {
        if (reason.first == 0)
            continue;
        out += separator + std::to_string(reason.first) + " " + reason.second;
        separator = ", ";
    }
    return out;
}

} // namespace rec
} // namespace sc
