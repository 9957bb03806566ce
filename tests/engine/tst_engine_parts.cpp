// Parts of the engine that need no display: the owning pointer, the time
// with pauses cut out and the sound placed on it, the sound mixer, the
// region box's arithmetic and size tip, the click effects' timing, the
// watermark, and the engine without widgets or an X server.

#include "EngineTestSupport.h"

#include "Screencast.h"
#include "rec/AreaControl.h"
#include "rec/AudioMixer.h"
#include "rec/EncoderAudio.h"
#include "rec/Factories.h"
#include "rec/MouseEffects.h"
#include "rec/VideoTimeline.h"
#include "ui/CropBoxGeometry.h"
#include "ui/OverlaySupport.h"

#include <QtTest>

#include <type_traits>

using namespace sc::rec;
using sc::ui::BoxGrip;

namespace {

// An engine object that counts its releases and notes what its holder
// held at that moment.
class Counted : public CBaseObject {
public:
    explicit Counted(int* releases, CBasePtr<Counted>* holder = nullptr) : m_releases(releases), m_holder(holder) {}
    void release() override
    {
        ++*m_releases;
        if (m_holder)
            holderAtRelease = m_holder->get();
        delete this;
    }
    static Counted* holderAtRelease;

private:
    int* m_releases;
    CBasePtr<Counted>* m_holder;
};
Counted* Counted::holderAtRelease = nullptr;

static_assert(!std::is_copy_constructible<CBasePtr<Counted>>::value, "move-only");
static_assert(!std::is_convertible<Counted*, CBasePtr<Counted>>::value, "no silent adoption");
static_assert(!std::is_convertible<CBasePtr<Counted>, bool>::value, "explicit test only");

constexpr int64_t kOrigin = 1000000000;   // an arbitrary nowUs()
int64_t at(int64_t frame) { return kOrigin + frame * 1000000 / kAudioRate; }
std::vector<float> flat(int frames, float value) { return std::vector<float>(std::size_t(frames) * 2, value); }

// The left channel of the chunks; fails the test when they are not one
// contiguous run on the origin's frame grid.
std::vector<float> joined(const std::vector<AudioChunk>& chunks)
{
    std::vector<float> left;
    int64_t frame = -1;
    for (const AudioChunk& c : chunks) {
        if (frame >= 0 && c.firstSampleUs != at(frame))
            qWarning("chunk at %lld, not contiguous", static_cast<long long>(c.firstSampleUs));
        if (frame < 0)
            frame = (c.firstSampleUs - kOrigin) * kAudioRate / 1000000;
        for (std::size_t i = 0; i < c.samples.size(); i += 2)
            left.push_back(c.samples[i]);
        frame += int64_t(c.samples.size() / 2);
    }
    return left;
}

sc::ui::BoxLimits limits(bool keepRatio = false, const QRect& display = QRect(0, 0, 1920, 1080))
{
    sc::ui::BoxLimits l;
    l.display = display;
    l.minSize = 32;
    l.keepRatio = keepRatio;
    l.ratio = 16.0 / 9.0;
    return l;
}

const QRgb kGreen = qRgb(30, 200, 60);

VideoFrame greenFrame(const QRect& screenRect)
{
    VideoFrame frame;
    frame.image = QImage(screenRect.size(), QImage::Format_RGB32);
    frame.image.fill(kGreen);
    frame.screenRect = screenRect;
    return frame;
}

} // namespace

class TstEngineParts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qunsetenv("DISPLAY"); }

    // Released exactly once; moving hands the object over; replacing
    // releases the old one after the new one is stored.
    void ownershipOfEngineObjects()
    {
        int a = 0, b = 0;
        {
            CBasePtr<Counted> p(new Counted(&a, nullptr));
            CBasePtr<Counted> q(std::move(p));
            QVERIFY(!p && q);
            CBasePtr<Counted>& alias = q;
            q = std::move(alias);
            QVERIFY(q);
            p = std::move(q);
            QCOMPARE(a, 0);
        }
        QCOMPARE(a, 1);
        a = 0;
        CBasePtr<Counted> holder;
        holder.reset(new Counted(&a, &holder));
        Counted* replacement = new Counted(&b);
        holder.reset(replacement);
        QCOMPARE(a, 1);
        QCOMPARE(Counted::holderAtRelease, replacement);
        holder = CBasePtr<Counted>();
        QCOMPARE(b, 1);
        holder.reset();
    }
    void timelineCutsPauses()
    {
        Timeline t;
        int64_t at = -1;
        QVERIFY(!t.map(100, at));   // not started
        t.start(1000);
        QVERIFY(t.map(1500, at) && at == 500);
        QVERIFY(t.pause(2000));
        QVERIFY(!t.pause(2100));
        QVERIFY(!t.map(2500, at));   // inside the pause
        QVERIFY(t.resume(5000));
        QVERIFY(!t.resume(5100));
        QVERIFY(t.map(5000, at) && at == 1000);
        QVERIFY(t.map(1999, at) && at == 999);   // before the pause: unchanged
        // A stretch across the pause comes in two pieces.
        auto pieces = t.pieces(500, 5000);
        QCOMPARE(int(pieces.size()), 2);
        QCOMPARE(pieces[0].offsetUs, int64_t(500));
        QCOMPARE(pieces[0].lengthUs, int64_t(1000));
        QCOMPARE(pieces[1].offsetUs, int64_t(4500));
        QCOMPARE(pieces[1].recordUs, int64_t(1000));
        QVERIFY(t.pieces(2100, 500).empty());
        t.pause(6000);   // an open pause cuts the rest
        pieces = t.pieces(5500, 2000);
        QCOMPARE(int(pieces.size()), 1);
        QCOMPARE(pieces[0].lengthUs, int64_t(500));
        QCOMPARE(pieces[0].recordUs, int64_t(1500));
    }
    // Sound goes where its timestamp says: jitter stays contiguous, a jump
    // ahead is silence, what is covered already is dropped, and the end is
    // filled up to the picture's end.
    void soundIsPlacedOnItsPosition()
    {
        AudioEncoder encoder;
        std::string error;
        QVERIFY2(encoder.open(kAudioCodecPcm16, 3, 2, false, error), error.c_str());
        int64_t samples = 0;
        auto sink = [&](AVPacket* p) {
            samples += p->size / 4;   // 16-bit stereo
            return true;
        };
        const std::vector<float> sound(2 * 4000, 0.25f);
        QVERIFY(encoder.write(0, sound.data(), 1000, sink));
        QVERIFY(encoder.write(1000 + AudioEncoder::kSlackFrames - 10, sound.data(), 1000, sink));
        QCOMPARE(encoder.position(), int64_t(2000));
        QVERIFY(encoder.write(5000, sound.data(), 500, sink));
        QCOMPARE(encoder.position(), int64_t(5500));
        QVERIFY(encoder.write(3000, sound.data(), 1000, sink));
        QCOMPARE(encoder.position(), int64_t(5500));
        QVERIFY(encoder.write(4500, sound.data(), 2000, sink));
        QCOMPARE(encoder.position(), int64_t(6500));
        QVERIFY(encoder.finish(8000, sink));
        QCOMPARE(samples, int64_t(8000));
        QVERIFY(encoder.write(8000, sound.data(), 600, sink));   // nothing after the finish
        QCOMPARE(samples, int64_t(8000));
    }
    // Jittering timestamps must not turn into clicks; two inputs are
    // summed by time; a jump in one input becomes silence.
    void mixerAlignsByTime()
    {
        AudioMixer one(1, kOrigin);
        std::vector<AudioChunk> out;
        const int jitterUs[] = {0, 2500, -1800, 3000, -2900, 1000};
        for (int k = 0; k < 6; ++k) {
            std::vector<float> ramp;
            for (int i = 0; i < 480; ++i)
                ramp.insert(ramp.end(), {float(k * 480 + i) / 100000.0f, 0.0f});
            one.push(0, ramp.data(), 480, at(k * 480) + jitterUs[k], at(k * 480 + 480));
            one.pull(at(k * 480 + 480), out);
        }
        one.drain(at(6 * 480), out);
        std::vector<float> all = joined(out);
        QCOMPARE(int(all.size()), 6 * 480);
        for (int i = 0; i < 6 * 480; ++i)
            QCOMPARE(all[std::size_t(i)], float(i) / 100000.0f);

        AudioMixer two(2, kOrigin);
        const std::vector<float> a = flat(4800, 0.25f), b = flat(4800, 0.5f);
        two.push(0, a.data(), 4800, at(0), at(4800));
        two.push(1, b.data(), 4800, at(2400), at(7200));
        two.push(0, a.data(), 4800, at(4800 + 4800), at(9600));   // 100 ms later than contiguous
        out.clear();
        two.drain(at(14400), out);
        all = joined(out);
        QCOMPARE(int(all.size()), 14400);
        const std::pair<int, float> expected[] = {{100, 0.25f}, {2399, 0.25f}, {2400, 0.75f}, {4799, 0.75f},
                                                  {4800, 0.5f}, {7199, 0.5f},  {7200, 0.0f},  {9600, 0.25f}};
        for (const auto& e : expected)
            QCOMPARE(all[std::size_t(e.first)], e.second);
    }
    // A silent input holds the other back only at the start and for a
    // short while after its sound stopped; one that turns up late is mixed
    // in from then on without revising what went out.
    void silentInputDoesNotStallTheOther()
    {
        AudioMixer mixer(2, kOrigin);
        std::vector<AudioChunk> out;
        const std::vector<float> a = flat(960, 0.25f);
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
        QCOMPARE(int64_t(joined(out).size()), frame);
        const std::vector<float> b = flat(9600, 0.5f);
        mixer.push(1, b.data(), 9600, at(frame - 4800), at(frame) + 700000);
        mixer.push(0, a.data(), 960, at(frame), at(frame) + 700000);
        mixer.pull(at(frame) + 700000, out);
        std::vector<float> all = joined(out);
        QCOMPARE(int64_t(all.size()), frame + 960);
        QCOMPARE(all[std::size_t(frame - 1)], 0.25f);
        QCOMPARE(all[std::size_t(frame)], 0.75f);
        // The first input stops: after half a second the second goes on.
        frame += 960;
        mixer.pull(at(frame) + 1100000, out);
        QCOMPARE(int64_t(joined(out).size()), frame);
        const std::vector<float> c = flat(960, 0.5f);
        mixer.push(1, c.data(), 960, at(frame + 3840), at(frame) + 1300000);
        mixer.pull(at(frame) + 1300000, out);
        QCOMPARE(int64_t(joined(out).size()), frame + 4800);
    }
    // No input at all: silence at the clock's pace after the start-up
    // wait. Loud sums stay inside full scale. Drain reaches the end. A
    // consumer that never takes keeps memory bounded, the newest kept.
    void mixerEdges()
    {
        AudioMixer none(1, kOrigin);
        std::vector<AudioChunk> out;
        none.pull(kOrigin + 2000000, out);
        QVERIFY(out.empty());
        none.pull(kOrigin + 3500000, out);
        QCOMPARE(int(joined(out).size()), 3 * kAudioRate);

        AudioMixer loud(2, kOrigin);
        const std::vector<float> high = flat(480, 0.9f), low = flat(480, 0.2f);
        for (int input = 0; input < 2; ++input) {
            loud.push(input, high.data(), 480, at(0), at(480));
            loud.push(input, low.data(), 480, at(480), at(960));
        }
        out.clear();
        loud.drain(at(1440), out);
        std::vector<float> all = joined(out);
        QCOMPARE(int(all.size()), 1440);
        QVERIFY(all[0] <= 1.0f && all[0] > 0.9f);
        QVERIFY(qAbs(all[480] - 0.4f) < 1e-6f);
        QCOMPARE(all[1439], 0.0f);

        AudioMixer unread(1, kOrigin);
        const std::vector<float> second = flat(kAudioRate, 0.1f);
        for (int s = 0; s < 15; ++s)
            unread.push(0, second.data(), std::size_t(kAudioRate), at(int64_t(s) * kAudioRate),
                        at(int64_t(s + 1) * kAudioRate));
        out.clear();
        unread.drain(at(int64_t(15) * kAudioRate), out);
        all = joined(out);
        QCOMPARE(int(all.size()), 15 * kAudioRate);
        QCOMPARE(all[0], 0.0f);
        QCOMPARE(all.back(), 0.1f);
    }
    // The region box kept on the display, never under the least size, the
    // opposite side fixed, and the ratio kept when asked.
    void boxGeometry_data()
    {
        QTest::addColumn<QRect>("start");
        QTest::addColumn<int>("grip");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<bool>("ratio");
        QTest::addColumn<QRect>("expected");
        const QRect b(100, 100, 400, 300);
        const QRect w(400, 300, 320, 180);   // 16:9
        const int move = int(BoxGrip::Move), right = int(BoxGrip::Right), br = int(BoxGrip::BottomRight);
        QTest::newRow("move") << b << move << QPoint(60, 40) << false << QRect(160, 140, 400, 300);
        QTest::newRow("move past the corner") << b << move << QPoint(5000, 5000) << false
                                              << QRect(1520, 780, 400, 300);
        QTest::newRow("right") << b << right << QPoint(50, 999) << false << QRect(100, 100, 450, 300);
        QTest::newRow("top left") << b << int(BoxGrip::TopLeft) << QPoint(-50, -30) << false
                                  << QRect(50, 70, 450, 330);
        QTest::newRow("past the opposite side") << b << right << QPoint(-1000, 0) << false
                                                << QRect(100, 100, 32, 300);
        QTest::newRow("corner past the display") << b << br << QPoint(5000, 5000) << false
                                                 << QRect(100, 100, 1820, 980);
        QTest::newRow("ratio: right side") << w << right << QPoint(160, 0) << true << QRect(400, 255, 480, 270);
        QTest::newRow("ratio: width leads") << w << br << QPoint(160, 10) << true << QRect(400, 300, 480, 270);
        QTest::newRow("ratio: least size") << w << right << QPoint(-1000, 0) << true << QRect(400, 374, 57, 32);
        QTest::newRow("ratio: display's edge") << w << right << QPoint(5000, 0) << true << QRect(400, 0, 1520, 855);
        QTest::newRow("ratio: moved up") << QRect(400, 800, 320, 180) << right << QPoint(480, 0) << true
                                         << QRect(400, 630, 800, 450);
        QTest::newRow("ratio: bounded by height") << QRect(100, 700, 320, 180) << br << QPoint(1000, 1000) << true
                                                  << QRect(100, 700, 676, 380);
    }
    void boxGeometry()
    {
        QFETCH(QRect, start);
        QFETCH(int, grip);
        QFETCH(QPoint, delta);
        QFETCH(bool, ratio);
        QFETCH(QRect, expected);
        QCOMPARE(sc::ui::resizedBox(start, BoxGrip(grip), delta, limits(ratio)), expected);
    }
    // The tip's format comes from outside: only %d (twice) and %% are
    // read, anything else gives the plain tip instead of reaching a printf.
    void sizeTip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << "640 x 360";
        QTest::newRow("words and percent") << "W %d, H %d (100%%)" << "W 640, H 360 (100%)";
        QTest::newRow("one number") << "%d px" << "640 x 360";
        QTest::newRow("a string conversion") << "%s %d %d" << "640 x 360";
        QTest::newRow("a pointer write") << "%d %d %n" << "640 x 360";
        QTest::newRow("a trailing percent") << "%d %d %" << "640 x 360";
        QTest::newRow("not ASCII") << "%d \u00d7 %d" << "640 \u00d7 360";
    }
    void sizeTip()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(sc::ui::sizeTipText(format.toStdString(), 640, 360), expected);
    }
    // A click shorter than a frame still shows for a while; the blink
    // flashes once per press and fades.
    void clickEffectsTiming()
    {
        MouseLook look;
        look.click = 1;
        look.clickColour = QColor(255, 0, 0);
        const PointerState down{true, QPoint(50, 50), true}, up{true, QPoint(50, 50), false};
        auto shows = [](MouseDecorator& d, const PointerState& s, int64_t t, const QPoint& p) {
            VideoFrame frame = greenFrame(QRect(0, 0, 100, 100));
            d.draw(frame, s, t);
            return !et::near(frame.image.pixel(p), kGreen, 40);
        };
        MouseDecorator ring(look);
        const QPoint onRing(50 + MouseDecorator::kRingRadius, 50);
        QVERIFY(!shows(ring, up, 1000000, onRing));
        QVERIFY(shows(ring, down, 1033000, onRing));
        QVERIFY(shows(ring, up, 1033000 + MouseDecorator::kClickShowUs - 1000, onRing));
        QVERIFY(!shows(ring, up, 1033000 + MouseDecorator::kClickShowUs + 1000, onRing));
        look.click = 2;
        MouseDecorator blink(look);
        const QPoint inFlash(60, 50);
        QVERIFY(!shows(blink, up, 1000000, inFlash));
        QVERIFY(shows(blink, down, 2000000, inFlash));
        QVERIFY(shows(blink, down, 2100000, inFlash));
        QVERIFY(!shows(blink, down, 2000000 + MouseDecorator::kBlinkUs + 1000, inFlash));
        QVERIFY(!shows(blink, up, 2500000, inFlash));
        QVERIFY(shows(blink, down, 2600000, inFlash));
    }
    // Scaled to its size, at its place, with its alpha; none without a
    // readable picture.
    void watermarkBurntIn()
    {
        QTemporaryDir dir;
        QImage picture(20, 10, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 20; ++x)
                picture.setPixel(x, y, x < 10 ? qRgba(255, 0, 0, 255) : qRgba(0, 0, 255, 128));
        const QString path = dir.filePath("mark.png");
        QVERIFY(picture.save(path));
        SetWatermark(path.toUtf8().constData(), 10, 20, 40, 20);
        const auto decorators = makeDecorators(RecordingSetup());
        QCOMPARE(decorators.size(), std::size_t(1));
        VideoFrame frame = greenFrame(QRect(0, 0, 100, 60));
        decorators.front()->decorate(frame);
        QVERIFY(et::near(frame.image.pixel(15, 25), qRgb(255, 0, 0), 6));
        const QRgb half = frame.image.pixel(45, 25);
        QVERIFY2(qBlue(half) > 100 && qBlue(half) < 160 && qGreen(half) > 80 && qGreen(half) < 120,
                 QByteArray::number(half, 16));
        for (const QPoint& p : {QPoint(15, 38), QPoint(5, 25), QPoint(55, 25), QPoint(15, 15), QPoint(50, 34)})
            QVERIFY(et::near(frame.image.pixel(p), kGreen, 6));
        QVERIFY(!et::near(frame.image.pixel(49, 34), kGreen, 0));   // scaled to 40 x 20
        for (const char* none : {"", "/nonexistent/mark.png"}) {
            SetWatermark(none, 10, 20, 40, 20);
            QVERIFY(makeDecorators(RecordingSetup()).empty());
        }
        SetWatermark(nullptr, 0, 0, 0, 0);
        QVERIFY(makeDecorators(RecordingSetup()).empty());
    }
    // Without widgets or an X server: no border, no canvas, window sources
    // refused with a reason, a pointer that draws nothing, an area that
    // stays where it is.
    void withoutWidgetsOrDisplay()
    {
        RecordingSetup setup;
        setup.displayRect = QRect(0, 0, 800, 600);
        setup.area = QRect(10, 10, 200, 100);
        setup.boundary = true;
        setup.mouse.method = 1;
        setup.mouse.methodParam = 1;
        QVERIFY(!makeRecordingOverlay(setup));
        QVERIFY(!makeCanvas(setup, nullptr));
        for (WindowListOption option : {kWindowListSingle, kWindowListExclude, kWindowListInclude}) {
            setup.windowOption = option;
            setup.include = {0x200001u};
            std::string error;
            QVERIFY(!makeWindowSource(setup, error));
            QVERIFY(!error.empty());
        }
        AreaController centred = makeAreaController(setup);
        QVERIFY(centred);
        QCOMPARE(centred(setup.area), setup.area);
        setup.windowOption = kWindowListNone;
        setup.mouse = MouseOpt{};
        setup.mouse.cursor = 1;
        setup.mouse.indicate = 1;
        setup.mouse.clickType = 2;
        const auto decorators = makeDecorators(setup);
        QCOMPARE(decorators.size(), std::size_t(1));
        VideoFrame frame = greenFrame(setup.area);
        const QImage before = frame.image.copy();
        decorators.front()->decorate(frame);
        QCOMPARE(frame.image, before);
    }

};

QTEST_GUILESS_MAIN(TstEngineParts)
#include "tst_engine_parts.moc"
