// The window sources against a real X server: one window followed and
// ended, and the desktop composed with windows kept out or let in.

#include "EffectsTestSupport.h"

#include "Screencast.h"
#include "rec/Factories.h"
#include "rec/WindowSource.h"

#include <QtTest>
#include <QWidget>

using namespace effectstest;
using namespace sc::rec;

namespace {

const QRgb kRed = qRgb(220, 30, 30);
const QRgb kGreen = qRgb(30, 200, 60);
const QRgb kBlue = qRgb(30, 60, 220);
const QRgb kMagenta = qRgb(200, 40, 200);
const QRgb kYellow = qRgb(240, 220, 20);
const QRgb kCyan = qRgb(20, 210, 220);
const QRgb kBlack = qRgb(0, 0, 0);

QRect rectOf(const CRect& r)
{
    return QRect(int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top));
}

// A window of this program, in one colour, exactly where asked.
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

RecordingSetup setupFor(WindowListOption option, const QRect& area, std::vector<uint32_t> exclude,
                        std::vector<uint32_t> include)
{
    RecordingSetup setup;
    setup.displayRect = QRect(0, 0, 1920, 1080);
    setup.area = area;
    setup.windowOption = option;
    setup.exclude = std::move(exclude);
    setup.include = std::move(include);
    return setup;
}

// Grabs until the frame's pixel at `p` has the colour (the server and the
// window manager work on their own time).
bool frameShows(IFrameSource& source, const QPoint& p, QRgb colour, VideoFrame* last = nullptr)
{
    for (int i = 0; i < 100; ++i) {
        VideoFrame frame;
        if (source.grab(frame) != SR_Success)
            return false;
        if (last)
            *last = frame;
        if (frame.image.rect().contains(p) && near(frame.image.pixel(p), colour))
            return true;
        QTest::qWait(30);
    }
    return false;
}

} // namespace

class TstEffectsWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<XDisplay> m_x;
    std::vector<xcb_window_t> m_windows;

    xcb_window_t window(const QRect& r, QRgb colour, bool managed = false)
    {
        const xcb_window_t w = m_x->colourWindow(r, colour, managed);
        m_windows.push_back(w);
        return w;
    }

    bool windowManagerRuns()
    {
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        XReply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(m_x->conn, xcb_intern_atom(m_x->conn, 1, sizeof name - 1, name), nullptr), &std::free);
        if (!atom || atom->atom == XCB_ATOM_NONE)
            return false;
        XReply<xcb_get_property_reply_t> check(
            xcb_get_property_reply(
                m_x->conn, xcb_get_property(m_x->conn, 0, m_x->root(), atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr),
            &std::free);
        return check && xcb_get_property_value_length(check.get()) == 4;
    }

    // The client's inside on the root.
    QPoint clientOrigin(xcb_window_t w)
    {
        XReply<xcb_translate_coordinates_reply_t> reply(
            xcb_translate_coordinates_reply(m_x->conn, xcb_translate_coordinates(m_x->conn, w, m_x->root(), 0, 0),
                                            nullptr),
            &std::free);
        return reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
    }

    // A managed window once the window manager has framed it.
    xcb_window_t managedWindow(const QRect& r, QRgb colour)
    {
        const xcb_window_t w = window(r, colour, true);
        for (int i = 0; i < 250 && !IsWindowVisible(w); ++i)
            QTest::qWait(40);
        // Settled: the frame stays the same for a moment.
        CRect before = GetWindowRect(w);
        for (int i = 0; i < 50; ++i) {
            QTest::qWait(40);
            const CRect now = GetWindowRect(w);
            if (rectOf(now) == rectOf(before) && rectOf(now).width() > 0)
                break;
            before = now;
        }
        return w;
    }

private slots:
    void initTestCase() { startEngine(m_x); }
    void cleanup()
    {
        for (xcb_window_t w : m_windows)
            m_x->destroy(w);
        m_windows.clear();
    }
    void cleanupTestCase() { scUninitialize(); }

    // 0, the root, an id that never existed and one that went away are
    // refused with a reason, never recorded as the root; option 0 and
    // unknown options leave the screen to the recorder.
    void refusedWindows()
    {
        const xcb_window_t gone = m_x->colourWindow(QRect(10, 10, 20, 20), kRed);
        m_x->destroy(gone);
        for (uint32_t id : {0u, uint32_t(m_x->root()), 0x7ffffff0u, uint32_t(gone)}) {
            std::string error;
            QVERIFY(!makeWindowSource(setupFor(kWindowListSingle, QRect(0, 0, 100, 100), {}, {id}), error));
            QVERIFY2(!error.empty(), QByteArray::number(id));
        }
        std::string error;
        QVERIFY(!makeWindowSource(setupFor(kWindowListSingle, QRect(0, 0, 100, 100), {}, {}), error));
        QVERIFY(!error.empty());

        for (int option : {0, 7, -1}) {
            error.clear();
            QVERIFY(!makeWindowSource(setupFor(WindowListOption(option), QRect(0, 0, 100, 100), {}, {}), error));
            QVERIFY(error.empty());
        }
        // An empty area cannot be composed.
        error.clear();
        QVERIFY(!makeWindowSource(setupFor(kWindowListExclude, QRect(), {}, {}), error));
        QVERIFY(!error.empty());
    }

    // One window: its own pixels even where another window covers it, at
    // the size of its frame, followed when it moves; a new size ends the
    // recording with "resized".
    void singleWindowFollowedAndResized()
    {
        const xcb_window_t w = managedWindow(QRect(300, 200, 240, 160), kRed);
        const QRect frame = rectOf(GetWindowRect(w));
        QVERIFY(frame.width() >= 240 && frame.height() >= 160);
        // Covered in its middle by another program's window.
        window(QRect(350, 240, 100, 100), kBlue);
        const QPoint inside = clientOrigin(w) + QPoint(100, 80);
        QTRY_VERIFY(near(m_x->screenPixel(inside), kBlue));

        std::string error;
        std::unique_ptr<IFrameSource> source =
            makeWindowSource(setupFor(kWindowListSingle, QRect(), {}, {uint32_t(w)}), error);
        QVERIFY2(source, error.c_str());
        QCOMPARE(source->frameSize(), frame.size());
        VideoFrame last;
        QVERIFY(frameShows(*source, inside - frame.topLeft(), kRed, &last));
        QCOMPARE(last.image.size(), frame.size());
        QCOMPARE(last.screenRect, frame);

        // Moved by its program: followed, same size, same picture.
        const uint32_t to[] = {700, 500};
        xcb_configure_window(m_x->conn, w, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, to);
        m_x->sync();
        QTRY_VERIFY_WITH_TIMEOUT(rectOf(GetWindowRect(w)).topLeft() != frame.topLeft(), 5000);
        const QRect moved = rectOf(GetWindowRect(w));
        QVERIFY(frameShows(*source, QPoint(moved.width() / 2, moved.height() / 2), kRed, &last));
        QTRY_COMPARE((source->grab(last), last.screenRect), moved);
        QCOMPARE(last.image.size(), frame.size());

        // Resized: the recording ends.
        const uint32_t size[] = {300, 160};
        xcb_configure_window(m_x->conn, w, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        m_x->sync();
        QTRY_COMPARE_WITH_TIMEOUT(source->grab(last), int(SR_WindowResized), 5000);
    }

    // Destroyed: "closed" at once. Withdrawn: "closed" once it stayed away
    // for a moment; minimised is not closed.
    void singleWindowClosed()
    {
        const xcb_window_t w = managedWindow(QRect(200, 200, 160, 120), kGreen);
        std::string error;
        std::unique_ptr<IFrameSource> source =
            makeWindowSource(setupFor(kWindowListSingle, QRect(), {}, {uint32_t(w)}), error);
        QVERIFY2(source, error.c_str());
        VideoFrame frame;
        QCOMPARE(source->grab(frame), int(SR_Success));
        m_x->destroy(w);
        m_windows.clear();
        QCOMPARE(source->grab(frame), int(SR_WindowClosed));

        const xcb_window_t hidden = managedWindow(QRect(220, 220, 160, 120), kGreen);
        source = makeWindowSource(setupFor(kWindowListSingle, QRect(), {}, {uint32_t(hidden)}), error);
        QVERIFY2(source, error.c_str());
        QVERIFY(frameShows(*source, QPoint(source->frameSize().width() / 2, source->frameSize().height() / 2), kGreen));

        // Minimised (ICCCM IconicState): the recording goes on. Only a
        // window manager minimises.
        if (!windowManagerRuns()) {
            m_x->withdraw(hidden);
            QTRY_COMPARE_WITH_TIMEOUT(source->grab(frame), int(SR_WindowClosed), 5000);
            return;
        }
        xcb_client_message_event_t iconify{};
        iconify.response_type = XCB_CLIENT_MESSAGE;
        iconify.format = 32;
        iconify.window = hidden;
        const char name[] = "WM_CHANGE_STATE";
        XReply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(m_x->conn, xcb_intern_atom(m_x->conn, 0, sizeof name - 1, name), nullptr), &std::free);
        iconify.type = atom->atom;
        iconify.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
        xcb_send_event(m_x->conn, 0, m_x->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&iconify));
        m_x->sync();
        QTRY_VERIFY_WITH_TIMEOUT(!IsWindowVisible(hidden), 5000);
        QElapsedTimer minimised;
        minimised.start();
        while (minimised.elapsed() < 800) {
            QCOMPARE(source->grab(frame), int(SR_Success));
            QTest::qWait(50);
        }

        // Withdrawn by its program: closed after the grace time.
        xcb_map_window(m_x->conn, hidden);
        m_x->sync();
        QTRY_VERIFY_WITH_TIMEOUT(IsWindowVisible(hidden), 5000);
        m_x->withdraw(hidden);
        QTRY_COMPARE_WITH_TIMEOUT(source->grab(frame), int(SR_WindowClosed), 5000);
    }

    // Everything but the excluded windows: an excluded window and this
    // program's own windows leave no trace, the included window (the webcam
    // picture) always shows, and the area can move.
    void excludedWindowsKeptOut()
    {
        const QRect area(100, 100, 400, 300);
        window(area, kGreen);
        const xcb_window_t excluded = window(QRect(150, 150, 100, 100), kRed);
        window(QRect(420, 320, 100, 100), kMagenta);
        std::unique_ptr<QWidget> bar = ownWindow(QRect(300, 150, 80, 80), kYellow);
        std::unique_ptr<QWidget> webcam = ownWindow(QRect(300, 280, 80, 80), kCyan);
        QVERIFY(QTest::qWaitForWindowExposed(bar.get()));
        QVERIFY(QTest::qWaitForWindowExposed(webcam.get()));
        // All of them are on the screen.
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(200, 200)), kRed));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(340, 190)), kYellow));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(340, 320)), kCyan));

        std::string error;
        std::unique_ptr<IFrameSource> source = makeWindowSource(
            setupFor(kWindowListExclude, area, {uint32_t(excluded)}, {uint32_t(webcam->winId())}), error);
        QVERIFY2(source, error.c_str());
        QCOMPARE(source->frameSize(), area.size());
        VideoFrame frame;
        QVERIFY(frameShows(*source, QPoint(340, 320) - area.topLeft(), kCyan, &frame));
        QCOMPARE(frame.screenRect, area);
        QVERIFY2(near(frame.image.pixel(QPoint(200, 200) - area.topLeft()), kGreen),
                 qPrintable(rgbText(frame.image.pixel(QPoint(100, 100)))));
        QVERIFY(near(frame.image.pixel(QPoint(340, 190) - area.topLeft()), kGreen));
        QVERIFY(near(frame.image.pixel(QPoint(450, 350) - area.topLeft()), kMagenta));
        QVERIFY(near(frame.image.pixel(QPoint(110, 110) - area.topLeft()), kGreen));

        // Moved by the area controller: the same size, another part.
        source->setArea(QRect(QPoint(300, 250), QSize(10, 10)));
        QCOMPARE(source->grab(frame), int(SR_Success));
        QCOMPARE(frame.screenRect, QRect(QPoint(300, 250), area.size()));
        QCOMPARE(frame.image.size(), area.size());
        QVERIFY(near(frame.image.pixel(QPoint(450, 350) - QPoint(300, 250)), kMagenta));
        QVERIFY(near(frame.image.pixel(QPoint(340, 320) - QPoint(300, 250)), kCyan));
        // Outside every window: the desktop's background (black here).
        QVERIFY(near(frame.image.pixel(QPoint(550, 500) - QPoint(300, 250)), kBlack));
    }

    // Only the included windows, on black, in their stacking order.
    void onlyIncludedWindows()
    {
        const QRect area(100, 100, 400, 300);
        window(area, kGreen);
        const xcb_window_t chosen = window(QRect(150, 150, 100, 100), kRed);
        const xcb_window_t above = window(QRect(200, 200, 100, 100), kBlue);
        window(QRect(420, 320, 100, 100), kMagenta);
        std::unique_ptr<QWidget> bar = ownWindow(QRect(300, 150, 80, 80), kYellow);
        QVERIFY(QTest::qWaitForWindowExposed(bar.get()));
        QTRY_VERIFY(near(m_x->screenPixel(QPoint(220, 220)), kBlue));

        std::string error;
        std::unique_ptr<IFrameSource> source = makeWindowSource(
            setupFor(kWindowListInclude, area, {}, {uint32_t(chosen), uint32_t(above)}), error);
        QVERIFY2(source, error.c_str());
        VideoFrame frame;
        QVERIFY(frameShows(*source, QPoint(160, 160) - area.topLeft(), kRed, &frame));
        QVERIFY(near(frame.image.pixel(QPoint(220, 220) - area.topLeft()), kBlue));
        QVERIFY(near(frame.image.pixel(QPoint(120, 120) - area.topLeft()), kBlack));
        QVERIFY(near(frame.image.pixel(QPoint(340, 190) - area.topLeft()), kBlack));
        QVERIFY(near(frame.image.pixel(QPoint(450, 350) - area.topLeft()), kBlack));

        // A chosen window that goes away is simply no longer there.
        m_x->destroy(above);
        m_windows.erase(std::find(m_windows.begin(), m_windows.end(), above));
        QVERIFY(frameShows(*source, QPoint(220, 220) - area.topLeft(), kRed, &frame));
    }
};

QTEST_MAIN(TstEffectsWindows)
#include "tst_effects_windows.moc"
