// Parts of the screen recorder that need no display: the recording's time
// with pauses cut out, the sound encoder's placement of sound on that time,
// and what the codec ids and quality levels turn into.

#include "rec/EncoderAudio.h"
#include "rec/EncoderVideo.h"
#include "rec/VideoTimeline.h"

#include "ScreencastTypes.h"

#include <QtTest>

using sc::rec::AudioEncoder;
using sc::rec::Timeline;

class TestRecordingParts : public QObject
{
    Q_OBJECT

private slots:
    void timelineCutsPauses();
    void timelineSplitsAStretchAcrossPauses();
    void soundIsPlacedOnItsPosition();
    void soundIsFinishedAtThePictureEnd();
    void oddSizesAreCutWhereTheCodecNeedsIt();
};

void TestRecordingParts::timelineCutsPauses()
{
    Timeline t;
    int64_t at = -1;
    QVERIFY(!t.map(100, at)); // not started
    t.start(1000);
    QVERIFY(!t.map(999, at));
    QVERIFY(t.map(1500, at));
    QCOMPARE(at, int64_t(500));
    QVERIFY(t.pause(2000));
    QVERIFY(!t.pause(2100)); // already paused
    QVERIFY(t.paused());
    QVERIFY(!t.map(2500, at)); // inside the open pause
    QVERIFY(t.resume(5000));
    QVERIFY(!t.resume(5100));
    QVERIFY(!t.map(4999, at));
    QVERIFY(t.map(5000, at));
    QCOMPARE(at, int64_t(1000)); // the pause took 3000
    QVERIFY(t.map(1999, at));
    QCOMPARE(at, int64_t(999)); // before the pause: unchanged
    QVERIFY(t.pause(6000));
    QVERIFY(t.resume(6500));
    QVERIFY(t.map(7000, at));
    QCOMPARE(at, int64_t(7000 - 1000 - 3000 - 500));
}

void TestRecordingParts::timelineSplitsAStretchAcrossPauses()
{
    Timeline t;
    t.start(1000);
    t.pause(2000);
    t.resume(3000);
    // 500..4000: the part before the start and the pause are cut out.
    auto pieces = t.pieces(500, 3500);
    QCOMPARE(int(pieces.size()), 2);
    QCOMPARE(pieces[0].offsetUs, int64_t(500));
    QCOMPARE(pieces[0].lengthUs, int64_t(1000));
    QCOMPARE(pieces[0].recordUs, int64_t(0));
    QCOMPARE(pieces[1].offsetUs, int64_t(2500));
    QCOMPARE(pieces[1].lengthUs, int64_t(1000));
    QCOMPARE(pieces[1].recordUs, int64_t(1000));
    // Wholly inside the pause: nothing.
    QVERIFY(t.pieces(2100, 500).empty());
    // An open pause cuts the rest.
    t.pause(5000);
    pieces = t.pieces(4500, 2000);
    QCOMPARE(int(pieces.size()), 1);
    QCOMPARE(pieces[0].lengthUs, int64_t(500));
    QCOMPARE(pieces[0].recordUs, int64_t(2500));
}

void TestRecordingParts::soundIsPlacedOnItsPosition()
{
    AudioEncoder encoder;
    std::string error;
    QVERIFY2(encoder.open(kAudioCodecPcm16, 3, 2, false, error), error.c_str());
    int64_t samples = 0;
    auto sink = [&](AVPacket* p) {
        samples += p->size / 4; // 16-bit stereo
        return true;
    };
    std::vector<float> sound(2 * 4000, 0.25f);
    QVERIFY(encoder.write(0, sound.data(), 1000, sink));
    QCOMPARE(encoder.position(), int64_t(1000));
    // Jitter within the slack: stays contiguous.
    QVERIFY(encoder.write(1000 + AudioEncoder::kSlackFrames - 10, sound.data(), 1000, sink));
    QCOMPARE(encoder.position(), int64_t(2000));
    // A jump ahead: silence in between.
    QVERIFY(encoder.write(5000, sound.data(), 500, sink));
    QCOMPARE(encoder.position(), int64_t(5500));
    // Already covered: dropped; partly covered: only the new part.
    QVERIFY(encoder.write(3000, sound.data(), 1000, sink));
    QCOMPARE(encoder.position(), int64_t(5500));
    QVERIFY(encoder.write(4500, sound.data(), 2000, sink));
    QCOMPARE(encoder.position(), int64_t(6500));
    QVERIFY(encoder.finish(6500, sink));
    QCOMPARE(samples, int64_t(6500));
}

void TestRecordingParts::soundIsFinishedAtThePictureEnd()
{
    AudioEncoder encoder;
    std::string error;
    QVERIFY(encoder.open(kAudioCodecPcm24, 3, 1, false, error));
    int64_t samples = 0;
    auto sink = [&](AVPacket* p) {
        samples += p->size / 3; // 24-bit mono
        return true;
    };
    std::vector<float> sound(2 * 600, 0.5f);
    QVERIFY(encoder.write(0, sound.data(), 600, sink));
    // The picture ended later: silence up to it.
    QVERIFY(encoder.finish(2000, sink));
    QCOMPARE(samples, int64_t(2000));
    // Nothing after the finish.
    QVERIFY(encoder.write(2000, sound.data(), 600, sink));
    QCOMPARE(samples, int64_t(2000));
}

void TestRecordingParts::oddSizesAreCutWhereTheCodecNeedsIt()
{
    const QSize odd(641, 481);
    QCOMPARE(sc::rec::encodedSize(sc::rec::videoCodecSettings(kVideoCodecH264, 3, false), odd), QSize(640, 480));
    QCOMPARE(sc::rec::encodedSize(sc::rec::videoCodecSettings(kVideoCodecProRes422, 3, false), odd),
             QSize(640, 480));
    QCOMPARE(sc::rec::encodedSize(sc::rec::videoCodecSettings(kVideoCodecGif, 3, false), odd), odd);
    sc::rec::VideoEncoder tiny;
    std::string error;
    QVERIFY(!tiny.open(kVideoCodecH264, 3, 30, QSize(1, 1), false, false, error));
}

QTEST_GUILESS_MAIN(TestRecordingParts)
#include "tst_recording_parts.moc"
