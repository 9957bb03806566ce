#include "core/UserRuntime.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString UserRuntime::folder(QString* problem)
{
    QString path = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (path.isEmpty()) {
        // The cache folder sits in the user's home, where no one else can
        // make it first.
        const QString parent =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/ScreenRecorder");
        QDir().mkpath(parent);
        path = parent + QStringLiteral("/run");
        ::mkdir(QFile::encodeName(path).constData(), 0700);
    }
    return isPrivateFolder(path, problem) ? path : QString();
}

bool UserRuntime::isPrivateFolder(const QString& path, QString* problem)
{
    QString why;
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        why = QStringLiteral("%1 cannot be used: %2").arg(path, errnoText(errno));
    else if (!S_ISDIR(st.st_mode))
        why = QStringLiteral("%1 is not a folder (a link or a file stands there)").arg(path);
    else if (st.st_uid != ::geteuid())
        why = QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(st.st_uid);
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        why = QStringLiteral("%1 can be written by other users (mode %2)").arg(path).arg(st.st_mode & 07777, 4, 8,
                                                                                          QLatin1Char('0'));
    if (problem)
        *problem = why;
    return why.isEmpty();
}

bool UserRuntime::peerIsThisUser(qintptr fd, QString* problem)
{
    struct ucred cred = {};
    socklen_t size = sizeof(cred);
    QString why;
    if (fd < 0)
        why = QStringLiteral("the connection has no socket to ask");
    else if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        why = QStringLiteral("the other end's user is unknown: %1").arg(errnoText(errno));
    else if (cred.uid != ::geteuid())
        why = QStringLiteral("the other end (pid %1) runs as another user (uid %2)").arg(cred.pid).arg(cred.uid);
    if (problem)
        *problem = why;
    return why.isEmpty();
}

FileLock::FileLock(const QString& path)
{
    m_nFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_nFd < 0) {
        m_strProblem = QStringLiteral("%1 cannot be opened: %2").arg(path, errnoText(errno));
        return;
    }
    struct stat st = {};
    if (::fstat(m_nFd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        m_strProblem = QStringLiteral("%1 is not a file of ours").arg(path);
    } else if (::flock(m_nFd, LOCK_EX | LOCK_NB) == 0) {
        m_state = Held;
        return;
    } else if (errno == EWOULDBLOCK) {
        m_state = HeldElsewhere;
        m_strProblem = QStringLiteral("%1 is locked by another process").arg(path);
    } else {
        m_strProblem = QStringLiteral("%1 cannot be locked: %2").arg(path, errnoText(errno));
    }
    ::close(m_nFd);
    m_nFd = -1;
}

FileLock::~FileLock()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
}
