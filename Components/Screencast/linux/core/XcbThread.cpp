#include "core/XcbThread.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

#include <cerrno>
#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace sc {

XcbThread::~XcbThread()
{
    join();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

bool XcbThread::open()
{
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        Log(kLogModule, LogLevel::Error, "%s: eventfd failed (errno %d)", m_name, errno);
        return false;
    }
    return true;
}

void XcbThread::start(std::function<void()> body)
{
    m_thread = startNamedThread(m_threadName, std::move(body));
}

void XcbThread::stop()
{
    m_stop = true;
    wake();
    join();
}

void XcbThread::join()
{
    if (!m_thread.joinable())
        return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

void XcbThread::wake()
{
    const uint64_t one = 1;
    if (m_wakeFd >= 0) {
        ssize_t written = write(m_wakeFd, &one, sizeof one);
        (void)written;   // a full counter already wakes the thread
    }
}

void XcbThread::clearWake()
{
    uint64_t count;
    ssize_t got = read(m_wakeFd, &count, sizeof count);
    (void)got;
}

} // namespace sc
