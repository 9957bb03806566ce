#pragma once

// An engine object whose work runs once on a thread of its own (a sound
// conversion, an export). The module may release it at any moment: before
// the end the work sees `cancelled()` and stops, and release() waits for
// it; from inside the work's own completion callback the thread cannot wait
// for itself, so it ends the object once the callback returned.

#include <atomic>
#include <mutex>
#include <thread>
#include "core/NamedThread.h"

namespace sc {
namespace rec {

template <class Interface>
class BackgroundJob : public Interface
{
public:
    void release() override
    {
        m_cancel = true;
        if (std::this_thread::get_id() == m_thread.get_id()) {
            m_releasedInCallback = true;
            return;
        }
        m_thread.join();
        delete this;
    }

protected:
    ~BackgroundJob() override = default;

    // Starts the thread; the last step of the derived constructor.
    void start()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_thread = startNamedThread("sr-convert", [this] {
            {
                // Until start() has stored the thread.
                std::lock_guard<std::mutex> wait(m_mutex);
            }
            work();
            if (m_releasedInCallback) {
                m_thread.detach();
                delete this;
            }
        });
    }
    // Does the job and calls the completion callback unless cancelled.
    virtual void work() = 0;
    bool cancelled() const { return m_cancel.load(); }
    const std::atomic<bool>& cancelFlag() const { return m_cancel; }

private:
    std::atomic<bool> m_cancel{false};
    bool m_releasedInCallback = false;   // the job's thread only
    std::mutex m_mutex;
    std::thread m_thread;
};

} // namespace rec
} // namespace sc
