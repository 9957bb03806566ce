#pragma once

// Helpers shared by the test folders, unit and end-to-end alike. Qt Core
// only, with no module or engine symbols, so that any test can include it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>

#include <sys/stat.h>
#include <sys/types.h>

namespace testsupport {

// Sets an environment variable for one scope (null: unsets it) and puts
// the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name, m_old.constData(), 1);
        else
            unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had = false;
    QByteArray m_old;
};

// Threads of this process now.
inline int threadCount()
{
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

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

// The device a path lies on; dev_t(-1) when it does not exist.
inline dev_t deviceOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

// A folder on another device than HOME, for copies across volumes; empty
// when this machine has none.
inline QString otherDeviceRoot()
{
    const QString shm = QStringLiteral("/dev/shm");
    if (QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() && deviceOf(shm) != deviceOf(QDir::homePath()))
        return shm;
    return QString();
}

// Paths that cannot be made even by root (the tests run as root, so a
// folder's permissions stop nothing): they run through a regular file.
class UnwritablePath {
public:
    UnwritablePath() { m_ok = m_dir.isValid() && writeFile(m_dir.filePath("plain-file"), QByteArray()); }
    UnwritablePath(const UnwritablePath&) = delete;
    UnwritablePath& operator=(const UnwritablePath&) = delete;

    // False when the regular file could not be made.
    bool ok() const { return m_ok; }
    // `below` under the regular file.
    QString path(const QString& below) const { return m_dir.filePath("plain-file/" + below); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

} // namespace testsupport
