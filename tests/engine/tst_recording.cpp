// The real screen recorder end to end: windows of known colours recorded and
// the file decoded (size, codec, rate, length, frames, colours, sound).

#include "RecordingTestSupport.h"

#include "core/Pipeline.h"
#include "rec/VideoRecorder.h"

#include "platform/log/Log.h"

#include <QtTest>

#include <unistd.h>

using namespace et;
using sc::rec::nowUs;

Q_DECLARE_METATYPE(VideoOpt)
Q_DECLARE_METATYPE(AudioOpt)

namespace {

const QRgb kQuadrant[4] = {qRgb(230, 20, 20), qRgb(20, 200, 20), qRgb(30, 30, 230), qRgb(240, 230, 20)};
const QRgb kGreen = qRgb(20, 200, 20);
const QRgb kRed = qRgb(230, 20, 20);

// Silence, and from a chosen moment on a 1 kHz tone at half scale, made
// on the frames' clock; chunk k begins where chunk k-1 ended.
struct ToneControl {
    std::atomic<int64_t> toneFromUs{0};
    std::atomic<bool> failNow{false};   // take() reports a lost device
    // Like a sound server's latency: the newest sound comes out only once
    // the source is stopped.
    std::atomic<int64_t> holdBackUs{0};
    std::atomic<int> started{0}, stopped{0};
};

class ToneSource : public sc::rec::IAudioSource {
public:
    explicit ToneSource(ToneControl& control) : m_control(control) {}
    bool start(std::string&) override
    {
        m_originUs = nowUs();
        ++m_control.started;
        return true;
    }
    bool take(std::vector<sc::rec::AudioChunk>& out) override
    {
        const int64_t until = m_stopUs ? m_stopUs : nowUs() - m_control.holdBackUs;
        const int64_t upTo = (until - m_originUs) * sc::rec::kAudioRate / 1000000;
        if (upTo > m_produced) {
            sc::rec::AudioChunk chunk;
            chunk.firstSampleUs = m_originUs + m_produced * 1000000 / sc::rec::kAudioRate;
            for (int64_t i = m_produced; i < upTo; ++i) {
                const bool on = m_originUs + i * 1000000 / sc::rec::kAudioRate >= m_control.toneFromUs;
                const float v = on ? 0.5f * float(std::sin(2.0 * M_PI * 1000.0 * double(i) / sc::rec::kAudioRate)) : 0;
                chunk.samples.insert(chunk.samples.end(), {v, v});
            }
            m_produced = upTo;
            out.push_back(std::move(chunk));
        }
        return !m_control.failNow;
    }
    void stop() override
    {
        m_stopUs = nowUs();
        ++m_control.stopped;
    }

private:
    ToneControl& m_control;
    int64_t m_originUs = 0;
    int64_t m_stopUs = 0;
    int64_t m_produced = 0;
};

// The part of a recording's wall time that a file may lack: the capture
// of its last moments may lag on a busy machine.
bool lengthFits(double file, double wall) { return file <= wall + 0.1 && file >= wall - std::max(0.5, wall / 4); }

} // namespace

class TstRecording : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<XConn> m_x;
    std::vector<xcb_window_t> m_windows;
    ToneControl m_tone;

    QString file(const QString& name) const { return m_dir.filePath(name); }
    xcb_window_t window(const QRect& r, QRgb colour)
    {
        m_windows.push_back(m_x->window(r, colour));
        return m_windows.back();
    }
    // A magenta border 20 px wide around four coloured quadrants; the
    // quadrants' rectangle.
    QRect quadrants(const QRect& geometry)
    {
        window(geometry, qRgb(255, 0, 255));
        const QRect in = geometry.adjusted(20, 20, -20, -20);
        const int w = in.width() / 2, h = in.height() / 2;
        window(QRect(in.left(), in.top(), w, h), kQuadrant[0]);
        window(QRect(in.left() + w, in.top(), in.width() - w, h), kQuadrant[1]);
        window(QRect(in.left(), in.top() + h, w, in.height() - h), kQuadrant[2]);
        window(QRect(in.left() + w, in.top() + h, in.width() - w, in.height() - h), kQuadrant[3]);
        if (!m_x->shows(in.topLeft(), kQuadrant[0]) || !m_x->shows(in.bottomRight(), kQuadrant[3]))
            qWarning("the quadrants are not on the screen");
        return in;
    }
    void useToneSource()
    {
        sc::rec::setAudioSourceFactory([this](bool, bool, const char*) {
            return std::unique_ptr<sc::rec::IAudioSource>(new ToneSource(m_tone));
        });
    }
    // The four quadrants of `image` (of `size`) near their colours.
    static bool quadrantsIn(const QImage& image, int tolerance)
    {
        const int w = image.width(), h = image.height();
        const QPoint at[4] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
        for (int i = 0; i < 4; ++i)
            if (!near(image.pixel(at[i]), kQuadrant[i], tolerance))
                return false;
        return true;
    }

private:
    // The stop's line tells the file's frames, how many repeated the one before, their share
    // and reasons that add up to them.
    static void checkStopSummary(const QString& logPath, int frames)
    {
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QRegularExpression line(
            "screen recording stopped: (\\d+) frames, (\\d+) skipped \\((\\d+\\.\\d)%\\)(?:: ([^\\n]*))?");
        QRegularExpressionMatch last;
        for (auto it = line.globalMatch(QString::fromUtf8(log.readAll())); it.hasNext();)
            last = it.next();
        QVERIFY2(last.hasMatch(), "no stop summary in the log");
        QCOMPARE(last.captured(1).toInt(), frames);
        const int skipped = last.captured(2).toInt();
        QVERIFY(skipped <= frames);
        QCOMPARE(last.captured(3), QString::number(100.0 * skipped / frames, 'f', 1));
        int reasons = 0;
        for (const QString& reason : last.captured(4).split(", ", Qt::SkipEmptyParts))
            reasons += reason.section(' ', 0, 0).toInt();
        QCOMPARE(reasons, skipped);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(scInitialize(), int(kScInitOk));
        UseDisplay(0);
        m_x.reset(new XConn);
        QVERIFY(m_x->ok());
        useToneSource();
    }
    void cleanupTestCase() { sc::rec::setAudioSourceFactory(nullptr); scUninitialize(); }
    void init()
    {
        m_tone.toneFromUs = 0;
        m_tone.failNow = false;
        m_tone.holdBackUs = 0;
    }
    void cleanup()
    {
        for (xcb_window_t w : m_windows)
            m_x->destroy(w);
        m_windows.clear();
    }
    // A region inside a window: the file's size, codec, rate and length, a frame per slot,
    // and the region's own pixels to its edges, none of the border.
    void regionAtRightSizeRateAndColours()
    {
        const QRect region = quadrants(QRect(200, 150, 440, 340));   // 400 x 300
        const QString path = file("region.mp4");
        const QString logPath = file("engine.log");
        QCOMPARE(SetLogfile(logPath.toUtf8().constData()), 0);
        Callback callback;
        auto recorder = record(&callback, kOutputMp4, path, videoOpt(region, 25, kVideoCodecH264, 4));
        QVERIFY(recorder);
        const int64_t startUs = nowUs();
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitForFrames(recorder.get(), 38));
        const double wall = double(nowUs() - startUs) / 1e6;
        recorder.reset();
        SetLogfile(nullptr);
        QVERIFY(callback.errors().empty());

        const Probe p = probe(path);
        QVERIFY2(p.format.contains("mp4"), qPrintable(p.format));
        QCOMPARE(p.videoCodec, QString("h264"));
        QCOMPARE(QSize(p.width, p.height), QSize(400, 300));
        QCOMPARE(p.frameRate, QString("25/1"));
        QVERIFY(!p.hasAudio());
        QVERIFY2(lengthFits(p.duration, wall), qPrintable(QString("%1 s in the file of %2 s").arg(p.duration).arg(wall)));
        QVERIFY2(p.frames >= 38 && std::abs(p.frames - int(std::lround(p.duration * 25))) <= 1,
                 qPrintable(QString("%1 frames for %2 s").arg(p.frames).arg(p.duration)));
        const std::vector<QImage> frames = decodeFrames(path, 400, 300);
        QCOMPARE(int(frames.size()), p.frames);
        checkStopSummary(logPath, p.frames);
        const QImage& f = frames.back();
        QVERIFY(quadrantsIn(f, 24));
        const QPoint corner[4] = {{1, 1}, {398, 1}, {1, 298}, {398, 298}};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(near(f.pixel(corner[i]), kQuadrant[i], 40), rgbText(f.pixel(corner[i])));
    }
    // A pause while the content turns red and back: no red frame, the paused time in neither
    // picture nor sound, and the tone goes on through the cut.
    void pauseCutsPictureAndSound()
    {
        const QRect region(300, 200, 200, 160);
        window(region, kGreen);
        QVERIFY(m_x->shows(region.center(), kGreen));
        const QString path = file("pause.mp4");
        Callback callback;
        auto recorder = record(&callback, kOutputMp4, path, videoOpt(region, 20), sound());
        QVERIFY(recorder);
        int64_t t = nowUs();
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitForFrames(recorder.get(), 15));
        QCOMPARE(recorder->pause(), 0);
        double recorded = double(nowUs() - t) / 1e6;
        const xcb_window_t red = m_x->window(region, kRed);
        QVERIFY(m_x->shows(region.center(), kRed));
        QTest::qWait(1000);   // a second of red that must not be recorded
        m_x->destroy(red);
        QVERIFY(m_x->shows(region.center(), kGreen));
        const int64_t before = recorder->frameCount();
        t = nowUs();
        QCOMPARE(recorder->resume(), 0);
        QVERIFY(waitForFrames(recorder.get(), before + 15));
        recorded += double(nowUs() - t) / 1e6;
        recorder.reset();
        QVERIFY(callback.errors().empty());

        const Probe p = probe(path);
        QVERIFY2(lengthFits(p.videoDuration, recorded),
                 qPrintable(QString("%1 s of picture, %2 s recorded").arg(p.videoDuration).arg(recorded)));
        QVERIFY2(std::fabs(p.audioDuration - p.videoDuration) < 0.08,
                 qPrintable(QString("sound %1 s, picture %2 s").arg(p.audioDuration).arg(p.videoDuration)));
        const std::vector<QImage> frames = decodeFrames(path, p.width, p.height);
        QVERIFY(frames.size() >= 30);
        for (std::size_t i = 0; i < frames.size(); ++i)
            QVERIFY2(near(frames[i].pixel(100, 80), kGreen, 30), qPrintable(QString("frame %1").arg(i)));
        const std::vector<float> s = decodeSound(path);
        for (std::size_t from = 4800; from + 2400 < s.size() - 4800; from += 2400)
            QVERIFY2(rms(s, from, from + 2400) > 0.25, qPrintable(QString("silence at %1").arg(from)));
    }
    // Every container and codec with its colour tags (FFmpeg's ProRes decoder assumes BT.601,
    // so its colours show whether the encoder matched); a GIF never carries sound.
    void containersAndCodecs_data()
    {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("codec");
        QTest::addColumn<QString>("codecName");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<QString>("colourSpace");
        QTest::addColumn<QString>("brand");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("MP4 H.264") << int(kOutputMp4) << int(kVideoCodecH264) << "h264" << "avc1" << "yuv420p"
                                   << "bt709" << "iso" << 24;
        QTest::newRow("MP4 HEVC") << int(kOutputMp4) << int(kVideoCodecHevc) << "hevc" << "hvc1" << "yuv420p"
                                  << "bt709" << "iso" << 24;
        QTest::newRow("MOV ProRes 422") << int(kOutputMov) << int(kVideoCodecProRes422) << "prores" << "apcn"
                                        << "yuv422p10le" << "" << "qt  " << 16;
        QTest::newRow("MOV ProRes 4444") << int(kOutputMov) << int(kVideoCodecProRes4444) << "prores" << "ap4h"
                                         << "yuva444p" << "" << "qt  " << 16;
        QTest::newRow("GIF") << int(kOutputGif) << int(kVideoCodecGif) << "gif" << "" << "bgra" << "" << "" << 8;
    }
    void containersAndCodecs()
    {
        QFETCH(int, container);
        QFETCH(int, codec);
        QFETCH(QString, codecName);
        QFETCH(QString, tag);
        QFETCH(QString, pixelFormat);
        QFETCH(QString, colourSpace);
        QFETCH(QString, brand);
        QFETCH(int, tolerance);
        const QRect region = quadrants(QRect(100, 100, 241, 201));   // 201 x 161
        const QSize size = container == kOutputGif ? QSize(201, 161) : QSize(200, 160);
        const QString path = file(QString("codec-%1-%2").arg(container).arg(codec));
        Callback callback;
        auto recorder = record(&callback, OutputVideoFileType(container), path, videoOpt(region, 10, codec), sound());
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitForFrames(recorder.get(), 8));
        recorder.reset();
        QVERIFY(callback.errors().empty());

        const Probe p = probe(path);
        QCOMPARE(p.videoCodec, codecName);
        QVERIFY2(tag.isEmpty() || p.videoTag == tag, qPrintable(p.videoTag));
        // MP4 is an ISO movie, MOV a QuickTime one.
        QVERIFY2(brand == "iso" ? p.brand.startsWith("iso") || p.brand.startsWith("mp4") : p.brand == brand,
                 qPrintable(p.brand));
        QCOMPARE(QSize(p.width, p.height), size);   // subsampled codecs lose an odd row and column
        QVERIFY(p.frames >= 8);
        QCOMPARE(p.hasAudio(), container != kOutputGif);
        // The decoder may widen the samples (ProRes 4444 decodes as 12 bits).
        QVERIFY2(container == kOutputGif || p.pixelFormat.startsWith(pixelFormat), qPrintable(p.pixelFormat));
        QVERIFY2(colourSpace.isEmpty() || p.colourSpace == colourSpace, qPrintable(p.colourSpace));
        QVERIFY(container == kOutputGif || p.frameRate == "10/1");
        const bool alpha = codec == kVideoCodecProRes4444;
        const std::vector<QImage> frames = decodeFrames(path, size.width(), size.height(), alpha);
        QVERIFY(!frames.empty() && quadrantsIn(frames.back(), tolerance));
        QVERIFY(near(frames.back().pixel(size.width() - 1, size.height() - 1), kQuadrant[3], 40));
        QVERIFY(!alpha || qAlpha(frames.back().pixel(50, 40)) == 255);   // the screen is opaque
    }
    // A disk that refuses every byte: one OnError(2), the recording stops
    // on its own, and nothing is called after release.
    void writeFailureReportsOnce()
    {
        Callback callback;
        auto recorder = record(&callback, kOutputMp4, "/dev/full", videoOpt(QRect(0, 0, 320, 240)));
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitUntil([&] { return !callback.errors().empty(); }));
        QTest::qWait(300);   // room for a wrong second report
        QCOMPARE(QString::fromUtf8(recorder->lastErrorText()), QString("The disk is full."));
        recorder.reset();
        callback.released = true;
        QCOMPARE(callback.errors(), std::vector<int>{int(SR_FileWriteFailed)});
        QCOMPARE(callback.lateCalls.load(), 0);
    }
    // A folder on a read-only volume is named; a later recording that
    // starts carries no old reason.
    void readOnlyFolderIsNamed()
    {
        const QString folder = file("read-only");
        QVERIFY(QDir().mkpath(folder));
        if (::geteuid() != 0 || QProcess::execute("mount", {"-t", "tmpfs", "-o", "ro", "tmpfs", folder}) != 0)
            QSKIP("no read-only volume can be mounted here (not root, or mounts refused)");
        Callback callback;
        const bool refused = !record(&callback, kOutputMp4, folder + "/r.mp4", videoOpt(QRect(0, 0, 160, 120)));
        const QString reason = QString::fromUtf8(scGetLastErrorText());
        QProcess::execute("umount", {folder});
        QVERIFY(refused);
        QCOMPARE(reason, "The folder " + folder + " is read-only.");
        QVERIFY(record(&callback, kOutputMp4, file("fine.mp4"), videoOpt(QRect(0, 0, 160, 120))));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), QString());
    }
    // The still picture is the recorded region, lossy or not, also under
    // a name that is not ASCII; none before the first frame.
    void snapshotHasTheRegion()
    {
        const QRect region = quadrants(QRect(100, 100, 280, 220));   // 240 x 180
        auto recorder = record(nullptr, kOutputMp4, file("snap.mp4"), videoOpt(region));
        QVERIFY(recorder);
        QVERIFY(recorder->snapshot(file("none.png").toUtf8().constData(), kImagePng) != 0);
        QVERIFY(!QFileInfo::exists(file("none.png")));
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitForFrames(recorder.get(), 2));
        const std::tuple<int, const char*, int> formats[] = {{kImageJpg, "jpg", 24}, {kImagePng, "png", 0}};
        for (const auto& f : formats) {
            const QString path = file(QString::fromUtf8("snäp ünïcode.") + std::get<1>(f));
            QCOMPARE(recorder->snapshot(path.toUtf8().constData(), std::get<0>(f)), 0);
            const QImage image(path);
            QCOMPARE(image.size(), QSize(240, 180));
            QVERIFY2(quadrantsIn(image, std::get<2>(f)) && near(image.pixel(0, 0), kQuadrant[0], std::get<2>(f) + 16),
                     std::get<1>(f));
        }
        QVERIFY(recorder->snapshot(file("bad.png").toUtf8().constData(), 9) != 0);
        QVERIFY(recorder->snapshot(nullptr, kImagePng) != 0);
    }
    // Options that make no recording are refused at once, without a
    // callback and without a file.
    void refusedOptions_data()
    {
        QTest::addColumn<int>("container");
        QTest::addColumn<VideoOpt>("video");
        QTest::addColumn<AudioOpt>("audio");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("reason");   // %1: the file in the way
        const QRect area(0, 0, 160, 120);
        VideoOpt upsideDown = videoOpt(area), notANumber = videoOpt(area);
        std::swap(upsideDown.rect.left, upsideDown.rect.right);
        notANumber.rect.right = std::nan("");
        AudioOpt pcm = sound();
        pcm.codec = kAudioCodecPcm16;
        const int mp4 = kOutputMp4;
        const AudioOpt none = sound(false);
        const QString r = "r.mp4";
        QTest::newRow("empty area") << mp4 << videoOpt(QRect()) << none << r << 0
                                 << QString("The area to record is not on the screen.");
        QTest::newRow("upside down") << mp4 << upsideDown << none << r << 0
                                 << QString("The area to record is not on the screen.");
        QTest::newRow("past the edge") << mp4 << videoOpt(QRect(1900, 0, 100, 100)) << none << r << 0
                                 << QString("The area to record is not on the screen.");
        QTest::newRow("not a number") << mp4 << notANumber << none << r << 0
                                 << QString("The area to record is not on the screen.");
        QTest::newRow("codec 0") << mp4 << videoOpt(area, 10, 0) << none << r << 0
                                 << QString("The chosen video format cannot be written into this kind of file.");
        QTest::newRow("ProRes in MP4") << mp4 << videoOpt(area, 10, kVideoCodecProRes422) << none << r << 0
                                 << QString("The chosen video format cannot be written into this kind of file.");
        QTest::newRow("H.264 in GIF") << int(kOutputGif) << videoOpt(area) << none << QString("r.gif") << 0
                                 << QString("The chosen video format cannot be written into this kind of file.");
        QTest::newRow("PCM in MP4") << mp4 << videoOpt(area) << pcm << r << 0
                                 << QString("The chosen sound format cannot be written into this kind of file.");
        QTest::newRow("empty path") << mp4 << videoOpt(area) << none << QString() << 0
                                 << QString("No file was named for the recording.");
        QTest::newRow("under a file") << mp4 << videoOpt(area) << none << QString("plain/r.mp4") << 0
                                 << QString("The folder %1 does not exist.");
        QTest::newRow("which window?") << mp4 << videoOpt(area) << none << r << int(kWindowListSingle)
                                 << QString("The window to record is gone.");
    }
    void refusedOptions()
    {
        QFETCH(int, container);
        QFETCH(VideoOpt, video);
        QFETCH(AudioOpt, audio);
        QFETCH(QString, path);
        QFETCH(int, option);
        QFETCH(QString, reason);
        QVERIFY(writeFile(file("plain"), ""));
        Callback callback;
        QVERIFY(!record(&callback, OutputVideoFileType(container), path.isEmpty() ? path : file(path), video, audio,
                        WindowListOption(option)));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), reason.contains("%1") ? reason.arg(file("plain")) : reason);
        QVERIFY(!scVideoRecord(&callback, kOutputMp4, nullptr, videoOpt(QRect(0, 0, 160, 120)), sound(false),
                               MouseOpt{}, false, kWindowListNone, nullptr, 0, nullptr, 0));
        QCOMPARE(callback.calls.load(), 0);
        QVERIFY(QFileInfo(file("plain")).isFile() && !QFileInfo::exists(file("r.mp4")));
    }
    // Qualities outside 1..6 and rates outside 1..120 are clamped; an unknown window option is
    // the plain area; a recorder released before it started leaves no file.
    void outOfRangeOptionsAreClamped()
    {
        const QRect area(0, 0, 160, 120);
        for (int quality : {0, 7}) {
            QVERIFY(record(nullptr, kOutputMp4, file("quality.mp4"), videoOpt(area, 10, kVideoCodecH264, quality)));
            QVERIFY(!QFileInfo::exists(file("quality.mp4")));
        }
        QVERIFY(record(nullptr, kOutputMp4, file("opt9.mp4"), videoOpt(area), sound(false), WindowListOption(9)));
        for (const auto& rate : {std::make_pair(0, QString("1/1")), std::make_pair(1000, QString("120/1"))}) {
            const QString path = file(QString("rate%1.mp4").arg(rate.first));
            auto r = record(nullptr, kOutputMp4, path, videoOpt(area, rate.first));
            QVERIFY(r && r->start() == 0 && waitForFrames(r.get(), rate.first ? 30 : 2));
            r.reset();
            QCOMPARE(probe(path).frameRate, rate.second);
        }
    }
    // Recordings with sound started and released: no thread stays behind, every sound source
    // stops, no callback comes after a release.
    void startStopCyclesLeaveNoThread()
    {
        std::vector<std::unique_ptr<Callback>> callbacks;
        int threads = 0, started = 0;
        for (int i = 0; i <= 12; ++i) {
            threads = i == 1 ? threadCount() : threads;
            started = i == 1 ? m_tone.started.load() : started;
            callbacks.emplace_back(new Callback);
            auto r = record(callbacks.back().get(), kOutputMp4, file(QString("cycle%1.mp4").arg(i)),
                            videoOpt(QRect(0, 0, 160, 120), 30), sound());
            QVERIFY(r && r->start() == 0 && waitForFrames(r.get(), 2));
            QVERIFY(i % 3 != 0 || (r->pause() == 0 && r->resume() == 0));
            r.reset();
            callbacks.back()->released = true;
        }
        QVERIFY(waitUntil([&] { return threadCount() == threads; }));
        QCOMPARE(m_tone.started - started, 12);
        QCOMPARE(m_tone.stopped.load(), m_tone.started.load());
        for (const auto& c : callbacks)
            QCOMPARE(c->calls.load() + c->lateCalls.load(), 0);
    }
    // The recording's loops say who they are, so that a stack dump or `top -H` tells them apart.
    void threadsCarryTheirNames()
    {
        Callback callback;
        auto r = record(&callback, kOutputMp4, file("named.mp4"), videoOpt(QRect(0, 0, 160, 120), 30), sound());
        QVERIFY(r && r->start() == 0 && waitForFrames(r.get(), 2));
        const QStringList names = threadNames();
        for (const char* name : {"sr-capture", "sr-encode", "sr-mux"})
            QVERIFY2(names.contains(name), qPrintable(names.join(", ")));
    }
    // Sound in each container and codec: the right codec, rate and
    // channels, as long as the picture, and the tone in it.
    void soundFromToneSource_data()
    {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("audioCodec");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("codecName");
        QTest::newRow("MP4 AAC") << int(kOutputMp4) << int(kVideoCodecH264) << int(kAudioCodecAac) << 2 << "aac";
        QTest::newRow("MOV PCM 16 mono") << int(kOutputMov) << int(kVideoCodecProRes422) << int(kAudioCodecPcm16) << 1
                                    << "pcm_s16le";
        QTest::newRow("MOV PCM 24") << int(kOutputMov) << int(kVideoCodecProRes4444) << int(kAudioCodecPcm24) << 2
                                    << "pcm_s24le";
    }
    void soundFromToneSource()
    {
        QFETCH(int, container);
        QFETCH(int, codec);
        QFETCH(int, audioCodec);
        QFETCH(int, channels);
        QFETCH(QString, codecName);
        const QString path = file(QString("sound-%1-%2").arg(container).arg(audioCodec));
        Callback callback;
        AudioOpt audio = sound(true, false);
        audio.codec = audioCodec;
        audio.channels = channels;
        auto recorder = record(&callback, OutputVideoFileType(container), path, videoOpt(QRect(0, 0, 160, 120), 15, codec),
                               audio);
        QVERIFY(recorder && recorder->start() == 0 && waitForFrames(recorder.get(), 18));
        recorder.reset();
        QVERIFY(callback.errors().empty());
        const Probe p = probe(path);
        QCOMPARE(p.audioCodec, codecName);
        QCOMPARE(p.sampleRate, 48000);
        QCOMPARE(p.channels, channels);
        QVERIFY2(std::fabs(p.audioDuration - p.videoDuration) < 0.08,
                 qPrintable(QString("sound %1 s, picture %2 s").arg(p.audioDuration).arg(p.videoDuration)));
        const std::vector<float> s = decodeSound(path);
        QVERIFY(s.size() > 48000);
        const double level = rms(s, 4800, s.size() - 4800);   // a sine of amplitude 0.5
        QVERIFY2(level > 0.3 && level < 0.4, qPrintable(QString::number(level)));
    }
    // The sound a source still holds back at the stop (its latency) is in the file, up to
    // the picture's end, not silence in its place.
    void soundTailKeptAtStop()
    {
        m_tone.holdBackUs = 400000;
        const QString path = file("tail.mp4");
        Callback callback;
        auto recorder = record(&callback, kOutputMp4, path, videoOpt(QRect(0, 0, 160, 120), 25), sound());
        QVERIFY(recorder && recorder->start() == 0 && waitForFrames(recorder.get(), 40));
        recorder.reset();
        QVERIFY(callback.errors().empty());
        QCOMPARE(m_tone.stopped.load(), m_tone.started.load());
        const std::vector<float> s = decodeSound(path);
        QVERIFY(s.size() > 48000);
        const double tail = rms(s, s.size() - 14400, s.size() - 2400);   // the last 0.3 s but 0.05 s
        QVERIFY2(tail > 0.3, qPrintable(QString::number(tail)));
    }
    // A tone that begins as the picture turns red: both in the file at the same time, within
    // the moment's uncertainty, a frame and a busy machine's scheduling.
    void soundAndPictureInStep()
    {
        const QRect region(300, 200, 200, 160);
        window(region, kGreen);
        QVERIFY(m_x->shows(region.center(), kGreen));
        m_tone.toneFromUs = std::numeric_limits<int64_t>::max();
        const int fps = 60;
        const QString path = file("sync.mp4");
        Callback callback;
        auto recorder = record(&callback, kOutputMp4, path, videoOpt(region, fps), sound());
        QVERIFY(recorder && recorder->start() == 0 && waitForFrames(recorder.get(), 50));
        const int64_t before = nowUs();
        window(region, kRed);
        QVERIFY(m_x->shows(region.center(), kRed));
        const int64_t shown = nowUs();
        m_tone.toneFromUs = shown;
        QVERIFY(waitForFrames(recorder.get(), recorder->frameCount() + 40));
        recorder.reset();
        QVERIFY(callback.errors().empty());

        const Probe p = probe(path);
        const std::vector<QImage> frames = decodeFrames(path, p.width, p.height);
        int redFrame = -1;
        for (std::size_t i = 0; i < frames.size() && redFrame < 0; ++i)
            redFrame = near(frames[i].pixel(100, 80), kRed, 40) ? int(i) : -1;
        const std::vector<float> s = decodeSound(path);
        int onset = -1;
        for (std::size_t i = 0; i < s.size() && onset < 0; ++i)
            onset = std::fabs(s[i]) > 0.1f ? int(i) : -1;
        QVERIFY(redFrame > 0 && onset > 0);
        const double picture = double(redFrame) / fps, tone = double(onset) / 48000.0;
        const double allowed = 0.1 + double(shown - before) / 1e6;
        QVERIFY2(std::fabs(picture - tone) <= allowed,
                 qPrintable(QString("red at %1 s, tone at %2 s (allowed %3 s)").arg(picture).arg(tone).arg(allowed)));
    }
    // The sound device goes away: OnError(6) once, and the file stays playable.
    void lostSoundDeviceReportsSix()
    {
        const QString path = file("lost.mp4");
        Callback callback;
        auto recorder = record(&callback, kOutputMp4, path, videoOpt(QRect(0, 0, 160, 120), 15), sound(true, false));
        QVERIFY(recorder && recorder->start() == 0 && waitForFrames(recorder.get(), 8));
        m_tone.failNow = true;
        QVERIFY(waitUntil([&] { return !callback.errors().empty(); }));
        QTest::qWait(200);   // room for a wrong second report
        recorder.reset();
        callback.released = true;
        QCOMPARE(callback.errors(), std::vector<int>{int(SR_MicInterrupted)});
        const Probe p = probe(path);
        QVERIFY(p.frames >= 8 && p.hasAudio());
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TstRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recording.moc"
