// The screen source reads only what changed once the screen is still: a
// change in any window, large or a single row, must still reach the frame,
// and a recording that converts only the changed rows again (a still
// picture not at all) shows every change and leaves no trace of the pointer.
// A screen made smaller under a recording ends it with a cause that says so.

#include "RecordingTestSupport.h"

#include "source/ScreenSource.h"

#include <QtTest>

#include <xcb/randr.h>

using namespace sc::rec;

namespace {

// The frame slot the recording has reached, once a few more have passed (a change made before
// shows in the slots after it).
int64_t settle(CScreenRecoderObject* recorder)
{
    const int64_t at = recorder->frameCount();
    et::waitForFrames(recorder, at + 6);
    return at;
}

// How many pixels of the 5x5 square around `at` are far from `rgb`.
int strangers(const QImage& image, QPoint at, QRgb rgb)
{
    int n = 0;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx)
            n += et::near(image.pixel(at + QPoint(dx, dy)), rgb, 60) ? 0 : 1;
    }
    return n;
}

// The screen at another size while it lives (its one output switched off,
// as a size below the output's mode is refused); the old size and mode after.
class ResizedScreen {
public:
    ResizedScreen(et::XConn& x, QSize size) : m_x(x)
    {
        et::XReply<xcb_randr_get_screen_resources_current_reply_t> res(xcb_randr_get_screen_resources_current_reply(
            x.conn, xcb_randr_get_screen_resources_current(x.conn, x.root()), nullptr), &std::free);
        if (!res || xcb_randr_get_screen_resources_current_crtcs_length(res.get()) < 1)
            return;
        m_crtc = xcb_randr_get_screen_resources_current_crtcs(res.get())[0];
        et::XReply<xcb_randr_get_crtc_info_reply_t> info(
            xcb_randr_get_crtc_info_reply(x.conn, xcb_randr_get_crtc_info(x.conn, m_crtc, XCB_CURRENT_TIME), nullptr),
            &std::free);
        if (!info)
            return;
        m_info = *info;
        const xcb_randr_output_t* outputs = xcb_randr_get_crtc_info_outputs(info.get());
        m_outputs.assign(outputs, outputs + xcb_randr_get_crtc_info_outputs_length(info.get()));
        m_old = QSize(x.screen->width_in_pixels, x.screen->height_in_pixels);
        m_ok = setCrtc(XCB_NONE, {}) && setSize(size);
    }
    ~ResizedScreen()
    {
        if (m_crtc == XCB_NONE)
            return;
        setSize(m_old);
        setCrtc(m_info.mode, m_outputs);
    }
    bool ok() const { return m_ok; }

private:
    bool setCrtc(xcb_randr_mode_t mode, const std::vector<xcb_randr_output_t>& outputs)
    {
        et::XReply<xcb_randr_set_crtc_config_reply_t> r(xcb_randr_set_crtc_config_reply(
            m_x.conn,
            xcb_randr_set_crtc_config(m_x.conn, m_crtc, XCB_CURRENT_TIME, XCB_CURRENT_TIME, m_info.x, m_info.y, mode,
                                      m_info.rotation, uint32_t(outputs.size()), outputs.data()),
            nullptr),
                                                        &std::free);
        return r && r->status == XCB_RANDR_SET_CONFIG_SUCCESS;
    }
    bool setSize(QSize size)
    {
        xcb_generic_error_t* e = xcb_request_check(
            m_x.conn, xcb_randr_set_screen_size_checked(m_x.conn, m_x.root(), uint16_t(size.width()),
                                                        uint16_t(size.height()), m_x.screen->width_in_millimeters,
                                                        m_x.screen->height_in_millimeters));
        std::free(e);
        return !e;
    }

    et::XConn& m_x;
    xcb_randr_crtc_t m_crtc = XCB_NONE;
    xcb_randr_get_crtc_info_reply_t m_info {};
    std::vector<xcb_randr_output_t> m_outputs;
    QSize m_old;
    bool m_ok = false;
};

} // namespace

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

    // The source's word on what changed: nothing on a still screen (the very same picture, not
    // a copy), the rows of a change, everything after the area moved.
    void grabsSayWhatChanged()
    {
        const xcb_window_t big = window(QRect(0, 0, 240, 200), 0xff0000);
        std::string error;
        auto source = ScreenAreaSource::create("", QRect(20, 20, 200, 160), error);
        QVERIFY2(source && source->tracksDamage(), error.c_str());
        // The first grabs read everything (nothing is known yet), then the kept copy starts.
        VideoFrame first, still;
        m_x.sync();
        QCOMPARE(source->grab(first), 0);
        QVERIFY(first.allChanged || !first.changedRows.empty());
        QCOMPARE(source->grab(first), 0);
        QCOMPARE(source->grab(still), 0);
        QVERIFY(!still.allChanged && still.changedRows.empty());
        QCOMPARE(still.image.constBits(), first.image.constBits());
        const xcb_window_t small = window(QRect(150, 150, 10, 10), 0x0000ff);
        m_x.sync();
        VideoFrame changed;
        QCOMPARE(source->grab(changed), 0);
        QVERIFY(!changed.allChanged && !changed.changedRows.empty());
        for (const auto& band : changed.changedRows)
            QVERIFY(band.first <= 130 && band.second >= 140);
        source->setArea(QRect(10, 20, 200, 160));
        VideoFrame moved;
        QCOMPARE(source->grab(moved), 0);
        const std::vector<std::pair<int, int>> whole{{0, 160}};
        QVERIFY(moved.allChanged || moved.changedRows == whole);
        xcb_destroy_window(m_x.conn, small);
        xcb_destroy_window(m_x.conn, big);
        m_x.sync();
    }

    // A recording over a still screen: each change shows in the file in its own slot, what went
    // away is gone, and the pointer leaves no trace where it was.
    void recordingShowsEveryChange()
    {
        QCOMPARE(scInitialize(), int(kScInitOk));
        UseDisplay(0);
        const xcb_window_t big = window(QRect(0, 0, 320, 240), 0xff0000);
        m_x.sync();
        QVERIFY(et::movePointer(QPoint(60, 60)));
        const QString path = QDir::temp().filePath(QString("changes-%1.mp4").arg(QCoreApplication::applicationPid()));
        et::Callback callback;
        MouseOpt mouse{};
        mouse.cursor = 1;
        auto recorder = scVideoRecord(&callback, kOutputMp4, path.toUtf8().constData(),
                                      et::videoOpt(QRect(0, 0, 320, 240), 30, kVideoCodecH264, 5), et::sound(false),
                                      mouse, false, kWindowListNone, nullptr, 0, nullptr, 0);
        QVERIFY(recorder && recorder->start() == 0);
        QVERIFY(et::waitForFrames(recorder.get(), 10));
        const int64_t beforeShown = recorder->frameCount();
        const xcb_window_t small = window(QRect(150, 150, 10, 10), 0x0000ff);
        m_x.sync();
        const int64_t shown = settle(recorder.get());
        const int64_t beforeDrawn = recorder->frameCount();
        const xcb_gcontext_t gc = xcb_generate_id(m_x.conn);
        const uint32_t whitePixel = 0xffffff;
        xcb_create_gc(m_x.conn, gc, big, XCB_GC_FOREGROUND, &whitePixel);
        const xcb_rectangle_t row{0, 71, 320, 1};
        xcb_poly_fill_rectangle(m_x.conn, big, gc, 1, &row);
        m_x.sync();
        const int64_t drawn = settle(recorder.get());
        xcb_unmap_window(m_x.conn, small);
        QVERIFY(et::movePointer(QPoint(250, 200)));
        m_x.sync();
        const int64_t gone = settle(recorder.get());
        settle(recorder.get());
        recorder.reset();
        QCOMPARE(callback.errors(), std::vector<int>{});

        const QVector<testmedia::Picture> pictures = testmedia::pictures(path);
        QFile::remove(path);
        QVERIFY(pictures.size() > gone + 8);
        const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
        // The slot before each change still shows what was there; a few later, the change.
        QCOMPARE(strangers(pictures[int(beforeShown - 1)].image, QPoint(155, 155), red), 0);
        QCOMPARE(strangers(pictures[int(shown + 4)].image, QPoint(155, 155), blue), 0);
        QVERIFY(!et::near(pictures[int(beforeDrawn - 1)].image.pixel(200, 71), white, 60));
        QVERIFY(et::near(pictures[int(drawn + 4)].image.pixel(200, 71), white, 60));
        const QImage last = pictures.back().image;
        QCOMPARE(strangers(last, QPoint(155, 155), red), 0);
        QCOMPARE(strangers(last, QPoint(60, 60), red), 0);
        QVERIFY(strangers(last, QPoint(252, 202), red) > 0);
        QVERIFY(et::near(last.pixel(20, 71), white, 60));
        xcb_destroy_window(m_x.conn, big);
        m_x.sync();
        scUninitialize();
    }

    // A whole-screen recording when the screen becomes smaller: the code
    // stays the unknown error, the cause tells what happened.
    void smallerScreenEndsWithItsCause()
    {
        QVERIFY(m_x.ok());
        QCOMPARE(scInitialize(), int(kScInitOk));
        UseDisplay(0);
        QTemporaryDir dir;
        et::Callback callback;
        CBasePtr<CScreenRecoderObject> recorder =
            et::record(&callback, kOutputMp4, dir.filePath("screen.mp4"), et::videoOpt(QRect(0, 0, 1920, 1080)));
        QVERIFY(recorder && recorder->start() == 0);
        QVERIFY(et::waitForFrames(recorder.get(), 5));
        QCOMPARE(recorder->errorCause(), int(SR_CauseNone));
        {
            ResizedScreen smaller(m_x, QSize(1280, 720));
            QVERIFY(smaller.ok());
            QVERIFY(et::waitUntil([&] { return !callback.errors().empty(); }));
            QCOMPARE(callback.errors(), std::vector<int>{SR_UnknownError});
            QCOMPARE(recorder->errorCause(), int(SR_CauseScreenChanged));
        }
        recorder.reset();
        scUninitialize();
        // The next tests get the screen as it was.
        et::XReply<xcb_get_geometry_reply_t> root(
            xcb_get_geometry_reply(m_x.conn, xcb_get_geometry(m_x.conn, m_x.root()), nullptr), &std::free);
        QVERIFY(root);
        QCOMPARE(QSize(root->width, root->height), QSize(m_x.screen->width_in_pixels, m_x.screen->height_in_pixels));
    }
};

QTEST_GUILESS_MAIN(TstScreenChanges)
#include "tst_screen_changes.moc"
