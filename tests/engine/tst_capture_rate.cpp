// The capture rate's decisions on injected clocks and queue states: down a
// step at a time while the encoder stays behind, up again once it keeps up
// (also after a load spike), no swinging on a machine that is too slow, and
// the end of the recording only at the lowest rate; and the count of the
// slots it passed over, by why, as the stop's log line tells it.

#include "encode/CaptureRate.h"

#include <QtTest>

#include <functional>
#include <vector>

using namespace sc::rec;

namespace {

constexpr int64_t kT0 = 1000000000;   // the simulation's first moment
constexpr int64_t kSecond = 1000000;
constexpr std::size_t kCapacity = 4;

// What the encoder does to a frame offered at a moment: takes it with the queue this deep
// afterwards, or (-1) has no room.
using Encoder = std::function<int(int64_t sinceStartUs)>;

struct Step {
    int64_t atUs;         // since the start
    CaptureRate::Change change;
    int stride;           // after the change
};

// Offers a frame at every tick the rate grabs, for `seconds`; the changes it decided.
std::vector<Step> run(CaptureRate& rate, double seconds, const Encoder& encoder)
{
    std::vector<Step> steps;
    while (true) {
        const int64_t now = rate.due(rate.tick());
        if (now - kT0 >= int64_t(seconds * kSecond))
            break;
        const int depth = encoder(now - kT0);
        const CaptureRate::Change change =
            depth < 0 ? rate.dropped(now) : rate.queued(now, std::size_t(depth), kCapacity);
        if (change != CaptureRate::Change::None)
            steps.push_back({now - kT0, change, rate.stride()});
        if (change == CaptureRate::Change::GiveUp)
            break;
    }
    return steps;
}

std::vector<int> strides(const std::vector<Step>& steps, CaptureRate::Change kind)
{
    std::vector<int> out;
    for (const Step& s : steps) {
        if (s.change == kind)
            out.push_back(s.stride);
    }
    return out;
}

const Encoder keepsUp = [](int64_t) { return 0; };
const Encoder behind = [](int64_t) { return -1; };

} // namespace

class TestCaptureRate : public QObject {
    Q_OBJECT

private slots:
    void keepingUpChangesNothing()
    {
        CaptureRate rate(60, kT0);
        QVERIFY(run(rate, 60, keepsUp).empty());
        QCOMPARE(rate.stride(), 1);
        QCOMPARE(rate.tick(), int64_t(60 * 60));
        QCOMPARE(rate.skipped(), int64_t(0));
    }

    // Behind for good: a step down every 1.5 s (one in 2, 3, 4, 8, ..., down to one frame a
    // second), then the end after 3 s at the lowest rate.
    void behindForGoodStepsDownThenGivesUp_data()
    {
        QTest::addColumn<int>("fps");
        QTest::addColumn<std::vector<int>>("down");
        QTest::newRow("30 fps") << 30 << std::vector<int>{2, 3, 4, 8, 16, 30};
        QTest::newRow("60 fps") << 60 << std::vector<int>{2, 3, 4, 8, 16, 32, 60};
        QTest::newRow("5 fps") << 5 << std::vector<int>{2, 3, 4, 5};
    }
    void behindForGoodStepsDownThenGivesUp()
    {
        QFETCH(int, fps);
        QFETCH(std::vector<int>, down);
        CaptureRate rate(fps, kT0);
        const std::vector<Step> steps = run(rate, 600, behind);
        QCOMPARE(strides(steps, CaptureRate::Change::Slower), down);
        QVERIFY(strides(steps, CaptureRate::Change::Faster).empty());
        QCOMPARE(steps.back().change, CaptureRate::Change::GiveUp);
        // Each step needs 1.5 s of drops at its rate (plus the tick that notices), the end 3 s.
        const double seconds = steps.back().atUs / 1e6;
        QVERIFY2(seconds >= 1.5 * double(down.size()) + 3 && seconds <= 2.6 * double(down.size()) + 4.1,
                 qPrintable(QString::number(seconds)));
    }

    // A load spike: for 20 s the encoder manages one frame in four, then all of them again.
    // The rate goes down to that, tries more now and then (ever less often), and once the
    // spike is over comes back step by step, each 3 s after the last, to the full rate.
    void comesBackAfterALoadSpike()
    {
        CaptureRate rate(60, kT0);
        const CaptureRate* seen = &rate;
        const std::vector<Step> steps =
            run(rate, 60, [seen](int64_t at) { return at >= 20 * kSecond || seen->stride() >= 4 ? 0 : -1; });
        QCOMPARE(rate.stride(), 1);
        std::vector<int64_t> upAfterSpike;
        for (const Step& s : steps) {
            QVERIFY(s.change != CaptureRate::Change::GiveUp);
            QVERIFY(s.stride <= 4);
            if (s.change == CaptureRate::Change::Slower)
                QVERIFY(s.atUs < 20 * kSecond + kSecond);
            if (s.change == CaptureRate::Change::Faster && s.atUs >= 20 * kSecond)
                upAfterSpike.push_back(s.atUs);
        }
        QVERIFY(!upAfterSpike.empty());
        QVERIFY2(upAfterSpike.back() < 45 * kSecond, qPrintable(QString::number(upAfterSpike.back())));
        for (std::size_t i = 1; i < upAfterSpike.size(); ++i) {
            const int64_t wait = upAfterSpike[i] - upAfterSpike[i - 1];
            QVERIFY2(wait >= CaptureRate::kRaiseAfterUs && wait <= CaptureRate::kRaiseAfterUs + 100000,
                     qPrintable(QString::number(wait)));
        }
    }

    // The queue more than half full means a busy encoder even without a drop: no step up.
    void aBusyEncoderIsNotGivenMore()
    {
        CaptureRate rate(30, kT0);
        run(rate, 3, behind);
        QCOMPARE(rate.stride(), 2);
        CaptureRate busy = rate;
        QVERIFY(run(busy, 30, [](int64_t) { return 3; }).empty());
        QCOMPARE(busy.stride(), 2);
        QVERIFY(!run(rate, 30, [](int64_t) { return 2; }).empty());
        QCOMPARE(rate.stride(), 1);
    }

    // A machine that manages one frame in two: each step up fails and is taken back, and the
    // tries come ever further apart (up to the longest wait) instead of swinging every few
    // seconds.
    void tooSlowSettlesInsteadOfSwinging()
    {
        CaptureRate rate(30, kT0);
        const CaptureRate* seen = &rate;
        const std::vector<Step> steps = run(rate, 300, [seen](int64_t) { return seen->stride() >= 2 ? 0 : -1; });
        std::vector<int64_t> tries;
        for (const Step& s : steps) {
            QVERIFY(s.change != CaptureRate::Change::GiveUp);
            if (s.change == CaptureRate::Change::Faster)
                tries.push_back(s.atUs);
        }
        QCOMPARE(rate.stride(), 2);
        QVERIFY2(tries.size() >= 8 && tries.size() <= 14, qPrintable(QString::number(tries.size())));
        std::vector<int64_t> gaps;
        for (std::size_t i = 1; i < tries.size(); ++i)
            gaps.push_back(tries[i] - tries[i - 1]);
        for (std::size_t i = 1; i < 3; ++i)
            QVERIFY(gaps[i] > gaps[i - 1] + kSecond);
        QVERIFY(gaps.back() >= CaptureRate::kLongestRaiseAfterUs);
        QVERIFY(gaps.back() <= CaptureRate::kLongestRaiseAfterUs + 3 * kSecond);
    }

    // After failed tries a step up that holds brings back the short wait for the next one.
    void aStepUpThatHeldBringsBackTheShortWait()
    {
        CaptureRate rate(30, kT0);
        run(rate, 4, behind);
        QCOMPARE(rate.stride(), 3);
        const CaptureRate* seen = &rate;
        // Until 40 s the encoder manages one frame in three, then all of them.
        const std::vector<Step> steps = run(rate, 120, [seen](int64_t at) {
            return at >= 40 * kSecond || seen->stride() >= 3 ? 0 : -1;
        });
        QCOMPARE(rate.stride(), 1);
        std::vector<int64_t> ups;
        for (const Step& s : steps) {
            if (s.change == CaptureRate::Change::Faster)
                ups.push_back(s.atUs);
        }
        // Failed tries before 40 s made the first step after it wait long; it held, so the
        // last step came the short wait after it.
        QVERIFY(ups.size() >= 4);
        const int64_t held = ups[ups.size() - 2], last = ups.back();
        QVERIFY(held >= 40 * kSecond && held - ups[ups.size() - 3] > 2 * CaptureRate::kRaiseAfterUs);
        QVERIFY2(last - held >= CaptureRate::kRaiseAfterUs && last - held <= CaptureRate::kRaiseAfterUs + 100000,
                 qPrintable(QString::number(last - held)));
    }

    // Late grabs skip the ticks they missed instead of bunching frames; a resume starts afresh.
    void lateTicksAreSkippedAndAResumeStartsAfresh()
    {
        CaptureRate rate(10, kT0);
        rate.queued(kT0, 0, kCapacity);
        QCOMPARE(rate.tick(), int64_t(1));
        rate.queued(kT0 + 440000, 0, kCapacity);    // the grab of tick 1 took until 0.44 s
        QCOMPARE(rate.tick(), int64_t(4));           // ticks 2 and 3 passed
        QCOMPARE(rate.skipped(), int64_t(2));
        rate.restart(kT0 + 9 * kSecond);
        QCOMPARE(rate.tick(), int64_t(0));
        QCOMPARE(rate.due(1), kT0 + 9 * kSecond + 100000);
    }

    // What the capture passed over, by why: a late grab, a full queue, a lowered rate.
    void missedSlotsByReason()
    {
        CaptureRate rate(10, kT0);
        rate.queued(kT0, 0, kCapacity);
        rate.queued(kT0 + 440000, 0, kCapacity);   // ticks 2 and 3 passed
        rate.dropped(rate.due(rate.tick()));
        QCOMPARE(rate.missed().captureLate, int64_t(2));
        QCOMPARE(rate.missed().encoderBehind, int64_t(1));
        QCOMPARE(rate.missed().rateLowered, int64_t(0));

        CaptureRate slow(10, kT0);
        QCOMPARE(strides(run(slow, 2.0, behind), CaptureRate::Change::Slower), std::vector<int>{2});
        const int64_t lowered = slow.missed().rateLowered;
        for (int i = 0; i < 5; ++i)
            slow.queued(slow.due(slow.tick()), 0, kCapacity);
        QCOMPARE(slow.missed().rateLowered - lowered, int64_t(5));   // one tick passed over per grab
    }

    // A gap of repeated slots is put down to the reasons the capture gave, in order, and
    // whatever they do not cover to timing.
    void gapsAttributedToReasons_data()
    {
        QTest::addColumn<int>("gap");
        QTest::addColumn<QVector<int>>("pending");    // behind, late, lowered
        QTest::addColumn<QVector<int>>("expected");   // behind, late, lowered, other
        QTest::newRow("nothing missed") << 0 << QVector<int>{0, 0, 0} << QVector<int>{0, 0, 0, 0};
        QTest::newRow("all explained") << 3 << QVector<int>{1, 1, 1} << QVector<int>{1, 1, 1, 0};
        QTest::newRow("timing only") << 2 << QVector<int>{0, 0, 0} << QVector<int>{0, 0, 0, 2};
        QTest::newRow("fewer than reasons") << 2 << QVector<int>{1, 3, 4} << QVector<int>{1, 1, 0, 0};
        QTest::newRow("reasons, then timing") << 5 << QVector<int>{0, 1, 2} << QVector<int>{0, 1, 2, 2};
    }
    void gapsAttributedToReasons()
    {
        QFETCH(int, gap);
        QFETCH(QVector<int>, pending);
        QFETCH(QVector<int>, expected);
        const MissedSlots got = attributeGap(gap, MissedSlots{pending[0], pending[1], pending[2], 0});
        QCOMPARE((QVector<int>{int(got.encoderBehind), int(got.captureLate), int(got.rateLowered), int(got.other)}),
                 expected);
        QCOMPARE(got.total(), int64_t(gap));
    }

    void summaryLine_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<QVector<int>>("skipped");   // behind, late, lowered, other
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << 250 << QVector<int>{0, 0, 0, 0} << "250 frames, 0 skipped (0.0%)";
        QTest::newRow("two reasons") << 1800 << QVector<int>{9, 3, 0, 0}
                                     << "1800 frames, 12 skipped (0.7%): 9 encoder behind, 3 capture late";
        QTest::newRow("every reason") << 100 << QVector<int>{1, 2, 3, 4}
                                      << "100 frames, 10 skipped (10.0%): 1 encoder behind, 2 capture late, "
                                         "3 capture rate lowered, 4 timing";
        QTest::newRow("empty file") << 0 << QVector<int>{0, 0, 0, 0} << "0 frames, 0 skipped (0.0%)";
    }
    void summaryLine()
    {
        QFETCH(int, frames);
        QFETCH(QVector<int>, skipped);
        QFETCH(QString, line);
        const MissedSlots why{skipped[0], skipped[1], skipped[2], skipped[3]};
        QCOMPARE(QString::fromStdString(describeSkips(frames, why)), line);
    }
};

QTEST_GUILESS_MAIN(TestCaptureRate)
#include "tst_capture_rate.moc"
