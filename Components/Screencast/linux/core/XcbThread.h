#pragma once

// Plumbing of the engine's threads that wait on an X connection of their
// own (the device watcher, the hotkeys): a thread woken through an eventfd
// that can be stopped from anywhere, its own callbacks included.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace sc {

class XcbThread {
public:
    // `name` starts the log lines about the thread; `threadName` is the
    // thread's own (at most 15 characters).
    XcbThread(const char* name, const char* threadName) : m_name(name), m_threadName(threadName) {}
    // Waits for the thread as join() does and closes the eventfd.
    ~XcbThread();
    XcbThread(const XcbThread&) = delete;
    XcbThread& operator=(const XcbThread&) = delete;

    // Makes the eventfd that wakes the thread; false (logged) without one.
    bool open();
    // Runs `body` on the thread.
    void start(std::function<void()> body);
    // Asks the thread to stop, wakes it and waits for it as join() does.
    void stop();
    // Waits for the thread to end. On the thread itself (a callback that
    // stops it) the thread is let go instead and ends after that callback.
    void join();

    // Wakes the thread from its poll; any thread.
    void wake();
    // Takes the wake-ups so far, so that the next poll waits again.
    void clearWake();
    int wakeFd() const { return m_wakeFd; }
    bool stopping() const { return m_stop; }

private:
    const char* const m_name;
    const char* const m_threadName;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_wakeFd = -1;
};

} // namespace sc
