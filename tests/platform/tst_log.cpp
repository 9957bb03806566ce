// The log library: whole lines under concurrency, levels, the stderr
// fallback and messages that look like formats or hold line breaks.
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/log/Log.h"

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Sends file descriptor 2 to a file for the life of the object.
class StderrCapture
{
public:
    explicit StderrCapture(const QString& path)
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int fd = open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }

private:
    int m_saved = -1;
};

} // namespace

Q_DECLARE_METATYPE(LogLevel)

class TstLog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        SetLogLevel(LogLevel::Info);
    }

    void cleanup() { SetLogfile(nullptr); }

    void linesStayWholeAcrossThreads()
    {
        const QString path = m_dir.filePath(QStringLiteral("threads.log"));
        QCOMPARE(SetLogfile(path.toLocal8Bit().constData()), 0);
        const int threads = 8;
        const int perThread = 400;
        const std::string payload(700, 'x'); // longer than the library's small buffer
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([t, &payload] {
                for (int i = 0; i < perThread; ++i)
                    Log("THR", LogLevel::Info, "t=%d i=%d %s", t, i, payload.c_str());
            });
        for (std::thread& worker : workers)
            worker.join();
        SetLogfile(nullptr);

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), threads * perThread);
        const QRegularExpression shape(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[\\d+\\] "
            "\\[THR\\] INFO: t=(\\d+) i=(\\d+) x{700}$"));
        QSet<QString> seen;
        for (const QString& line : lines) {
            const QRegularExpressionMatch match = shape.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line.left(120)));
            seen.insert(match.captured(1) + QLatin1Char('/') + match.captured(2));
        }
        QCOMPARE(seen.size(), threads * perThread);
    }

    void levelsAndTheStderrFallback()
    {
        const QString file = m_dir.filePath(QStringLiteral("file.log"));
        const QString err = m_dir.filePath(QStringLiteral("stderr.txt"));
        {
            StderrCapture capture(err);
            QCOMPARE(SetLogfile(file.toLocal8Bit().constData()), 0);
            SetLogLevel(LogLevel::Error);
            Log("OUT", LogLevel::Info, "dropped");
            Log("OUT", LogLevel::Error, "to-file");
            // A file that cannot be opened goes back to stderr.
            QCOMPARE(SetLogfile((file + QStringLiteral("/sub/x.log")).toLocal8Bit().constData()), -1);
            Log("OUT", LogLevel::Error, "to-stderr");
        }
        const QStringList inFile = readLines(file);
        QCOMPARE(inFile.size(), 1);
        QVERIFY(inFile.first().endsWith(QLatin1String("[OUT] ERROR: to-file")));
        const QStringList inErr = readLines(err);
        QCOMPARE(inErr.size(), 1);
        QVERIFY(inErr.at(0).endsWith(QLatin1String("[OUT] ERROR: to-stderr")));
    }

    // Each level is written under its own name and passes a threshold at or
    // below it; a bare number is no level at all.
    void namedLevelsAndTheirThreshold_data()
    {
        QTest::addColumn<LogLevel>("threshold");
        QTest::addColumn<QStringList>("kept");
        const QStringList all = {QStringLiteral("DEBUG"), QStringLiteral("INFO"), QStringLiteral("WARNING"),
                                 QStringLiteral("ERROR")};
        QTest::newRow("debug") << LogLevel::Debug << all;
        QTest::newRow("info") << LogLevel::Info << QStringList(all.mid(1));
        QTest::newRow("warning") << LogLevel::Warning << QStringList(all.mid(2));
        QTest::newRow("error") << LogLevel::Error << QStringList(all.mid(3));
    }

    void namedLevelsAndTheirThreshold()
    {
        static_assert(!std::is_convertible<int, LogLevel>::value, "a level is never a bare number");
        QFETCH(LogLevel, threshold);
        QFETCH(QStringList, kept);
        const QString path = m_dir.filePath(QStringLiteral("levels-%1.log").arg(int(threshold)));
        QCOMPARE(SetLogfile(path.toLocal8Bit().constData()), 0);
        SetLogLevel(threshold);
        QCOMPARE(GetLogLevel(), threshold);
        for (LogLevel level : {LogLevel::Debug, LogLevel::Info, LogLevel::Warning, LogLevel::Error})
            Log("LVL", level, "line");
        SetLogfile(nullptr);
        QStringList written;
        for (const QString& line : readLines(path))
            written << line.section(QStringLiteral("[LVL] "), 1).section(QLatin1Char(':'), 0, 0);
        QCOMPARE(written, kept);
    }

    void messagesThatLookLikeFormatsOrBreakLines()
    {
        const QString path = m_dir.filePath(QStringLiteral("text.log"));
        QCOMPARE(SetLogfile(path.toLocal8Bit().constData()), 0);
        Log("TXT", LogLevel::Info, "%s", "100% done %s %n %d");
        Log("TXT", LogLevel::Info, "%d%%", 5);
        Log("TXT", LogLevel::Info, "first\nsecond\r\nthird");
        Log(nullptr, LogLevel::Info, "no module");
        SetLogfile(nullptr);
        // Reopening appends.
        QCOMPARE(SetLogfile(path.toLocal8Bit().constData()), 0);
        Log("TXT", LogLevel::Info, "appended");
        SetLogfile(nullptr);
        // Until the file is too large: then it is kept as ".1" and a new one starts.
        QFile large(m_dir.filePath(QStringLiteral("large.log")));
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(5 * 1024 * 1024 + 1));
        large.close();
        QCOMPARE(SetLogfile(large.fileName().toLocal8Bit().constData()), 0);
        Log("TXT", LogLevel::Info, "fresh");
        SetLogfile(nullptr);
        QCOMPARE(readLines(large.fileName()).size(), 1);
        QCOMPARE(QFileInfo(large.fileName() + QStringLiteral(".1")).size(), 5 * 1024 * 1024 + 1);

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines.at(0).endsWith(QLatin1String("[TXT] INFO: 100% done %s %n %d")));
        QVERIFY(lines.at(1).endsWith(QLatin1String("[TXT] INFO: 5%")));
        QVERIFY(lines.at(2).endsWith(QLatin1String("[TXT] INFO: first second  third")));
        QVERIFY(lines.at(3).endsWith(QLatin1String("[-] INFO: no module")));
        QVERIFY(lines.at(4).endsWith(QLatin1String("[TXT] INFO: appended")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TstLog)
#include "tst_log.moc"
