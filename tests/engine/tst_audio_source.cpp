// The sound source of every recording against the test environment's
// sound server: what it hears (level, pitch, mixing of two devices), its
// clock (contiguous, monotonic timestamps that match when the sound was
// played), and its failures (no server, a missing or vanishing device).

#include "AudioTestSupport.h"
#include "tests/support/TestHelpers.h"

#include "rec/AudioSource.h"
#include "rec/Pipeline.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace audiotest;
using testsupport::ScopedEnv;
using sc::rec::AudioChunk;
using sc::rec::PulseAudioSource;
using sc::rec::kAudioRate;
using sc::rec::nowUs;

namespace {

struct Captured {
    std::vector<AudioChunk> chunks;
    std::vector<float> samples;          // all chunks joined
    std::vector<int64_t> takenAt;        // nowUs() of each take() that brought chunks
    std::vector<int64_t> endAtTake;      // the end of the sound handed out by that take()
    bool ok = true;
};

// Takes from `source` every 20 ms for `ms` milliseconds.
void collect(PulseAudioSource& source, int ms, Captured& c)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QThread::msleep(20);
        std::vector<AudioChunk> got;
        c.ok = source.take(got) && c.ok;
        const int64_t now = nowUs();
        for (AudioChunk& chunk : got) {
            c.samples.insert(c.samples.end(), chunk.samples.begin(), chunk.samples.end());
            c.chunks.push_back(std::move(chunk));
        }
        if (!got.empty()) {
            const AudioChunk& last = c.chunks.back();
            c.takenAt.push_back(now);
            c.endAtTake.push_back(last.firstSampleUs + int64_t(last.samples.size() / 2) * 1000000 / kAudioRate);
        }
    }
}

std::size_t frames(const Captured& c) { return c.samples.size() / 2; }

} // namespace

class TstAudioSource : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Tone> m_tone;   // 1 kHz into the default output

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("PULSE_SERVER"), "run the e2e tests inside scripts/with-test-env.sh");
        QVERIFY2(soundServerRuns(), "the test environment's sound server does not answer");
        QVERIFY(toneSettles(1000, m_tone));
    }

    void cleanupTestCase() { m_tone.reset(); }

    // System sound: a 1 kHz tone played into the default output is heard
    // from its monitor, loud and at its pitch; the microphone (the default
    // input, here that very monitor) hears it too.
    void hearsTheToneFromEitherSide_data()
    {
        QTest::addColumn<bool>("render");
        QTest::addColumn<bool>("capture");
        QTest::newRow("system sound") << true << false;
        QTest::newRow("default input") << false << true;
    }
    void hearsTheToneFromEitherSide()
    {
        QFETCH(bool, render);
        QFETCH(bool, capture);
        PulseAudioSource source(render, capture, nullptr);
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        QVERIFY(heard(source, 1000));
        Captured c;
        collect(source, 700, c);
        source.stop();
        QVERIFY(c.ok);
        QVERIFY(frames(c) > std::size_t(kAudioRate / 2));
        const std::size_t end = frames(c);
        const std::size_t from = end - kAudioRate / 2;
        const double level = rms(c.samples, from, end);
        QVERIFY2(level > 0.02, qPrintable(QString("RMS %1").arg(level)));
        const double pitch = crossingFrequency(c.samples, from, end);
        QVERIFY2(qAbs(pitch - 1000) < 20, qPrintable(QString("pitch %1 Hz").arg(pitch)));
        QVERIFY(toneLevel(c.samples, from, end, 1000) > 10 * toneLevel(c.samples, from, end, 1500));
    }

    // When the chosen input is the monitor that gives the system sound, it
    // is read once: both on must not double the level.
    void sameMonitorIsReadOnce()
    {
        double alone = 0;
        double both = 0;
        for (int pass = 0; pass < 2; ++pass) {
            PulseAudioSource source(true, pass == 1, nullptr);
            std::string error;
            QVERIFY2(source.start(error), error.c_str());
            QVERIFY(heard(source, 1000));
            Captured c;
            collect(source, 500, c);
            source.stop();
            const std::size_t end = frames(c);
            QVERIFY(end > std::size_t(kAudioRate / 4));
            (pass == 0 ? alone : both) = rms(c.samples, end - kAudioRate / 4, end);
        }
        QVERIFY(alone > 0.02);
        QVERIFY2(both / alone > 0.8 && both / alone < 1.25, qPrintable(QString("%1 vs %2").arg(both).arg(alone)));
    }

    // System sound and a microphone on another device: both tones are in
    // the one stream.
    void mixesTwoDevices()
    {
        ScopedSink mic("srtest_mic");
        QVERIFY(mic.ok());
        Tone voice(1500, 20, mic.name());
        QVERIFY(voice.ok());
        PulseAudioSource source(true, true, mic.monitor().toUtf8().constData());
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        // The new device needs a moment before its sound comes.
        QVERIFY(heard(source, 1500, 8000));
        Captured c;
        collect(source, 700, c);
        source.stop();
        QVERIFY(c.ok);
        const std::size_t end = frames(c);
        QVERIFY(end > std::size_t(kAudioRate / 2));
        const std::size_t from = end - kAudioRate / 2;
        const double a = toneLevel(c.samples, from, end, 1000);
        const double b = toneLevel(c.samples, from, end, 1500);
        const double none = toneLevel(c.samples, from, end, 700);
        QVERIFY2(a > 0.02 && b > 0.02 && none < 0.1 * std::min(a, b),
                 qPrintable(QString("1 kHz %1, 1.5 kHz %2, 700 Hz %3").arg(a).arg(b).arg(none)));
        for (float s : c.samples)
            QVERIFY(s >= -1.0f && s <= 1.0f);
    }

    // Chunks form one run: each begins where the one before ended, the
    // first at the origin, and what is handed out stays close behind the
    // clock (no growing backlog, no sound from the future).
    void timestampsAreContiguousAndFollowTheClock()
    {
        PulseAudioSource source(true, false, nullptr);
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        const int64_t origin = source.originUs();
        QVERIFY(origin > 0 && origin <= nowUs());
        Captured c;
        collect(source, 3000, c);
        source.stop();
        QVERIFY(c.ok);
        QVERIFY(!c.chunks.empty());
        QCOMPARE(c.chunks.front().firstSampleUs, origin);
        int64_t frame = 0;
        for (const AudioChunk& chunk : c.chunks) {
            QCOMPARE(chunk.firstSampleUs, origin + frame * 1000000 / kAudioRate);
            QVERIFY(!chunk.samples.empty());
            frame += int64_t(chunk.samples.size() / 2);
        }
        // Once the sound flows, it lags the clock by the server's latency
        // and steadily so: the timestamps follow the clock, not the
        // arrival of the sound.
        int64_t minLag = INT64_MAX;
        int64_t maxLag = INT64_MIN;
        for (std::size_t i = 0; i < c.takenAt.size(); ++i) {
            // The monitor of an output hears what the server has mixed but
            // not yet played: its sound may be a little ahead of the clock.
            const int64_t lag = c.takenAt[i] - c.endAtTake[i];
            QVERIFY2(lag > -100000, "sound from the future");
            if (c.takenAt[i] - origin < 1000000)
                continue;
            minLag = std::min(minLag, lag);
            maxLag = std::max(maxLag, lag);
        }
        qInfo("lag behind the clock: %lld .. %lld us", static_cast<long long>(minLag), static_cast<long long>(maxLag));
        QVERIFY2(maxLag - minLag < 60000, "the timestamps do not follow the clock");
        QVERIFY2(maxLag < 1000000, "the sound falls behind the clock");
        // The sound handed out covers the time passed, less the lag.
        const double seconds = double(frame) / kAudioRate;
        const double expected = double(c.takenAt.back() - origin - (c.takenAt.back() - c.endAtTake.back())) / 1e6;
        QVERIFY2(qAbs(seconds - expected) < 0.001, qPrintable(QString("%1 s of %2").arg(seconds).arg(expected)));
        QVERIFY(seconds > 2.0);
    }

    // The timestamp of a sound is the moment it was played: a click played
    // through a stream whose latency is known lands within a few ms.
    void timestampMatchesWhenTheSoundWasPlayed()
    {
        // The click must be the only sound, and the output runs as it does
        // while something plays (a silent stream with a short latency).
        m_tone.reset(new Tone(0, 60));
        QVERIFY(m_tone->ok());
        PulseAudioSource source(true, false, nullptr);
        std::string error;
        QVERIFY2(source.start(error), error.c_str());

        const pa_sample_spec spec = {PA_SAMPLE_FLOAT32LE, 48000, 2};
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(30000, &spec));
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        int err = 0;
        pa_simple* player = pa_simple_new(nullptr, "srtest", PA_STREAM_PLAYBACK, nullptr, "click", &spec, nullptr,
                                          &attr, &err);
        QVERIFY2(player, pa_strerror(err));

        // Silence first, so that the stream runs steadily, then the click.
        const std::vector<float> silence(480 * 2, 0.0f);
        for (int i = 0; i < 50; ++i)
            QVERIFY(pa_simple_write(player, silence.data(), silence.size() * sizeof(float), &err) == 0);
        const pa_usec_t latency = pa_simple_get_latency(player, &err);
        const int64_t heardAt = nowUs() + int64_t(latency);
        std::vector<float> click(4800 * 2);
        for (std::size_t i = 0; i < click.size() / 2; ++i)
            click[2 * i] = click[2 * i + 1] = 0.5f * float(std::sin(2 * M_PI * 1000 * double(i) / 48000));
        QVERIFY(pa_simple_write(player, click.data(), click.size() * sizeof(float), &err) == 0);
        for (int i = 0; i < 20; ++i)
            QVERIFY(pa_simple_write(player, silence.data(), silence.size() * sizeof(float), &err) == 0);
        pa_simple_drain(player, &err);
        pa_simple_free(player);

        // The first loud frame.
        Captured c;
        int64_t onsetUs = -1;
        std::size_t searched = 0;
        QElapsedTimer timer;
        timer.start();
        while (onsetUs < 0 && timer.elapsed() < 5000) {
            collect(source, 100, c);
            for (; searched < c.chunks.size() && onsetUs < 0; ++searched) {
                const AudioChunk& chunk = c.chunks[searched];
                for (std::size_t i = 0; i < chunk.samples.size() / 2 && onsetUs < 0; ++i)
                    if (std::fabs(chunk.samples[2 * i]) > 0.05f)
                        onsetUs = chunk.firstSampleUs + int64_t(i) * 1000000 / kAudioRate;
            }
        }
        source.stop();
        QVERIFY2(onsetUs > 0, "the click was not heard");
        const int64_t offset = onsetUs - heardAt;
        qInfo("click heard %lld us after the moment it was played (stream latency %llu us)",
              static_cast<long long>(offset), static_cast<unsigned long long>(latency));
        QVERIFY2(std::llabs(offset) < 15000, qPrintable(QString("offset %1 us").arg(offset)));
    }

    // No sound server: start() fails at once with a reason, never hangs.
    void noServerFailsPromptly()
    {
        ScopedEnv env("PULSE_SERVER", "unix:/nonexistent-sr-test/socket");
        for (int mode = 1; mode <= 3; ++mode) {
            PulseAudioSource source(mode & 1, mode & 2, nullptr);
            std::string error;
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!source.start(error));
            QVERIFY(timer.elapsed() < 2500);
            QVERIFY(!error.empty());
            std::vector<AudioChunk> out;
            QVERIFY(!source.take(out));
            source.stop();
            source.stop();
        }
    }

    // Neither source, or a device that does not exist: refused.
    void refusesWhatCannotBeRecorded()
    {
        std::string error;
        PulseAudioSource nothing(false, false, nullptr);
        QVERIFY(!nothing.start(error));
        QVERIFY(!error.empty());

        PulseAudioSource missing(false, true, "no-such-source-srtest");
        QElapsedTimer timer;
        timer.start();
        error.clear();
        QVERIFY(!missing.start(error));
        QVERIFY(timer.elapsed() < 2500);
        QVERIFY(!error.empty());
    }

    // The device goes away while recording: take() reports it (after
    // handing out what was captured), and stop() still works.
    void vanishingDeviceIsReported()
    {
        ScopedSink sink("srtest_gone");
        QVERIFY(sink.ok());
        PulseAudioSource source(false, true, sink.monitor().toUtf8().constData());
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        Captured c;
        collect(source, 300, c);
        QVERIFY(c.ok);
        sink.unload();
        QElapsedTimer timer;
        timer.start();
        bool ok = true;
        while (ok && timer.elapsed() < 3000) {
            std::vector<AudioChunk> out;
            ok = source.take(out);
            QThread::msleep(20);
        }
        QVERIFY(!ok);
        source.stop();
        std::vector<AudioChunk> out;
        QVERIFY(!source.take(out));
    }

    // take() from several threads at once hands out every frame once.
    void takeIsThreadSafe()
    {
        PulseAudioSource source(true, false, nullptr);
        std::string error;
        QVERIFY2(source.start(error), error.c_str());
        std::atomic<int64_t> total{0};
        std::atomic<bool> run{true};
        std::vector<std::thread> takers;
        std::mutex m;
        std::vector<std::pair<int64_t, int64_t>> pieces;
        for (int t = 0; t < 3; ++t) {
            takers.emplace_back([&] {
                while (run) {
                    std::vector<AudioChunk> out;
                    source.take(out);
                    for (const AudioChunk& chunk : out) {
                        const int64_t n = int64_t(chunk.samples.size() / 2);
                        total += n;
                        std::lock_guard<std::mutex> lock(m);
                        pieces.emplace_back(chunk.firstSampleUs, n);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                }
            });
        }
        QThread::msleep(800);
        run = false;
        for (std::thread& t : takers)
            t.join();
        source.stop();
        std::sort(pieces.begin(), pieces.end());
        int64_t frame = 0;
        for (const auto& p : pieces) {
            QCOMPARE(p.first, source.originUs() + frame * 1000000 / kAudioRate);
            frame += p.second;
        }
        QCOMPARE(frame, total.load());
    }
};

QTEST_GUILESS_MAIN(TstAudioSource)
#include "tst_audio_source.moc"
