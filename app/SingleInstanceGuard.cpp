#include "app/SingleInstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cstring>

#include "platform/log/Log.h"

namespace {
const int kSegmentSize = 1024;
}

SingleInstanceGuard::SingleInstanceGuard(const QString& key)
    : m_strKey(key)
    , m_memory(key)
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (m_nLockFd >= 0)
        ::close(m_nLockFd);
}

bool SingleInstanceGuard::attachLive()
{
    if (!m_memory.attach(QSharedMemory::ReadWrite))
        return false;
    // A segment left by a killed owner has no other attachment: detaching
    // removes it, and the second attach then finds nothing.
    m_memory.detach();
    return m_memory.attach(QSharedMemory::ReadWrite);
}

void SingleInstanceGuard::writeOwnerName()
{
    const QByteArray name = m_strKey.toLocal8Bit();
    const int capacity = qMin(m_memory.size(), kSegmentSize);
    if (capacity <= 0)
        return;
    const int n = qMin(name.size(), capacity - 1);
    char* data = static_cast<char*>(m_memory.data());
    std::memcpy(data, name.constData(), static_cast<size_t>(n));
    data[n] = '\0';
}

SingleInstanceGuard::Result SingleInstanceGuard::check()
{
    // Serialise concurrent launches: without it both could see "not found"
    // and both create (one of them failing into an unguarded run).
    const QString lockPath = QDir::tempPath() + "/" + QString(m_strKey).replace('/', '_') + ".instance.lock";
    m_nLockFd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_nLockFd >= 0 && ::flock(m_nLockFd, LOCK_EX) != 0) {
        ::close(m_nLockFd);
        m_nLockFd = -1;
    }

    const bool another = attachLive();
    if (!another && m_memory.error() == QSharedMemory::NotFound) {
        if (m_memory.create(kSegmentSize, QSharedMemory::ReadWrite) || m_memory.error() == QSharedMemory::AlreadyExists)
            m_memory.attach(QSharedMemory::ReadWrite);
    }

    Result result = Unguarded;
    if (!m_memory.isAttached()) {
        Log("MAIN", 2, "single instance segment unusable: %s", qPrintable(m_memory.errorString()));
    } else if (m_memory.lock()) {
        if (another) {
            result = AnotherInstance;
        } else {
            writeOwnerName();
            result = OnlyInstance;
        }
        m_memory.unlock();
    } else {
        result = another ? AnotherInstance : OnlyInstance;
    }

    if (m_nLockFd >= 0) {
        ::flock(m_nLockFd, LOCK_UN);
        ::close(m_nLockFd);
        m_nLockFd = -1;
    }
    return result;
}
