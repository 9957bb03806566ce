#pragma once

// Helpers of every test folder: Qt Core only, no module or engine symbols.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

// Sets an environment variable for one scope (null: unsets it) and puts
// the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        value ? qputenv(name, value) : qunsetenv(name);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// `size` bytes that are the same on every run (the size is the seed).
inline QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator gen(size);
    for (int i = 0; i < size; ++i)
        data[i] = char(gen.bounded(256));
    return data;
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files of a folder, hidden ones included, by name.
inline QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A folder on another device than HOME, for copies across volumes; empty
// when this machine has none.
inline QString otherDeviceRoot()
{
    struct stat shm {}, home {};
    const bool apart = ::stat("/dev/shm", &shm) == 0 && ::stat(QFile::encodeName(QDir::homePath()).constData(), &home) == 0
                       && shm.st_dev != home.st_dev;
    return apart && QFileInfo("/dev/shm").isWritable() ? QStringLiteral("/dev/shm") : QString();
}

// Paths that cannot be made even by root (the tests run as root, so a
// folder's permissions stop nothing): they run through a regular file.
class UnwritablePath {
public:
    UnwritablePath() { m_ok = m_dir.isValid() && writeFile(m_dir.filePath("plain-file"), QByteArray()); }

    // False when the regular file could not be made.
    bool ok() const { return m_ok; }
    // `below` under the regular file.
    QString path(const QString& below) const { return m_dir.filePath("plain-file/" + below); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

// Another local user, played by running a command as "nobody" through
// setpriv: only root can do that.
const uint kOtherUserId = 65534;
// setpriv's arguments that run `command` as the other user.
inline QStringList asOtherUser(const QStringList& command)
{
    return QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command;
}

// As root with setpriv, and where the other user may run this test program:
// a build inside a folder closed to others (a checkout under a private
// temporary folder) cannot be started as that user.
inline bool canPlayOtherUser()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return false;
    return QProcess::execute(QStringLiteral("setpriv"),
                             asOtherUser({QStringLiteral("test"), QStringLiteral("-x"),
                                          QCoreApplication::applicationFilePath()}))
           == 0;
}

// A fresh folder straight in /tmp, which every user can reach, given
// `mode` (01777 lets everyone write there, as in /tmp itself).
class SharedFolder {
public:
    explicit SharedFolder(mode_t mode) : m_dir(QStringLiteral("/tmp/sr-shared-XXXXXX"))
    {
        m_ok = m_dir.isValid() && ::chmod(QFile::encodeName(m_dir.path()).constData(), mode) == 0;
    }

    bool ok() const { return m_ok; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

// A tiny volume of its own (tmpfs, mounted while it lives), full: no more
// files fit in it. ok() is false where mounting is not allowed; a test then
// skips.
class FullVolume {
public:
    // `folders` are made inside before the volume is filled.
    explicit FullVolume(const QStringList& folders = {})
    {
        if (!m_dir.isValid())
            return;
        const QByteArray path = QFile::encodeName(m_dir.path());
        m_mounted = ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=256k,nr_inodes=64") == 0;
        if (!m_mounted)
            return;
        for (const QString& folder : folders)
            QDir().mkpath(m_dir.filePath(folder));
        for (int i = 0; i < 1000 && !m_full; ++i) {
            QFile file(m_dir.filePath(QStringLiteral("filler-%1").arg(i)));
            m_full = !file.open(QIODevice::WriteOnly);
        }
    }
    ~FullVolume()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool ok() const { return m_mounted && m_full; }
    QString path(const QString& inside) const { return m_dir.filePath(inside); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_full = false;
};

} // namespace testsupport
