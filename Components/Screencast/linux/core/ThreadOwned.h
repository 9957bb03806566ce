#pragma once

// The state of one loop, such as the capture or the encoder loop: the loop
// claims it when it starts on its thread and lets go when it ends; in
// between, only that thread may touch it. Debug and ThreadSanitizer builds
// check every access and abort with the offending place in the stack;
// release builds keep none of it, a plain reference per access.

#include <cstdio>
#include <cstdlib>
#include <utility>

#if !defined(NDEBUG) || defined(__SANITIZE_THREAD__)
#define SC_CHECK_THREAD_OWNERS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SC_CHECK_THREAD_OWNERS 1
#endif
#endif

#ifdef SC_CHECK_THREAD_OWNERS
#include <atomic>
#include <thread>
#endif

namespace sc {

template <class T>
class ThreadOwned {
public:
    template <class... Args>
    explicit ThreadOwned(Args&&... args) : m_data(std::forward<Args>(args)...) {}
    ThreadOwned(const ThreadOwned&) = delete;
    ThreadOwned& operator=(const ThreadOwned&) = delete;

    // From now on only the calling thread gets at the state.
    void claim()
    {
#ifdef SC_CHECK_THREAD_OWNERS
        m_owner.store(std::this_thread::get_id(), std::memory_order_release);
#endif
    }
    // Any thread may again, once the owner is joined (setting up before
    // the loop starts, tearing down after it ended).
    void letGo()
    {
#ifdef SC_CHECK_THREAD_OWNERS
        m_owner.store(std::thread::id(), std::memory_order_release);
#endif
    }

    T& get()
    {
#ifdef SC_CHECK_THREAD_OWNERS
        const std::thread::id owner = m_owner.load(std::memory_order_acquire);
        if (owner != std::thread::id() && owner != std::this_thread::get_id()) {
            std::fprintf(stderr, "a loop's state touched from a thread other than its own\n");
            std::abort();
        }
#endif
        return m_data;
    }
    T* operator->() { return &get(); }

private:
    T m_data;
#ifdef SC_CHECK_THREAD_OWNERS
    std::atomic<std::thread::id> m_owner{std::thread::id()};
#endif
};

} // namespace sc
