// Sound-only recording through the engine's interface, against the test
// environment's sound server: what is recorded (length, pauses, content),
// conversion into every audio format, restoring a recording whose process
// was killed, and the errors (no source, no server, a vanishing device,
// targets that exist).

#include "AudioTestSupport.h"
#include "tests/support/RecorderTestHelpers.h"
#include "tests/support/TestHelpers.h"

#include "Screencast.h"

#include "rec/AudioTempFiles.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>

#include <sys/resource.h>
#include <unistd.h>

using namespace audiotest;
using testsupport::ScopedEnv;
using testsupport::UnwritablePath;

namespace {

using Recorded = testsupport::RecorderErrors;

class Converted : public AudioConvertCallback {
public:
    void OnComplete(int result) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.push_back(result);
        m_done.notify_all();
    }
    // The result, or -1 when none came within `ms`.
    int wait(int ms = 20000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_results.empty(); });
        return m_results.empty() ? -1 : m_results.front();
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(m_results.size());
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<int> m_results;
};

QString lastRecording() { return QString::fromStdString(sc::rec::lastAudioRecordingPath()); }
QString engineFolder() { return QString::fromStdString(sc::rec::audioTempFolder()); }

QStringList partFiles()
{
    return QDir(engineFolder()).entryList({"*.part.wav"}, QDir::Files | QDir::Hidden);
}

// Hidden leftovers of conversions in a folder.
QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
}

// The tone is there all along: no stretch of 50 ms is silent. The first
// moments may be: the sound server starts a device's sound a little after
// the recorder connects.
bool toneThroughout(const std::vector<float>& s, std::size_t skipFrames = 4800)
{
    const std::size_t window = 2400;
    for (std::size_t from = skipFrames; from + window <= s.size() / 2; from += window)
        if (rms(s, from, from + window) < 0.02)
            return false;
    return true;
}

// Records for `ms` with system sound; null on failure.
bool recordFor(int ms, Recorded& callback, int channels = 2)
{
    CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, channels, nullptr);
    if (!recorder)
        return false;
    if (recorder->start() != 0)
        return false;
    QThread::msleep(ulong(ms));
    recorder.reset();
    return true;
}

// The child of restoreAfterKill: records until it is killed.
int recordUntilKilled()
{
    static Recorded callback;
    CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, 2, nullptr);
    if (!recorder || recorder->start() != 0)
        return 2;
    std::printf("recording\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

// The child of fullDiskEndsTheRecording: records with a file size limit,
// as on a disk that fills up, and prints the error and the length kept.
int recordPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);   // the write fails with EFBIG instead
    const rlimit limit{200000, 200000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 3;
    static Recorded callback;
    CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, 2, nullptr);
    if (!recorder || recorder->start() != 0)
        return 2;
    QElapsedTimer timer;
    timer.start();
    while (callback.errors().empty() && timer.elapsed() < 8000)
        QThread::msleep(20);
    recorder.reset();
    const std::vector<int> errors = callback.errors();
    std::printf("%d %d %.3f\n", int(errors.size()), errors.empty() ? 0 : errors[0], GetAudioRecordDuration());
    std::fflush(stdout);
    return 0;
}

} // namespace

class TstAudioRecord : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Tone> m_tone;
    QTemporaryDir m_out;

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("PULSE_SERVER"), "run the e2e tests inside scripts/with-test-env.sh");
        QVERIFY2(soundServerRuns(), "the test environment's sound server does not answer");
        QVERIFY(m_out.isValid());
        QVERIFY(toneSettles(1000, m_tone));
    }

    void cleanupTestCase() { m_tone.reset(); }

    void refusedWithoutASource()
    {
        Recorded callback;
        QVERIFY(!scAudioRecord(&callback, 0, 0, 2, nullptr));
        QVERIFY(callback.errors().empty());
    }

    void refusedWithoutASoundServer()
    {
        ScopedEnv env("PULSE_SERVER", "unix:/nonexistent-sr-test/socket");
        Recorded callback;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!scAudioRecord(&callback, 1, 1, 2, nullptr));
        QVERIFY(timer.elapsed() < 2500);
        QVERIFY(partFiles().isEmpty());
    }

    // Two seconds of system sound: the engine's file grows while it
    // records, and ends as a WAV of two seconds with the tone in it.
    void recordsTwoSeconds()
    {
        Recorded callback;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, 2, nullptr);
        QVERIFY(recorder);
        QCOMPARE(partFiles().size(), 1);
        QCOMPARE(recorder->start(), 0);
        QThread::msleep(1000);
        const int64_t early = recorder->tempFileSize();
        const double earlyDuration = GetAudioRecordDuration();
        QVERIFY2(early > 44 + 192000 / 2, qPrintable(QString::number(early)));
        QVERIFY(earlyDuration > 0.7 && earlyDuration < 1.1);
        // The size reported is the file's.
        const QString part = engineFolder() + "/" + partFiles().value(0);
        QVERIFY(qAbs(QFileInfo(part).size() - recorder->tempFileSize()) < 192000 / 5);
        QThread::msleep(1000);
        QVERIFY(recorder->tempFileSize() > early + 150000);
        recorder.reset();

        QVERIFY(callback.errors().empty());
        QVERIFY(partFiles().isEmpty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(qAbs(duration - 2.0) < 0.1, qPrintable(QString::number(duration)));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.codec, QString("pcm_s16le"));
        QCOMPARE(p.sampleRate, 48000);
        QCOMPARE(p.channels, 2);
        QVERIFY(qAbs(p.duration - duration) < 0.01);
        const std::vector<float> s = decode(lastRecording());
        QVERIFY(toneThroughout(s));
        QVERIFY(qAbs(crossingFrequency(s, 0, s.size() / 2) - 1000) < 20);
    }

    // The recording in every audio format: decodable, the right codec and
    // length, the tone still in it.
    void convertsToEveryFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("codec");
        QTest::newRow("M4A") << 4 << "m4a" << "aac";
        QTest::newRow("CAF") << 5 << "caf" << "alac";
        QTest::newRow("MP3") << 6 << "mp3" << "mp3";
        QTest::newRow("OGG") << 7 << "ogg" << "vorbis";
        QTest::newRow("OPUS") << 8 << "opus" << "opus";
        QTest::newRow("FLAC") << 9 << "flac" << "flac";
        QTest::newRow("WMA") << 10 << "wma" << "wmav2";
    }
    void convertsToEveryFormat()
    {
        QFETCH(int, format);
        QFETCH(QString, suffix);
        QFETCH(QString, codec);
        const double recorded = GetAudioRecordDuration();
        QVERIFY(recorded > 1.5);
        const QString target = m_out.filePath("Audio Recording é." + suffix);
        Converted done;
        CBasePtr<CAudioConvertObject> job = scAudioConvert(&done, nullptr, target.toUtf8().constData(), format);
        QVERIFY(job);
        QCOMPARE(done.wait(), 0);
        job.reset();
        QCOMPARE(done.count(), 1);

        const Probe p = probe(target);
        QCOMPARE(p.codec, codec);
        QVERIFY2(qAbs(p.duration - recorded) < 0.2, qPrintable(QString("%1 s of %2").arg(p.duration).arg(recorded)));
        const std::vector<float> s = decode(target);
        const std::size_t n = s.size() / 2;
        QVERIFY(n > 48000);
        QVERIFY(rms(s, n / 4, 3 * n / 4) > 0.02);
        QVERIFY(qAbs(crossingFrequency(s, n / 4, 3 * n / 4) - 1000) < 20);
        QVERIFY(hiddenFiles(m_out.path()).isEmpty());
    }

    // Nothing is overwritten: an existing target is refused before any
    // work, and the recording itself stays for another try.
    void conversionNeverOverwrites()
    {
        const QString target = m_out.filePath("exists.mp3");
        {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        Converted done;
        QVERIFY(!scAudioConvert(&done, nullptr, target.toUtf8().constData(), 6));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
        QVERIFY(!scAudioConvert(&done, nullptr, nullptr, 6));
        QVERIFY(!scAudioConvert(&done, nullptr, "", 6));
        QVERIFY(!scAudioConvert(&done, nullptr, m_out.filePath("x.mp4").toUtf8().constData(), 0));
        QVERIFY(!scAudioConvert(&done, nullptr, m_out.filePath("x.png").toUtf8().constData(), 11));
        QCOMPARE(done.count(), 0);
        QVERIFY(QFileInfo::exists(lastRecording()));
    }

    // A file of the user's (mono, 44.1 kHz) converts as well; a file that
    // is no sound reports failure and leaves nothing behind.
    void convertsAGivenFile()
    {
        const QString source = m_out.filePath("given.wav");
        QVERIFY(succeeds("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                    "sine=frequency=440:duration=1.5", "-ar", "44100", "-ac", "1", source}));
        QVERIFY(QFileInfo::exists(source));
        const QString target = m_out.filePath("given.ogg");
        Converted done;
        CBasePtr<CAudioConvertObject> job =
            scAudioConvert(&done, source.toUtf8().constData(), target.toUtf8().constData(), 7);
        QVERIFY(job);
        QCOMPARE(done.wait(), 0);
        job.reset();
        const Probe p = probe(target);
        QCOMPARE(p.codec, QString("vorbis"));
        QVERIFY(qAbs(p.duration - 1.5) < 0.2);

        const QString junk = m_out.filePath("junk.wav");
        {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        const QString bad = m_out.filePath("bad.flac");
        Converted failed;
        job = scAudioConvert(&failed, junk.toUtf8().constData(), bad.toUtf8().constData(), 9);
        QVERIFY(job);
        QCOMPARE(failed.wait(), 1);
        job.reset();
        QVERIFY(!QFileInfo::exists(bad));
        QVERIFY(hiddenFiles(m_out.path()).isEmpty());

        // A folder that cannot be written (under a regular file).
        Converted unwritable;
        job = scAudioConvert(&unwritable, source.toUtf8().constData(), (junk + "/out.flac").toUtf8().constData(), 9);
        QVERIFY(job);
        QCOMPARE(unwritable.wait(), 2);
        job.reset();
    }

    // Released while it runs: cancelled, no callback, no file.
    void releaseCancelsTheConversion()
    {
        const QString source = m_out.filePath("long.wav");
        QVERIFY(succeeds("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                    "sine=frequency=440:duration=600", "-ar", "48000", "-ac", "2", source},
                         60000));
        const QString target = m_out.filePath("long.ogg");
        Converted done;
        CBasePtr<CAudioConvertObject> job =
            scAudioConvert(&done, source.toUtf8().constData(), target.toUtf8().constData(), 7);
        QVERIFY(job);
        QThread::msleep(100);
        QElapsedTimer timer;
        timer.start();
        job.reset();
        QVERIFY(timer.elapsed() < 2000);
        QThread::msleep(100);
        QCOMPARE(done.count(), 0);
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(hiddenFiles(m_out.path()).isEmpty());
        QFile::remove(source);
    }

    // A paused second is not in the recording: the length is what ran,
    // and the tone goes on without a silent gap where the pause was.
    void pauseLeavesTheSpanOut()
    {
        Recorded callback;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, 2, nullptr);
        QVERIFY(recorder);
        QVERIFY(recorder->pause() != 0);   // not started yet
        QCOMPARE(recorder->start(), 0);
        QThread::msleep(700);
        QCOMPARE(recorder->pause(), 0);
        QCOMPARE(recorder->pause(), 0);
        const double atPause = GetAudioRecordDuration();
        QThread::msleep(1000);
        QVERIFY(GetAudioRecordDuration() - atPause < 0.15);   // nothing more written while paused
        QCOMPARE(recorder->resume(), 0);
        QThread::msleep(700);
        recorder.reset();
        QVERIFY(callback.errors().empty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(qAbs(duration - 1.4) < 0.12, qPrintable(QString::number(duration)));
        const std::vector<float> s = decode(lastRecording());
        QVERIFY(qAbs(double(s.size() / 2) / 48000 - duration) < 0.01);
        QVERIFY(toneThroughout(s));
    }

    void monoWhenAskedFor()
    {
        Recorded callback;
        QVERIFY(recordFor(500, callback, 1));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.channels, 1);
        QVERIFY(qAbs(p.duration - 0.5) < 0.1);
    }

    // While a sound recording runs its files are not converted, and a
    // restore does not take them for interrupted ones.
    void recordingInProgressIsLeftAlone()
    {
        Recorded callback;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, 2, nullptr);
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        QThread::msleep(300);
        Converted done;
        QVERIFY(!scAudioConvert(&done, nullptr, m_out.filePath("busy.mp3").toUtf8().constData(), 6));
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);
        QCOMPARE(partFiles().size(), 1);
        QThread::msleep(300);
        recorder.reset();
        QVERIFY(qAbs(GetAudioRecordDuration() - 0.6) < 0.1);
        QVERIFY(partFiles().isEmpty());
    }

    // Prepared and released without start: no recording was made, so the
    // last one stays.
    void unstartedRecordingKeepsTheLastOne()
    {
        const double before = GetAudioRecordDuration();
        const qint64 size = QFileInfo(lastRecording()).size();
        Recorded callback;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&callback, 1, 0, 2, nullptr);
        QVERIFY(recorder);
        QThread::msleep(100);
        recorder.reset();
        QCOMPARE(GetAudioRecordDuration(), before);
        QCOMPARE(QFileInfo(lastRecording()).size(), size);
        QVERIFY(partFiles().isEmpty());
    }

    // A process killed while recording leaves its file; the next start
    // makes it a playable recording, once.
    void restoreAfterKill()
    {
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--record-until-killed"});
        QVERIFY(child.waitForStarted(5000));
        QVERIFY(child.waitForReadyRead(10000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("recording"));
        // Until 1.2 s of sound are on disk.
        QElapsedTimer timer;
        timer.start();
        qint64 size = 0;
        while (timer.elapsed() < 10000) {
            const QStringList parts = partFiles();
            size = parts.size() == 1 ? QFileInfo(engineFolder() + "/" + parts[0]).size() : 0;
            if (size > 44 + int(1.2 * 192000))
                break;
            QThread::msleep(20);
        }
        QVERIFY(size > 44 + int(1.2 * 192000));
        child.kill();   // SIGKILL: no chance to finish the file
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(partFiles().size(), 1);

        QCOMPARE(RestoreAudioRecordTempFiles(), 1);
        QVERIFY(partFiles().isEmpty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(duration >= 1.2 && duration < 3.0, qPrintable(QString::number(duration)));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.codec, QString("pcm_s16le"));
        QVERIFY(qAbs(p.duration - duration) < 0.01);
        QVERIFY(toneThroughout(decode(lastRecording()), 4800));
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);

        // And it converts like any recording.
        const QString target = m_out.filePath("restored.m4a");
        Converted done;
        CBasePtr<CAudioConvertObject> job = scAudioConvert(&done, nullptr, target.toUtf8().constData(), 4);
        QVERIFY(job);
        QCOMPARE(done.wait(), 0);
        job.reset();
        QVERIFY(qAbs(probe(target).duration - duration) < 0.2);
    }

    // Leftovers without sound are not offered.
    void emptyLeftoversAreNotOffered()
    {
        const QString empty = engineFolder() + "/rec-1-1-0.part.wav";
        {
            QFile f(empty);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("RIFF");
        }
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);
        QVERIFY(!QFileInfo::exists(empty));
    }

    // The microphone goes away: error 6 once, the sound so far is kept,
    // and nothing is called after release.
    void vanishingDeviceEndsTheRecording()
    {
        ScopedSink sink("srtest_rec_gone");
        QVERIFY(sink.ok());
        Tone tone(1000, 20, sink.name());
        QVERIFY(tone.ok());
        Recorded callback;
        CBasePtr<CAudioRecoderObject> recorder =
            scAudioRecord(&callback, 0, 1, 2, sink.monitor().toUtf8().constData());
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        QThread::msleep(500);
        tone.stop();
        sink.unload();
        QElapsedTimer timer;
        timer.start();
        while (callback.errors().empty() && timer.elapsed() < 3000)
            QThread::msleep(20);
        QCOMPARE(callback.errors(), std::vector<int>{SR_MicInterrupted});
        recorder.reset();
        QThread::msleep(100);
        QCOMPARE(callback.errors().size(), std::size_t(1));
        const double duration = GetAudioRecordDuration();
        QVERIFY2(duration > 0.3, qPrintable(QString::number(duration)));
        QVERIFY(qAbs(probe(lastRecording()).duration - duration) < 0.01);
    }

    // The disk refuses more sound: error 2 once, and what was written is
    // a complete recording.
    void fullDiskEndsTheRecording()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--record-past-size-limit"});
        QVERIFY(child.waitForStarted(5000));
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitCode(), 0);
        const QStringList out = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(' ');
        QCOMPARE(out.size(), 3);
        QCOMPARE(out[0], QString("1"));                          // one error
        QCOMPARE(out[1].toInt(), int(SR_FileWriteFailed));
        const double kept = out[2].toDouble();
        const double fits = (200000.0 - 44) / 192000;
        QVERIFY2(kept > fits - 0.1 && kept <= fits, qPrintable(out.join(' ')));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.codec, QString("pcm_s16le"));
        QVERIFY(qAbs(p.duration - kept) < 0.01);
        QVERIFY(partFiles().isEmpty());
    }

    // No place for the engine's files: the recording is refused.
    void unwritableFolderIsRefused()
    {
        const UnwritablePath unwritable;
        QVERIFY(unwritable.ok());
        ScopedEnv env("XDG_DATA_HOME", unwritable.path("data").toUtf8().constData());
        Recorded callback;
        QVERIFY(!scAudioRecord(&callback, 1, 0, 2, nullptr));
        QVERIFY(callback.errors().empty());
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--record-until-killed") == 0)
        return recordUntilKilled();
    if (argc > 1 && std::strcmp(argv[1], "--record-past-size-limit") == 0)
        return recordPastSizeLimit();
    QCoreApplication app(argc, argv);
    TstAudioRecord test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_audio_record.moc"
