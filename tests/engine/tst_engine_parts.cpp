// Engine parts that need no display: the owning pointer, sound placement,
// the mixer, the region box's size tip, the click effect's timing, the
// cameras' modes and test cameras, and the check that a loop's state stays
// on its thread.

#include "EngineTestSupport.h"

#include "cam/Cameras.h"
#include "Screencast.h"
#include "cam/CameraInput.h"
#include "audio/AudioMixer.h"
#include "encode/EncoderAudio.h"
#include "effects/MouseEffects.h"
#include "ui/OverlaySupport.h"
#include "core/ThreadOwned.h"

#include <QtTest>

#include <cstdio>
#include <cstring>
#include <thread>
#include <type_traits>

using namespace sc::rec;

namespace {

// Run in a child: touches a loop's state the allowed ways, then from a
// thread that does not own it, which a checking build stops.
int touchLoopStateFromAnotherThread()
{
    sc::ThreadOwned<int> state(0);
    state.get() = 1;   // set up before any loop claimed it
    std::thread([&state] {
        state.claim();
        state.get() = 2;
        state.letGo();
    }).join();
    state.get() = 3;   // torn down after the loop let go
    std::printf("allowed ways passed\n");
    std::fflush(stdout);
    state.claim();
    std::thread([&state] { state.get() = 4; }).join();
    return 0;
}

} // namespace

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
    // Sound goes exactly where its position says: a gap is silence, what is covered already is
    // dropped, and the end is filled up to the picture's end.
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
        QVERIFY(encoder.write(1001, sound.data(), 999, sink));
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
    // Sound on its timestamps passes unchanged; two inputs are summed by
    // time; a jump in one input becomes silence.
    void mixerAlignsByTime()
    {
        AudioMixer one(1, kOrigin);
        std::vector<AudioChunk> out;
        for (int k = 0; k < 6; ++k) {
            std::vector<float> ramp;
            for (int i = 0; i < 480; ++i)
                ramp.insert(ramp.end(), {float(k * 480 + i) / 100000.0f, 0.0f});
            one.push(0, ramp.data(), 480, at(k * 480), at(k * 480 + 480));
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
    // Loud sums stay inside full scale; drain reaches the end.
    void mixerClipsLoudSums()
    {
        AudioMixer loud(2, kOrigin);
        std::vector<AudioChunk> out;
        const std::vector<float> high = flat(480, 0.9f), low = flat(480, 0.2f);
        for (int input = 0; input < 2; ++input) {
            loud.push(input, high.data(), 480, at(0), at(480));
            loud.push(input, low.data(), 480, at(480), at(960));
        }
        loud.drain(at(1440), out);
        const std::vector<float> all = joined(out);
        QCOMPARE(int(all.size()), 1440);
        QVERIFY(all[0] <= 1.0f && all[0] > 0.9f);
        QVERIFY(qAbs(all[480] - 0.4f) < 1e-6f);
        QCOMPARE(all[1439], 0.0f);
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
    // A click shorter than a frame still shows for a while, then goes.
    void clickShowsForAWhile()
    {
        MouseLook look;
        look.click = 1;
        look.clickColour = QColor(255, 0, 0);
        const PointerState down{true, QPoint(50, 50), true}, up{true, QPoint(50, 50), false};
        MouseDecorator ring(look);
        auto shows = [&](const PointerState& s, int64_t t) {
            VideoFrame frame = greenFrame(QRect(0, 0, 100, 100));
            ring.draw(frame, s, t);
            return !et::near(frame.image.pixel(50 + MouseDecorator::kRingRadius, 50), kGreen, 40);
        };
        QVERIFY(!shows(up, 1000000));
        QVERIFY(shows(down, 1033000));
        QVERIFY(shows(up, 1033000 + MouseDecorator::kClickShowUs - 1000));
        QVERIFY(!shows(up, 1033000 + MouseDecorator::kClickShowUs + 1000));
    }

    // A node's modes: one per size, largest first, each at the rate nearest
    // 30 fps and MJPEG before YUYV; a wanted size picks its own mode.
    void v4l2ModesBySize()
    {
        using sc::cam::V4l2Mode;
        const std::vector<V4l2Mode> offered{{"yuyv422", 640, 480, 30}, {"mjpeg", 1920, 1080, 15},
                                            {"mjpeg", 640, 480, 30},   {"yuyv422", 1920, 1080, 5},
                                            {"mjpeg", 1280, 720, 60},  {"yuyv422", 1280, 720, 30}};
        const std::vector<V4l2Mode> sizes = sc::cam::v4l2Sizes(offered);
        QStringList shown;
        for (const V4l2Mode& m : sizes)
            shown << QString("%1 %2x%3@%4").arg(QString::fromStdString(m.inputFormat)).arg(m.width).arg(m.height).arg(m.fps);
        QCOMPARE(shown, (QStringList{"mjpeg 1920x1080@15", "yuyv422 1280x720@30", "mjpeg 640x480@30"}));

        V4l2Mode chosen;
        QVERIFY(sc::cam::chooseV4l2Mode(offered, 0, 0, chosen));   // the usual choice
        QCOMPARE(chosen.width, 1280);
        QCOMPARE(chosen.inputFormat, std::string("yuyv422"));
        QVERIFY(sc::cam::chooseV4l2Mode(offered, 640, 480, chosen));
        QCOMPARE(chosen.inputFormat + " " + std::to_string(chosen.width), std::string("mjpeg 640"));
        QVERIFY(sc::cam::chooseV4l2Mode(offered, 1900, 1000, chosen));   // not offered: the nearest
        QCOMPARE(chosen.width, 1920);
        QVERIFY(!sc::cam::chooseV4l2Mode({}, 0, 0, chosen));
    }

    // SR_TEST_CAMERA names several cameras, empty parts skipped; each offers
    // its own size and opens in it whatever size is asked for.
    void severalTestCameras()
    {
        QTemporaryDir noNodes;
        sc::setCameraDirectoryForTests(noNodes.path().toStdString());
        et::ScopedEnv cameras("SR_TEST_CAMERA", "lavfi:color=c=red:size=320x240:rate=30;;"
                                            "lavfi:color=c=blue:size=480x360:rate=15");
        QCOMPARE(GetCameraDeviceCount(), 2);
        QCOMPARE(QByteArray(GetCameraDevice(0)->name), QByteArray("Test Camera"));
        QCOMPARE(QByteArray(GetCameraDevice(1)->name), QByteArray("Test Camera 2"));
        QCOMPARE(QByteArray(GetCameraDevice(1)->uniqueId), QByteArray("test-camera-2"));
        QCOMPARE(QByteArray(GetCameraDefaultDevice()), QByteArray("test-camera"));
        QCOMPARE(sc::testCameraSource("test-camera-2"), std::string("lavfi:color=c=blue:size=480x360:rate=15"));
        QCOMPARE(sc::testCameraSource("test-camera-3"), std::string());

        CameraModeInfo modes[4] = {};
        QCOMPARE(GetCameraModes("test-camera-2", modes, 4), 1);
        QCOMPARE(QSize(modes[0].width, modes[0].height), QSize(480, 360));
        QCOMPARE(modes[0].fps, 15);
        QCOMPARE(GetCameraModes("test-camera", nullptr, 0), 1);   // counted without room
        QCOMPARE(GetCameraModes("", modes, 4), 0);

        sc::cam::CameraInput input;
        std::string error;
        QVERIFY2(input.open("test-camera-2", error, 1280, 720), error.c_str());
        QCOMPARE(input.size(), QSize(480, 360));
        sc::setCameraDirectoryForTests(std::string());
    }

    // A loop's state touched from another thread than the one that claimed it ends a
    // debug or ThreadSanitizer build on the spot; before the claim and after letting go
    // any thread may set it up or tear it down.
    void loopStateStaysOnItsThread()
    {
#ifndef SC_CHECK_THREAD_OWNERS
        QSKIP("release builds keep no record of a loop's thread");
#endif
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--touch-loop-state"});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY(child.readAllStandardOutput().contains("allowed ways passed"));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(child.readAllStandardError().contains("touched from a thread other than its own"));
    }
};

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--touch-loop-state") == 0)
        return touchLoopStateFromAnotherThread();
    QCoreApplication app(argc, argv);
    TstEngineParts test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_engine_parts.moc"
