#pragma once

// Helpers of the window and effect tests: plain X windows of one colour
// made on a connection of the test's own (so they count as another
// program's windows: they carry no process id), screen pixels, and the
// pointer driven through XTest with xdotool.

#include "Screencast.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace effectstest {

template <class T> using XReply = std::unique_ptr<T, decltype(&std::free)>;

class XDisplay {
public:
    XDisplay()
    {
        conn = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(conn))
            screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    }
    ~XDisplay() { xcb_disconnect(conn); }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool ok() const { return screen && !xcb_connection_has_error(conn); }
    xcb_window_t root() const { return screen->root; }

    void sync() { std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr)); }

    // A window filled with `rgb` by the server itself. Unmanaged windows sit
    // exactly where asked; managed ones get the window manager's frame.
    xcb_window_t colourWindow(const QRect& r, QRgb rgb, bool managed = false, const char* title = "effects test")
    {
        const xcb_window_t id = xcb_generate_id(conn);
        const uint32_t values[] = {rgb & 0xffffffu, managed ? 0u : 1u};
        xcb_create_window(conn, XCB_COPY_FROM_PARENT, id, root(), int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                          uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        if (managed) {
            xcb_size_hints_t hints{};
            xcb_icccm_size_hints_set_position(&hints, 1, r.x(), r.y());
            xcb_icccm_size_hints_set_size(&hints, 1, r.width(), r.height());
            xcb_icccm_set_wm_normal_hints(conn, id, &hints);
            xcb_change_property(conn, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                                uint32_t(std::strlen(title)), title);
        }
        xcb_map_window(conn, id);
        sync();
        return id;
    }
    void destroy(xcb_window_t w)
    {
        xcb_destroy_window(conn, w);
        sync();
    }
    void configure(xcb_window_t w, const QRect& r)
    {
        const uint32_t values[] = {uint32_t(r.x()), uint32_t(r.y()), uint32_t(r.width()), uint32_t(r.height())};
        xcb_configure_window(conn, w,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH
                                 | XCB_CONFIG_WINDOW_HEIGHT,
                             values);
        sync();
    }
    void raise(xcb_window_t w)
    {
        const uint32_t values[] = {XCB_STACK_MODE_ABOVE};
        xcb_configure_window(conn, w, XCB_CONFIG_WINDOW_STACK_MODE, values);
        sync();
    }
    // Withdraws a window the way a program does (ICCCM).
    void withdraw(xcb_window_t w)
    {
        xcb_unmap_window(conn, w);
        xcb_unmap_notify_event_t event{};
        event.response_type = XCB_UNMAP_NOTIFY;
        event.event = root();
        event.window = w;
        xcb_send_event(conn, 0, root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        sync();
    }

    // What the screen shows.
    QImage screenImage(const QRect& r)
    {
        XReply<xcb_get_image_reply_t> reply(
            xcb_get_image_reply(conn,
                                xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), int16_t(r.x()), int16_t(r.y()),
                                              uint16_t(r.width()), uint16_t(r.height()), ~0u),
                                nullptr),
            &std::free);
        if (!reply)
            return QImage();
        QImage image(xcb_get_image_data(reply.get()), r.width(), r.height(), r.width() * 4, QImage::Format_RGB32);
        return image.copy();
    }
    QRgb screenPixel(const QPoint& p) { return screenImage(QRect(p, QSize(1, 1))).pixel(0, 0); }

    // The window right under the root that the pointer is over.
    xcb_window_t windowUnderPointer()
    {
        XReply<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(conn, xcb_query_pointer(conn, root()), nullptr),
                                               &std::free);
        return reply ? reply->child : xcb_window_t(XCB_WINDOW_NONE);
    }

    xcb_connection_t* conn = nullptr;
    xcb_screen_t* screen = nullptr;
};

// For initTestCase: the engine started on the test environment's X server,
// and a connection of the test's own in `x`. A failure is recorded in the
// running test; callers return on QTest::currentTestFailed().
inline void startEngine(std::unique_ptr<XDisplay>& x)
{
    QVERIFY2(qgetenv("DISPLAY").size(), "run inside scripts/with-test-env.sh");
    QCOMPARE(scInitialize(), int(kScInitOk));
    x.reset(new XDisplay);
    QVERIFY(x->ok());
}

// xdotool drives the pointer through XTest, as a user's hand would.
inline bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}
// "mousemove --sync" waits a long time when the pointer is already there.
inline bool movePointer(const QPoint& p)
{
    XDisplay x;
    XReply<xcb_query_pointer_reply_t> at(xcb_query_pointer_reply(x.conn, xcb_query_pointer(x.conn, x.root()), nullptr),
                                         &std::free);
    if (at && at->root_x == p.x() && at->root_y == p.y())
        return true;
    return xdotool({"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())});
}
inline bool drag(const QPoint& from, const QPoint& to)
{
    return movePointer(from)
        && xdotool({"mousedown", "1", "mousemove", QString::number((from.x() + to.x()) / 2),
                    QString::number((from.y() + to.y()) / 2), "mousemove", QString::number(to.x()),
                    QString::number(to.y()), "mouseup", "1"});
}
inline bool click(const QPoint& p)
{
    return movePointer(p) && xdotool({"click", "1"});
}

inline int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}
inline bool near(QRgb a, QRgb b, int tolerance = 12)
{
    return distance(a, b) <= tolerance;
}
inline QString rgbText(QRgb c)
{
    return QString::asprintf("#%02x%02x%02x", qRed(c), qGreen(c), qBlue(c));
}

} // namespace effectstest
