#pragma once

// The recording's own time: microseconds since start() on the nowUs()
// clock, with every paused stretch cut out. Picture and sound are both
// placed through it, so a pause removes the same span from both and they
// stay in step after it.

#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

namespace sc {
namespace rec {

class Timeline
{
public:
    static constexpr int64_t kOpen = std::numeric_limits<int64_t>::max();

    // A run of a captured stretch that lies outside every pause, placed on
    // the recording's time.
    struct Piece
    {
        int64_t offsetUs;   // from the beginning of the captured stretch
        int64_t lengthUs;
        int64_t recordUs;   // where it begins on the recording's time
    };

    void start(int64_t us)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_startUs = us;
        m_started = true;
    }

    // Returns false when already paused (nothing changes).
    bool pause(int64_t us)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_pauses.empty() && m_pauses.back().end == kOpen)
            return false;
        m_pauses.push_back({us, kOpen});
        return true;
    }

    // Returns false when not paused.
    bool resume(int64_t us)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pauses.empty() || m_pauses.back().end != kOpen)
            return false;
        m_pauses.back().end = us < m_pauses.back().begin ? m_pauses.back().begin : us;
        return true;
    }

    bool paused() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_pauses.empty() && m_pauses.back().end == kOpen;
    }

    // The recording time of the moment `us`; false before the start and
    // inside a pause (what was captured then is not part of the recording).
    bool map(int64_t us, int64_t& recordUs) const
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

    // The parts of [us, us + lengthUs) that belong to the recording.
    std::vector<Piece> pieces(int64_t us, int64_t lengthUs) const
    {
        std::vector<Piece> out;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_started || lengthUs <= 0)
            return out;
        const int64_t end = us + lengthUs;
        int64_t from = us < m_startUs ? m_startUs : us;
        int64_t cut = 0;
        for (const Span& p : m_pauses) {
            if (from >= end)
                break;
            if (p.end <= from) {
                cut += p.end - p.begin;
                continue;
            }
            if (p.begin > from) {
                const int64_t to = p.begin < end ? p.begin : end;
                out.push_back({from - us, to - from, from - m_startUs - cut});
            }
            if (p.end == kOpen)
                return out;
            cut += p.end - p.begin;
            from = p.end > from ? p.end : from;
        }
        if (from < end)
            out.push_back({from - us, end - from, from - m_startUs - cut});
        return out;
    }

private:
    struct Span
    {
        int64_t begin;
        int64_t end;
    };
    mutable std::mutex m_mutex;
    int64_t m_startUs = 0;
    bool m_started = false;
    std::vector<Span> m_pauses;
};

} // namespace rec
} // namespace sc
