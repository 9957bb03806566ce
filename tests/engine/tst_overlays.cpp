// The engine's on-screen overlays in the test environment (Xvfb, openbox,
// no compositor), driven by real pointer and key events through XTest:
// the region box (moving, resizing, keeping the ratio, staying on the
// display, clicks inside reaching the window below), the cross-hair
// selection (the callback sequence and rectangle, the frozen darkened
// picture, Esc, a click that selects nothing, release) and pictures on the
// screen (centred, cut to their shape, never taking the focus).
#include "EffectsTestSupport.h"

#include "Screencast.h"
#include "ui/CaptureOverlay.h"
#include "ui/CropBoxOverlay.h"
#include "ui/PictureOverlay.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

using namespace effectstest;
using namespace sc::ui;

namespace {

const QRgb kGreen = qRgb(30, 200, 60);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);
const QRect kDisplay(0, 0, 1920, 1080);

QString text(const CRect& r)
{
    return QStringLiteral("{%1,%2,%3,%4}").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom);
}

// What the engine reported, in order, and whether it ever came on the GUI
// thread (it must not).
class Events {
public:
    void add(const QString& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events << event;
        m_offGui &= std::this_thread::get_id() != m_gui;
    }
    QStringList list()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    // The events with the repeated changes folded into one.
    QStringList folded()
    {
        QStringList out;
        for (const QString& e : list()) {
            const QString name = e.section('(', 0, 0);
            if (!out.isEmpty() && out.last().section('(', 0, 0) == name && name.contains("Changed"))
                out.last() = e;
            else
                out << e;
        }
        return out;
    }
    QString last()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events.isEmpty() ? QString() : m_events.last();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }
    bool offGui()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_offGui;
    }

private:
    std::mutex m_mutex;
    std::thread::id m_gui = std::this_thread::get_id();
    QStringList m_events;
    bool m_offGui = true;
};

class CropEvents : public CScreenCropCallback, public Events {
public:
    void OnBeginDrag() override { add("begin"); }
    void OnEndDrag() override { add("end"); }
    void OnScreenRectChanged(CRect r) override { add("RectChanged" + text(r)); }
};

class CaptureEvents : public CImageCaptureCallback, public Events {
public:
    void OnClose() override { add("close"); }
    void OnScreenSelCompleted(CRect r) override { add("completed" + text(r)); }
    void OnBeginResize() override { add("beginResize"); }
    void OnSizeChanged(CRect r) override { add("SizeChanged" + text(r)); }
    void OnEndResize() override { add("endResize"); }
};

// A window of this program that counts the clicks it gets.
class ClickTarget : public QWidget {
public:
    ClickTarget()
    {
        setWindowTitle("click target");
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(kGreen));
        setPalette(p);
    }
    int clicks = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++clicks; }
};

CropBoxWindow* cropWindow(const CBasePtr<CScreenCropBoxObject>& box)
{
    return static_cast<CropBoxObject*>(box.get())->window();
}

CaptureWindow* captureWindow(const CBasePtr<CImageCaptureObject>& capture)
{
    return static_cast<ImageCaptureObject*>(capture.get())->window();
}

// A point on the box's top border, away from the anchors.
QPoint onTopBorder(const QRect& box)
{
    return QPoint(box.left() + box.width() / 4, box.top() + 1);
}

QPoint anchorCentre(const QRect& box, BoxGrip grip)
{
    const int a = CropBoxWindow::kAnchor / 2;
    switch (grip) {
    case BoxGrip::BottomRight: return QPoint(box.right() - a, box.bottom() - a);
    case BoxGrip::TopLeft: return QPoint(box.left() + a, box.top() + a);
    case BoxGrip::Right: return QPoint(box.right() - a, box.top() + (box.height() - CropBoxWindow::kAnchor) / 2 + a);
    default: return box.center();
    }
}

QImage pictureFile(const QSize& size, QRgb colour)
{
    // A disc on a transparent square: the corners must not show.
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(colour));
    painter.drawEllipse(QRect(QPoint(0, 0), size));
    return image;
}

// Qt sends its requests to the X server when it returns to its event loop;
// a pointer driven from outside must wait until the server has the
// window where the widget says it is.
bool settled(XDisplay& x, QWidget* window)
{
    QCoreApplication::processEvents();
    for (int i = 0; i < 100; ++i) {
        QCoreApplication::processEvents();
        XReply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(x.conn, xcb_get_geometry(x.conn, xcb_window_t(window->winId())), nullptr),
            &std::free);
        if (g && QRect(g->x, g->y, g->width, g->height) == window->geometry())
            return true;
        QTest::qWait(20);
    }
    return false;
}

xcb_window_t inputFocus(XDisplay& x)
{
    XReply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(x.conn, xcb_get_input_focus(x.conn), nullptr),
                                             &std::free);
    return reply ? reply->focus : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace

class TstOverlays : public QObject {
    Q_OBJECT

    std::unique_ptr<XDisplay> m_x;
    xcb_window_t m_background = XCB_WINDOW_NONE;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        startEngine(m_x);
        if (QTest::currentTestFailed())
            return;
        // Another program's window under everything: green.
        m_background = m_x->colourWindow(kDisplay, kGreen);
        const uint32_t below[] = {XCB_STACK_MODE_BELOW};
        xcb_configure_window(m_x->conn, m_background, XCB_CONFIG_WINDOW_STACK_MODE, below);
        m_x->sync();
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(960, 540)), kGreen));
        SetScreenCropBoxColors(LineColors{0xffff0000u, 0xffffffffu}, AnchorColors{0xffffffffu, 0xff0000ffu});
        SetScreenSelColors(LineColors{0xffff0000u, 0xffffffffu});
        SetImageBoxColors(LineColors{0xffff0000u, 0xffffffffu});
        QVERIFY(m_dir.isValid());
    }
    void cleanupTestCase()
    {
        m_x->destroy(m_background);
        scUninitialize();
    }
    void init() { QVERIFY(movePointer(QPoint(1900, 1060))); }

    // The box is a border and anchors only: the window below shows inside.
    void cropBoxShape()
    {
        CropEvents events;
        const QRect area(300, 300, 400, 300);
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{300, 300, 700, 600}, false, 400, 300);
        QVERIFY(box);
        CropBoxWindow* window = cropWindow(box);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), area);
        QTRY_VERIFY2(near(m_x->screenPixel(onTopBorder(area)), kRed), qPrintable(rgbText(m_x->screenPixel(onTopBorder(area)))));
        QVERIFY(near(m_x->screenPixel(area.topLeft() + QPoint(area.width() / 4, 0)), kWhite));   // its edge
        QVERIFY(near(m_x->screenPixel(area.center()), kGreen));
        QVERIFY(near(m_x->screenPixel(area.topLeft() + QPoint(20, 20)), kGreen));
        // The anchors: white with a blue edge.
        QVERIFY(near(m_x->screenPixel(area.bottomRight() - QPoint(4, 4)), kWhite));
        QVERIFY(near(m_x->screenPixel(area.bottomRight()), kBlue));
        box.reset();
        QTRY_VERIFY(near(m_x->screenPixel(onTopBorder(area)), kGreen));
        QVERIFY(events.list().isEmpty());
    }

    // Dragged by the border it moves; by an anchor it resizes; it stays on
    // the display; every change is reported while the pointer moves.
    void cropBoxDragged()
    {
        CropEvents events;
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{300, 300, 700, 600}, false, 400, 300);
        CropBoxWindow* window = cropWindow(box);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        const QPoint grip = onTopBorder(window->geometry());
        QVERIFY(settled(*m_x, window) && drag(grip, grip + QPoint(60, 40)));
        QTRY_COMPARE(events.last(), QStringLiteral("end"));
        QStringList seen = events.list();
        QCOMPARE(seen.first(), QStringLiteral("begin"));
        QVERIFY2(seen.size() >= 3, qPrintable(seen.join(" ")));
        QCOMPARE(events.folded(), (QStringList{"begin", "RectChanged{360,340,760,640}", "end"}));
        QCOMPARE(window->geometry(), QRect(360, 340, 400, 300));

        events.clear();
        QVERIFY(settled(*m_x, window) && drag(anchorCentre(window->geometry(), BoxGrip::BottomRight),
                     anchorCentre(window->geometry(), BoxGrip::BottomRight) + QPoint(50, 30)));
        QTRY_COMPARE(events.last(), QStringLiteral("end"));
        QCOMPARE(events.folded(), (QStringList{"begin", "RectChanged{360,340,810,670}", "end"}));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(809, 669)), kBlue));

        // Not off the display, by moving or by resizing.
        events.clear();
        const QPoint grip2 = onTopBorder(window->geometry());
        QVERIFY(settled(*m_x, window) && drag(grip2, QPoint(0, grip2.y() - 1000)));
        QTRY_COMPARE(events.last(), QStringLiteral("end"));
        QCOMPARE(events.folded(), (QStringList{"begin", "RectChanged{0,0,450,330}", "end"}));
        events.clear();
        QVERIFY(settled(*m_x, window) && drag(anchorCentre(window->geometry(), BoxGrip::BottomRight), QPoint(1919, 1079)));
        QTRY_COMPARE(events.last(), QStringLiteral("end"));
        QCOMPARE(events.folded(), (QStringList{"begin", "RectChanged{0,0,1920,1080}", "end"}));
        QVERIFY(events.offGui());

        box.reset();
        QCOMPARE(events.last(), QStringLiteral("end"));
    }

    // With keepRatio the ratio given (16:9) holds; a new rectangle from the
    // module brings its own ratio.
    void cropBoxKeepsRatio()
    {
        CropEvents events;
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{400, 300, 720, 480}, true, 16, 9);
        CropBoxWindow* window = cropWindow(box);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QVERIFY(settled(*m_x, window) && drag(anchorCentre(window->geometry(), BoxGrip::Right),
                     anchorCentre(window->geometry(), BoxGrip::Right) + QPoint(160, 0)));
        QTRY_COMPARE(events.last(), QStringLiteral("end"));
        QCOMPARE(events.folded(), (QStringList{"begin", "RectChanged{400,255,880,525}", "end"}));


        // Square now.
        box->setRect(CRect{100, 100, 500, 500});
        QCOMPARE(window->geometry(), QRect(100, 100, 400, 400));
        events.clear();
        QVERIFY(settled(*m_x, window) && drag(anchorCentre(window->geometry(), BoxGrip::Right),
                     anchorCentre(window->geometry(), BoxGrip::Right) + QPoint(100, 0)));
        QTRY_COMPARE(events.last(), QStringLiteral("end"));
        QCOMPARE(events.folded(), (QStringList{"begin", "RectChanged{100,50,600,550}", "end"}));
    }

    // The module's rectangle is kept on the display, and the module hears
    // where the box went only when it was not taken as given.
    void cropBoxSetRect()
    {
        CropEvents events;
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{1800, 900, 2100, 1200}, false, 300, 300);
        CropBoxWindow* window = cropWindow(box);
        QCOMPARE(window->geometry(), QRect(1620, 780, 300, 300));
        box->setRect(CRect{200, 200, 500, 400});
        QCOMPARE(window->geometry(), QRect(200, 200, 300, 200));
        box->setRect(CRect{-50, -50, 300, 300});
        QCOMPARE(window->geometry(), QRect(0, 0, 350, 350));
        box.reset();   // what was posted arrives before release() returns
        QCOMPARE(events.list(), (QStringList{"RectChanged{1620,780,1920,1080}", "RectChanged{0,0,350,350}"}));
    }

    // Clicks inside the box reach the window below; clicks on the border
    // belong to the box.
    void cropBoxPassesClicks()
    {
        ClickTarget target;
        target.setGeometry(200, 200, 600, 500);
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));
        const QRect area(300, 300, 400, 300);
        CropEvents events;
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{300, 300, 700, 600}, false, 400, 300);
        CropBoxWindow* window = cropWindow(box);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->raise();
        QTRY_VERIFY(near(m_x->screenPixel(onTopBorder(area)), kRed));

        QVERIFY(click(area.center()));
        QTRY_COMPARE(target.clicks, 1);
        QVERIFY(click(area.topLeft() + QPoint(30, 30)));
        QTRY_COMPARE(target.clicks, 2);
        QVERIFY(click(onTopBorder(area)));
        QTRY_COMPARE(events.list(), (QStringList{"begin", "end"}));
        QCOMPARE(target.clicks, 2);
        box.reset();
    }

    // Asked for from another thread while the GUI thread runs: the box is
    // made on the GUI thread all the same.
    void cropBoxFromAnotherThread()
    {
        CropEvents events;
        std::atomic<bool> done{false};
        std::atomic<bool> made{false};
        std::atomic<bool> guiThread{false};
        std::thread engine([&] {
            CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{10, 10, 200, 200}, false, 0, 0);
            made = bool(box);
            if (box) {
                guiThread = cropWindow(box)->thread() == qApp->thread();
                box->setRect(CRect{20, 20, 300, 300});
            }
            box.reset();
            done = true;
        });
        // The GUI thread keeps its event loop running meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
        engine.join();
        QVERIFY(made);
        QVERIFY(guiThread);
        QVERIFY(events.list().isEmpty());
    }

    // Press, drag, release: the callbacks in order, the band as the result
    // in screen coordinates, and the window goes.
    void crossHairSelects()
    {
        SetZoomTipsFormat("%d x %d px");
        CaptureEvents events;
        CBasePtr<CImageCaptureObject> capture = CreateImageCapture(&events);
        QVERIFY(capture);
        CaptureWindow* window = captureWindow(capture);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), kDisplay);
        // The frozen screen, darkened.
        QTRY_VERIFY(!near(m_x->screenPixel(QPoint(960, 300)), kGreen));
        const QRgb dark = m_x->screenPixel(QPoint(960, 300));
        QVERIFY2(qGreen(dark) < qGreen(kGreen) && qGreen(dark) > 40, qPrintable(rgbText(dark)));

        QVERIFY(movePointer(QPoint(200, 200)));
        QVERIFY(xdotool({"mousedown", "1", "mousemove", "350", "300", "mousemove", "500", "400"}));
        QTRY_COMPARE(window->band(), QRect(200, 200, 301, 201));
        QCOMPARE(window->tipText(), QStringLiteral("301 x 201 px"));
        // Inside the band the picture is as it was.
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(300, 300)), kGreen));
        QVERIFY(!near(m_x->screenPixel(QPoint(700, 300)), kGreen));
        QVERIFY(xdotool({"mouseup", "1"}));
        QTRY_COMPARE(events.last(), QStringLiteral("completed{200,200,501,401}"));
        QCOMPARE(events.folded(),
                 (QStringList{"beginResize", "SizeChanged{200,200,501,401}", "endResize", "completed{200,200,501,401}"}));
        QVERIFY(events.list().size() >= 4);
        QCOMPARE(window->state(), CaptureWindow::State::Selected);
        QTRY_VERIFY(!window->isVisible());
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(960, 300)), kGreen));

        // Released after the result: no OnClose.
        capture.reset();
        QCOMPARE(events.list().count("close"), 0);
        QVERIFY(events.offGui());
        SetZoomTipsFormat("");
    }

    // Esc ends the selection with OnClose, whichever window had the focus.
    void crossHairEscape()
    {
        ClickTarget focused;
        focused.setGeometry(100, 100, 300, 200);
        focused.show();
        focused.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&focused));

        CaptureEvents events;
        CBasePtr<CImageCaptureObject> capture = CreateImageCapture(&events);
        CaptureWindow* window = captureWindow(capture);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(100);
        QVERIFY(xdotool({"key", "Escape"}));
        QTRY_COMPARE(events.list(), QStringList{"close"});
        QCOMPARE(window->state(), CaptureWindow::State::Closed);
        QTRY_VERIFY(!window->isVisible());
        capture.reset();
        QCOMPARE(events.list(), QStringList{"close"});

        // Esc in the middle of a drag ends the drag first.
        events.clear();
        capture = CreateImageCapture(&events);
        window = captureWindow(capture);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(movePointer(QPoint(400, 400)));
        QVERIFY(xdotool({"mousedown", "1", "mousemove", "450", "450"}));
        QTRY_COMPARE(window->state(), CaptureWindow::State::Dragging);
        QVERIFY(xdotool({"key", "Escape"}));
        QTRY_COMPARE(events.last(), QStringLiteral("close"));
        QVERIFY(xdotool({"mouseup", "1"}));
        QCOMPARE(events.folded(), (QStringList{"beginResize", "SizeChanged{400,400,451,451}", "endResize", "close"}));
        capture.reset();
    }

    // A click without a drag selects nothing and the selection goes on;
    // releasing it while it runs closes it before release() returns.
    void crossHairClickAndRelease()
    {
        CaptureEvents events;
        CBasePtr<CImageCaptureObject> capture = CreateImageCapture(&events);
        CaptureWindow* window = captureWindow(capture);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(click(QPoint(600, 600)));
        QTRY_COMPARE(events.list(), (QStringList{"beginResize", "endResize"}));
        QCOMPARE(window->state(), CaptureWindow::State::Waiting);
        QVERIFY(window->isVisible());
        capture.reset();
        QCOMPARE(events.list(), (QStringList{"beginResize", "endResize", "close"}));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(960, 300)), kGreen));
    }

    // A picture is centred, cut to its shape and never takes the focus or
    // a click; a picture that cannot be read changes nothing.
    void pictureOverlay()
    {
        const QString red = m_dir.filePath("red.png");
        const QString blue = m_dir.filePath("blue.png");
        const QString big = m_dir.filePath("big.png");
        QVERIFY(pictureFile(QSize(200, 200), kRed).save(red));
        QVERIFY(pictureFile(QSize(200, 200), kBlue).save(blue));
        QVERIFY(pictureFile(QSize(3840, 1080), kBlue).save(big));

        ClickTarget focused;
        focused.setGeometry(700, 380, 520, 320);   // under the picture
        focused.show();
        focused.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&focused));
        const xcb_window_t focusBefore = inputFocus(*m_x);

        QVERIFY(!ShowPictureOnScreen(m_dir.filePath("missing.png").toUtf8().constData()));
        QVERIFY(!ShowPictureOnScreen(nullptr));

        CBasePtr<CPictureObject> picture = ShowPictureOnScreen(red.toUtf8().constData());
        QVERIFY(picture);
        PictureWindow* window = static_cast<PictureObject*>(picture.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), QRect(860, 440, 200, 200));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(960, 540)), kRed));
        QVERIFY(near(m_x->screenPixel(QPoint(862, 442)), kGreen));   // a transparent corner
        QTest::qWait(200);
        QVERIFY(focused.isActiveWindow());
        QCOMPARE(inputFocus(*m_x), focusBefore);
        // Clicks go through it.
        QVERIFY(click(QPoint(960, 540)));
        QTRY_COMPARE(focused.clicks, 1);

        QCOMPARE(picture->show(blue.toUtf8().constData()), 0);
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(960, 540)), kBlue));
        QCOMPARE(picture->show(m_dir.filePath("missing.png").toUtf8().constData()), -1);
        QTest::qWait(100);
        QVERIFY(near(m_x->screenPixel(QPoint(960, 540)), kBlue));

        // Too wide for the display: scaled to fit it.
        QCOMPARE(picture->show(big.toUtf8().constData()), 0);
        QCOMPARE(window->geometry(), QRect(0, 270, 1920, 540));

        picture->close(0);
        QTRY_VERIFY(!window->isVisible());
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(960, 540)), kGreen));
        QVERIFY(focused.isActiveWindow());

        // Shown again after a close; a fade ends with the window off the
        // screen.
        QCOMPARE(picture->show(red.toUtf8().constData()), 0);
        QTRY_VERIFY(window->isVisible());
        picture->close(150);
        QTRY_VERIFY(!window->isVisible());
        picture.reset();
    }
};

QTEST_MAIN(TstOverlays)
#include "tst_overlays.moc"
