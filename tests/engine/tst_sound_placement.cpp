// Sound placed on the recording's time to the sample: a drifting synthetic card,
// jittering arrivals and random pauses on injected clocks.

#include "audio/AudioMixer.h"
#include "audio/DriftCorrector.h"
#include "rec/PauseSpans.h"

#include <QtTest>

#include <cmath>
#include <random>

using namespace sc::rec;

namespace {

constexpr int64_t kT0 = 1000000000;   // the simulation's first moment
constexpr double kTwoPi = 6.283185307179586;

// The card's sound carries its true moment (a 1 Hz quadrature tone's phase); the result is
// the distance to `us` on the tone's one-second circle.
double offsetFrom(const float* frame, int64_t us)
{
    return std::remainder(std::atan2(double(frame[0]), double(frame[1])) / kTwoPi - double(us) / 1e6, 1.0);
}

} // namespace

class TestSoundPlacement : public QObject {
    Q_OBJECT

private slots:
    void soundStaysOnItsTimeThroughPausesAndDrift_data()
    {
        QTest::addColumn<double>("drift");
        QTest::addColumn<unsigned>("seed");
        QTest::newRow("fast card") << 0.001 << 1u;
        QTest::newRow("slow card") << -0.001 << 2u;
        QTest::newRow("exact card") << 0.0 << 3u;
        QTest::newRow("fast card, other pauses") << 0.001 << 4u;
    }
    void soundStaysOnItsTimeThroughPausesAndDrift()
    {
        QFETCH(double, drift);
        QFETCH(unsigned, seed);
        std::mt19937 random(seed);
        std::uniform_int_distribution<int64_t> jitter(-300, 300), pauseLength(20000, 3000000), between(300000, 4000000);

        AudioMixer mixer(1, kT0);
        DeviceClock clock;
        PauseSpans spans;
        SoundCutter cutter(spans, kAudioRate);
        spans.start(kT0 + 250000);
        int64_t nextEvent = kT0 + 250000 + between(random);
        std::vector<std::pair<int64_t, int64_t>> pauses;
        const double cardRate = kAudioRate * (1.0 + drift);
        const int fragment = 960;
        std::vector<float> recording;   // by position, as the encoder gets it
        std::vector<AudioChunk> chunks;
        std::vector<float> sound(fragment * kAudioChannels);
        for (int64_t k = 0; k * fragment < int64_t(cardRate * 60); ++k) {
            const double firstS = double(k * fragment) / cardRate;
            for (int i = 0; i < fragment; ++i) {
                const double t = double(kT0) / 1e6 + firstS + i / cardRate;
                sound[std::size_t(2 * i)] = float(std::sin(kTwoPi * t));
                sound[std::size_t(2 * i + 1)] = float(std::cos(kTwoPi * t));
            }
            const int64_t heardUs = kT0 + int64_t(std::llround(firstS * 1e6));
            const int64_t arrivalUs = heardUs + int64_t(fragment / cardRate * 1e6) + 30000;
            for (; nextEvent <= arrivalUs; nextEvent += spans.paused() ? pauseLength(random) : between(random)) {
                if (spans.paused() ? spans.resume(nextEvent) : !spans.pause(nextEvent))
                    pauses.back().second = nextEvent;
                else
                    pauses.emplace_back(nextEvent, int64_t(INT64_MAX));
            }
            const int64_t first = clock.place(fragment, heardUs + jitter(random), kAudioRate);
            mixer.push(0, sound.data(), std::size_t(fragment), first, arrivalUs);
            chunks.clear();
            mixer.pull(arrivalUs, chunks);
            for (const AudioChunk& chunk : chunks) {
                const int64_t count = int64_t(chunk.samples.size() / kAudioChannels);
                for (const PauseSpans::Run& run : cutter.cut(chunk.firstSampleUs, count)) {
                    // Runs join without a gap or an overlap.
                    QCOMPARE(run.position * kAudioChannels, int64_t(recording.size()));
                    const float* from = chunk.samples.data() + run.offset * kAudioChannels;
                    recording.insert(recording.end(), from, from + run.count * kAudioChannels);
                }
            }
        }
        QVERIFY(pauses.size() >= 5);
        QVERIFY(recording.size() > std::size_t(kAudioRate * kAudioChannels * 20));

        // Each recorded sample against the moment its place on the
        // recording stands for (the pauses taken out).
        double worst = 0;
        for (std::size_t p = 0; p < recording.size() / kAudioChannels; p += 97) {
            const int64_t recordUs = int64_t(p) * 1000000 / kAudioRate;
            int64_t realUs = kT0 + 250000 + recordUs;
            bool edge = false;   // a pause's end falls inside this very sample
            for (const auto& pause : pauses) {
                edge = edge || std::llabs(realUs - pause.first) <= 1000000 / kAudioRate;
                if (realUs >= pause.first)
                    realUs += pause.second - pause.first;
            }
            if (!edge)
                worst = std::max(worst, std::fabs(offsetFrom(&recording[p * kAudioChannels], realUs)));
        }
        QVERIFY2(worst < 0.001, qPrintable(QString("off by %1 ms").arg(worst * 1000)));
        QVERIFY(std::fabs(clock.skew() + drift / (1 + drift)) < 0.0002);
    }
};

QTEST_GUILESS_MAIN(TestSoundPlacement)
#include "tst_sound_placement.moc"
