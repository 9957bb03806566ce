// The real screen recorder end to end: windows painted in known colours
// are recorded and what was written is decoded and checked (size, codec,
// frame rate, duration, frames, colours, sound).

#include "tests/support/RecorderTestHelpers.h"
#include "RecordingTestSupport.h"
#include "tests/support/TestHelpers.h"
#include "ToneSource.h"

#include "rec/VideoRecorder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <memory>

using namespace rectest;
using testsupport::threadCount;
using testsupport::waitForFrames;

namespace {

// Recording time measured around start() and release().
class Stopwatch
{
public:
    void start() { m_startUs = sc::rec::nowUs(); }
    double seconds() const { return double(sc::rec::nowUs() - m_startUs) / 1e6; }

private:
    int64_t m_startUs = 0;
};

double rms(const std::vector<float>& s, size_t from, size_t to)
{
    double sum = 0;
    to = std::min(to, s.size());
    if (to <= from)
        return 0;
    for (size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

QPoint centre(const QRect& r)
{
    return QPoint(r.left() + r.width() / 2, r.top() + r.height() / 2);
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void regionOfWindowAtRightSizeRateAndColours();
    void pauseLeavesOutTimeAndContent();
    void containersAndCodecs_data();
    void containersAndCodecs();
    void oddSizes();
    void killedRecordingStaysPlayable();
    void unwritablePathIsRefused();
    void writeFailureReportsOnce();
    void snapshotHasTheRegion();
    void badOptionsAreClampedOrRefused();
    void startStopCyclesLeaveNoThread();
    void soundFromToneSource_data();
    void soundFromToneSource();
    void soundAndPictureInStep();
    void pauseCutsSoundToo();
    void lostSoundDeviceReportsSix();
    void soundFromTheSoundServer();

private:
    QString file(const QString& name) const { return m_dir.filePath(name); }
    void showQuadrants(const QRect& geometry);
    void showFill(const QRect& geometry, const QColor& fill);

    QTemporaryDir m_dir;
    std::unique_ptr<PaintWindow> m_window;
    ToneSource::Control m_tone;
};

void TestRecording::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // For looking at the files after a failure.
    if (qEnvironmentVariableIsSet("SR_KEEP_TEST_FILES")) {
        m_dir.setAutoRemove(false);
        qInfo("files in %s", qPrintable(m_dir.path()));
    }
    QCOMPARE(scInitialize(), int(kScInitOk));
    UseDisplay(0);
    sc::rec::setAudioSourceFactory([this](bool, bool, const char*) {
        return std::unique_ptr<sc::rec::IAudioSource>(new ToneSource(m_tone));
    });
}

void TestRecording::cleanupTestCase()
{
    sc::rec::setAudioSourceFactory(nullptr);
    scUninitialize();
}

void TestRecording::init()
{
    m_tone.toneFromUs = 0;
    m_tone.failNow = false;
}

void TestRecording::cleanup()
{
    m_window.reset();
}

void TestRecording::showQuadrants(const QRect& geometry)
{
    m_window.reset(new PaintWindow(geometry));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    const QRect in = m_window->inner();
    QVERIFY(waitForScreen(in.topLeft() + QPoint(5, 5), m_window->quadrant[0]));
    QVERIFY(waitForScreen(in.bottomRight() - QPoint(5, 5), m_window->quadrant[3]));
}

void TestRecording::showFill(const QRect& geometry, const QColor& fill)
{
    m_window.reset(new PaintWindow(geometry));
    m_window->fill = fill;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(waitForScreen(centre(m_window->inner()), fill));
}

// A region inside a window: the file has the region's size, codec, frame
// rate and length, the quadrants where they are, and none of the border
// that surrounds the region on the screen.
void TestRecording::regionOfWindowAtRightSizeRateAndColours()
{
    showQuadrants(QRect(200, 150, 440, 340));
    const QRect region = m_window->inner(); // 400 x 300
    const QString path = file("region.mp4");
    Callback callback;
    auto recorder = record(&callback, kOutputMp4, path, videoOpt(region, 25, kVideoCodecH264, 4));
    QVERIFY(recorder);
    Stopwatch watch;
    watch.start();
    QCOMPARE(recorder->start(), 0);
    QTest::qWait(1500);
    const double seconds = watch.seconds();
    recorder.reset();
    callback.released = true;
    QVERIFY(callback.errorList().empty());

    const Probe p = probe(path);
    QVERIFY2(p.formatName.contains("mp4"), qPrintable(p.formatName));
    QCOMPARE(p.videoCodec, QString("h264"));
    QCOMPARE(p.width, 400);
    QCOMPARE(p.height, 300);
    QCOMPARE(p.frameRate, QString("25/1"));
    QVERIFY(!p.hasAudio);
    QVERIFY2(std::fabs(p.formatDuration - seconds) < 0.25,
             qPrintable(QString("%1 s in the file, %2 s recorded").arg(p.formatDuration).arg(seconds)));
    // Constant frame rate: every slot of the recording time has a frame.
    QVERIFY2(std::abs(p.frames - int(std::lround(p.formatDuration * 25))) <= 1,
             qPrintable(QString("%1 frames for %2 s").arg(p.frames).arg(p.formatDuration)));
    QVERIFY2(std::abs(p.frames - int(seconds * 25)) <= 4, qPrintable(QString::number(p.frames)));

    const std::vector<QImage> frames = decodeFrames(path, 400, 300);
    QCOMPARE(int(frames.size()), p.frames);
    const QImage& f = frames.back();
    QVERIFY(near(f.pixel(100, 75), m_window->quadrant[0], 24));
    QVERIFY(near(f.pixel(300, 75), m_window->quadrant[1], 24));
    QVERIFY(near(f.pixel(100, 225), m_window->quadrant[2], 24));
    QVERIFY(near(f.pixel(300, 225), m_window->quadrant[3], 24));
    // The edges are the region's own pixels, not the magenta around it.
    QVERIFY(near(f.pixel(1, 1), m_window->quadrant[0], 40));
    QVERIFY(near(f.pixel(398, 1), m_window->quadrant[1], 40));
    QVERIFY(near(f.pixel(1, 298), m_window->quadrant[2], 40));
    QVERIFY(near(f.pixel(398, 298), m_window->quadrant[3], 40));
    QCOMPARE(QFileInfo(path).exists(), true);
}

// Two seconds of pause while the content turns red and back: the file is
// two seconds long and no frame shows red.
void TestRecording::pauseLeavesOutTimeAndContent()
{
    showFill(QRect(300, 200, 240, 200), QColor(20, 200, 20));
    if (QTest::currentTestFailed())
        return;
    const QRect region = m_window->inner();

    const QString path = file("pause.mp4");
    Callback callback;
    auto recorder = record(&callback, kOutputMp4, path, videoOpt(region, 20, kVideoCodecH264, 3));
    QVERIFY(recorder);
    Stopwatch running;
    running.start();
    QCOMPARE(recorder->start(), 0);
    QTest::qWait(1000);
    QCOMPARE(recorder->pause(), 0);
    double recorded = running.seconds();
    const int64_t framesAtPause = recorder->frameCount();

    m_window->setFill(QColor(230, 20, 20));
    QVERIFY(waitForScreen(centre(region), QColor(230, 20, 20)));
    QTest::qWait(2000);
    m_window->setFill(QColor(20, 200, 20));
    QVERIFY(waitForScreen(centre(region), QColor(20, 200, 20)));
    // Nothing was recorded while paused.
    QVERIFY(recorder->frameCount() <= framesAtPause + 1);

    running.start();
    QCOMPARE(recorder->resume(), 0);
    QTest::qWait(1000);
    recorded += running.seconds();
    recorder.reset();
    QVERIFY(callback.errorList().empty());

    const Probe p = probe(path);
    QVERIFY2(std::fabs(p.formatDuration - recorded) < 0.25,
             qPrintable(QString("%1 s in the file, %2 s recorded").arg(p.formatDuration).arg(recorded)));
    const std::vector<QImage> frames = decodeFrames(path, p.width, p.height);
    QVERIFY(frames.size() >= 30);
    for (size_t i = 0; i < frames.size(); ++i) {
        const QRgb c = frames[i].pixel(frames[i].width() / 2, frames[i].height() / 2);
        QVERIFY2(near(c, QColor(20, 200, 20), 30), qPrintable(QString("frame %1 is %2").arg(i).arg(c, 0, 16)));
    }
}

void TestRecording::containersAndCodecs_data()
{
    QTest::addColumn<int>("container");
    QTest::addColumn<int>("codec");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("codecName");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("pixelFormat");
    QTest::addColumn<QString>("brand");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("MP4 H.264") << int(kOutputMp4) << int(kVideoCodecH264) << "mp4" << "h264" << "avc1"
                               << "yuv420p" << "iso" << 24;
    QTest::newRow("MP4 HEVC") << int(kOutputMp4) << int(kVideoCodecHevc) << "mp4" << "hevc" << "hvc1"
                              << "yuv420p" << "iso" << 24;
    QTest::newRow("MOV ProRes 422") << int(kOutputMov) << int(kVideoCodecProRes422) << "mov" << "prores"
                                    << "apcn" << "yuv422p10le" << "qt  " << 16;
    QTest::newRow("MOV ProRes 4444") << int(kOutputMov) << int(kVideoCodecProRes4444) << "mov" << "prores"
                                     << "ap4h" << "yuva444p" << "qt  " << 16;
    QTest::newRow("GIF") << int(kOutputGif) << int(kVideoCodecGif) << "gif" << "gif" << "" << "bgra" << "" << 8;
}

// Every container with its codecs; a GIF never carries sound, even when
// sound was asked for.
void TestRecording::containersAndCodecs()
{
    QFETCH(int, container);
    QFETCH(int, codec);
    QFETCH(QString, suffix);
    QFETCH(QString, codecName);
    QFETCH(QString, tag);
    QFETCH(QString, pixelFormat);
    QFETCH(QString, brand);
    QFETCH(int, tolerance);

    showQuadrants(QRect(100, 100, 240, 200));
    const QRect region = m_window->inner(); // 200 x 160
    const QString path = file(QString("codec-%1-%2.%3").arg(container).arg(codec).arg(suffix));
    Callback callback;
    const AudioOpt audio = systemSound(); // sound is asked for: only GIF leaves it out
    auto recorder = record(&callback, OutputVideoFileType(container), path, videoOpt(region, 10, codec, 3), audio);
    QVERIFY(recorder);
    QCOMPARE(recorder->start(), 0);
    QVERIFY(waitForFrames(recorder.get(), 8));
    recorder.reset();
    QVERIFY(callback.errorList().empty());

    const Probe p = probe(path);
    QCOMPARE(p.videoCodec, codecName);
    if (!tag.isEmpty())
        QCOMPARE(p.videoTag, tag);
    // MP4 and M4V are ISO movies, MOV a QuickTime one.
    if (brand == "iso")
        QVERIFY2(p.majorBrand.startsWith("iso") || p.majorBrand == "mp41" || p.majorBrand == "mp42",
                 qPrintable(p.majorBrand));
    else if (!brand.isEmpty())
        QCOMPARE(p.majorBrand, brand);
    QCOMPARE(p.width, 200);
    QCOMPARE(p.height, 160);
    QVERIFY(p.frames >= 8);
    if (container == kOutputGif) {
        QVERIFY(!p.hasAudio);
        QVERIFY(p.formatName.contains("gif"));
    } else {
        // The decoder may widen the samples (ProRes 4444 decodes as 12 bits).
        QVERIFY2(p.pixelFormat.startsWith(pixelFormat), qPrintable(p.pixelFormat));
        QVERIFY(p.hasAudio);
        QCOMPARE(p.frameRate, QString("10/1"));
    }

    const bool alpha = codec == kVideoCodecProRes4444;
    const std::vector<QImage> frames = decodeFrames(path, 200, 160, alpha);
    QVERIFY(!frames.empty());
    const QImage& f = frames.back();
    QVERIFY(near(f.pixel(50, 40), m_window->quadrant[0], tolerance));
    QVERIFY(near(f.pixel(150, 40), m_window->quadrant[1], tolerance));
    QVERIFY(near(f.pixel(50, 120), m_window->quadrant[2], tolerance));
    QVERIFY(near(f.pixel(150, 120), m_window->quadrant[3], tolerance));
    if (alpha) {
        // The alpha plane is there and the screen is opaque.
        QCOMPARE(qAlpha(f.pixel(50, 40)), 255);
        QCOMPARE(qAlpha(f.pixel(150, 120)), 255);
    }
}

// Codecs with chroma subsampling lose an odd last row and column; GIF
// keeps the exact size.
void TestRecording::oddSizes()
{
    showQuadrants(QRect(100, 100, 241, 201));
    const QRect region = m_window->inner(); // 201 x 161
    QCOMPARE(region.size(), QSize(201, 161));
    struct Case
    {
        OutputVideoFileType type;
        int codec;
        const char* name;
        QSize size;
    } cases[] = {{kOutputMp4, kVideoCodecH264, "odd.mp4", QSize(200, 160)},
                 {kOutputGif, kVideoCodecGif, "odd.gif", QSize(201, 161)}};
    for (const Case& c : cases) {
        Callback callback;
        auto recorder = record(&callback, c.type, file(c.name), videoOpt(region, 10, c.codec, 3));
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitForFrames(recorder.get(), 3));
        recorder.reset();
        const Probe p = probe(file(c.name));
        QCOMPARE(QSize(p.width, p.height), c.size);
        const std::vector<QImage> frames = decodeFrames(file(c.name), p.width, p.height);
        QVERIFY(!frames.empty());
        QVERIFY(near(frames.back().pixel(p.width - 1, p.height - 1), m_window->quadrant[3], 40));
    }
}

// A recorder process killed with SIGKILL leaves a file that grew while it
// recorded and still plays up to its last fragment.
void TestRecording::killedRecordingStaysPlayable()
{
    showQuadrants(QRect(100, 100, 360, 280));
    const QRect region = m_window->inner();
    const QString path = file("killed.mp4");
    QProcess child;
    child.setProgram(QCoreApplication::applicationDirPath() + "/tst_recording_child");
    child.setArguments({path, QString::number(region.x()), QString::number(region.y()),
                        QString::number(region.width()), QString::number(region.height())});
    child.start();
    QVERIFY(child.waitForStarted(5000));
    QVERIFY(child.waitForReadyRead(10000));
    QVERIFY(child.readAllStandardOutput().contains("recording"));

    // The file grows while recording: the fragments reach the disk.
    QElapsedTimer timer;
    timer.start();
    qint64 first = -1;
    bool grew = false;
    while (timer.elapsed() < 10000 && !grew) {
        QTest::qWait(100);
        const qint64 size = QFileInfo(path).size();
        if (first < 0 && size > 0 && timer.elapsed() > 1200)
            first = size;
        else if (first > 0 && size > first && timer.elapsed() > 2500)
            grew = true;
    }
    QVERIFY2(grew, "the file did not grow while recording");
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(5000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const Probe p = probe(path);
    QCOMPARE(p.videoCodec, QString("h264"));
    QCOMPARE(p.width, region.width());
    QVERIFY2(p.frames >= 15, qPrintable(QString::number(p.frames)));
    const std::vector<QImage> frames = decodeFrames(path, p.width, p.height);
    QCOMPARE(int(frames.size()), p.frames);
    QVERIFY(near(frames.back().pixel(10, 10), m_window->quadrant[0], 24));
}

// A folder that cannot exist (a path under a regular file): refused at
// once, and nothing is left behind.
void TestRecording::unwritablePathIsRefused()
{
    const QString plain = file("plain-file");
    QFile f(plain);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    Callback callback;
    auto recorder = record(&callback, kOutputMp4, plain + "/video.mp4",
                           videoOpt(QRect(0, 0, 320, 240), 10, kVideoCodecH264, 3));
    QVERIFY(!recorder);
    QCOMPARE(callback.calls.load(), 0);
    QVERIFY(QFileInfo(plain).isFile());
}

// A disk that refuses every byte: one OnError(2), the recording stops on
// its own, and nothing is called after release.
void TestRecording::writeFailureReportsOnce()
{
    Callback callback;
    auto recorder = record(&callback, kOutputMp4, "/dev/full", videoOpt(QRect(0, 0, 320, 240), 10,
                                                                          kVideoCodecH264, 3));
    QVERIFY(recorder);
    QCOMPARE(recorder->start(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!callback.errorList().empty(), 10000);
    QTest::qWait(300);
    recorder.reset();
    callback.released = true;
    QTest::qWait(100);
    QCOMPARE(callback.errorList(), std::vector<int>{int(SR_FileWriteFailed)});
    QCOMPARE(callback.lateCalls.load(), 0);
}

// The still picture is the recorded region, in every format.
void TestRecording::snapshotHasTheRegion()
{
    showQuadrants(QRect(100, 100, 280, 220));
    const QRect region = m_window->inner(); // 240 x 180
    Callback callback;
    auto recorder = record(&callback, kOutputMp4, file("snap.mp4"), videoOpt(region, 10, kVideoCodecH264, 3));
    QVERIFY(recorder);
    // Nothing recorded yet: no picture.
    QVERIFY(recorder->snapshot(file("none.png").toUtf8().constData(), kImagePng) != 0);
    QVERIFY(!QFileInfo::exists(file("none.png")));
    QCOMPARE(recorder->start(), 0);
    QVERIFY(waitForFrames(recorder.get(), 2));

    struct Case
    {
        int format;
        const char* name;
        int tolerance;
    } cases[] = {{kImageJpg, "snap.jpg", 24}, {kImageGif, "snap.gif", 8}, {kImageTiff, "snap.tiff", 0},
                 {kImagePng, "snäp ünïcode.png", 0}};
    for (const Case& c : cases) {
        const QString path = file(QString::fromUtf8(c.name));
        QCOMPARE(recorder->snapshot(path.toUtf8().constData(), c.format), 0);
        QImage image;
        if (c.format == kImageTiff && !QImageReader::supportedImageFormats().contains("tiff")) {
            const std::vector<QImage> frames = decodeFrames(path, 240, 180);
            QCOMPARE(int(frames.size()), 1);
            image = frames.front();
        } else {
            QVERIFY2(image.load(path), c.name);
        }
        QCOMPARE(image.size(), QSize(240, 180));
        QVERIFY2(near(image.pixel(60, 45), m_window->quadrant[0], c.tolerance), c.name);
        QVERIFY2(near(image.pixel(180, 45), m_window->quadrant[1], c.tolerance), c.name);
        QVERIFY2(near(image.pixel(60, 135), m_window->quadrant[2], c.tolerance), c.name);
        QVERIFY2(near(image.pixel(180, 135), m_window->quadrant[3], c.tolerance), c.name);
        QVERIFY2(near(image.pixel(0, 0), m_window->quadrant[0], c.tolerance + 16), c.name);
    }
    QVERIFY(recorder->snapshot(file("bad.png").toUtf8().constData(), 9) != 0);
    QVERIFY(recorder->snapshot(nullptr, kImagePng) != 0);
    recorder.reset();
}

void TestRecording::badOptionsAreClampedOrRefused()
{
    const QRect area(0, 0, 160, 120);
    Callback callback;
    auto refused = [&](OutputVideoFileType type, const VideoOpt& v, const AudioOpt& a = noSound(),
                       const char* path = nullptr) {
        const QString p = path ? QString(path) : file("refused.mp4");
        MouseOpt mouse{};
        auto r = scVideoRecord(&callback, type, path ? path : p.toUtf8().constData(), v, a, mouse, false,
                               kWindowListNone, nullptr, 0, nullptr, 0);
        return !r;
    };
    // Rectangles: empty, upside down, past the display's edge, off it.
    QVERIFY(refused(kOutputMp4, videoOpt(QRect(), 10, kVideoCodecH264, 3)));
    VideoOpt upsideDown = videoOpt(area, 10, kVideoCodecH264, 3);
    std::swap(upsideDown.rect.left, upsideDown.rect.right);
    QVERIFY(refused(kOutputMp4, upsideDown));
    QVERIFY(refused(kOutputMp4, videoOpt(QRect(1900, 0, 100, 100), 10, kVideoCodecH264, 3)));
    QVERIFY(refused(kOutputMp4, videoOpt(QRect(3000, 3000, 100, 100), 10, kVideoCodecH264, 3)));
    VideoOpt notANumber = videoOpt(area, 10, kVideoCodecH264, 3);
    notANumber.rect.right = std::nan("");
    QVERIFY(refused(kOutputMp4, notANumber));
    // Codecs and containers.
    QVERIFY(refused(kOutputMp4, videoOpt(area, 10, 0, 3)));
    QVERIFY(refused(kOutputMp4, videoOpt(area, 10, 99, 3)));
    QVERIFY(refused(kOutputMp4, videoOpt(area, 10, kVideoCodecProRes422, 3)));
    QVERIFY(refused(kOutputMp4, videoOpt(area, 10, kVideoCodecGif, 3)));
    QVERIFY(refused(kOutputGif, videoOpt(area, 10, kVideoCodecH264, 3)));
    QVERIFY(refused(OutputVideoFileType(7), videoOpt(area, 10, kVideoCodecH264, 3)));
    AudioOpt pcmInMp4 = systemSound();
    pcmInMp4.codec = kAudioCodecPcm16;
    QVERIFY(refused(kOutputMp4, videoOpt(area, 10, kVideoCodecH264, 3), pcmInMp4));
    AudioOpt unknownSound = microphone();
    unknownSound.codec = 42;
    QVERIFY(refused(kOutputMov, videoOpt(area, 10, kVideoCodecH264, 3), unknownSound));
    QVERIFY(refused(kOutputMp4, videoOpt(area, 10, kVideoCodecH264, 3), noSound(), ""));
    {
        MouseOpt mouse{};
        QVERIFY(!scVideoRecord(&callback, kOutputMp4, nullptr, videoOpt(area, 10, kVideoCodecH264, 3), noSound(),
                               mouse, false, kWindowListNone, nullptr, 0, nullptr, 0));
        // One window, but which?
        QVERIFY(!scVideoRecord(&callback, kOutputMp4, file("w.mp4").toUtf8().constData(),
                               videoOpt(area, 10, kVideoCodecH264, 3), noSound(), mouse, false, kWindowListSingle,
                               nullptr, 0, nullptr, 0));
    }
    QCOMPARE(callback.calls.load(), 0);

    // Qualities outside 1..6 are clamped: prepared, and a recorder released
    // before it started leaves no file.
    for (int quality : {0, 7}) {
        auto r = record(&callback, kOutputMp4, file("quality.mp4"), videoOpt(area, 10, kVideoCodecH264, quality));
        QVERIFY(r);
        r.reset();
        QVERIFY(!QFileInfo::exists(file("quality.mp4")));
    }
    // Frame rates: below 1 becomes 1, above 120 becomes 120.
    struct Rate
    {
        int asked;
        QString stored;
        int waitFrames;
    } rates[] = {{0, "1/1", 2}, {1000, "120/1", 30}};
    for (const Rate& rate : rates) {
        const QString path = file(QString("rate%1.mp4").arg(rate.asked));
        auto r = record(&callback, kOutputMp4, path, videoOpt(area, rate.asked, kVideoCodecH264, 3));
        QVERIFY(r);
        QCOMPARE(r->start(), 0);
        QVERIFY(waitForFrames(r.get(), rate.waitFrames));
        r.reset();
        QCOMPARE(probe(path).frameRate, rate.stored);
    }
    // A window option the engine does not know is the plain area.
    {
        MouseOpt mouse{};
        auto r = scVideoRecord(&callback, kOutputMp4, file("opt9.mp4").toUtf8().constData(),
                               videoOpt(area, 10, kVideoCodecH264, 3), noSound(), mouse, false,
                               WindowListOption(9), nullptr, 0, nullptr, 0);
        QVERIFY(r);
    }
    QCOMPARE(callback.calls.load(), 0);
}

// Twenty recordings started and released (with sound): no thread stays
// behind and no callback comes after a release.
void TestRecording::startStopCyclesLeaveNoThread()
{
    const QRect area(0, 0, 160, 120);
    const AudioOpt audio = systemSound();
    auto cycle = [&](Callback& callback, int i) {
        const QString path = file(QString("cycle%1.mp4").arg(i));
        auto r = record(&callback, kOutputMp4, path, videoOpt(area, 30, kVideoCodecH264, 3), audio);
        QVERIFY(r);
        QCOMPARE(r->start(), 0);
        QVERIFY(waitForFrames(r.get(), 2));
        if (i % 3 == 0) {
            QCOMPARE(r->pause(), 0);
            QCOMPARE(r->resume(), 0);
        }
        r.reset();
        callback.released = true;
        QFile::remove(path);
    };
    {
        Callback warmUp;
        cycle(warmUp, 0);
    }
    const int before = threadCount();
    const int startedBefore = m_tone.started;
    std::vector<std::unique_ptr<Callback>> callbacks;
    for (int i = 1; i <= 20; ++i) {
        callbacks.emplace_back(new Callback);
        cycle(*callbacks.back(), i);
    }
    QTest::qWait(200);
    QCOMPARE(threadCount(), before);
    QCOMPARE(m_tone.started - startedBefore, 20);
    QCOMPARE(m_tone.stopped.load(), m_tone.started.load());
    for (const auto& c : callbacks) {
        QCOMPARE(c->calls.load(), 0);
        QCOMPARE(c->lateCalls.load(), 0);
    }
}

void TestRecording::soundFromToneSource_data()
{
    QTest::addColumn<int>("container");
    QTest::addColumn<int>("codec");
    QTest::addColumn<int>("audioCodec");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("codecName");

    QTest::newRow("MP4 AAC") << int(kOutputMp4) << int(kVideoCodecH264) << int(kAudioCodecAac) << 2 << "aac";
    QTest::newRow("M4V AAC mono") << int(kOutputM4v) << int(kVideoCodecH264) << int(kAudioCodecAac) << 1 << "aac";
    QTest::newRow("MOV PCM 16") << int(kOutputMov) << int(kVideoCodecProRes422) << int(kAudioCodecPcm16) << 2
                                << "pcm_s16le";
    QTest::newRow("MOV PCM 24") << int(kOutputMov) << int(kVideoCodecProRes4444) << int(kAudioCodecPcm24) << 2
                                << "pcm_s24le";
}

// Sound in each container and codec: right codec, rate, channels, as long
// as the picture, and the tone is there.
void TestRecording::soundFromToneSource()
{
    QFETCH(int, container);
    QFETCH(int, codec);
    QFETCH(int, audioCodec);
    QFETCH(int, channels);
    QFETCH(QString, codecName);

    const QString path = file(QString("sound-%1-%2.mov").arg(container).arg(audioCodec));
    Callback callback;
    AudioOpt audio = microphone();
    audio.codec = audioCodec;
    audio.channels = channels;
    auto recorder = record(&callback, OutputVideoFileType(container), path,
                           videoOpt(QRect(0, 0, 160, 120), 15, codec, 3), audio);
    QVERIFY(recorder);
    QCOMPARE(recorder->start(), 0);
    QTest::qWait(1200);
    recorder.reset();
    QVERIFY(callback.errorList().empty());

    const Probe p = probe(path);
    QVERIFY(p.hasAudio);
    QCOMPARE(p.audioCodec, codecName);
    QCOMPARE(p.sampleRate, 48000);
    QCOMPARE(p.channels, channels);
    QVERIFY2(std::fabs(p.audioDuration - p.videoDuration) < 0.08,
             qPrintable(QString("sound %1 s, picture %2 s").arg(p.audioDuration).arg(p.videoDuration)));
    const std::vector<float> sound = decodeSound(path);
    QVERIFY(sound.size() > 48000);
    // A sine of amplitude 0.5 has an RMS of 0.35 (in each channel).
    const double level = rms(sound, 4800, sound.size() - 4800);
    QVERIFY2(level > 0.3 && level < 0.4, qPrintable(QString::number(level)));
}

// A tone that begins at the very moment the picture turns red: both
// appear at the same time in the file (within a frame and 20 ms).
void TestRecording::soundAndPictureInStep()
{
    showFill(QRect(300, 200, 200, 160), QColor(20, 200, 20));
    if (QTest::currentTestFailed())
        return;
    const QRect region = m_window->inner();
    m_tone.toneFromUs = std::numeric_limits<int64_t>::max();

    const int fps = 60;
    const QString path = file("sync.mp4");
    Callback callback;
    const AudioOpt audio = systemSound();
    auto recorder = record(&callback, kOutputMp4, path, videoOpt(region, fps, kVideoCodecH264, 3), audio);
    QVERIFY(recorder);
    QCOMPARE(recorder->start(), 0);
    QTest::qWait(900);
    const int64_t before = sc::rec::nowUs();
    m_window->setFill(QColor(230, 20, 20));
    QVERIFY(waitForScreen(centre(region), QColor(230, 20, 20)));
    const int64_t shown = sc::rec::nowUs();
    m_tone.toneFromUs = shown;
    QTest::qWait(700);
    recorder.reset();
    QVERIFY(callback.errorList().empty());

    const Probe p = probe(path);
    const std::vector<QImage> frames = decodeFrames(path, p.width, p.height);
    int redFrame = -1;
    for (size_t i = 0; i < frames.size() && redFrame < 0; ++i) {
        if (near(frames[i].pixel(p.width / 2, p.height / 2), QColor(230, 20, 20), 40))
            redFrame = int(i);
    }
    QVERIFY(redFrame > 0);
    const std::vector<float> sound = decodeSound(path);
    int onset = -1;
    for (size_t i = 0; i < sound.size() && onset < 0; ++i) {
        if (std::fabs(sound[i]) > 0.1f)
            onset = int(i);
    }
    QVERIFY(onset > 0);
    const double picture = double(redFrame) / fps;
    const double tone = double(onset) / 48000.0;
    const double uncertain = double(shown - before) / 1e6; // when exactly the red reached the screen
    const double allowed = 0.020 + 1.0 / fps + uncertain;
    QVERIFY2(std::fabs(picture - tone) <= allowed,
             qPrintable(QString("red at %1 s, tone at %2 s (allowed %3 s)").arg(picture).arg(tone).arg(allowed)));
}

// A pause cuts the same span from sound and picture.
void TestRecording::pauseCutsSoundToo()
{
    const QString path = file("pause-sound.mp4");
    Callback callback;
    const AudioOpt audio = systemSound();
    auto recorder = record(&callback, kOutputMp4, path, videoOpt(QRect(0, 0, 160, 120), 20, kVideoCodecH264, 3),
                           audio);
    QVERIFY(recorder);
    Stopwatch running;
    running.start();
    QCOMPARE(recorder->start(), 0);
    QTest::qWait(700);
    QCOMPARE(recorder->pause(), 0);
    double recorded = running.seconds();
    QTest::qWait(1000);
    running.start();
    QCOMPARE(recorder->resume(), 0);
    QTest::qWait(700);
    recorded += running.seconds();
    recorder.reset();

    const Probe p = probe(path);
    QVERIFY2(std::fabs(p.videoDuration - recorded) < 0.2,
             qPrintable(QString("%1 s of picture, %2 s recorded").arg(p.videoDuration).arg(recorded)));
    QVERIFY2(std::fabs(p.audioDuration - p.videoDuration) < 0.08,
             qPrintable(QString("sound %1 s, picture %2 s").arg(p.audioDuration).arg(p.videoDuration)));
    // The tone goes on through the cut: no stretch of silence was inserted.
    const std::vector<float> sound = decodeSound(path);
    for (size_t from = 4800; from + 2400 < sound.size() - 4800; from += 2400)
        QVERIFY2(rms(sound, from, from + 2400) > 0.25, qPrintable(QString("silence at %1").arg(from)));
}

// The sound device goes away: OnError(6) once, and the file stays playable.
void TestRecording::lostSoundDeviceReportsSix()
{
    const QString path = file("lost.mp4");
    Callback callback;
    const AudioOpt audio = microphone();
    auto recorder = record(&callback, kOutputMp4, path, videoOpt(QRect(0, 0, 160, 120), 15, kVideoCodecH264, 3),
                           audio);
    QVERIFY(recorder);
    QCOMPARE(recorder->start(), 0);
    QVERIFY(waitForFrames(recorder.get(), 8));
    m_tone.failNow = true;
    QTRY_VERIFY_WITH_TIMEOUT(!callback.errorList().empty(), 5000);
    QTest::qWait(200);
    recorder.reset();
    callback.released = true;
    QCOMPARE(callback.errorList(), std::vector<int>{int(SR_MicInterrupted)});
    const Probe p = probe(path);
    QVERIFY(p.frames >= 8);
    QVERIFY(p.hasAudio);
}

// The real sound server: a tone played into the null sink is recorded as
// system sound.
void TestRecording::soundFromTheSoundServer()
{
    if (GetAudioRenderDeviceCount() <= 0)
        QSKIP("no sound server in this environment");
    sc::rec::setAudioSourceFactory(nullptr);
    struct Restore
    {
        TestRecording* self;
        ~Restore()
        {
            sc::rec::setAudioSourceFactory([s = self](bool, bool, const char*) {
                return std::unique_ptr<sc::rec::IAudioSource>(new ToneSource(s->m_tone));
            });
        }
    } restore{this};

    const QString wav = file("tone.wav");
    run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=660:duration=6", "-ac", "2", wav});
    QVERIFY(QFileInfo(wav).size() > 100000);
    QProcess player;
    player.start("paplay", {wav});
    QVERIFY(player.waitForStarted(5000));
    QTest::qWait(1000);

    const QString path = file("server.mp4");
    Callback callback;
    const AudioOpt audio = systemSound();
    auto recorder = record(&callback, kOutputMp4, path, videoOpt(QRect(0, 0, 160, 120), 15, kVideoCodecH264, 3),
                           audio);
    QVERIFY(recorder);
    QCOMPARE(recorder->start(), 0);
    QTest::qWait(2500);
    recorder.reset();
    player.kill();
    player.waitForFinished(3000);
    QVERIFY(callback.errorList().empty());

    const Probe p = probe(path);
    QVERIFY(p.hasAudio);
    QCOMPARE(p.audioCodec, QString("aac"));
    const std::vector<float> sound = decodeSound(path);
    QVERIFY(sound.size() > 24000);
    const double level = rms(sound, sound.size() / 3, sound.size() - 4800);
    QVERIFY2(level > 0.02, qPrintable(QString::number(level)));
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
