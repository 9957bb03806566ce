// Window modes, the pointer, the recording border and the drawing canvas on
// the test X server, the pointer driven through XTest, recordings decoded.

#include "RecordingTestSupport.h"

#include "ui/BorderOverlay.h"
#include "ui/Canvas.h"
#include "rec/Factories.h"
#include "source/WindowSource.h"

#include <QWidget>
#include <QtTest>

#include <thread>

using namespace et;
using namespace sc::rec;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(30, 200, 60), kBlue = qRgb(0, 0, 255);
const QRgb kMagenta = qRgb(200, 40, 200), kYellow = qRgb(250, 230, 20), kCyan = qRgb(20, 210, 220);
const QRect kArea(300, 300, 400, 300);

QRect rectOf(const CRect& r) { return QRect(int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)); }

// What the engine reported, from which thread it must not have come.
class Events : public Callback, public CScreenCanvasEvent {
public:
    void OnRecordingRegionEndDrag(CRect r) override { add(ends, rectOf(r)); }
    void OnScreenCanvasEvent(signed char canUndo, signed char canRedo) override { add(states, QPoint(canUndo, canRedo)); }
    void OnNumberChanged(int next) override { add(numbers, next); }
    template <class T> QVector<T> get(const QVector<T>& list)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return list;
    }
    QVector<QRect> ends;
    QVector<QPoint> states;   // (can undo, can redo)
    QVector<int> numbers;
    std::atomic<bool> onGui{false};

private:
    template <class T> void add(QVector<T>& list, const T& value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        list << value;
        onGui = onGui || std::this_thread::get_id() == m_gui;
    }
    std::mutex m_mutex;
    const std::thread::id m_gui = std::this_thread::get_id();
};

RecordingSetup setupFor(const QRect& area, WindowListOption option = kWindowListNone,
                        std::vector<uint32_t> exclude = {}, std::vector<uint32_t> include = {})
{
    RecordingSetup setup;
    setup.displayRect = QRect(0, 0, 1920, 1080);
    setup.area = area;
    setup.windowOption = option;
    setup.exclude = std::move(exclude);
    setup.include = std::move(include);
    return setup;
}

// Grabs until the frame's pixel at `p` has the colour (the server and
// the window manager work on their own time).
bool frameShows(IFrameSource& source, const QPoint& p, QRgb colour, VideoFrame& frame)
{
    return waitUntil([&] {
        return source.grab(frame) == SR_Success && frame.image.rect().contains(p) && near(frame.image.pixel(p), colour);
    });
}

// A window of this program in one colour, exactly where asked.
std::unique_ptr<QWidget> ownWindow(const QRect& r, QRgb colour)
{
    std::unique_ptr<QWidget> w(new QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint
                                                        | Qt::WindowStaysOnTopHint));
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(colour));
    w->setPalette(palette);
    w->setAutoFillBackground(true);
    w->setGeometry(r);
    w->show();
    return w;
}

QImage decorated(IFrameDecorator* decorator, const QRect& screenRect = kArea)
{
    VideoFrame frame;
    frame.image = QImage(screenRect.size(), QImage::Format_RGB32);
    frame.image.fill(kGreen);
    frame.screenRect = screenRect;
    decorator->decorate(frame);
    return frame.image;
}

int countNear(const QImage& image, QRgb colour, const QRect& box = QRect(0, 0, 4000, 4000), int tolerance = 24)
{
    int n = 0;
    const QRect r = box & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += near(image.pixel(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

QImage lastFrame(const QString& path)
{
    const Probe p = probe(path);
    const std::vector<QImage> frames = decodeFrames(path, p.width, p.height);
    return frames.empty() ? QImage() : frames.back();
}

} // namespace

class TstEffects : public QObject {
    Q_OBJECT

    std::unique_ptr<XConn> m_x;
    std::vector<xcb_window_t> m_windows;
    QTemporaryDir m_dir;

    xcb_window_t window(const QRect& r, QRgb colour, int flags = 0)
    {
        m_windows.push_back(m_x->window(r, colour, flags));
        return m_windows.back();
    }
    // A managed window once the window manager has framed it and its
    // frame stays put.
    xcb_window_t managedWindow(const QRect& r, QRgb colour)
    {
        const xcb_window_t w = window(r, colour, XConn::Managed);
        QRect before;
        waitUntil([&] {
            const QRect now = rectOf(GetWindowRect(w));
            const bool settled = IsWindowVisible(w) && now == before && now.width() > 0;
            before = now;
            QTest::qWait(40);
            return settled;
        });
        return w;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("DISPLAY").size(), "run inside scripts/with-test-env.sh");
        QCOMPARE(scInitialize(), int(kScInitOk));
        UseDisplay(0);
        m_x.reset(new XConn);
        QVERIFY(m_x->ok() && m_dir.isValid());
        SetWatermark(nullptr, 0, 0, 0, 0);
        SetRecordBoxColor(LineColors{0xffff0000u, 0xffffffffu});
    }
    void cleanup()
    {
        for (xcb_window_t w : m_windows)
            m_x->destroy(w);
        m_windows.clear();
        QVERIFY(movePointer(QPoint(1900, 1060)));
    }
    void cleanupTestCase() { scUninitialize(); }

    // One window at its frame's size with its own pixels even where covered, followed when it
    // moves; a new size ends the recording with code 4, the file still playable.
    void oneWindowFollowedUntilResized()
    {
        const xcb_window_t w = managedWindow(QRect(300, 200, 320, 240), kRed);
        const QRect frame = rectOf(GetWindowRect(w));
        QVERIFY(frame.width() >= 320 && frame.height() >= 240);
        window(QRect(frame.center() - QPoint(40, 40), QSize(80, 80)), kBlue);
        QVERIFY(m_x->shows(frame.center(), kBlue));
        std::string error;
        std::unique_ptr<IFrameSource> source = makeWindowSource(setupFor(QRect(), kWindowListSingle, {}, {w}), error);
        QVERIFY2(source, error.c_str());
        VideoFrame last;
        QVERIFY(frameShows(*source, frame.center() - frame.topLeft(), kRed, last));
        QCOMPARE(last.screenRect, frame);

        Callback callback;
        const QString path = m_dir.filePath("window.mp4");
        VideoOpt video = videoOpt(frame);
        video.windowRect = CRect{0, 0, double(frame.width()), double(frame.height())};
        auto recorder = record(&callback, kOutputMp4, path, video, sound(false), kWindowListSingle, {}, {unsigned(w)});
        QVERIFY(recorder && recorder->start() == 0 && waitForFrames(recorder.get(), 5));
        m_x->move(w, QPoint(700, 500));
        QVERIFY(waitUntil([&] { return rectOf(GetWindowRect(w)).topLeft() != frame.topLeft(); }));
        const QRect moved = rectOf(GetWindowRect(w));
        QVERIFY(waitUntil([&] { return source->grab(last) == SR_Success && last.screenRect == moved; }));
        QVERIFY(near(last.image.pixel(moved.width() / 2, moved.height() / 2), kRed));
        QCOMPARE(last.image.size(), frame.size());
        QVERIFY(waitForFrames(recorder.get(), recorder->frameCount() + 5));
        m_x->resize(w, QSize(360, 240));
        QVERIFY(waitUntil([&] { return !callback.errors().empty(); }));
        recorder.reset();
        QCOMPARE(callback.errors(), std::vector<int>({int(SR_WindowResized)}));
        QCOMPARE(source->grab(last), int(SR_WindowResized));
        const Probe p = probe(path);
        QVERIFY2(std::abs(p.width - frame.width()) <= 1 && std::abs(p.height - frame.height()) <= 1,
                 qPrintable(QString("%1x%2").arg(p.width).arg(p.height)));
        const QImage image = lastFrame(path);
        QVERIFY2(near(image.pixel(image.width() / 2, image.height() / 2), kRed, 60),
                 rgbText(image.pixel(image.width() / 2, image.height() / 2)));
    }
    // Destroyed: "closed" at once. Withdrawn by its program: "closed" once
    // it stayed away for a moment.
    void oneWindowClosed()
    {
        VideoFrame frame;
        std::string error;
        const xcb_window_t w = managedWindow(QRect(200, 200, 160, 120), kGreen);
        std::unique_ptr<IFrameSource> source = makeWindowSource(setupFor(QRect(), kWindowListSingle, {}, {w}), error);
        QVERIFY2(source && source->grab(frame) == SR_Success, error.c_str());
        m_x->destroy(w);
        m_windows.clear();
        QCOMPARE(source->grab(frame), int(SR_WindowClosed));

        const xcb_window_t hidden = managedWindow(QRect(220, 220, 160, 120), kGreen);
        source = makeWindowSource(setupFor(QRect(), kWindowListSingle, {}, {hidden}), error);
        QVERIFY2(source, error.c_str());
        QVERIFY(frameShows(*source, QPoint(80, 60), kGreen, frame));
        m_x->withdraw(hidden);
        QVERIFY(waitUntil([&] { return source->grab(frame) == SR_WindowClosed; }));
    }
    // All but the excluded: those and this program's windows leave no trace, the included webcam
    // shows, the area moves. Only the included: on black, stacked, gone when they go.
    void composedWindows()
    {
        const QRect area(100, 100, 400, 300);
        window(area, kGreen);
        const xcb_window_t excluded = window(QRect(150, 150, 100, 100), kRed);
        const xcb_window_t above = window(QRect(200, 200, 100, 100), kBlue);
        window(QRect(420, 320, 100, 100), kMagenta);
        std::unique_ptr<QWidget> bar = ownWindow(QRect(300, 150, 80, 80), kYellow);
        std::unique_ptr<QWidget> webcam = ownWindow(QRect(300, 280, 80, 80), kCyan);
        QVERIFY(m_x->shows(QPoint(340, 190), kYellow) && m_x->shows(QPoint(340, 320), kCyan));
        std::string error;
        auto source = makeWindowSource(setupFor(area, kWindowListExclude, {excluded}, {uint32_t(webcam->winId())}), error);
        QVERIFY2(source, error.c_str());
        QCOMPARE(source->frameSize(), area.size());
        VideoFrame f;
        QVERIFY(frameShows(*source, QPoint(240, 220), kCyan, f));
        QCOMPARE(f.screenRect, area);
        for (const QPoint& p : {QPoint(70, 70), QPoint(240, 90), QPoint(10, 10)})   // excluded, own bar, ground
            QVERIFY2(near(f.image.pixel(p), kGreen), rgbText(f.image.pixel(p)));
        QVERIFY(near(f.image.pixel(120, 120), kBlue) && near(f.image.pixel(350, 250), kMagenta));
        source->setArea(QRect(QPoint(300, 250), QSize(10, 10)));   // moved by the area controller
        QCOMPARE(source->grab(f), int(SR_Success));
        QCOMPARE(f.screenRect, QRect(QPoint(300, 250), area.size()));
        QVERIFY(near(f.image.pixel(150, 100), kMagenta) && near(f.image.pixel(40, 70), kCyan));
        QVERIFY(near(f.image.pixel(250, 250), qRgb(0, 0, 0)));   // the desktop's background

        source = makeWindowSource(setupFor(area, kWindowListInclude, {}, {excluded, above}), error);
        QVERIFY2(source, error.c_str());
        QVERIFY(frameShows(*source, QPoint(60, 60), kRed, f));
        QVERIFY(near(f.image.pixel(120, 120), kBlue));
        for (const QPoint& p : {QPoint(20, 20), QPoint(240, 90), QPoint(350, 250)})
            QVERIFY2(near(f.image.pixel(p), qRgb(0, 0, 0)), rgbText(f.image.pixel(p)));
        m_x->destroy(above);
        m_windows.erase(std::find(m_windows.begin(), m_windows.end(), above));
        QVERIFY(frameShows(*source, QPoint(120, 120), kRed, f));
    }
    // The watermark, a stroke and a rectangle drawn with the pointer are burnt into the file,
    // the rectangle as the outline the screen showed.
    void burntIntoTheRecording()
    {
        const QRect area(200, 200, 320, 240);
        window(area.adjusted(-60, -60, 60, 60), kGreen);
        const xcb_window_t excluded = window(QRect(250, 330, 80, 80), kRed);
        QVERIFY(m_x->shows(QPoint(290, 370), kRed));
        QImage mark(40, 40, QImage::Format_ARGB32);
        mark.fill(QColor(kBlue));
        QVERIFY(mark.save(m_dir.filePath("mark.png")));
        SetWatermark(m_dir.filePath("mark.png").toUtf8().constData(), 240, 20, 60, 60);
        Events events;
        const QString path = m_dir.filePath("desktop.mp4");
        auto recorder = record(&events, kOutputMp4, path, videoOpt(area), sound(false), kWindowListExclude, {excluded},
                               {}, true);
        QVERIFY(recorder && recorder->start() == 0);
        CScreenCanvasObject* canvas = recorder->createCanvas(&events);
        QVERIFY(canvas);
        canvas->start(kShapePen, 0xffffe614u, 0x64ffffffu, "Sans", 8);
        QVERIFY(drag(area.topLeft() + QPoint(40, 200), area.topLeft() + QPoint(200, 200)));
        QVERIFY(waitUntil([&] { return events.get(events.states).size() == 1; }));
        canvas->start(kShapeRectangle, 0xffffe614u, 0x64ffffffu, "Sans", 8);
        QVERIFY(drag(area.topLeft() + QPoint(200, 100), area.topLeft() + QPoint(300, 200)));
        QVERIFY(waitUntil([&] { return events.get(events.states).size() == 2; }));
        canvas->stop();
        QVERIFY(waitForFrames(recorder.get(), recorder->frameCount() + 4));
        recorder.reset();
        SetWatermark(nullptr, 0, 0, 0, 0);
        QVERIFY(events.errors().empty());
        QCOMPARE(probe(path).width, area.width());
        const QImage last = lastFrame(path);
        const std::pair<QPoint, QRgb> expected[] = {{{90, 170}, kGreen},   // the excluded window's place
                                                    {{250, 30}, kBlue},    // watermark
                                                    {{295, 75}, kBlue},    // scaled to its size
                                                    {{120, 200}, kYellow}, // the stroke
                                                    {{200, 150}, kYellow}, // the rectangle's edge
                                                    {{250, 150}, kGreen},  // and its inside
                                                    {{3, 3}, kGreen}};     // the border is outside
        for (const auto& e : expected)
            QVERIFY2(near(last.pixel(e.first), e.second, e.second == kGreen ? 40 : 70), rgbText(last.pixel(e.first)));
    }
    // The cursor is drawn where the pointer is, only when asked for, and
    // not when the pointer is outside the area.
    void pointerInTheFrames()
    {
        window(kArea.adjusted(-100, -100, 100, 100), kGreen);
        QVERIFY(m_x->shows(kArea.center(), kGreen));
        std::string error;
        auto source = makeWindowSource(setupFor(kArea, kWindowListInclude, {}, {m_windows.back()}), error);
        QVERIFY2(source, error.c_str());
        auto frameWith = [&](MouseOpt mouse) {
            VideoFrame frame;
            source->grab(frame);
            RecordingSetup setup = setupFor(kArea);
            setup.mouse = mouse;
            for (const auto& d : makeDecorators(setup))
                d->decorate(frame);
            return frame.image;
        };
        QVERIFY(makeDecorators(setupFor(kArea)).empty());
        MouseOpt cursor{};
        cursor.cursor = 1;
        const QPoint at(350, 300), p = at - kArea.topLeft();
        QVERIFY(movePointer(at));
        QVERIFY(waitUntil([&] { return countNear(frameWith(cursor), kGreen, QRect(p - QPoint(20, 20), QSize(40, 40))) < 1580; }));
        QVERIFY(movePointer(QPoint(1500, 900)));
        QCOMPARE(countNear(frameWith(cursor), kGreen), kArea.width() * kArea.height());
    }
    // Method 1, parameter 1: the area dragged by its border, never past the display's edge; the
    // recording follows and the module hears of the drag on an engine thread.
    void borderDragsTheArea()
    {
        Events events;
        RecordingSetup setup = setupFor(kArea);
        setup.callback = &events;
        setup.mouse.method = 1;
        setup.mouse.methodParam = 1;
        std::unique_ptr<IRecordingOverlay> overlay = makeRecordingOverlay(setup);
        AreaController controller = makeAreaController(setup);
        QVERIFY(overlay && controller);
        QCOMPARE(controller(kArea), kArea);
        BorderFrame* frame = static_cast<BorderOverlay*>(overlay.get())->frame();
        for (BorderStrip* strip : frame->strips())
            QVERIFY(QTest::qWaitForWindowExposed(strip));
        const QPoint grip(kArea.center().x(), kArea.top() - frame->thickness() / 2);
        QVERIFY(drag(grip, grip + QPoint(60, 40)));
        QVERIFY(waitUntil([&] { return events.get(events.ends).size() == 1; }));
        const QRect moved = kArea.translated(60, 40);
        QCOMPARE(events.get(events.ends).first(), moved);
        QCOMPARE(controller(kArea), moved);
        QVERIFY(drag(grip + QPoint(60, 40), QPoint(5, grip.y() + 40)));
        QVERIFY(waitUntil([&] { return events.get(events.ends).size() == 2; }));
        QCOMPARE(events.get(events.ends).last().left(), 0);
        QCOMPARE(controller(moved).left(), 0);
        QVERIFY(!events.onGui);
    }
    // A pen stroke is on the screen and in the frames (also those without our windows); after
    // stop() clicks reach the desktop; undo, redo, clear reported; callouts count on.
    void drawingCanvas()
    {
        const xcb_window_t ground = window(kArea.adjusted(-150, -150, 150, 150), kGreen);
        QVERIFY(m_x->shows(kArea.center(), kGreen));
        Events events;
        std::unique_ptr<IRecordingCanvas> canvas = makeCanvas(setupFor(kArea), &events);
        QVERIFY(canvas);
        CanvasController* controller = static_cast<RecordingCanvas*>(canvas.get())->controller();
        QVERIFY(controller && controller->input()->ok());
        IFrameDecorator* decorator = canvas->decorator();
        canvas->start(kShapePen, 0xffff0000u, 0x64ffffffu, "Sans", 6);
        QVERIFY(movePointer(kArea.topLeft() + QPoint(50, 50)));
        QVERIFY(waitUntil([&] { return m_x->windowUnderPointer() != ground; }));   // the canvas takes the pointer
        QVERIFY(drag(kArea.topLeft() + QPoint(50, 50), kArea.topLeft() + QPoint(250, 50)));
        QVERIFY(waitUntil([&] { return events.get(events.states) == QVector<QPoint>{{1, 0}}; }));
        QVERIFY(near(decorated(decorator).pixel(150, 50), kRed) && near(decorated(decorator).pixel(150, 100), kGreen, 0));
        QVERIFY(m_x->shows(kArea.topLeft() + QPoint(150, 50), kRed));
        std::string error;
        auto composed = makeWindowSource(setupFor(kArea, kWindowListExclude), error);
        VideoFrame real;
        QVERIFY(composed && frameShows(*composed, QPoint(150, 100), kGreen, real));
        QVERIFY(near(real.image.pixel(150, 50), kGreen));
        decorator->decorate(real);
        QVERIFY(near(real.image.pixel(150, 50), kRed));

        canvas->stop();
        QVERIFY(waitUntil([&] { return m_x->windowUnderPointer() == ground; }));
        canvas->undo();
        QVERIFY(waitUntil([&] { return events.get(events.states).last() == QPoint(0, 1); }));
        QCOMPARE(countNear(decorated(decorator), kRed), 0);
        QVERIFY(m_x->shows(kArea.topLeft() + QPoint(150, 50), kGreen));
        canvas->redo();
        QVERIFY(waitUntil([&] { return events.get(events.states).last() == QPoint(1, 0); }));
        canvas->clear();
        QVERIFY(waitUntil([&] { return events.get(events.states).last() == QPoint(0, 0); }));
        QCOMPARE(events.get(events.states).size(), 4);

        canvas->setNumber(4);
        canvas->start(kShapeNumber, 0xff0000ffu, 0xffffffffu, "Sans", 4);
        QVERIFY(click(kArea.topLeft() + QPoint(60, 60)) && click(kArea.topLeft() + QPoint(160, 60)));
        QVERIFY(waitUntil([&] { return events.get(events.numbers) == QVector<int>({6, 7}); }));
        QCOMPARE(controller->strokes().strokes()[0].number, 5);
        canvas->stop();
        QVERIFY(!events.onGui);
    }
};

QTEST_MAIN(TstEffects)
#include "tst_effects.moc"
