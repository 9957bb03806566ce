#pragma once

// The bounded hand-over from the capture thread to the encoder thread. The
// capture side never waits: when the encoder is behind, the frame is not
// queued (the encoder repeats the previous picture in its slot) and the
// capture thread counts how long the queue has been full.

#include "core/Pipeline.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace sc {
namespace rec {

class FrameQueue
{
public:
    explicit FrameQueue(std::size_t capacity) : m_capacity(capacity ? capacity : 1) {}

    // False when full or closed.
    bool tryPush(VideoFrame&& frame)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closed || m_items.size() >= m_capacity)
                return false;
            m_items.push_back(std::move(frame));
        }
        m_ready.notify_one();
        return true;
    }

    enum class Pop { Frame, Timeout, Closed };

    // Waits up to `timeout` for a frame; Closed once closed and empty.
    Pop pop(VideoFrame& out, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait_for(lock, timeout, [this] { return !m_items.empty() || m_closed; });
        if (!m_items.empty()) {
            out = std::move(m_items.front());
            m_items.pop_front();
            return Pop::Frame;
        }
        return m_closed ? Pop::Closed : Pop::Timeout;
    }

    // No more frames will come; the rest can still be popped.
    void close()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }

    // Drops what is queued (the encoder gave up).
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.clear();
    }

    std::size_t capacity() const { return m_capacity; }
    std::size_t depth()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items.size();
    }

private:
    const std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<VideoFrame> m_items;
    bool m_closed = false;
};

} // namespace rec
} // namespace sc
