// Recordings that end badly (a killed recorder, a full disk) decode to their
// end without error; a killed one keeps all but its last second.

#include "RecordingTestSupport.h"

#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstdarg>

#include <sys/resource.h>

extern "C" {
#include <libavutil/log.h>
}

using namespace et;

namespace {

std::atomic<int> g_errors{0};
void countErrors(void*, int level, const char*, va_list)
{
    g_errors += level <= AV_LOG_ERROR ? 1 : 0;
}

// Seconds of pictures and sound the file decodes to, and the decoder's
// complaints on the way.
struct Decoded {
    double video = 0, audio = 0;
    int errors = 0;
};
Decoded decodeAll(const QString& path, int fps)
{
    g_errors = 0;
    av_log_set_callback(countErrors);
    const QVector<testmedia::Picture> pictures = testmedia::pictures(path);
    const Decoded d{pictures.isEmpty() ? 0.0 : pictures.back().time + 1.0 / fps, testmedia::sound(path).size() / 8000.0,
                    g_errors.load()};
    av_log_set_callback(av_log_default_callback);
    return d;
}

// The movie's top-level boxes fill the file exactly: no torn box at its end.
bool wholeBoxes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    qint64 at = 0;
    while (at + 8 <= data.size()) {
        const quint32 size = qFromBigEndian<quint32>(data.constData() + at);
        if (size < 8)
            return false;
        at += size;
    }
    return at == data.size() && at > 0;
}

// A child process records (0, 0, 320, 240) at 30 fps, with system sound if asked, prints
// "recording" and waits to be killed; with a size limit, until the file cannot grow.
int recordChild(char** argv)
{
    const bool withSound = std::atoi(argv[4]) != 0;
    const long limit = std::atol(argv[5]);
    if (limit > 0) {
        const rlimit r{rlim_t(limit), rlim_t(limit)};
        std::signal(SIGXFSZ, SIG_IGN);   // a write past the limit fails instead
        setrlimit(RLIMIT_FSIZE, &r);
    }
    if (scInitialize() != kScInitOk)
        return 2;
    UseDisplay(0);
    const auto type = OutputVideoFileType(std::atoi(argv[3]));
    Callback callback;
    const int codec = type == kOutputGif ? kVideoCodecGif : kVideoCodecH264;
    auto recorder = record(&callback, type, argv[2], videoOpt(QRect(0, 0, 320, 240), 30, codec), sound(withSound));
    // As after the start countdown: the idle sound server hands over its first two seconds in
    // one piece, and the file waits for the sound it interleaves.
    if (withSound)
        usleep(2500000);
    if (!recorder || recorder->start() != 0)
        return 1;
    std::printf("recording\n");
    std::fflush(stdout);
    while (callback.errors().empty())
        usleep(10000);
    recorder.reset();
    return callback.errors() == std::vector<int>{int(SR_FileWriteFailed)} ? 0 : 3;
}

} // namespace

class TstCrashWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // The recorder in a child process, once it records.
    bool startChild(QProcess& child, const QString& path, int type, bool withSound, long limit = 0)
    {
        child.start(QCoreApplication::applicationFilePath(),
                    {"--record-child", path, QString::number(type), QString::number(withSound), QString::number(limit)});
        return child.waitForStarted(30000) && child.waitForReadyRead(30000)
               && child.readAllStandardOutput().contains("recording");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(scInitialize(), int(kScInitOk));
        UseDisplay(0);
    }
    void cleanupTestCase() { scUninitialize(); }
    void killedKeepsAllButTheLastSecond_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("withSound");
        QTest::newRow("mp4 with sound") << int(kOutputMp4) << true;
        QTest::newRow("mov") << int(kOutputMov) << false;
        QTest::newRow("gif") << int(kOutputGif) << false;
    }
    void killedKeepsAllButTheLastSecond()
    {
        QFETCH(int, type);
        QFETCH(bool, withSound);
        const QString path = m_dir.filePath(QString("killed-%1").arg(type));
        QProcess child;
        QElapsedTimer recording;
        QVERIFY(startChild(child, path, type, withSound));
        recording.start();
        QTest::qWait(1000 + QRandomGenerator::global()->bounded(1000));
        const double killedAt = recording.elapsed() / 1000.0;
        child.kill();   // SIGKILL: the file is never finished
        QVERIFY(child.waitForFinished(30000));

        const Decoded d = decodeAll(path, 30);
        QCOMPARE(d.errors, 0);
        QVERIFY2(d.video >= killedAt - 1.0, qPrintable(QString("%1 s of %2 s").arg(d.video).arg(killedAt)));
        QVERIFY2(!withSound || d.audio >= killedAt - 1.0, qPrintable(QString::number(d.audio)));
    }
    // The file reaches its size limit while recording: a write error, and
    // a file cut back to its last whole piece.
    void fullDiskLeavesADecodableFile()
    {
        const QString path = m_dir.filePath("full.mp4");
        const long limit = 12000;
        QProcess child;
        QVERIFY(startChild(child, path, kOutputMp4, true, limit));
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(QFileInfo(path).size() <= limit);
        QVERIFY(wholeBoxes(path));

        const Decoded d = decodeAll(path, 30);
        QCOMPARE(d.errors, 0);
        QVERIFY2(d.video > 0.5 && d.audio > 0.5, qPrintable(QString("%1 s, %2 s").arg(d.video).arg(d.audio)));
    }
    // A full-HD GIF at 30 fps is more than one thread can convert: capture slows down instead
    // of failing, and the file keeps its length in slots of the asked rate.
    void slowEncoderGetsFewerFrames()
    {
        const QString path = m_dir.filePath("big.gif");
        Callback callback;
        auto recorder = record(&callback, kOutputGif, path, videoOpt(QRect(0, 0, 1920, 1080), 30, kVideoCodecGif));
        QVERIFY(recorder && recorder->start() == 0);
        QVERIFY(waitForFrames(recorder.get(), 150));
        recorder.reset();
        QCOMPARE(callback.errors(), std::vector<int>{});
        const Probe p = probe(path);
        QVERIFY2(p.frames >= 150 && p.duration >= 4.9, qPrintable(QString("%1 frames, %2 s").arg(p.frames).arg(p.duration)));
    }
};

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--record-child") == 0)
        return recordChild(argv);
    QCoreApplication app(argc, argv);
    TstCrashWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash_window.moc"
