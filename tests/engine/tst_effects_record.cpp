// Window recordings, the watermark and the drawing canvas through the
// engine's interface (scVideoRecord), decoded from what was written.

#include "EffectsTestSupport.h"
#include "tests/support/RecorderTestHelpers.h"

#include "Screencast.h"
#include "rec/Canvas.h"

#include <QtTest>

#include <mutex>

using namespace effectstest;
using namespace testsupport;

namespace {

const QRgb kGreen = qRgb(30, 200, 60);
const QRgb kRed = qRgb(220, 30, 30);
const QRgb kBlue = qRgb(20, 40, 230);
const QRgb kYellow = qRgb(250, 230, 20);

class Events : public RecorderErrors, public CScreenCanvasEvent {
public:
    void OnScreenCanvasEvent(signed char canUndo, signed char) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strokes += canUndo ? 1 : 0;
    }
    void OnNumberChanged(int) override {}

    int strokes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strokes;
    }

private:
    std::mutex m_mutex;
    int m_strokes = 0;
};

QSize videoSize(const QString& file)
{
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of",
                            "csv=p=0", file});
    probe.waitForFinished(30000);
    const QStringList parts = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().split(',');
    return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

// The last picture of the file.
QImage lastFrame(const QString& file, const QString& folder)
{
    const QString png = folder + "/last.png";
    QFile::remove(png);
    if (QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", file, "-update", "1", png}) != 0)
        return QImage();
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

CRect corners(const QRect& r)
{
    return CRect{double(r.left()), double(r.top()), double(r.left() + r.width()), double(r.top() + r.height())};
}

VideoOpt videoFor(const QRect& rect, const QRect& window = QRect())
{
    VideoOpt video{};
    video.rect = corners(rect);
    video.windowRect = window.isNull() ? CRect{} : CRect{0, 0, double(window.width()), double(window.height())};
    video.fps = 10;
    video.codec = kVideoCodecH264;
    video.quality = 4;
    return video;
}

} // namespace

class TstEffectsRecord : public QObject {
    Q_OBJECT

    std::unique_ptr<XDisplay> m_x;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        startEngine(m_x);
        if (QTest::currentTestFailed())
            return;
        UseDisplay(0);
        QVERIFY(m_dir.isValid());
        SetWatermark(nullptr, 0, 0, 0, 0);
    }
    void cleanupTestCase() { scUninitialize(); }

    // One window, with its decoration, at its size; covered by another
    // program's window it is still recorded whole. Resized while recording,
    // the recording ends with code 4 and what was written stays playable.
    void windowRecordedUntilResized()
    {
        const xcb_window_t w = m_x->colourWindow(QRect(300, 200, 320, 240), kGreen, true);
        QTRY_VERIFY_WITH_TIMEOUT(IsWindowVisible(w), 10000);
        QTest::qWait(200);      // decorated
        const CRect r = GetWindowRect(w);
        const QRect frame(int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top));
        const xcb_window_t cover = m_x->colourWindow(QRect(frame.center() - QPoint(40, 40), QSize(80, 80)), kRed);
        QTRY_VERIFY(near(m_x->screenPixel(frame.center()), kRed));

        Events events;
        const QString file = m_dir.filePath("window.mp4");
        const unsigned int include[] = {w};
        MouseOpt mouse{};
        CBasePtr<CScreenRecoderObject> recorder =
            scVideoRecord(&events, kOutputMp4, file.toUtf8().constData(), videoFor(frame, frame), AudioOpt{}, mouse,
                          false, kWindowListSingle, nullptr, 0, include, 1);
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        QVERIFY(waitForFrames(recorder.get(), 5, 5000));
        const uint32_t size[] = {360, 240};
        xcb_configure_window(m_x->conn, w, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        m_x->sync();
        QTRY_COMPARE_WITH_TIMEOUT(events.errors(), std::vector<int>({int(SR_WindowResized)}), 5000);
        recorder.reset();
        m_x->destroy(cover);
        m_x->destroy(w);

        const QSize written = videoSize(file);
        QVERIFY2(std::abs(written.width() - frame.width()) <= 1 && std::abs(written.height() - frame.height()) <= 1,
                 qPrintable(QString("%1x%2 for %3x%4").arg(written.width()).arg(written.height())
                                .arg(frame.width()).arg(frame.height())));
        const QImage last = lastFrame(file, m_dir.path());
        QVERIFY(!last.isNull());
        const QPoint middle(last.width() / 2, last.height() / 2);
        QVERIFY2(near(last.pixel(middle), kGreen, 60), qPrintable(rgbText(last.pixel(middle))));
    }

    // Everything but an excluded window, with the watermark at its place and
    // a stroke drawn on the canvas with the pointer.
    void excludedWindowWatermarkAndDrawing()
    {
        const QRect area(200, 200, 320, 240);
        const xcb_window_t ground = m_x->colourWindow(area.adjusted(-60, -60, 60, 60), kGreen);
        const xcb_window_t excluded = m_x->colourWindow(QRect(250, 330, 80, 80), kRed);
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(290, 370)), kRed));

        QImage mark(40, 40, QImage::Format_ARGB32);
        mark.fill(QColor(kBlue));
        const QString markPath = m_dir.filePath("mark.png");
        QVERIFY(mark.save(markPath));
        SetWatermark(markPath.toUtf8().constData(), 240, 20, 60, 60);

        Events events;
        const QString file = m_dir.filePath("desktop.mp4");
        const unsigned int exclude[] = {excluded};
        MouseOpt mouse{};
        CBasePtr<CScreenRecoderObject> recorder =
            scVideoRecord(&events, kOutputMp4, file.toUtf8().constData(), videoFor(area), AudioOpt{}, mouse, true,
                          kWindowListExclude, exclude, 1, nullptr, 0);
        QVERIFY(recorder);
        QCOMPARE(recorder->start(), 0);
        CScreenCanvasObject* canvas = recorder->createCanvas(&events);
        QVERIFY(canvas);
        canvas->start(sc::rec::kShapePen, 0xffffe614u, 0x64ffffffu, "Sans", 8);
        QVERIFY(drag(area.topLeft() + QPoint(40, 200), area.topLeft() + QPoint(200, 200)));
        QTRY_COMPARE(events.strokes(), 1);
        canvas->stop();
        const int64_t after = recorder->frameCount();
        QVERIFY(waitForFrames(recorder.get(), after + 4, 5000));
        recorder.reset();
        SetWatermark(nullptr, 0, 0, 0, 0);
        QVERIFY(events.errors().empty());
        m_x->destroy(excluded);
        m_x->destroy(ground);

        QCOMPARE(videoSize(file), area.size());
        const QImage last = lastFrame(file, m_dir.path());
        QVERIFY(!last.isNull());
        auto expect = [&](const QPoint& p, QRgb colour) {
            return near(last.pixel(p), colour, 70) ? QByteArray()
                                                    : (rgbText(last.pixel(p)) + " at " + QString::number(p.x()) + ","
                                                       + QString::number(p.y()))
                                                          .toUtf8();
        };
        QCOMPARE(expect(QPoint(90, 170), kGreen), QByteArray());       // the excluded window's place
        QCOMPARE(expect(QPoint(270, 50), kBlue), QByteArray());        // watermark
        QCOMPARE(expect(QPoint(120, 200), kYellow), QByteArray());     // the stroke
        QCOMPARE(expect(QPoint(120, 120), kGreen), QByteArray());
        QCOMPARE(expect(QPoint(3, 3), kGreen), QByteArray());          // no border inside
    }
};

QTEST_MAIN(TstEffectsRecord)
#include "tst_effects_record.moc"
