// The screen source reads only what changed once the screen is still: a
// change in any window, large or a single row, must still reach the frame.

#include "EngineTestSupport.h"

#include "rec/ScreenSource.h"

#include <QtTest>

using namespace sc::rec;

class TstScreenChanges : public QObject {
    Q_OBJECT
    et::XConn m_x;

    xcb_window_t window(QRect r, uint32_t colour)
    {
        const xcb_window_t w = xcb_generate_id(m_x.conn);
        const uint32_t values[] = {colour, 1};
        xcb_create_window(m_x.conn, XCB_COPY_FROM_PARENT, w, m_x.root(), int16_t(r.x()), int16_t(r.y()),
                          uint16_t(r.width()), uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(m_x.conn, w);
        return w;
    }
    QRgb pixelAfterGrab(ScreenAreaSource& source, QPoint at)
    {
        m_x.sync();
        VideoFrame frame;
        return source.grab(frame) == 0 ? frame.image.pixel(at) | 0xff000000u : 0;
    }

private slots:
    void everyChangeIsRead()
    {
        QVERIFY(m_x.ok());
        const xcb_window_t big = window(QRect(0, 0, 240, 200), 0xff0000);
        std::string error;
        auto source = ScreenAreaSource::create("", QRect(20, 20, 200, 160), error);
        QVERIFY2(source && source->tracksDamage(), error.c_str());
        for (int still = 0; still < 3; ++still)
            QCOMPARE(pixelAfterGrab(*source, QPoint(100, 100)), 0xffff0000u);
        const xcb_window_t small = window(QRect(150, 150, 10, 10), 0x0000ff);
        QCOMPARE(pixelAfterGrab(*source, QPoint(135, 135)), 0xff0000ffu);
        QCOMPARE(pixelAfterGrab(*source, QPoint(100, 100)), 0xffff0000u);
        const uint32_t green = 0x00ff00;
        xcb_change_window_attributes(m_x.conn, small, XCB_CW_BACK_PIXEL, &green);
        xcb_clear_area(m_x.conn, 0, small, 0, 0, 0, 0);
        QCOMPARE(pixelAfterGrab(*source, QPoint(135, 135)), 0xff00ff00u);
        const xcb_gcontext_t gc = xcb_generate_id(m_x.conn);
        const uint32_t white = 0xffffff;
        xcb_create_gc(m_x.conn, gc, big, XCB_GC_FOREGROUND, &white);
        const xcb_rectangle_t row{0, 90, 240, 1};   // one row of the area, y 70
        xcb_poly_fill_rectangle(m_x.conn, big, gc, 1, &row);
        QCOMPARE(pixelAfterGrab(*source, QPoint(10, 70)), 0xffffffffu);
        xcb_unmap_window(m_x.conn, small);
        QCOMPARE(pixelAfterGrab(*source, QPoint(135, 135)), 0xffff0000u);
        xcb_destroy_window(m_x.conn, big);
        m_x.sync();
    }
};

QTEST_GUILESS_MAIN(TstScreenChanges)
#include "tst_screen_changes.moc"
