#pragma once

// Files a watermark preset may be pointed at that are not usable pictures,
// made in a private folder, and the words the user is told for each.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace hostile {

inline quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray chunk(const char* type, const QByteArray& body)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(body.size()), out.data());
    const QByteArray typed = QByteArray(type) + body;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(typed), crc.data());
    return out + typed + crc;
}

// A PNG of a few hundred bytes that declares `width` x `height` RGBA pixels:
// only its first row is present, so reading it whole would allocate the
// declared size and then fail.
inline QByteArray hugeDeclaredPng(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
    const QByteArray firstRow(1 + 4 * int(width), '\0');
    // qCompress puts the length before the zlib stream.
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", qCompress(firstRow).mid(4))
        + chunk("IEND", QByteArray());
}

// Opens the writing end of a pipe once `boundMs` passed, unless stopped
// before: a reader stuck in open() then gets an empty pipe, so a test of a
// reader that waits on a pipe ends instead of hanging. released() tells
// that it had to.
class PipeRelease
{
public:
    PipeRelease(const QString& path, int boundMs) : m_path(QFile::encodeName(path)), m_bound(boundMs)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~PipeRelease() { stop(); }
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool released() const { return m_released; }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(m_bound), [this] { return m_stopped; }))
            return;
        while (!m_stopped) {
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                m_released = true;
                ::close(fd);
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stopped; });
        }
    }

    QByteArray m_path;
    int m_bound;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = false;
    std::atomic<bool> m_released{false};
};

// What a hostile path is and what the user must be told about it.
struct Case
{
    const char* name;
    const char* file;   // in the folder
    const char* words;  // part of the reason given
};

inline const QList<Case>& cases()
{
    static const QList<Case> all{
        {"pipe", "pipe.png", "is not a picture file"},
        {"huge declared size", "huge.png", "20000 x 20000 pixels"},
        {"text named .png", "notes.png", "is not a picture in a format"},
        {"missing file", "gone.png", "does not exist"},
        {"symlink to /dev/zero", "zero.png", "is not a picture file"},
        {"folder named .png", "folder.png", "is not a picture file"},
    };
    return all;
}

// The test's table: one row per case, columns "file" and "words".
inline void addRows()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("words");
    for (const Case& c : cases())
        QTest::newRow(c.name) << QString(c.file) << QString(c.words);
}

// Makes the case's file in `dir`; its path.
inline QString make(const QTemporaryDir& dir, const QString& file)
{
    const QString path = dir.filePath(file);
    bool ok = true;
    if (file == "pipe.png") {
        ok = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    } else if (file == "huge.png") {
        QFile out(path);
        ok = out.open(QIODevice::WriteOnly) && out.write(hugeDeclaredPng(20000, 20000)) > 0;
    } else if (file == "notes.png") {
        QFile out(path);
        ok = out.open(QIODevice::WriteOnly) && out.write("These are notes, not a picture.\n") > 0;
    } else if (file == "zero.png") {
        ok = QFile::link("/dev/zero", path);
    } else if (file == "folder.png") {
        ok = QDir(dir.path()).mkdir(file);
    }
    return ok ? path : QString();
}

} // namespace hostile
