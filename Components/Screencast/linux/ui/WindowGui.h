#pragma once

// The engine's on-screen windows live on the GUI thread, whatever thread
// asks for them; their callbacks go out on a thread of their own, since the
// module expects engine callbacks off the GUI thread.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sc {
namespace rec {

// A QApplication exists (the engine may be used without widgets).
bool haveWidgets();
bool onGuiThread();

// Runs `job` on the GUI thread and waits for it; at once when called there.
// From another thread the GUI thread must be running its event loop.
void runOnGui(const std::function<void()>& job);

// Runs `job` on `context`'s thread without waiting (at once when called
// there); dropped when `context` is deleted before it runs.
void postTo(QObject* context, const std::function<void()>& job);

// A thread that runs posted callbacks one after the other. stop() (and the
// destructor) runs what is still queued and joins; jobs posted after it are
// dropped, so nothing runs once stop() returned. Shared with GUI objects
// that may outlive their owner by a turn of the event loop.
class CallbackThread {
public:
    CallbackThread();
    ~CallbackThread();
    CallbackThread(const CallbackThread&) = delete;
    CallbackThread& operator=(const CallbackThread&) = delete;

    void post(std::function<void()> job);
    // Must not be called from a posted job.
    void stop();

private:
    void run();

    std::mutex m_joinMutex;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace rec
} // namespace sc
