#pragma once

// Data that more than one thread touches, kept together with the mutex that
// guards it: the only way in is a Lock, so no line can read or write the
// data without holding the mutex.

#include <mutex>
#include <utility>

namespace sc {

template <class T>
class Guarded {
public:
    class Lock {
    public:
        explicit Lock(Guarded& owner) : m_lock(owner.m_mutex), m_data(&owner.m_data) {}
        T* operator->() const { return m_data; }
        T& operator*() const { return *m_data; }
        // For waiting on a condition variable tied to this data.
        std::unique_lock<std::mutex>& lock() { return m_lock; }

    private:
        std::unique_lock<std::mutex> m_lock;
        T* m_data;
    };

    template <class... Args>
    explicit Guarded(Args&&... args) : m_data(std::forward<Args>(args)...) {}
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    Lock lock() { return Lock(*this); }
    // A copy taken under the lock.
    T get()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_data;
    }
    void set(T value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data = std::move(value);
    }

private:
    std::mutex m_mutex;
    T m_data;
};

} // namespace sc
