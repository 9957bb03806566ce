// The pointer in the frames (cursor, halo, click effects), the watermark
// and the areas that follow the pointer, on real frames of a real X server.

#include "EffectsTestSupport.h"

#include "Screencast.h"
#include "rec/AreaControl.h"
#include "rec/Factories.h"
#include "rec/MouseEffects.h"

#include <QtTest>

using namespace effectstest;
using namespace sc::rec;

namespace {

const QRgb kGreen = qRgb(30, 200, 60);
const QRect kArea(200, 200, 300, 200);

int countNot(const QImage& image, const QRect& box, QRgb background)
{
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (image.rect().contains(x, y) && !near(image.pixel(x, y), background, 24))
                ++n;
    return n;
}

VideoFrame uniformFrame(const QRect& screenRect, QRgb colour)
{
    VideoFrame frame;
    frame.image = QImage(screenRect.size(), QImage::Format_RGB32);
    frame.image.fill(colour);
    frame.screenRect = screenRect;
    return frame;
}

RecordingSetup setupWith(MouseOpt mouse)
{
    RecordingSetup setup;
    setup.displayRect = QRect(0, 0, 1920, 1080);
    setup.area = kArea;
    setup.mouse = mouse;
    return setup;
}

} // namespace

class TstEffectsPointer : public QObject {
    Q_OBJECT

    std::unique_ptr<XDisplay> m_x;
    xcb_window_t m_background = XCB_WINDOW_NONE;
    std::unique_ptr<IFrameSource> m_source;

    // A real frame of the area (the green window), decorated.
    VideoFrame decorated(const std::vector<std::unique_ptr<IFrameDecorator>>& decorators)
    {
        VideoFrame frame;
        if (m_source->grab(frame) != SR_Success)
            return VideoFrame();
        for (const auto& d : decorators)
            d->decorate(frame);
        return frame;
    }

private slots:
    void initTestCase()
    {
        startEngine(m_x);
        if (QTest::currentTestFailed())
            return;
        m_background = m_x->colourWindow(kArea.adjusted(-100, -100, 100, 100), kGreen);
        RecordingSetup setup = setupWith(MouseOpt{});
        setup.windowOption = kWindowListInclude;
        setup.include = {uint32_t(m_background)};
        std::string error;
        m_source = makeWindowSource(setup, error);
        QVERIFY2(m_source, error.c_str());
        QTRY_VERIFY(near(decorated({}).image.pixel(10, 10), kGreen));
        SetWatermark(nullptr, 0, 0, 0, 0);
    }
    void cleanupTestCase()
    {
        m_source.reset();
        m_x->destroy(m_background);
        scUninitialize();
    }

    // The cursor picture is drawn where the pointer is, only when asked for,
    // and nothing is drawn when the pointer is outside the area.
    void cursorDrawnOrNot()
    {
        QVERIFY(makeDecorators(setupWith(MouseOpt{})).empty());

        MouseOpt mouse{};
        mouse.cursor = 1;
        const auto decorators = makeDecorators(setupWith(mouse));
        QCOMPARE(decorators.size(), std::size_t(1));
        const QPoint at(350, 300);
        QVERIFY(movePointer(at));
        const QRect box(at - kArea.topLeft() - QPoint(20, 20), QSize(40, 40));
        QTRY_VERIFY(countNot(decorated(decorators).image, box, kGreen) > 20);

        // Pointer elsewhere: the frame stays clean.
        QVERIFY(movePointer(QPoint(1500, 900)));
        QCOMPARE(countNot(decorated(decorators).image, QRect(QPoint(0, 0), kArea.size()), kGreen), 0);

        // The halo alone draws no cursor: only its colour around the pointer.
        SetMouseNormalColor(0xff0000ffu);
        mouse = MouseOpt{};
        mouse.indicate = 1;
        const auto halo = makeDecorators(setupWith(mouse));
        QCOMPARE(halo.size(), std::size_t(1));
        QVERIFY(movePointer(at));
        const QImage image = decorated(halo).image;
        const QPoint p = at - kArea.topLeft();
        const QRgb inside = image.pixel(p + QPoint(12, 0));
        QVERIFY2(qBlue(inside) > 80 && qGreen(inside) < 190, qPrintable(rgbText(inside)));
        QVERIFY(near(image.pixel(p + QPoint(MouseDecorator::kHaloRadius + 6, 0)), kGreen));
    }

    // Click effect 1: a ring while the button is held, gone after release.
    void ringWhileButtonHeld()
    {
        SetMouseHighLightColor(0xffff0000u);
        MouseOpt mouse{};
        mouse.clickType = 1;
        const auto decorators = makeDecorators(setupWith(mouse));
        QCOMPARE(decorators.size(), std::size_t(1));
        const QPoint at(300, 280);
        const QPoint ring = at - kArea.topLeft() + QPoint(MouseDecorator::kRingRadius, 0);
        QVERIFY(movePointer(at));
        QVERIFY(!near(decorated(decorators).image.pixel(ring), qRgb(255, 0, 0), 90));

        QVERIFY(xdotool({"mousedown", "1"}));
        QTRY_VERIFY(near(decorated(decorators).image.pixel(ring), qRgb(255, 0, 0), 90));
        QTest::qWait(int(MouseDecorator::kClickShowUs / 1000) + 50);
        QVERIFY(near(decorated(decorators).image.pixel(ring), qRgb(255, 0, 0), 90));     // still held
        QVERIFY(xdotool({"mouseup", "1"}));
        QTRY_VERIFY(!near(decorated(decorators).image.pixel(ring), qRgb(255, 0, 0), 90));
    }

    // The effects' timing, with the pointer states given: a click shorter
    // than a frame still shows; the blink fades out after each press.
    void clickTiming()
    {
        MouseLook look;
        look.click = 1;
        look.clickColour = QColor(255, 0, 0);
        MouseDecorator ring(look);
        const QRect screen(0, 0, 100, 100);
        const PointerState down{true, QPoint(50, 50), true};
        const PointerState up{true, QPoint(50, 50), false};
        const QPoint onRing(50 + MouseDecorator::kRingRadius, 50);
        auto shows = [&](MouseDecorator& d, const PointerState& s, int64_t t, const QPoint& p) {
            VideoFrame frame = uniformFrame(screen, kGreen);
            d.draw(frame, s, t);
            return !near(frame.image.pixel(p), kGreen, 40);
        };
        QVERIFY(!shows(ring, up, 1000000, onRing));
        QVERIFY(shows(ring, down, 1033000, onRing));
        QVERIFY(shows(ring, up, 1066000, onRing));      // released, still shown
        QVERIFY(shows(ring, up, 1033000 + MouseDecorator::kClickShowUs - 1000, onRing));
        QVERIFY(!shows(ring, up, 1033000 + MouseDecorator::kClickShowUs + 1000, onRing));

        look.click = 2;
        MouseDecorator blink(look);
        const QPoint inFlash(60, 50);
        QVERIFY(!shows(blink, up, 1000000, inFlash));
        QVERIFY(shows(blink, down, 2000000, inFlash));
        QVERIFY(shows(blink, down, 2100000, inFlash));  // held: one flash per press, fading
        QVERIFY(!shows(blink, down, 2000000 + MouseDecorator::kBlinkUs + 1000, inFlash));
        QVERIFY(!shows(blink, up, 2500000, inFlash));
        QVERIFY(shows(blink, down, 2600000, inFlash));  // the next press flashes again
    }

    // The watermark: scaled to its size, at its place, with its alpha;
    // none without a path or with a picture that cannot be read.
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
        const auto decorators = makeDecorators(setupWith(MouseOpt{}));
        QCOMPARE(decorators.size(), std::size_t(1));
        VideoFrame frame = uniformFrame(QRect(0, 0, 100, 60), kGreen);
        decorators.front()->decorate(frame);
        QVERIFY(near(frame.image.pixel(15, 25), qRgb(255, 0, 0), 6));          // opaque half
        const QRgb half = frame.image.pixel(45, 25);                            // half see-through blue
        QVERIFY2(qBlue(half) > 100 && qBlue(half) < 160 && qGreen(half) > 80 && qGreen(half) < 120,
                 qPrintable(rgbText(half)));
        QVERIFY(near(frame.image.pixel(15, 38), kGreen, 6));                    // transparent rows
        QVERIFY(near(frame.image.pixel(5, 25), kGreen, 0));
        QVERIFY(near(frame.image.pixel(55, 25), kGreen, 0));
        QVERIFY(near(frame.image.pixel(15, 15), kGreen, 0));
        QVERIFY(!near(frame.image.pixel(49, 34), kGreen, 0));                   // scaled to 40 x 20
        QVERIFY(near(frame.image.pixel(50, 34), kGreen, 0));

        SetWatermark(nullptr, 10, 20, 40, 20);
        QVERIFY(makeDecorators(setupWith(MouseOpt{})).empty());
        SetWatermark("", 10, 20, 40, 20);
        QVERIFY(makeDecorators(setupWith(MouseOpt{})).empty());
        SetWatermark(dir.filePath("missing.png").toUtf8().constData(), 10, 20, 40, 20);
        QVERIFY(makeDecorators(setupWith(MouseOpt{})).empty());
        SetWatermark(nullptr, 0, 0, 0, 0);
    }

    void areaArithmetic()
    {
        const QRect display(0, 0, 1920, 1080);
        QCOMPARE(clampedInto(QRect(-10, 1000, 400, 300), display), QRect(0, 780, 400, 300));
        QCOMPARE(clampedInto(QRect(1800, -5, 400, 300), display), QRect(1520, 0, 400, 300));
        QCOMPARE(clampedInto(QRect(0, 0, 2000, 300), display), QRect(0, 0, 2000, 300));
        QCOMPARE(centredOn(QPoint(1000, 500), QSize(400, 300), display), QRect(800, 350, 400, 300));
        QCOMPARE(centredOn(QPoint(5, 1079), QSize(400, 300), display), QRect(0, 780, 400, 300));
        // A second display to the right: clamped to its own edges.
        QCOMPARE(centredOn(QPoint(1930, 10), QSize(400, 300), QRect(1920, 0, 1280, 1024)),
                 QRect(1920, 0, 400, 300));
        const QRect current(100, 100, 400, 300);
        QCOMPARE(followedTo(current, QPoint(300, 200), display), current);
        QCOMPARE(followedTo(current, QPoint(499, 399), display), current);
        QCOMPARE(followedTo(current, QPoint(600, 200), display), QRect(201, 100, 400, 300));
        QCOMPARE(followedTo(current, QPoint(50, 450), display), QRect(50, 151, 400, 300));
        QCOMPARE(followedTo(current, QPoint(1919, 1079), display), QRect(1520, 780, 400, 300));
    }

    // The controllers ask the X server where the pointer is.
    void areaFollowsPointer()
    {
        MouseOpt mouse{};
        QVERIFY(!makeAreaController(setupWith(mouse)));
        mouse.method = 1;
        AreaController centred = makeAreaController(setupWith(mouse));
        QVERIFY(centred);
        QVERIFY(movePointer(QPoint(1000, 500)));
        QCOMPARE(centred(QRect(0, 0, 400, 300)), QRect(800, 350, 400, 300));
        QVERIFY(movePointer(QPoint(10, 10)));
        QCOMPARE(centred(QRect(800, 350, 400, 300)), QRect(0, 0, 400, 300));

        mouse.method = 2;
        AreaController follow = makeAreaController(setupWith(mouse));
        QVERIFY(follow);
        QVERIFY(movePointer(QPoint(300, 200)));
        QCOMPARE(follow(QRect(100, 100, 400, 300)), QRect(100, 100, 400, 300));
        QVERIFY(movePointer(QPoint(700, 450)));
        QCOMPARE(follow(QRect(100, 100, 400, 300)), QRect(301, 151, 400, 300));
    }
};

QTEST_MAIN(TstEffectsPointer)
#include "tst_effects_pointer.moc"
