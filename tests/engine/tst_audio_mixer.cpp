// The mixer that puts system sound and microphone on one timeline: order,
// alignment by timestamp, silence for an input that delivers nothing, late
// and jumping inputs, and the level of two loud inputs.

#include "rec/AudioMixer.h"

#include <QtTest>

#include <vector>

using sc::rec::AudioChunk;
using sc::rec::AudioMixer;
using sc::rec::kAudioRate;

namespace {

constexpr int64_t kOrigin = 1000000000;   // an arbitrary nowUs()

// `frames` stereo frames of one value.
std::vector<float> flat(int frames, float value) { return std::vector<float>(std::size_t(frames) * 2, value); }

// Frames counted from 0 with their value, left channel.
std::vector<float> ramp(int first, int frames)
{
    std::vector<float> v;
    for (int i = 0; i < frames; ++i) {
        v.push_back(float(first + i) / 100000.0f);
        v.push_back(0.0f);
    }
    return v;
}

int64_t at(int64_t frame) { return kOrigin + frame * 1000000 / kAudioRate; }

// The chunks as one run of stereo samples; fails when they are not
// contiguous.
std::vector<float> joined(const std::vector<AudioChunk>& chunks, int64_t* firstUs = nullptr)
{
    std::vector<float> all;
    int64_t expect = -1;
    for (const AudioChunk& c : chunks) {
        if (expect >= 0 && std::llabs(c.firstSampleUs - expect) > 1)
            qWarning("chunk at %lld, expected %lld", static_cast<long long>(c.firstSampleUs),
                     static_cast<long long>(expect));
        if (expect < 0 && firstUs)
            *firstUs = c.firstSampleUs;
        all.insert(all.end(), c.samples.begin(), c.samples.end());
        const int64_t frames = int64_t(c.samples.size() / 2);
        expect = c.firstSampleUs + frames * 1000000 / kAudioRate;
    }
    return all;
}

bool contiguous(const std::vector<AudioChunk>& chunks)
{
    // Timestamps of frame p are origin + p / rate: check each chunk start.
    int64_t frame = -1;
    for (const AudioChunk& c : chunks) {
        if (frame >= 0 && c.firstSampleUs != at(frame))
            return false;
        if (frame < 0)
            frame = (c.firstSampleUs - kOrigin) * kAudioRate / 1000000;
        frame += int64_t(c.samples.size() / 2);
    }
    return true;
}

} // namespace

class TstAudioMixer : public QObject {
    Q_OBJECT

private slots:
    // One input with timestamps that jitter by a few ms stays contiguous
    // and in order: jitter must not turn into clicks.
    void jitterKeepsOneInputContiguous()
    {
        AudioMixer mixer(1, kOrigin);
        std::vector<AudioChunk> out;
        const int jitterUs[] = {0, 2500, -1800, 3000, -2900, 1000};
        for (int k = 0; k < 6; ++k) {
            const std::vector<float> part = ramp(k * 480, 480);
            mixer.push(0, part.data(), 480, at(k * 480) + jitterUs[k], at(k * 480 + 480));
            mixer.pull(at(k * 480 + 480), out);
        }
        mixer.drain(at(6 * 480), out);
        QVERIFY(contiguous(out));
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 6 * 480);
        for (int i = 0; i < 6 * 480; ++i)
            QCOMPARE(all[std::size_t(2 * i)], float(i) / 100000.0f);
        QCOMPARE(out.front().firstSampleUs, kOrigin);
    }

    // Two inputs overlap by their timestamps: each frame is the sum of
    // what both inputs had at that moment.
    void inputsAreAlignedByTime()
    {
        AudioMixer mixer(2, kOrigin);
        const std::vector<float> a = flat(4800, 0.25f);   // 0 .. 100 ms
        const std::vector<float> b = flat(4800, 0.5f);    // 50 .. 150 ms
        mixer.push(0, a.data(), 4800, at(0), at(4800));
        mixer.push(1, b.data(), 4800, at(2400), at(7200));
        std::vector<AudioChunk> out;
        // Each input is waited for while it is live.
        mixer.pull(at(7200), out);
        QCOMPARE(int(joined(out).size() / 2), 4800);
        mixer.drain(at(7200), out);
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 7200);
        QCOMPARE(all[2 * 100], 0.25f);
        QCOMPARE(all[2 * 2399], 0.25f);
        QCOMPARE(all[2 * 2400], 0.75f);
        QCOMPARE(all[2 * 4799], 0.75f);
        QCOMPARE(all[2 * 4800], 0.5f);
        QCOMPARE(all[2 * 7199], 0.5f);
    }

    // Output waits for a silent input only for a while: at the start (a
    // device may be slow to deliver its first sound) and for half a
    // second after its sound stopped coming. Then the other input goes on
    // alone.
    void silentInputDoesNotStallTheOther()
    {
        AudioMixer mixer(2, kOrigin);
        std::vector<AudioChunk> out;
        const std::vector<float> a = flat(960, 0.25f);   // 20 ms pieces
        // Sound that arrives 700 ms after it was heard, as a server with a
        // long latency delivers it.
        int64_t frame = 0;
        for (; at(frame) + 700000 < kOrigin + 2900000; frame += 960) {
            mixer.push(0, a.data(), 960, at(frame), at(frame) + 700000);
            mixer.pull(at(frame) + 700000, out);
        }
        QVERIFY(out.empty());   // the second input is still awaited
        for (; at(frame) + 700000 < kOrigin + 3500000; frame += 960) {
            mixer.push(0, a.data(), 960, at(frame), at(frame) + 700000);
            mixer.pull(at(frame) + 700000, out);
        }
        // The first input alone, all of it, however old its sound is.
        std::vector<float> all = joined(out);
        QCOMPARE(int64_t(all.size() / 2), frame);
        QCOMPARE(all[2 * std::size_t(frame - 1)], 0.25f);
        QVERIFY(contiguous(out));

        // The second input turns up late: what was released already is
        // not revised, the rest is mixed in, and it is waited for again.
        const std::vector<float> b = flat(9600, 0.5f);   // from 100 ms before the release
        mixer.push(1, b.data(), 9600, at(frame - 4800), at(frame) + 700000);
        mixer.push(0, a.data(), 960, at(frame), at(frame) + 700000);
        mixer.pull(at(frame) + 700000, out);
        all = joined(out);
        QCOMPARE(int64_t(all.size() / 2), frame + 960);
        QCOMPARE(all[2 * std::size_t(frame - 1)], 0.25f);   // unchanged
        QCOMPARE(all[2 * std::size_t(frame)], 0.75f);       // both now
        QVERIFY(contiguous(out));

        // The first input stops: after half a second the second goes on.
        frame += 960;
        mixer.pull(at(frame) + 700000 + 400000, out);
        QCOMPARE(int64_t(joined(out).size() / 2), frame);
        const std::vector<float> c = flat(960, 0.5f);
        mixer.push(1, c.data(), 960, at(frame + 3840), at(frame) + 700000 + 600000);
        mixer.pull(at(frame) + 700000 + 600000, out);
        all = joined(out);
        QCOMPARE(int64_t(all.size() / 2), frame + 4800);   // all of the second input
        QCOMPARE(all[all.size() - 2], 0.5f);
        QVERIFY(contiguous(out));
    }

    // Nothing at all from any input: after the start-up wait the timeline
    // runs with the clock (a recording keeps its length), as silence.
    void noInputGivesSilenceAtTheClock()
    {
        AudioMixer mixer(1, kOrigin);
        std::vector<AudioChunk> out;
        mixer.pull(kOrigin + 2000000, out);
        QVERIFY(out.empty());
        mixer.pull(kOrigin + 3500000, out);
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 3 * kAudioRate);
        for (float v : all)
            QCOMPARE(v, 0.0f);
    }

    // A jump in an input's timestamps (lost data) moves it: a gap becomes
    // silence, and the output stays one contiguous run.
    void jumpIsFollowed()
    {
        AudioMixer mixer(1, kOrigin);
        const std::vector<float> a = flat(4800, 0.25f);
        mixer.push(0, a.data(), 4800, at(0), at(4800));
        mixer.push(0, a.data(), 4800, at(4800 + 2400), at(12000));   // 50 ms later than contiguous
        std::vector<AudioChunk> out;
        mixer.drain(at(12000), out);
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 12000);
        QCOMPARE(all[2 * 4799], 0.25f);
        QCOMPARE(all[2 * 4800], 0.0f);
        QCOMPARE(all[2 * 7199], 0.0f);
        QCOMPARE(all[2 * 7200], 0.25f);
        QVERIFY(contiguous(out));
    }

    // Two loud inputs: the sum stays inside full scale, still louder than
    // either, and quiet sums are untouched.
    void loudSumIsLimited()
    {
        AudioMixer mixer(2, kOrigin);
        const std::vector<float> loud = flat(480, 0.9f);
        const std::vector<float> quiet = flat(480, 0.2f);
        mixer.push(0, loud.data(), 480, at(0), at(480));
        mixer.push(1, loud.data(), 480, at(0), at(480));
        mixer.push(0, quiet.data(), 480, at(480), at(960));
        mixer.push(1, quiet.data(), 480, at(480), at(960));
        std::vector<AudioChunk> out;
        mixer.drain(at(960), out);
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 960);
        QVERIFY(all[0] <= 1.0f);
        QVERIFY(all[0] > 0.9f);
        QVERIFY(qAbs(all[2 * 480] - 0.4f) < 1e-6f);
    }

    // At the end everything buffered goes out, and an input that said
    // nothing until the end moment is silence up to it.
    void drainReachesTheEnd()
    {
        AudioMixer mixer(2, kOrigin);
        const std::vector<float> a = flat(4800, 0.25f);
        mixer.push(0, a.data(), 4800, at(0), at(4800));
        std::vector<AudioChunk> out;
        mixer.drain(at(9600), out);
        std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 9600);
        QCOMPARE(all[2 * 4799], 0.25f);
        QCOMPARE(all[2 * 9599], 0.0f);
        // Sound beyond the end moment is not cut off.
        mixer.push(0, a.data(), 4800, at(9600), at(14400));
        mixer.drain(at(9600), out);
        all = joined(out);
        QCOMPARE(int(all.size() / 2), 14400);
        QVERIFY(contiguous(out));
    }

    // A consumer that never takes: memory stays bounded, the newest kept.
    void unreadSoundIsBounded()
    {
        AudioMixer mixer(1, kOrigin);
        const std::vector<float> second = flat(kAudioRate, 0.1f);
        for (int s = 0; s < 15; ++s)
            mixer.push(0, second.data(), std::size_t(kAudioRate), at(int64_t(s) * kAudioRate),
                       at(int64_t(s + 1) * kAudioRate));
        std::vector<AudioChunk> out;
        mixer.drain(at(int64_t(15) * kAudioRate), out);
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size() / 2), 15 * kAudioRate);   // the timeline keeps its length
        QCOMPARE(all[0], 0.0f);                            // the oldest part was dropped
        QCOMPARE(all[all.size() - 2], 0.1f);
        QCOMPARE(all[2 * std::size_t(5 * kAudioRate)], 0.1f);
    }
};

QTEST_GUILESS_MAIN(TstAudioMixer)
#include "tst_audio_mixer.moc"
