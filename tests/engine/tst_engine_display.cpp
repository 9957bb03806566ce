// The real engine against a real X server: start and stop, and displays.
//
// Most cases use the test environment's X server ($DISPLAY, one Xvfb
// screen). The multi-display case starts a private Xvfb of its own, so that
// adding RandR monitors cannot disturb tests running beside it.

#include "Screencast.h"

#include <QByteArray>
#include <QtTest>

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name, m_old.constData(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had = false;
    QByteArray m_old;
};

// A private Xvfb on a display number it picks itself (-displayfd), stopped
// and reaped when the object ends.
class PrivateXServer {
public:
    explicit PrivateXServer(const char* geometry)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", geometry, "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (m_pid < 0) {
            close(fds[0]);
            return;
        }
        // Xvfb writes its display number once it accepts connections; a hard
        // limit keeps a broken server from hanging the test.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 20000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty())
            m_display = ":" + QByteArray::fromStdString(number);
    }
    ~PrivateXServer()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                return;
            usleep(100 * 1000);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    QByteArray display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

struct XConnection {
    xcb_connection_t* conn = nullptr;
    xcb_screen_t* screen = nullptr;
    explicit XConnection(const char* display)
    {
        conn = xcb_connect(display, nullptr);
        if (xcb_connection_has_error(conn))
            return;
        screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    }
    ~XConnection() { xcb_disconnect(conn); }
    bool ok() const { return screen != nullptr; }

    xcb_atom_t atom(const char* name)
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
            xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name), nullptr),
            &free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_randr_output_t firstOutput()
    {
        std::unique_ptr<xcb_randr_get_screen_resources_current_reply_t, decltype(&free)> res(
            xcb_randr_get_screen_resources_current_reply(
                conn, xcb_randr_get_screen_resources_current(conn, screen->root), nullptr),
            &free);
        if (!res || res->num_outputs < 1)
            return XCB_NONE;
        return xcb_randr_get_screen_resources_current_outputs(res.get())[0];
    }

    // Adds a RandR monitor, as "xrandr --setmonitor" does. A monitor that
    // takes the screen's output replaces the server's own monitor of it.
    // The request is built by hand: libxcb 1.15 miscounts the length of
    // its own SetMonitor request and drops the connection.
    bool addMonitor(const char* name, int x, int y, int w, int h, bool primary, xcb_randr_output_t output)
    {
        struct {
            uint8_t major, minor;
            uint16_t length;
            uint32_t window;
            xcb_randr_monitor_info_t info;
            xcb_randr_output_t output;
        } request{};
        request.window = screen->root;
        request.info.name = atom(name);
        request.info.primary = primary ? 1 : 0;
        request.info.nOutput = output != XCB_NONE ? 1 : 0;
        request.info.x = int16_t(x);
        request.info.y = int16_t(y);
        request.info.width = uint16_t(w);
        request.info.height = uint16_t(h);
        request.info.width_in_millimeters = uint32_t(w / 4);
        request.info.height_in_millimeters = uint32_t(h / 4);
        request.output = output;
        iovec parts[3];
        parts[2].iov_base = &request;
        parts[2].iov_len = output != XCB_NONE ? sizeof request : sizeof request - sizeof request.output;
        xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
        xcb_void_cookie_t cookie{xcb_send_request(conn, XCB_REQUEST_CHECKED, parts + 2, &protocol)};
        xcb_generic_error_t* error = xcb_request_check(conn, cookie);
        free(error);
        return !error && !xcb_connection_has_error(conn);
    }
    bool deleteMonitor(const char* name)
    {
        xcb_generic_error_t* error =
            xcb_request_check(conn, xcb_randr_delete_monitor_checked(conn, screen->root, atom(name)));
        free(error);
        return !error && !xcb_connection_has_error(conn);
    }
};

bool sameRect(const CRect& a, const CRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

QByteArray text(const CRect& r)
{
    return QByteArray::number(r.left) + "," + QByteArray::number(r.top) + "," + QByteArray::number(r.right)
           + "," + QByteArray::number(r.bottom);
}

} // namespace

class TstEngineDisplay : public QObject {
    Q_OBJECT

    // An X server resets, refusing connections for a moment, whenever its
    // last client leaves. The test environment's window manager keeps it
    // from doing so; this connection does the same where none runs.
    std::unique_ptr<XConnection> m_keepServer;

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("DISPLAY"), "DISPLAY is not set: run the e2e tests inside scripts/with-test-env.sh");
        m_keepServer.reset(new XConnection(nullptr));
        QVERIFY(m_keepServer->ok());
    }

    void init() { QCOMPARE(scInitialize(), int(kScInitOk)); }
    void cleanup() { scUninitialize(); }

    // The test server has one screen: one display, as large as the root
    // window that a connection of our own sees.
    void oneDisplayAsLargeAsTheScreen()
    {
        XConnection x(nullptr);
        QVERIFY(x.ok());
        const int width = x.screen->width_in_pixels;
        const int height = x.screen->height_in_pixels;

        QCOMPARE(GetDisplayCount(), 1);
        const DisplayInfo* info = GetDisplayInfo(0);
        QVERIFY(info);
        QVERIFY(std::strlen(info->name) > 0);
        QVERIFY2(sameRect(info->frame, CRect{0, 0, double(width), double(height)}), text(info->frame));
        QCOMPARE(info->scale, 1.0);
        QVERIFY(info->primary != 0);
        QVERIFY(!GetDisplayInfo(1));
        QVERIFY(!GetDisplayInfo(-1));

        UseDisplay(0);
        QCOMPARE(GetSelectedDisplayWidth(), width);
        QCOMPARE(GetSelectedDisplayHeight(), height);
    }

    void conversionOnTheOnlyDisplay()
    {
        UseDisplay(0);
        const CRect onePixel{10, 20, 10, 20};
        QVERIFY(sameRect(ConvertDisplayRectToScreen(0, onePixel), onePixel));
        QVERIFY(sameRect(ConvertCurrentScreenRectToDisplay(onePixel), onePixel));
        // A display that does not exist leaves the rectangle as it is.
        const CRect r{1, 2, 3, 4};
        QVERIFY(sameRect(ConvertDisplayRectToScreen(3, r), r));
        QVERIFY(sameRect(ConvertDisplayRectToScreen(-1, r), r));
    }

    void initialiseTwiceAndStopTwice()
    {
        QCOMPARE(scInitialize(), int(kScInitOk));   // already running: no second connection
        QCOMPARE(GetDisplayCount(), 1);
        scUninitialize();
        // Stopped: nothing is there any more, and nothing is created.
        QCOMPARE(GetDisplayCount(), 0);
        QVERIFY(!GetDisplayInfo(0));
        QCOMPARE(GetSelectedDisplayWidth(), 0);
        QVERIFY(!scFindWindow(1));
        scUninitialize();
        // And it starts again.
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
        QVERIFY(scFindWindow(1));
    }

    void noDisplayFailsCleanly_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<bool>("unset");
        QTest::newRow("unset") << QByteArray() << true;
        QTest::newRow("no server there") << QByteArray(":99999") << false;
        QTest::newRow("garbage") << QByteArray("not a display") << false;
    }
    void noDisplayFailsCleanly()
    {
        QFETCH(QByteArray, display);
        QFETCH(bool, unset);
        scUninitialize();
        {
            ScopedEnv env("DISPLAY", unset ? nullptr : display.constData());
            QCOMPARE(scInitialize(), int(kScInitNoDisplay));
            QCOMPARE(GetDisplayCount(), 0);
            QVERIFY(!GetDisplayInfo(0));
            QCOMPARE(GetSelectedDisplayHeight(), 0);
            QVERIFY(!scFindWindow(1));
            // The file facts do not need the display.
            QVERIFY(GetAVFormatCodecs(kOutputMp4));
            QVERIFY(GetFileSystemFreeSize("/tmp") > 0);
            scUninitialize();
        }
        // A failed start leaves nothing behind that spoils the next one.
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
    }

    // Start, stop and queries from several threads at once must neither
    // crash nor give a half-built answer.
    void startStopAndQueriesFromManyThreads()
    {
        std::atomic<int> bad{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&bad, t] {
                for (int i = 0; i < 40; ++i) {
                    if (t % 3 == 0) {
                        if (scInitialize() != kScInitOk)
                            ++bad;
                        if (i % 4 == 3)
                            scUninitialize();
                    } else {
                        const int n = GetDisplayCount();
                        if (n != 0 && n != 1)
                            ++bad;
                        if (const DisplayInfo* d = GetDisplayInfo(0)) {
                            if (d->frame.right <= d->frame.left || d->scale != 1.0)
                                ++bad;
                        }
                    }
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        QCOMPARE(bad.load(), 0);
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
    }

    // Two monitors side by side on a private server: the primary one is
    // display 0 wherever it lies, rectangles move by its origin, and the
    // list follows monitor changes without a restart.
    void twoDisplaysOnAPrivateServer()
    {
        scUninitialize();
        PrivateXServer server("1600x600x24");
        if (server.display().isEmpty())
            QFAIL("cannot start a private Xvfb");
        ScopedEnv env("DISPLAY", server.display().constData());

        XConnection x(server.display().constData());
        QVERIFY(x.ok());
        QVERIFY(x.addMonitor("LEFT-1", 0, 0, 800, 600, false, x.firstOutput()));
        QVERIFY(x.addMonitor("RIGHT-1", 800, 0, 800, 600, true, XCB_NONE));

        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 2);
        const DisplayInfo* first = GetDisplayInfo(0);
        QVERIFY(first);
        QCOMPARE(QByteArray(first->name), QByteArray("RIGHT-1"));
        QVERIFY(first->primary != 0);
        QVERIFY2(sameRect(first->frame, CRect{800, 0, 1600, 600}), text(first->frame));
        const DisplayInfo* second = GetDisplayInfo(1);
        QVERIFY(second);
        QCOMPARE(QByteArray(second->name), QByteArray("LEFT-1"));
        QVERIFY(second->primary == 0);
        QVERIFY2(sameRect(second->frame, CRect{0, 0, 800, 600}), text(second->frame));

        const CRect r{10, 20, 110, 220};
        QVERIFY2(sameRect(ConvertDisplayRectToScreen(0, r), CRect{810, 20, 910, 220}),
                 text(ConvertDisplayRectToScreen(0, r)));
        QVERIFY(sameRect(ConvertDisplayRectToScreen(1, r), r));

        UseDisplay(0);
        QCOMPARE(GetSelectedDisplayWidth(), 800);
        QVERIFY2(sameRect(ConvertCurrentScreenRectToDisplay(CRect{810, 20, 910, 220}), r),
                 text(ConvertCurrentScreenRectToDisplay(CRect{810, 20, 910, 220})));
        UseDisplay(1);
        QVERIFY(sameRect(ConvertCurrentScreenRectToDisplay(r), r));

        // The primary monitor goes away: the other one becomes display 0
        // and the main display, display 1 no longer exists, and a selection
        // of it falls back to display 0.
        QVERIFY(x.deleteMonitor("RIGHT-1"));
        QCOMPARE(GetDisplayCount(), 1);
        QVERIFY(!GetDisplayInfo(1));
        const DisplayInfo* left = GetDisplayInfo(0);
        QVERIFY(left);
        QCOMPARE(QByteArray(left->name), QByteArray("LEFT-1"));
        QVERIFY(left->primary != 0);
        QCOMPARE(GetSelectedDisplayWidth(), 800);
        QVERIFY(sameRect(ConvertCurrentScreenRectToDisplay(r), r));
        UseDisplay(0);
        scUninitialize();
    }
};

QTEST_GUILESS_MAIN(TstEngineDisplay)
#include "tst_engine_display.moc"
