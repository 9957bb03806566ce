// The engine's on-screen overlays (Xvfb, openbox, no compositor) driven through
// XTest: the region box, the cross-hair selection, pictures on the screen.

#include "EngineTestSupport.h"

#include "Screencast.h"
#include "ui/CaptureOverlay.h"
#include "ui/CropBoxOverlay.h"
#include "ui/PictureOverlay.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <QtTest>

#include <xcb/shape.h>

#include <mutex>
#include <thread>

using namespace et;
using namespace sc::ui;

namespace {

const QRgb kGreen = qRgb(30, 200, 60), kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255), kWhite = qRgb(255, 255, 255);
const QRect kBox(300, 300, 400, 300);

QString text(const CRect& r) { return QString("{%1,%2,%3,%4}").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom); }

// What the engine reported, in order, with runs of the same change folded
// into the last one; and whether any came on the GUI thread (none may).
class Events : public CScreenCropCallback, public CImageCaptureCallback {
public:
    void OnBeginDrag() override { add("begin"); }
    void OnEndDrag() override { add("end"); }
    void OnScreenRectChanged(CRect r) override { add("Rect" + text(r)); }
    void OnClose() override { add("close"); }
    void OnScreenSelCompleted(CRect r) override { add("completed" + text(r)); }
    void OnBeginResize() override { add("beginResize"); }
    void OnSizeChanged(CRect r) override { add("Size" + text(r)); }
    void OnEndResize() override { add("endResize"); }

    QStringList list() { std::lock_guard<std::mutex> lock(m_mutex); return m_events; }
    QString last() { return list().value(list().size() - 1); }
    QStringList folded()
    {
        QStringList out;
        for (const QString& e : list()) {
            const bool change = e.startsWith("Rect{") || e.startsWith("Size{");
            if (change && !out.isEmpty() && out.last().left(5) == e.left(5))
                out.last() = e;
            else
                out << e;
        }
        return out;
    }
    void clear() { std::lock_guard<std::mutex> lock(m_mutex); m_events.clear(); }
    std::atomic<bool> onGui{false};

private:
    void add(const QString& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events << event;
        onGui = onGui || std::this_thread::get_id() == m_gui;
    }
    std::mutex m_mutex;
    const std::thread::id m_gui = std::this_thread::get_id();
    QStringList m_events;
};

// A window of this program that counts the clicks it gets.
class ClickTarget : public QWidget {
public:
    explicit ClickTarget(const QRect& r, bool active)
    {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(kGreen));
        setPalette(p);
        setGeometry(r);
        show();
        if (active)
            activateWindow();
    }
    int clicks = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++clicks; }
};

// A point on the box's top border, away from the anchors; the middle of
// the bottom right anchor.
QPoint onBorder(const QRect& b) { return QPoint(b.left() + b.width() / 4, b.top() + 1); }
QPoint corner(const QRect& b) { return b.bottomRight() - QPoint(CropBoxWindow::kAnchor / 2, CropBoxWindow::kAnchor / 2); }

// A disc on a transparent square: the corners must not show.
QImage disc(const QSize& size, QRgb colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(colour));
    painter.drawEllipse(image.rect());
    return image;
}

xcb_window_t inputFocus(XConn& x)
{
    XReply<xcb_get_input_focus_reply_t> r(xcb_get_input_focus_reply(x.conn, xcb_get_input_focus(x.conn), nullptr),
                                         &std::free);
    return r ? r->focus : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace

class TstOverlays : public QObject {
    Q_OBJECT

    std::unique_ptr<XConn> m_x;
    xcb_window_t m_background = XCB_WINDOW_NONE;
    QTemporaryDir m_dir;

    // Qt sends its requests from its event loop: the pointer waits until the server has the
    // window and its shape where the widget says, then drags and waits for the drag's end.
    bool dragged(Events& events, QWidget* window, const QPoint& from, const QPoint& to)
    {
        events.clear();
        const xcb_window_t id = xcb_window_t(window->winId());
        return waitUntil([&] {
                   XReply<xcb_get_geometry_reply_t> g(
                       xcb_get_geometry_reply(m_x->conn, xcb_get_geometry(m_x->conn, id), nullptr), &std::free);
                   XReply<xcb_shape_query_extents_reply_t> shape(
                       xcb_shape_query_extents_reply(m_x->conn, xcb_shape_query_extents(m_x->conn, id), nullptr),
                       &std::free);
                   return g && shape && QRect(g->x, g->y, g->width, g->height) == window->geometry()
                          && shape->bounding_shape_extents_width == g->width
                          && shape->bounding_shape_extents_height == g->height;
               })
               && drag(from, to) && waitUntil([&] { return events.last() == "end"; });
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("DISPLAY").size(), "run inside scripts/with-test-env.sh");
        QCOMPARE(scInitialize(), int(kScInitOk));
        m_x.reset(new XConn);
        QVERIFY(m_x->ok() && m_dir.isValid());
        // Another program's window under everything.
        m_background = m_x->window(QRect(0, 0, 1920, 1080), kGreen);
        const uint32_t below[] = {XCB_STACK_MODE_BELOW};
        xcb_configure_window(m_x->conn, m_background, XCB_CONFIG_WINDOW_STACK_MODE, below);
        QVERIFY(m_x->shows(QPoint(960, 540), kGreen));
        SetScreenCropBoxColors(LineColors{0xffff0000u, 0xffffffffu}, AnchorColors{0xffffffffu, 0xff0000ffu});
        SetScreenSelColors(LineColors{0xffff0000u, 0xffffffffu});
    }
    void cleanupTestCase() { m_x->destroy(m_background); scUninitialize(); }
    void init() { QVERIFY(movePointer(QPoint(1900, 1060))); }

    // The box is a border and anchors only: the window below shows inside
    // and gets the clicks there; clicks on the border belong to the box.
    void cropBoxShapeAndClicks()
    {
        ClickTarget target(QRect(200, 200, 600, 500), false);
        QVERIFY(QTest::qWaitForWindowExposed(&target));
        Events events;
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{300, 300, 700, 600}, false, 400, 300);
        CropBoxWindow* window = static_cast<CropBoxObject*>(box.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->raise();
        QCOMPARE(window->geometry(), kBox);
        QVERIFY(m_x->shows(onBorder(kBox), kRed) && near(m_x->screenPixel(kBox.center()), kGreen));
        QVERIFY(near(m_x->screenPixel(kBox.bottomRight() - QPoint(4, 4)), kWhite));   // an anchor
        QVERIFY(click(kBox.center()) && waitUntil([&] { return target.clicks == 1; }));
        QVERIFY(click(kBox.topLeft() + QPoint(30, 30)) && waitUntil([&] { return target.clicks == 2; }));
        QVERIFY(click(onBorder(kBox)) && waitUntil([&] { return events.list() == QStringList{"begin", "end"}; }));
        QCOMPARE(target.clicks, 2);
        box.reset();
        QVERIFY(m_x->shows(onBorder(kBox), kGreen));
    }
    // By the border it moves, by an anchor it resizes, never off the display; every change
    // is reported while the pointer moves, on an engine thread.
    void cropBoxDragged()
    {
        Events events;
        CBasePtr<CScreenCropBoxObject> box = scShowScreenCropBox(&events, CRect{300, 300, 700, 600}, false, 400, 300);
        CropBoxWindow* w = static_cast<CropBoxObject*>(box.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(dragged(events, w, onBorder(w->geometry()), onBorder(w->geometry()) + QPoint(60, 40)));
        QVERIFY(events.list().size() >= 3);
        QCOMPARE(events.folded(), (QStringList{"begin", "Rect{360,340,760,640}", "end"}));
        QCOMPARE(w->geometry(), QRect(360, 340, 400, 300));
        QVERIFY(dragged(events, w, corner(w->geometry()), corner(w->geometry()) + QPoint(50, 30)));
        QCOMPARE(events.folded(), (QStringList{"begin", "Rect{360,340,810,670}", "end"}));
        QVERIFY(m_x->shows(QPoint(809, 669), kBlue));
        QVERIFY(dragged(events, w, onBorder(w->geometry()), QPoint(0, onBorder(w->geometry()).y() - 1000)));
        QCOMPARE(events.folded(), (QStringList{"begin", "Rect{0,0,450,330}", "end"}));
        QVERIFY(!events.onGui);
        box.reset();
        QCOMPARE(events.last(), QString("end"));
    }
    // Press, drag, release over the frozen screen: callbacks in order, the band in screen
    // coordinates with the module's size tip, the window gone, no OnClose after the result.
    void crossHairSelects()
    {
        SetZoomTipsFormat("%d x %d px");
        Events events;
        CBasePtr<CImageCaptureObject> capture = CreateImageCapture(&events);
        CaptureWindow* window = static_cast<ImageCaptureObject*>(capture.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), QRect(0, 0, 1920, 1080));
        QVERIFY(waitUntil([&] { return !near(m_x->screenPixel(QPoint(960, 300)), kGreen); }));
        const QRgb dark = m_x->screenPixel(QPoint(960, 300));
        QVERIFY2(qGreen(dark) < qGreen(kGreen) && qGreen(dark) > 40, rgbText(dark));
        QVERIFY(movePointer(QPoint(200, 200)));
        QVERIFY(xdotool({"mousedown", "1", "mousemove", "350", "300", "mousemove", "500", "400"}));
        QVERIFY(waitUntil([&] { return window->band() == QRect(200, 200, 301, 201); }));
        QCOMPARE(window->tipText(), QString("301 x 201 px"));
        QVERIFY(m_x->shows(QPoint(300, 300), kGreen));   // inside the band the picture is as it was
        QVERIFY(!near(m_x->screenPixel(QPoint(700, 300)), kGreen));
        QVERIFY(xdotool({"mouseup", "1"}));
        QVERIFY(waitUntil([&] { return events.last() == "completed{200,200,501,401}"; }));
        QCOMPARE(events.folded(), (QStringList{"beginResize", "Size{200,200,501,401}", "endResize", "completed{200,200,501,401}"}));
        QCOMPARE(window->state(), CaptureWindow::State::Selected);
        QVERIFY(waitUntil([&] { return !window->isVisible(); }) && m_x->shows(QPoint(960, 300), kGreen));
        capture.reset();
        QVERIFY(!events.list().contains("close") && !events.onGui);
        SetZoomTipsFormat("");
    }
    // Esc ends the selection with OnClose whatever had the focus; a click without a drag
    // selects nothing; releasing closes it before release() returns.
    void crossHairEscapeClickAndRelease()
    {
        ClickTarget focused(QRect(100, 100, 300, 200), true);
        QVERIFY(QTest::qWaitForWindowActive(&focused));
        Events events;
        CBasePtr<CImageCaptureObject> capture = CreateImageCapture(&events);
        CaptureWindow* window = static_cast<ImageCaptureObject*>(capture.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(xdotool({"key", "Escape"}) && waitUntil([&] { return events.list() == QStringList{"close"}; }));
        QVERIFY(waitUntil([&] { return !window->isVisible(); }));
        capture.reset();
        QCOMPARE(events.list(), QStringList{"close"});

        events.clear();
        capture = CreateImageCapture(&events);
        window = static_cast<ImageCaptureObject*>(capture.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(window) && click(QPoint(600, 600)));
        QVERIFY(waitUntil([&] { return events.list() == QStringList({"beginResize", "endResize"}); }));
        QVERIFY(window->state() == CaptureWindow::State::Waiting && window->isVisible());
        capture.reset();
        QCOMPARE(events.list(), (QStringList{"beginResize", "endResize", "close"}));
        QVERIFY(m_x->shows(QPoint(960, 300), kGreen));
    }
    // A picture is centred, cut to its shape, and never takes the focus or
    // a click; shown again after a close.
    void pictureOverlay()
    {
        const QString red = m_dir.filePath("red.png");
        QVERIFY(disc(QSize(200, 200), kRed).save(red));
        ClickTarget focused(QRect(700, 380, 520, 320), true);   // under the picture
        QVERIFY(QTest::qWaitForWindowActive(&focused));
        const xcb_window_t focusBefore = inputFocus(*m_x);
        QVERIFY(!ShowPictureOnScreen(m_dir.filePath("missing.png").toUtf8().constData()));
        CBasePtr<CPictureObject> picture = ShowPictureOnScreen(red.toUtf8().constData());
        QVERIFY(picture);
        PictureWindow* window = static_cast<PictureObject*>(picture.get())->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), QRect(860, 440, 200, 200));
        QVERIFY(m_x->shows(QPoint(960, 540), kRed));
        QVERIFY(near(m_x->screenPixel(QPoint(862, 442)), kGreen));   // a transparent corner
        QVERIFY(click(QPoint(960, 540)) && waitUntil([&] { return focused.clicks == 1; }));
        QVERIFY(focused.isActiveWindow() && inputFocus(*m_x) == focusBefore);
        picture->close(0);
        QVERIFY(waitUntil([&] { return !window->isVisible(); }) && m_x->shows(QPoint(960, 540), kGreen));
        QCOMPARE(picture->show(red.toUtf8().constData()), 0);
        QVERIFY(waitUntil([&] { return window->isVisible(); }));
    }
};

QTEST_MAIN(TstOverlays)
#include "tst_overlays.moc"
