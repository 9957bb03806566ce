#include "rec/PauseSpans.h"

#include <algorithm>
#include <cstdlib>

namespace sc {
namespace rec {

bool PauseSpans::start(int64_t us)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started)
        return false;
    m_startUs = us;
    m_started = true;
    return true;
}

bool PauseSpans::started() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

bool PauseSpans::pause(int64_t us)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_started || (!m_pauses.empty() && m_pauses.back().end == kOpen))
        return false;
    m_pauses.push_back({std::max(us, m_startUs), kOpen});
    return true;
}

bool PauseSpans::resume(int64_t us)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pauses.empty() || m_pauses.back().end != kOpen)
        return false;
    m_pauses.back().end = std::max(us, m_pauses.back().begin);
    return true;
}

bool PauseSpans::paused() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_pauses.empty() && m_pauses.back().end == kOpen;
}

bool PauseSpans::map(int64_t us, int64_t& recordUs) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_started || us < m_startUs)
        return false;
    int64_t cut = 0;
    for (const Span& p : m_pauses) {
        if (us < p.begin)
            break;
        if (us < p.end)
            return false;
        cut += p.end - p.begin;
    }
    recordUs = us - m_startUs - cut;
    return true;
}

int64_t PauseSpans::nextSlotMoment(int64_t us, int fps) const
{
    fps = std::max(fps, 1);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_started)
        return us;
    int64_t at = std::max(us, m_startUs);
    int64_t cut = 0;
    for (const Span& p : m_pauses) {
        if (at < p.begin)
            break;
        if (at < p.end) {
            if (p.end == kOpen)
                return us;
            at = p.end;
        }
        cut += p.end - p.begin;
    }
    const int64_t recordUs = at - m_startUs - cut;
    // The slot's moment rounded up, so that the tick is never early.
    const int64_t slot = (recordUs * fps + 999999) / 1000000;
    const int64_t slotUs = (slot * 1000000 + fps - 1) / fps;
    return at + (slotUs - recordUs);
}

int64_t PauseSpans::toSamples(int64_t us, int rate)
{
    // Rounded to the nearest sample, also before zero.
    const int64_t scaled = us * rate;
    return scaled >= 0 ? (scaled + 500000) / 1000000 : -((-scaled + 500000) / 1000000);
}

int64_t PauseSpans::sampleAt(int64_t us, int rate) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return toSamples(us - m_startUs, rate);
}

std::vector<PauseSpans::Run> PauseSpans::runs(int64_t first, int64_t count, int rate) const
{
    std::vector<Run> out;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_started || count <= 0)
        return out;
    const int64_t end = first + count;
    int64_t from = std::max<int64_t>(first, 0);
    int64_t cut = 0;
    for (const Span& p : m_pauses) {
        if (from >= end)
            break;
        const int64_t b = toSamples(p.begin - m_startUs, rate);
        const int64_t e = p.end == kOpen ? kOpen : toSamples(p.end - m_startUs, rate);
        if (e <= from) {
            cut += e - b;
            continue;
        }
        if (b > from) {
            const int64_t to = std::min(b, end);
            out.push_back({from - first, to - from, from - cut});
        }
        if (e == kOpen)
            return out;
        cut += e - b;
        from = std::max(e, from);
    }
    if (from < end)
        out.push_back({from - first, end - from, from - cut});
    return out;
}

std::vector<PauseSpans::Run> SoundCutter::cut(int64_t firstUs, int64_t count)
{
    if (count <= 0)
        return {};
    int64_t first = m_spans.sampleAt(firstUs, m_rate);
    // A timestamp is whole microseconds, a sample about 21 of them: the
    // rounding may put a contiguous chunk one sample off.
    if (m_have && std::llabs(first - m_next) <= 1)
        first = m_next;
    m_next = first + count;
    m_have = true;
    return m_spans.runs(first, count, m_rate);
}

} // namespace rec
} // namespace sc
