#pragma once

// Engine threads carry a name of their own, so that a stack dump, `top -H`
// or /proc/<pid>/task/*/comm tells the capture loop from the encoder and
// the file writer. Threads that libraries start from one of them (x264's
// workers) inherit its name.

#include <pthread.h>

#include <thread>
#include <utility>

namespace sc {

// `name` is at most 15 characters, the kernel's limit.
template <typename Body>
std::thread startNamedThread(const char* name, Body&& body)
{
    return std::thread([name, body = std::forward<Body>(body)]() mutable {
        pthread_setname_np(pthread_self(), name);
        body();
    });
}

} // namespace sc
