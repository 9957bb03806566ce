#pragma once

#include <QString>

// Places for this user's sockets and locks that other local users cannot
// reach. Anything in a shared folder such as /tmp can be made first by
// another user, who then listens, locks or links in our stead; so a folder
// is used only when it is a real directory (never a link), owned by us, and
// writable by nobody else.
class UserRuntime
{
public:
    // XDG_RUNTIME_DIR, or, when the session sets none, "ScreenRecorder/run"
    // in the user's cache folder (made on demand). Empty when that folder
    // fails the checks above; `problem` then says why, in words fit for the
    // log and for the user.
    static QString folder(QString* problem = nullptr);
    static bool isPrivateFolder(const QString& path, QString* problem = nullptr);
    // Whether the process at the other end of the connected local socket
    // `fd` runs as this user.
    static bool peerIsThisUser(qintptr fd, QString* problem = nullptr);
};

// An exclusive lock on a file, taken once and never waited for; the kernel
// lets go of it when the holder ends, however it ends. The file is opened
// without following a link, so a link planted at the path locks nothing.
class FileLock
{
public:
    enum State { Held, HeldElsewhere, Failed };

    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return m_state; }
    QString problem() const { return m_strProblem; }

private:
    int m_nFd = -1;
    State m_state = Failed;
    QString m_strProblem;
};
