// Sound against the test sound server: the source under every recording,
// sound-only recording, conversion to every format, restore after a kill.

#include "RecordingTestSupport.h"

#include "audio/AudioSource.h"
#include "audio/AudioTempFiles.h"
#include "core/Pipeline.h"

#include <QThread>
#include <QtTest>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <condition_variable>
#include <csignal>
#include <mutex>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace et;
using sc::rec::AudioChunk;
using sc::rec::PulseAudioSource;
using sc::rec::kAudioRate;
using sc::rec::nowUs;

namespace {

// The left channel of what `source` handed out, and when.
struct Captured {
    std::vector<AudioChunk> chunks;
    std::vector<float> left;
    std::vector<int64_t> takenAt, endAtTake;   // nowUs() of each take() with sound, and that sound's end
    bool ok = true;

    // Takes every 20 ms until `frames` frames came (at most 30 s).
    void collect(PulseAudioSource& source, std::size_t frames)
    {
        QElapsedTimer timer;
        timer.start();
        while (left.size() < frames && timer.elapsed() < 30000 && ok) {
            QThread::msleep(20);
            std::vector<AudioChunk> got;
            ok = source.take(got);
            if (got.empty())
                continue;
            takenAt.push_back(nowUs());
            for (AudioChunk& c : got) {
                for (std::size_t i = 0; i < c.samples.size(); i += 2)
                    left.push_back(c.samples[i]);
                chunks.push_back(std::move(c));
            }
            endAtTake.push_back(chunks.back().firstSampleUs
                                + int64_t(chunks.back().samples.size() / 2) * 1000000 / kAudioRate);
        }
    }
    // The last `frames` frames.
    std::size_t from(std::size_t frames) const { return left.size() > frames ? left.size() - frames : 0; }
};

// Until `source` clearly delivers `frequency`: a sink that has just
// started needs a moment to settle.
bool heard(PulseAudioSource& source, double frequency)
{
    Captured c;
    return waitUntil([&] {
        c.collect(source, c.left.size() + 4800);
        return c.ok && toneLevel(c.left, c.from(4800), c.left.size(), frequency) > 0.02;
    }) && c.ok;
}

class Converted : public AudioConvertCallback {
public:
    void OnComplete(int result) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.push_back(result);
        m_done.notify_all();
    }
    int wait()   // the result, or -1 when none came
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait_for(lock, std::chrono::seconds(120), [this] { return !m_results.empty(); });
        return m_results.empty() ? -1 : m_results.front();
    }
    int count() { std::lock_guard<std::mutex> lock(m_mutex); return int(m_results.size()); }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<int> m_results;
};

using Errors = Callback;

QString lastRecording() { return QString::fromStdString(sc::rec::lastAudioRecordingPath()); }
QString engineFolder() { return QString::fromStdString(sc::rec::audioTempFolder()); }
QStringList partFiles() { return QDir(engineFolder()).entryList({"*.part.wav"}, QDir::Files | QDir::Hidden); }
QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
}
bool converted(CBasePtr<CAudioConvertObject> job, Converted& done, int expected)
{
    const bool ok = job && done.wait() == expected;
    job.reset();
    return ok && done.count() == 1;
}

// The tone is there all along: no 50 ms stretch is silent past the first moments, when
// the server is still starting the device's sound.
bool toneThroughout(const std::vector<float>& s)
{
    for (std::size_t from = 4800; from + 2400 <= s.size(); from += 2400)
        if (rms(s, from, from + 2400) < 0.02)
            return false;
    return true;
}

// Child processes: one records until killed; the others until an error (under a file size
// limit, as on a full disk, or until the sound server goes) and print the errors, the
// length kept and the error's cause.
int child(const char* mode)
{
    const bool limited = std::strcmp(mode, "--record-past-size-limit") == 0;
    const bool untilError = limited || std::strcmp(mode, "--record-until-error") == 0;
    if (limited) {
        std::signal(SIGXFSZ, SIG_IGN);   // the write fails with EFBIG instead
        const rlimit limit{200000, 200000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
    }
    static Errors errors;
    CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 1, 0, 2, nullptr);
    if (!recorder || recorder->start() != 0)
        return 2;
    std::printf("recording\n");
    std::fflush(stdout);
    for (int i = 0; !untilError || (errors.errors().empty() && i < 1500); ++i)
        QThread::msleep(20);
    const int cause = recorder->errorCause();
    recorder.reset();
    const std::vector<int> e = errors.errors();
    std::printf("%d %d %.3f %d\n", int(e.size()), e.empty() ? 0 : e[0], GetAudioRecordDuration(), cause);
    return 0;
}

} // namespace

class TstAudio : public QObject {
    Q_OBJECT

    std::unique_ptr<Tone> m_tone;   // into the default output, 1 kHz but for one test
    int m_frequency = 0;
    QTemporaryDir m_out;

    // Plays a tone and waits until the default output's monitor delivers it.
    bool play(int frequency)
    {
        m_tone.reset(new Tone(frequency, 300));
        m_frequency = frequency;
        PulseAudioSource probe(true, false, nullptr);
        std::string error;
        return m_tone->ok() && (frequency == 0 || (probe.start(error) && heard(probe, frequency)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("PULSE_SERVER"), "run the e2e tests inside scripts/with-test-env.sh");
        QVERIFY2(!pactl({"info"}).isEmpty(), "the test environment's sound server does not answer");
        QVERIFY(m_out.isValid());
        QVERIFY(play(1000));
    }
    void cleanup()
    {
        if (m_frequency != 1000)
            QVERIFY(play(1000));
    }
    void cleanupTestCase() { m_tone.reset(); }

    // System sound and a microphone on another device: both tones in the
    // one stream, inside full scale.
    void mixesTwoDevices()
    {
        ScopedSink mic("srtest_mic");
        QVERIFY(mic.ok());
        Tone voice(1500, 60, mic.name());
        QVERIFY(voice.ok());
        PulseAudioSource source(true, true, mic.monitor().toUtf8().constData());
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        QVERIFY(heard(source, 1500));
        // Half a second that holds both: a tone player starved by a busy
        // machine leaves gaps of its own, which are not the mixer's.
        Captured c;
        std::size_t from = 0, end = 0;
        double a = 0, b = 0;
        const bool both = waitUntil([&] {
            c.collect(source, c.left.size() + kAudioRate / 2);
            from = c.from(kAudioRate / 2);
            end = c.left.size();
            a = toneLevel(c.left, from, end, 1000);
            b = toneLevel(c.left, from, end, 1500);
            return !c.ok || (a > 0.02 && b > 0.02);
        });
        source.stop();
        QVERIFY2(both && c.ok && toneLevel(c.left, from, end, 700) < 0.1 * std::min(a, b),
                 qPrintable(QString("1 kHz %1, 1.5 kHz %2").arg(a).arg(b)));
        for (float s : c.left)
            QVERIFY(s >= -1.0f && s <= 1.0f);
    }
    // Chunks form one run from the origin and stay a steady distance behind the clock: no
    // growing backlog, nothing from the future.
    void timestampsFollowTheClock()
    {
        PulseAudioSource source(true, false, nullptr);
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        const int64_t origin = source.originUs();
        QVERIFY(origin > 0 && origin <= nowUs());
        Captured c;
        c.collect(source, 3 * kAudioRate);
        source.stop();
        QVERIFY(c.ok && !c.chunks.empty());
        int64_t frame = 0;
        for (const AudioChunk& chunk : c.chunks) {
            QCOMPARE(chunk.firstSampleUs, origin + frame * 1000000 / kAudioRate);
            frame += int64_t(chunk.samples.size() / 2);
        }
        int64_t minLag = INT64_MAX, maxLag = INT64_MIN;
        for (std::size_t i = 0; i < c.takenAt.size(); ++i) {
            // A monitor hears what the server mixed but has not played yet.
            const int64_t lag = c.takenAt[i] - c.endAtTake[i];
            QVERIFY2(lag > -100000, "sound from the future");
            if (c.takenAt[i] - origin >= 1000000) {
                minLag = std::min(minLag, lag);
                maxLag = std::max(maxLag, lag);
            }
        }
        QVERIFY2(maxLag - minLag < 60000, "the timestamps do not follow the clock");
        QVERIFY2(maxLag < 1000000, "the sound falls behind the clock");
    }
    // A click played through a stream of known latency is stamped with
    // the moment it was played, within a few ms.
    void timestampIsWhenTheSoundWasPlayed()
    {
        // The click must be the only sound, and the output runs as it does
        // while something plays (a silent stream with a short latency).
        QVERIFY(play(0));
        PulseAudioSource source(true, false, nullptr);
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        const pa_sample_spec spec = {PA_SAMPLE_FLOAT32LE, 48000, 2};
        pa_buffer_attr attr{uint32_t(-1), uint32_t(pa_usec_to_bytes(30000, &spec)), uint32_t(-1), uint32_t(-1),
                            uint32_t(-1)};
        int err = 0;
        pa_simple* player = pa_simple_new(nullptr, "srtest", PA_STREAM_PLAYBACK, nullptr, "click", &spec, nullptr,
                                          &attr, &err);
        QVERIFY2(player, pa_strerror(err));
        const std::vector<float> silence(480 * 2, 0.0f);
        for (int i = 0; i < 50; ++i)
            QVERIFY(pa_simple_write(player, silence.data(), silence.size() * sizeof(float), &err) == 0);
        std::vector<float> click(4800 * 2);
        for (std::size_t i = 0; i < click.size() / 2; ++i)
            click[2 * i] = click[2 * i + 1] = 0.5f * float(std::sin(2 * M_PI * 1000 * double(i) / 48000));
        QVERIFY(pa_simple_write(player, click.data(), click.size() * sizeof(float), &err) == 0);
        // The click's end is what plays last now: its start is that long before.
        const int64_t before = nowUs();
        const pa_usec_t latency = pa_simple_get_latency(player, &err);
        const int64_t after = nowUs();
        const int64_t playedAt = before + int64_t(latency) - 100000;
        for (int i = 0; i < 20; ++i)
            QVERIFY(pa_simple_write(player, silence.data(), silence.size() * sizeof(float), &err) == 0);
        pa_simple_drain(player, &err);
        pa_simple_free(player);

        Captured c;
        int64_t onsetUs = -1;
        for (std::size_t searched = 0; onsetUs < 0 && c.ok && c.left.size() < 10 * std::size_t(kAudioRate);) {
            c.collect(source, c.left.size() + 4800);
            for (; searched < c.chunks.size() && onsetUs < 0; ++searched) {
                const AudioChunk& chunk = c.chunks[searched];
                for (std::size_t i = 0; i < chunk.samples.size() / 2 && onsetUs < 0; ++i)
                    if (std::fabs(chunk.samples[2 * i]) > 0.05f)
                        onsetUs = chunk.firstSampleUs + int64_t(i) * 1000000 / kAudioRate;
            }
        }
        source.stop();
        QVERIFY2(onsetUs > 0, "the click was not heard");
        const int64_t offset = onsetUs - playedAt;
        QVERIFY2(std::llabs(offset) < 15000 + (after - before), qPrintable(QString("offset %1 us").arg(offset)));
    }
    // Refused without a source, a sound server or a place for its files, reporting and leaving
    // nothing; a device that does not exist is refused with a reason.
    void recordingRefused()
    {
        std::string error;
        PulseAudioSource missing(false, true, "no-such-source-srtest");
        QVERIFY(!missing.start(error) && !error.empty());
        Errors errors;
        QVERIFY(!scAudioRecord(&errors, 0, 0, 2, nullptr));
        {
            ScopedEnv env("PULSE_SERVER", "unix:/nonexistent-sr-test/socket");
            QVERIFY(!scAudioRecord(&errors, 1, 1, 2, nullptr));
        }
        QVERIFY(writeFile(m_out.filePath("plain-file"), ""));
        {
            ScopedEnv env("XDG_DATA_HOME", m_out.filePath("plain-file/data").toUtf8().constData());
            QVERIFY(!scAudioRecord(&errors, 1, 0, 2, nullptr));
        }
        QVERIFY(errors.errors().empty() && partFiles().isEmpty());
    }
    // Two seconds of system sound: the engine's file grows while it
    // records, its size as reported, and ends as a WAV with the tone.
    void recordsTwoSeconds()
    {
        Errors errors;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 1, 0, 2, nullptr);
        QVERIFY(recorder);
        QCOMPARE(partFiles().size(), 1);
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitUntil([&] { return recorder->tempFileSize() > 44 + 96000; }));
        const int64_t early = recorder->tempFileSize();
        QVERIFY(qAbs(QFileInfo(engineFolder() + "/" + partFiles().value(0)).size() - early) < 192000 / 5);
        QVERIFY(waitUntil([&] { return GetAudioRecordDuration() >= 2.0; }));
        recorder.reset();
        QVERIFY(errors.errors().empty() && partFiles().isEmpty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(duration >= 2.0 && duration < 4.0, qPrintable(QString::number(duration)));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.audioCodec, QString("pcm_s16le"));
        QCOMPARE(p.sampleRate, 48000);
        QCOMPARE(p.channels, 2);
        QVERIFY(qAbs(p.duration - duration) < 0.01);
        const std::vector<float> s = decodeSound(lastRecording());
        QVERIFY(toneThroughout(s));
        QVERIFY(toneLevel(s, 0, s.size(), 1000) > 0.03);
    }
    // The last recording in every audio format: the right codec and
    // length, the tone still in it, no leftovers beside the target.
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
        QVERIFY(converted(scAudioConvert(&done, nullptr, target.toUtf8().constData(), format), done, 0));
        const Probe p = probe(target);
        QCOMPARE(p.audioCodec, codec);
        QVERIFY2(qAbs(p.duration - recorded) < 0.2, qPrintable(QString("%1 s of %2").arg(p.duration).arg(recorded)));
        const std::vector<float> s = decodeSound(target);
        QVERIFY(s.size() > 48000 && toneLevel(s, s.size() / 4, 3 * s.size() / 4, 1000) > 0.03);
        QVERIFY(hiddenFiles(m_out.path()).isEmpty());
    }
    // Nothing is overwritten; bad targets and formats are refused before any work; a file that
    // is no sound, or an unwritable folder, is reported and leaves nothing behind.
    void conversionOfOtherFiles()
    {
        const QString exists = m_out.filePath("exists.mp3");
        QVERIFY(writeFile(exists, "keep me"));
        Converted none;
        QVERIFY(!scAudioConvert(&none, nullptr, exists.toUtf8().constData(), 6));
        QFile kept(exists);
        QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == "keep me");
        QVERIFY(!scAudioConvert(&none, nullptr, nullptr, 6) && !scAudioConvert(&none, nullptr, "", 6));
        QVERIFY(!scAudioConvert(&none, nullptr, m_out.filePath("x.mp4").toUtf8().constData(), 0));
        QCOMPARE(none.count(), 0);
        QVERIFY(QFileInfo::exists(lastRecording()));

        const QString junk = m_out.filePath("junk.wav");
        QVERIFY(writeFile(junk, QByteArray(4096, 'x')));
        Converted failed, unwritable;
        QVERIFY(converted(scAudioConvert(&failed, junk.toUtf8().constData(), m_out.filePath("bad.flac").toUtf8().constData(), 9),
                          failed, 1));
        QVERIFY(!QFileInfo::exists(m_out.filePath("bad.flac")));
        QVERIFY(converted(scAudioConvert(&unwritable, nullptr, (junk + "/out.flac").toUtf8().constData(), 9),
                          unwritable, 2));
        QVERIFY(hiddenFiles(m_out.path()).isEmpty());
    }
    // A paused span is not in the recording: the length is what ran, and
    // the tone goes on without a silent gap where the pause was.
    void pauseLeavesTheSpanOut()
    {
        Errors errors;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 1, 0, 2, nullptr);
        QVERIFY(recorder);
        QVERIFY(recorder->pause() != 0);   // not started yet
        int64_t t = nowUs();
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitUntil([] { return GetAudioRecordDuration() >= 0.7; }));
        QCOMPARE(recorder->pause(), 0);
        QCOMPARE(recorder->pause(), 0);
        double ran = double(nowUs() - t) / 1e6;
        QThread::msleep(1000);   // a second that must not be recorded
        t = nowUs();
        QCOMPARE(recorder->resume(), 0);
        QVERIFY(waitUntil([&] { return GetAudioRecordDuration() >= 1.4; }));
        recorder.reset();
        ran += double(nowUs() - t) / 1e6;
        QVERIFY(errors.errors().empty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(duration >= 1.4 && duration <= ran + 0.15, qPrintable(QString("%1 of %2 s").arg(duration).arg(ran)));
        const std::vector<float> s = decodeSound(lastRecording());
        QVERIFY(qAbs(double(s.size()) / 48000 - duration) < 0.01);
        QVERIFY(toneThroughout(s));
    }
    // Mono when asked for; a running recording's files are neither converted nor restored;
    // prepared and released without a start, the last recording stays.
    void monoBusyAndUnstarted()
    {
        Errors errors;
        {
            CBasePtr<CAudioRecoderObject> mono = scAudioRecord(&errors, 1, 0, 1, nullptr);
            QVERIFY(mono && mono->start() == 0 && waitUntil([] { return GetAudioRecordDuration() >= 0.5; }));
        }
        QCOMPARE(probe(lastRecording()).channels, 1);
        {
            CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 1, 0, 2, nullptr);
            QVERIFY(recorder && recorder->start() == 0);
            QVERIFY(waitUntil([] { return GetAudioRecordDuration() > 0.3; }));
            Converted done;
            QVERIFY(!scAudioConvert(&done, nullptr, m_out.filePath("busy.mp3").toUtf8().constData(), 6));
            QCOMPARE(RestoreAudioRecordTempFiles(), 0);
            QCOMPARE(partFiles().size(), 1);
        }
        QVERIFY(partFiles().isEmpty());
        const double before = GetAudioRecordDuration();
        const qint64 size = QFileInfo(lastRecording()).size();
        QVERIFY(scAudioRecord(&errors, 1, 0, 2, nullptr));
        QCOMPARE(GetAudioRecordDuration(), before);
        QCOMPARE(QFileInfo(lastRecording()).size(), size);
        QVERIFY(partFiles().isEmpty() && errors.errors().empty());
    }
    // A killed recording's file becomes a playable recording at the next start, once, and
    // converts like any other; leftovers without sound are not offered.
    void restoreAfterKill()
    {
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), {"--record-until-killed"});
        QVERIFY(process.waitForStarted(30000) && process.waitForReadyRead(30000));
        QCOMPARE(process.readAllStandardOutput().trimmed(), QByteArray("recording"));
        QVERIFY(waitUntil([] {
            const QStringList parts = partFiles();
            return parts.size() == 1 && QFileInfo(engineFolder() + "/" + parts[0]).size() > 44 + int(1.2 * 192000);
        }));
        process.kill();   // SIGKILL: no chance to finish the file
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(partFiles().size(), 1);
        QCOMPARE(RestoreAudioRecordTempFiles(), 1);
        QVERIFY(partFiles().isEmpty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(duration >= 1.2, qPrintable(QString::number(duration)));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.audioCodec, QString("pcm_s16le"));
        QVERIFY(qAbs(p.duration - duration) < 0.01);
        QVERIFY(toneThroughout(decodeSound(lastRecording())));
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);
        const QString target = m_out.filePath("restored.m4a");
        Converted done;
        QVERIFY(converted(scAudioConvert(&done, nullptr, target.toUtf8().constData(), 4), done, 0));
        QVERIFY(qAbs(probe(target).duration - duration) < 0.2);

        const QString empty = engineFolder() + "/rec-1-1-0.part.wav";
        QVERIFY(writeFile(empty, "RIFF"));
        QCOMPARE(RestoreAudioRecordTempFiles(), 0);
        QVERIFY(!QFileInfo::exists(empty));
    }
    // The engine's folder is deleted while recording: the recording goes on
    // into the open file and is kept whole under its usual name at the end.
    void deletedFolderKeepsTheRecording()
    {
        Errors errors;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 1, 0, 2, nullptr);
        QVERIFY(recorder && recorder->start() == 0);
        QVERIFY(waitUntil([] { return GetAudioRecordDuration() >= 1.0; }));
        const QString folder = engineFolder();
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(waitUntil([] { return GetAudioRecordDuration() >= 2.0; }));
        recorder.reset();
        QVERIFY(errors.errors().empty());
        const double duration = GetAudioRecordDuration();
        QVERIFY2(duration >= 2.0, qPrintable(QString::number(duration)));
        QCOMPARE(QString::fromUtf8(GetAudioRecordFile()), lastRecording());
        const Probe p = probe(lastRecording());
        QCOMPARE(p.audioCodec, QString("pcm_s16le"));
        QVERIFY2(qAbs(p.duration - duration) < 0.01, qPrintable(QString::number(p.duration)));
        QVERIFY(toneThroughout(decodeSound(lastRecording())));
        QVERIFY(partFiles().isEmpty());
    }
    // The microphone goes away: error 6 once, the sound so far is kept,
    // and nothing is called after release.
    void vanishingDeviceEndsTheRecording()
    {
        ScopedSink sink("srtest_rec_gone");
        QVERIFY(sink.ok());
        Tone tone(1000, 60, sink.name());
        QVERIFY(tone.ok());
        Errors errors;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 0, 1, 2, sink.monitor().toUtf8().constData());
        QVERIFY(recorder && recorder->start() == 0);
        QVERIFY(waitUntil([] { return GetAudioRecordDuration() > 0.3; }));
        tone.stop();
        sink.unload();
        QVERIFY(waitUntil([&] { return !errors.errors().empty(); }));
        QCOMPARE(recorder->errorCause(), int(SR_CauseMicrophoneLost));
        recorder.reset();
        QCOMPARE(errors.errors(), std::vector<int>{SR_MicInterrupted});
        QVERIFY(GetAudioRecordDuration() > 0.3);
        QVERIFY(qAbs(probe(lastRecording()).duration - GetAudioRecordDuration()) < 0.01);
    }
    // The output whose sound is recorded goes away: the same code as for a
    // microphone, but the cause names the system sound.
    void vanishingOutputIsToldApart()
    {
        ScopedSink sink("srtest_out_gone");
        QVERIFY(sink.ok());
        SetAudioSystemOutputDevice(sink.name().toUtf8().constData());
        Errors errors;
        CBasePtr<CAudioRecoderObject> recorder = scAudioRecord(&errors, 1, 0, 2, nullptr);
        SetAudioSystemOutputDevice(nullptr);
        QVERIFY(recorder && recorder->start() == 0);
        QCOMPARE(recorder->errorCause(), int(SR_CauseNone));
        QVERIFY(waitUntil([] { return GetAudioRecordDuration() > 0.3; }));
        sink.unload();
        QVERIFY(waitUntil([&] { return !errors.errors().empty(); }));
        QCOMPARE(errors.errors(), std::vector<int>{SR_MicInterrupted});
        QCOMPARE(recorder->errorCause(), int(SR_CauseSystemSoundLost));
    }
    // The sound server itself is killed while only system sound is recorded
    // (a server of the test's own, so the others keep theirs).
    void killedServerIsToldApart()
    {
        QTemporaryDir dir("/tmp/srpa-XXXXXX");   // a short path: socket names are limited
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath("runtime") && QDir(dir.path()).mkpath("home"));
        ::chmod(QFile::encodeName(dir.filePath("runtime")).constData(), 0700);
        const QString socket = dir.filePath("sock");
        QProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.filePath("home"));
        env.insert("XDG_RUNTIME_DIR", dir.filePath("runtime"));
        env.remove("PULSE_SERVER");
        server.setProcessEnvironment(env);
        server.start("pulseaudio", {"--daemonize=no", "-n", "--use-pid-file=no", "--exit-idle-time=-1",
                                    "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
                                    "--load=module-null-sink sink_name=srkilled", "--load=module-always-sink"});
        QVERIFY(server.waitForStarted(30000));
        QVERIFY(waitUntil([&] { return QFileInfo::exists(socket); }));

        QProcess recorder;
        env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + socket);
        recorder.setProcessEnvironment(env);
        recorder.start(QCoreApplication::applicationFilePath(), {"--record-until-error"});
        QVERIFY(recorder.waitForStarted(30000) && recorder.waitForReadyRead(30000));
        QCOMPARE(recorder.readAllStandardOutput().trimmed(), QByteArray("recording"));
        server.kill();
        QVERIFY(server.waitForFinished(30000));
        QVERIFY(recorder.waitForFinished(60000));
        QCOMPARE(recorder.exitCode(), 0);
        const QStringList out = QString::fromUtf8(recorder.readAllStandardOutput()).trimmed().split(' ');
        QCOMPARE(out.size(), 4);
        QCOMPARE(out[1].toInt(), int(SR_MicInterrupted));
        QCOMPARE(out[3].toInt(), int(SR_CauseSoundServerLost));
    }
    // The disk refuses more sound: error 2 once, and what was written is a
    // complete recording.
    void fullDiskEndsTheRecording()
    {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), {"--record-past-size-limit"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QStringList out = QString::fromUtf8(process.readAllStandardOutput()).split('\n').value(1).split(' ');
        QCOMPARE(out.size(), 4);
        QCOMPARE(out[0], QString("1"));   // one error
        QCOMPARE(out[1].toInt(), int(SR_FileWriteFailed));
        const double kept = out[2].toDouble(), fits = (200000.0 - 44) / 192000;
        QVERIFY2(kept > fits - 0.1 && kept <= fits, qPrintable(out.join(' ')));
        const Probe p = probe(lastRecording());
        QCOMPARE(p.audioCodec, QString("pcm_s16le"));
        QVERIFY(qAbs(p.duration - kept) < 0.01);
        QVERIFY(partFiles().isEmpty());
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strncmp(argv[1], "--record-", 9) == 0)
        return child(argv[1]);
    QCoreApplication app(argc, argv);
    TstAudio test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_audio.moc"
