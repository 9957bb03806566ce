// The on-screen parts of a recording: the border outside the area (its
// colours, the pause colours, dragging the area by it) and the drawing
// canvas (strokes on the screen and in the frames, undo, redo, clear,
// numbered callouts, text, and the desktop getting its clicks back).

#include "EffectsTestSupport.h"

#include "Screencast.h"
#include "rec/BorderOverlay.h"
#include "rec/Canvas.h"
#include "rec/Factories.h"

#include <QtTest>

#include <mutex>
#include <thread>

using namespace effectstest;
using namespace sc::rec;

namespace {

const QRgb kGreen = qRgb(30, 200, 60);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRect kArea(300, 300, 400, 300);

class Recorded : public CRecoderCallback, public CScreenCanvasEvent {
public:
    void OnError(SRErrorCode) override {}
    void OnRecordingRegionBeginDrag() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++begins;
        offGui &= std::this_thread::get_id() != m_gui;
    }
    void OnRecordingRegionEndDrag(CRect r) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ends.push_back(QRect(int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)));
        offGui &= std::this_thread::get_id() != m_gui;
    }
    void OnScreenCanvasEvent(signed char canUndo, signed char canRedo) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        states.push_back(QPair<int, int>(canUndo, canRedo));
        offGui &= std::this_thread::get_id() != m_gui;
    }
    void OnNumberChanged(int next) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        numbers.push_back(next);
        offGui &= std::this_thread::get_id() != m_gui;
    }

    int beginCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return begins;
    }
    QVector<QRect> endRects()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ends;
    }
    QVector<QPair<int, int>> stateList()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return states;
    }
    QPair<int, int> lastState()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return states.isEmpty() ? QPair<int, int>(-1, -1) : states.last();
    }
    QVector<int> numberList()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return numbers;
    }
    bool allOffGui()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return offGui;
    }

private:
    std::mutex m_mutex;
    std::thread::id m_gui = std::this_thread::get_id();
    int begins = 0;
    QVector<QRect> ends;
    QVector<QPair<int, int>> states;
    QVector<int> numbers;
    bool offGui = true;
};

RecordingSetup setupFor(Recorded* callback)
{
    RecordingSetup setup;
    setup.displayRect = QRect(0, 0, 1920, 1080);
    setup.area = kArea;
    setup.callback = callback;
    return setup;
}

VideoFrame decoratedBy(IFrameDecorator* decorator)
{
    VideoFrame frame;
    frame.image = QImage(kArea.size(), QImage::Format_RGB32);
    frame.image.fill(kGreen);
    frame.screenRect = kArea;
    decorator->decorate(frame);
    return frame;
}

int countNear(const QImage& image, QRgb colour, int tolerance = 24)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += near(image.pixel(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

} // namespace

class TstEffectsOverlays : public QObject {
    Q_OBJECT

    std::unique_ptr<XDisplay> m_x;
    xcb_window_t m_background = XCB_WINDOW_NONE;

private slots:
    void initTestCase()
    {
        startEngine(m_x);
        if (QTest::currentTestFailed())
            return;
        // Another program's window under everything.
        m_background = m_x->colourWindow(kArea.adjusted(-150, -150, 150, 150), kGreen);
        QTRY_VERIFY(near(m_x->screenPixel(kArea.center()), kGreen));
        SetRecordBoxColor(LineColors{0xffff0000u, 0xffffffffu});
        SetPauseBoxColor(LineColors{0xff0000ffu, 0xff000000u});
    }
    void cleanupTestCase()
    {
        m_x->destroy(m_background);
        scUninitialize();
    }

    // The border lies outside the area in the recording colours, takes the
    // pause colours while paused, follows the area and goes with its owner.
    void borderAroundArea()
    {
        RecordingSetup setup = setupFor(nullptr);
        QVERIFY(!makeRecordingOverlay(setup));      // no border asked for
        setup.boundary = true;
        std::unique_ptr<IRecordingOverlay> overlay = makeRecordingOverlay(setup);
        QVERIFY(overlay);
        BorderFrame* frame = static_cast<BorderOverlay*>(overlay.get())->frame();
        QVERIFY(frame);
        QRegion ring;
        for (BorderStrip* strip : frame->strips()) {
            QVERIFY(QTest::qWaitForWindowExposed(strip));
            QVERIFY(!strip->geometry().intersects(kArea));
            ring += strip->geometry();
        }
        const int t = frame->thickness();
        QCOMPARE(ring, QRegion(kArea.adjusted(-t, -t, t, t)) - QRegion(kArea));

        const QPoint onLine(kArea.center().x(), kArea.top() - t / 2 - 1);
        const QPoint leftLine(kArea.left() - t / 2 - 1, kArea.center().y());
        QTRY_VERIFY2(near(m_x->screenPixel(onLine), kRed), qPrintable(rgbText(m_x->screenPixel(onLine))));
        QVERIFY(near(m_x->screenPixel(leftLine), kRed));
        QVERIFY(near(m_x->screenPixel(kArea.topLeft()), kGreen));
        QVERIFY(near(m_x->screenPixel(kArea.bottomRight()), kGreen));
        QVERIFY(near(m_x->screenPixel(kArea.topLeft() - QPoint(t, t)), qRgb(255, 255, 255)));   // its edge

        overlay->setPaused(true);
        QTRY_VERIFY(near(m_x->screenPixel(onLine), kBlue));
        overlay->setPaused(false);
        QTRY_VERIFY(near(m_x->screenPixel(onLine), kRed));

        // Asked from the capture thread: the border follows without waiting.
        const QRect moved = kArea.translated(40, 30);
        std::thread capture([&] { overlay->setArea(moved); });
        capture.join();
        QTRY_COMPARE(frame->strips()[0]->geometry().topLeft(), moved.topLeft() - QPoint(t, t));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(moved.center().x(), moved.top() - t / 2 - 1)), kRed));

        overlay.reset();
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(moved.center().x(), moved.top() - t / 2 - 1)), kGreen));
    }

    // A single-window recording has its border around the window, which
    // it follows; its area is never dragged.
    void borderAroundWindow()
    {
        const QRect place(800, 120, 200, 150);
        const xcb_window_t w = m_x->colourWindow(place, kGreen);
        RecordingSetup setup = setupFor(nullptr);
        setup.windowOption = kWindowListSingle;
        setup.include = {uint32_t(w)};
        setup.boundary = true;
        setup.mouse.method = 1;
        setup.mouse.methodParam = 1;
        QVERIFY(!makeAreaController(setup));
        std::unique_ptr<IRecordingOverlay> overlay = makeRecordingOverlay(setup);
        QVERIFY(overlay);
        BorderFrame* frame = static_cast<BorderOverlay*>(overlay.get())->frame();
        QCOMPARE(frame->area(), place);
        QCOMPARE(frame->thickness(), 4);        // not the wider draggable border
        overlay->setArea(kArea);                 // the recorder's area does not count
        QCOMPARE(frame->area(), place);
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(900, 120 - 3)), kRed));
        m_x->configure(w, place.translated(100, 200));
        QTRY_COMPARE(frame->area(), place.translated(100, 200));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(1000, 320 - 3)), kRed));
        overlay.reset();
        m_x->destroy(w);
    }

    // Method 1 with parameter 1: the user drags the area by its border; the
    // recording follows through the area controller, and the module hears
    // of the drag on an engine thread.
    void borderDragsArea()
    {
        Recorded recorded;
        RecordingSetup setup = setupFor(&recorded);
        setup.mouse.method = 1;
        setup.mouse.methodParam = 1;
        std::unique_ptr<IRecordingOverlay> overlay = makeRecordingOverlay(setup);
        QVERIFY(overlay);       // a draggable area has a border even without the flag
        AreaController controller = makeAreaController(setup);
        QVERIFY(controller);
        QCOMPARE(controller(kArea), kArea);
        BorderFrame* frame = static_cast<BorderOverlay*>(overlay.get())->frame();
        for (BorderStrip* strip : frame->strips())
            QVERIFY(QTest::qWaitForWindowExposed(strip));

        const QPoint grip(kArea.center().x(), kArea.top() - frame->thickness() / 2);
        QVERIFY(drag(grip, grip + QPoint(60, 40)));
        QTRY_COMPARE(recorded.endRects().size(), 1);
        QCOMPARE(recorded.beginCount(), 1);
        const QRect moved = kArea.translated(60, 40);
        QCOMPARE(recorded.endRects().first(), moved);
        QCOMPARE(controller(kArea), moved);
        QCOMPARE(frame->strips()[0]->geometry().topLeft(), moved.topLeft() - QPoint(frame->thickness(), frame->thickness()));

        // Not past the display's edge.
        const QPoint grip2(moved.center().x(), moved.top() - frame->thickness() / 2);
        QVERIFY(drag(grip2, QPoint(5, grip2.y())));
        QTRY_COMPARE(recorded.endRects().size(), 2);
        QCOMPARE(recorded.endRects().last().left(), 0);
        QCOMPARE(controller(moved).left(), 0);
        QVERIFY(recorded.allOffGui());
        overlay.reset();
    }

    // A pen stroke drawn with the pointer: shown on the screen, burnt into
    // the frames (also those composed without this program's windows),
    // reported; after stop() the desktop gets the clicks again.
    void strokesUndoRedoClear()
    {
        Recorded events;
        std::unique_ptr<IRecordingCanvas> canvas = makeCanvas(setupFor(nullptr), &events);
        QVERIFY(canvas);
        CanvasController* controller = static_cast<RecordingCanvas*>(canvas.get())->controller();
        QVERIFY(controller && controller->input()->ok());
        IFrameDecorator* decorator = canvas->decorator();
        QCOMPARE(countNear(decoratedBy(decorator).image, kRed), 0);

        canvas->start(kShapePen, 0xffff0000u, 0x64ffffffu, "Sans", 6);
        QVERIFY(movePointer(kArea.topLeft() + QPoint(50, 50)));
        QTRY_VERIFY(m_x->windowUnderPointer() != m_background);     // the canvas takes the pointer
        QVERIFY(drag(kArea.topLeft() + QPoint(50, 50), kArea.topLeft() + QPoint(250, 50)));
        QTRY_COMPARE(events.lastState(), qMakePair(1, 0));
        QCOMPARE(controller->strokes().strokes().size(), 1);

        VideoFrame frame = decoratedBy(decorator);
        QVERIFY(near(frame.image.pixel(150, 50), kRed));
        QVERIFY(near(frame.image.pixel(150, 100), kGreen, 0));
        QTRY_VERIFY(near(m_x->screenPixel(kArea.topLeft() + QPoint(150, 50)), kRed));
        QVERIFY(near(m_x->screenPixel(kArea.topLeft() + QPoint(150, 100)), kGreen));

        // A frame composed without this program's windows gets the stroke
        // from the decorator alone.
        RecordingSetup composed = setupFor(nullptr);
        composed.windowOption = kWindowListExclude;
        std::string error;
        std::unique_ptr<IFrameSource> source = makeWindowSource(composed, error);
        QVERIFY2(source, error.c_str());
        VideoFrame real;
        QTRY_VERIFY((source->grab(real), near(real.image.pixel(150, 100), kGreen)));
        QVERIFY(near(real.image.pixel(150, 50), kGreen));
        decorator->decorate(real);
        QVERIFY(near(real.image.pixel(150, 50), kRed));

        // stop(): clicks go to the desktop again, and drags draw nothing.
        canvas->stop();
        QTRY_COMPARE(m_x->windowUnderPointer(), m_background);
        QVERIFY(drag(kArea.topLeft() + QPoint(50, 150), kArea.topLeft() + QPoint(250, 150)));
        QTest::qWait(100);
        QCOMPARE(controller->strokes().strokes().size(), 1);
        QCOMPARE(events.stateList().size(), 1);
        QVERIFY(near(decoratedBy(decorator).image.pixel(150, 150), kGreen, 0));

        canvas->undo();
        QTRY_COMPARE(events.lastState(), qMakePair(0, 1));
        QCOMPARE(countNear(decoratedBy(decorator).image, kRed), 0);
        QTRY_VERIFY(near(m_x->screenPixel(kArea.topLeft() + QPoint(150, 50)), kGreen));
        canvas->redo();
        QTRY_COMPARE(events.lastState(), qMakePair(1, 0));
        QVERIFY(near(decoratedBy(decorator).image.pixel(150, 50), kRed));
        canvas->clear();
        QTRY_COMPARE(events.lastState(), qMakePair(0, 0));
        QCOMPARE(countNear(decoratedBy(decorator).image, kRed), 0);
        QTRY_VERIFY(near(m_x->screenPixel(kArea.topLeft() + QPoint(150, 50)), kGreen));
        QCOMPARE(events.stateList().size(), 4);
        QVERIFY(events.allOffGui());
    }

    // Numbered callouts count on from the number the tool bar gives (the
    // last one it showed) and report the next; a rectangle's see-through
    // fill is in the frames but not on the screen; text is typed where the
    // text tool clicks.
    void calloutsFillsAndText()
    {
        Recorded events;
        std::unique_ptr<IRecordingCanvas> canvas = makeCanvas(setupFor(nullptr), &events);
        QVERIFY(canvas);
        CanvasController* controller = static_cast<RecordingCanvas*>(canvas.get())->controller();
        IFrameDecorator* decorator = canvas->decorator();

        canvas->setNumber(4);
        canvas->start(kShapeNumber, 0xff0000ffu, 0xffffffffu, "Sans", 4);
        QVERIFY(click(kArea.topLeft() + QPoint(60, 60)));
        QTRY_COMPARE(events.numberList(), QVector<int>({6}));
        QVERIFY(click(kArea.topLeft() + QPoint(160, 60)));
        QTRY_COMPARE(events.numberList(), QVector<int>({6, 7}));
        QCOMPARE(controller->strokes().strokes().size(), 2);
        QCOMPARE(controller->strokes().strokes()[0].number, 5);
        QCOMPARE(controller->strokes().strokes()[1].number, 6);
        QVERIFY(near(decoratedBy(decorator).image.pixel(60 - 14, 60), kBlue));

        // Rectangle: opaque red outline, blue fill at alpha 0x64.
        canvas->start(kShapeRectangle, 0xffff0000u, 0x640000ffu, "Sans", 3);
        QVERIFY(drag(kArea.topLeft() + QPoint(40, 120), kArea.topLeft() + QPoint(200, 220)));
        QTRY_COMPARE(controller->strokes().strokes().size(), 3);
        const QImage frame = decoratedBy(decorator).image;
        QVERIFY(near(frame.pixel(40, 170), kRed));
        const QRgb fill = frame.pixel(120, 170);
        QVERIFY2(qBlue(fill) > 60 && qBlue(fill) < 160 && qGreen(fill) < 180, qPrintable(rgbText(fill)));
        QTRY_VERIFY(near(m_x->screenPixel(kArea.topLeft() + QPoint(40, 170)), kRed));
        QVERIFY(near(m_x->screenPixel(kArea.topLeft() + QPoint(120, 170)), kGreen));

        canvas->start(kShapeText, 0xffff0000u, 0x64ffffffu, "Sans", 20);
        QVERIFY(click(kArea.topLeft() + QPoint(220, 240)));
        QTRY_VERIFY(controller->textEdit() && controller->textEdit()->isVisible());
        QTest::keyClicks(controller->textEdit(), "HH");
        QTest::keyClick(controller->textEdit(), Qt::Key_Return);
        QTRY_COMPARE(controller->strokes().strokes().size(), 4);
        QCOMPARE(controller->strokes().strokes().last().text, QStringLiteral("HH"));
        const QImage written = decoratedBy(decorator).image.copy(QRect(220, 240, 60, 40));
        QVERIFY(countNear(written, kRed) > 20);
        QTRY_VERIFY(!controller->textEdit());
        QTRY_COMPARE(events.stateList().size(), 4);
        canvas->stop();
    }
};

QTEST_MAIN(TstEffectsOverlays)
#include "tst_effects_overlays.moc"
