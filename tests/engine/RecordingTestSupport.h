#pragma once

// Helpers of the screen recorder's end-to-end tests: windows painted in
// known colours, a callback that notices late calls, and readers of what
// was written (ffprobe and ffmpeg on the command line).

#include "Screencast.h"

#include <QColor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <mutex>
#include <vector>

namespace rectest {

// Override-redirect, so that it sits exactly where it is put, with no
// frame. A border colour around four coloured quadrants, or one colour.
class PaintWindow : public QWidget
{
public:
    static constexpr int kMargin = 20;
    QColor border = QColor(255, 0, 255);
    QColor fill;                       // invalid: the four quadrants
    QColor quadrant[4] = {QColor(230, 20, 20), QColor(20, 200, 20), QColor(30, 30, 230), QColor(240, 230, 20)};

    explicit PaintWindow(const QRect& geometry)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setGeometry(geometry);
    }

    // The part inside the border, on the screen.
    QRect inner() const { return geometry().adjusted(kMargin, kMargin, -kMargin, -kMargin); }

    void setFill(const QColor& c)
    {
        fill = c;
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), border);
        const QRect in = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
        if (fill.isValid()) {
            p.fillRect(in, fill);
            return;
        }
        const int w = in.width() / 2;
        const int h = in.height() / 2;
        p.fillRect(QRect(in.left(), in.top(), w, h), quadrant[0]);
        p.fillRect(QRect(in.left() + w, in.top(), in.width() - w, h), quadrant[1]);
        p.fillRect(QRect(in.left(), in.top() + h, w, in.height() - h), quadrant[2]);
        p.fillRect(QRect(in.left() + w, in.top() + h, in.width() - w, in.height() - h), quadrant[3]);
    }
};

inline QRgb screenPixel(const QPoint& at)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0);
}

inline bool near(QRgb a, const QColor& b, int tolerance)
{
    return qAbs(qRed(a) - b.red()) <= tolerance && qAbs(qGreen(a) - b.green()) <= tolerance
           && qAbs(qBlue(a) - b.blue()) <= tolerance;
}

// Waits (polling the screen) until the pixel shows the colour.
inline bool waitForScreen(const QPoint& at, const QColor& colour, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        if (near(screenPixel(at), colour, 2))
            return true;
        QTest::qWait(5);
    }
    return false;
}

// Remembers every call; a call after the recorder was released is counted
// as late.
class Callback : public CRecoderCallback
{
public:
    std::atomic<bool> released{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::vector<int> errors;

    void OnError(SRErrorCode code) override
    {
        note();
        std::lock_guard<std::mutex> lock(mutex);
        errors.push_back(code);
    }
    void OnRecordingRegionBeginDrag() override { note(); }
    void OnRecordingRegionEndDrag(CRect) override { note(); }

    std::vector<int> errorList()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return errors;
    }

private:
    void note()
    {
        calls++;
        if (released)
            lateCalls++;
    }
};

inline VideoOpt videoOpt(const QRect& screenRect, int fps, int codec, int quality)
{
    VideoOpt v{};
    // The test environment has one display at (0, 0): screen = display.
    v.rect = CRect{double(screenRect.left()), double(screenRect.top()), double(screenRect.right() + 1),
                   double(screenRect.bottom() + 1)};
    v.fps = fps;
    v.codec = codec;
    v.quality = quality;
    return v;
}

inline AudioOpt noSound()
{
    AudioOpt a{};
    a.codec = kAudioCodecAac;
    a.quality = 3;
    a.channels = 2;
    return a;
}

// AAC of the system sound (render) or of the microphone (capture).
inline AudioOpt systemSound()
{
    AudioOpt a = noSound();
    a.render = 1;
    return a;
}
inline AudioOpt microphone()
{
    AudioOpt a = noSound();
    a.capture = 1;
    return a;
}

inline CBasePtr<CScreenRecoderObject> record(CRecoderCallback* callback, OutputVideoFileType type,
                                             const QString& path, const VideoOpt& video,
                                             const AudioOpt& audio = noSound(),
                                             WindowListOption option = kWindowListNone)
{
    MouseOpt mouse{};
    return scVideoRecord(callback, type, path.toUtf8().constData(), video, audio, mouse, false, option, nullptr,
                         0, nullptr, 0);
}

// ffprobe's view of a file.
struct Probe
{
    QString formatName;
    QString majorBrand;
    double formatDuration = 0;
    bool hasVideo = false;
    QString videoCodec;
    QString videoTag;
    QString pixelFormat;
    QString profile;
    int width = 0;
    int height = 0;
    QString frameRate;
    int frames = 0;
    double videoDuration = 0;
    bool hasAudio = false;
    QString audioCodec;
    int sampleRate = 0;
    int channels = 0;
    double audioDuration = 0;
};

inline QByteArray run(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return QByteArray();
    }
    return p.readAllStandardOutput();
}

inline Probe probe(const QString& path)
{
    Probe r;
    const QByteArray json = run("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                                            "format=format_name,duration:format_tags=major_brand:stream=codec_"
                                            "type,codec_name,codec_tag_string,width,height,r_frame_rate,pix_fmt,"
                                            "profile,nb_read_frames,duration,sample_rate,channels",
                                            "-of", "json", path});
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    const QJsonObject format = root.value("format").toObject();
    r.formatName = format.value("format_name").toString();
    r.formatDuration = format.value("duration").toString().toDouble();
    r.majorBrand = format.value("tags").toObject().value("major_brand").toString();
    for (const QJsonValue& v : root.value("streams").toArray()) {
        const QJsonObject s = v.toObject();
        if (s.value("codec_type").toString() == "video" && !r.hasVideo) {
            r.hasVideo = true;
            r.videoCodec = s.value("codec_name").toString();
            r.videoTag = s.value("codec_tag_string").toString();
            r.pixelFormat = s.value("pix_fmt").toString();
            r.profile = s.value("profile").toString();
            r.width = s.value("width").toInt();
            r.height = s.value("height").toInt();
            r.frameRate = s.value("r_frame_rate").toString();
            r.frames = s.value("nb_read_frames").toString().toInt();
            r.videoDuration = s.value("duration").toString().toDouble();
        } else if (s.value("codec_type").toString() == "audio" && !r.hasAudio) {
            r.hasAudio = true;
            r.audioCodec = s.value("codec_name").toString();
            r.sampleRate = s.value("sample_rate").toString().toInt();
            r.channels = s.value("channels").toInt();
            r.audioDuration = s.value("duration").toString().toDouble();
        }
    }
    return r;
}

// Every picture of the file as packed pixels (rgb24 or rgba).
inline std::vector<QImage> decodeFrames(const QString& path, int width, int height, bool alpha = false)
{
    const QByteArray raw = run("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-vsync", "passthrough", "-f",
                                          "rawvideo", "-pix_fmt", alpha ? "rgba" : "rgb24", "-"});
    std::vector<QImage> frames;
    const int bpp = alpha ? 4 : 3;
    const int size = width * height * bpp;
    if (size <= 0)
        return frames;
    for (int offset = 0; offset + size <= raw.size(); offset += size) {
        QImage image(reinterpret_cast<const uchar*>(raw.constData() + offset), width, height, width * bpp,
                     alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        frames.push_back(image.copy());
    }
    return frames;
}

// The first channel of the file's sound as float samples at 48 kHz.
inline std::vector<float> decodeSound(const QString& path)
{
    const QByteArray raw = run("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a:0", "-af", "pan=mono|c0=c0",
                                          "-f", "f32le", "-ar", "48000", "-"});
    std::vector<float> samples(size_t(raw.size()) / sizeof(float));
    memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
    return samples;
}

} // namespace rectest
