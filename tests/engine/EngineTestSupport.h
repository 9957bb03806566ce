#pragma once

// Helpers of the engine's end-to-end tests: environment overrides, a
// private X server, raw XCB windows and a thread count.

#include "tests/support/TestHelpers.h"

#include <QByteArray>
#include <QString>

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>
#include <xcb/xcbext.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace enginetest {

using testsupport::ScopedEnv;
using testsupport::threadCount;

// A private Xvfb with no window manager, on a display number it picks
// itself (-displayfd); stopped and reaped when the object ends.
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
                   "+extension", "RANDR", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (m_pid < 0) {
            close(fds[0]);
            return;
        }
        // Xvfb writes its display number once it accepts connections; a
        // hard limit keeps a broken server from hanging the test.
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
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    QByteArray display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

// A connection of the test's own.
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
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool ok() const { return screen != nullptr && !xcb_connection_has_error(conn); }

    xcb_atom_t atom(const char* name)
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
            xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name), nullptr), &free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    void setProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, int format, const void* data,
                     uint32_t count)
    {
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, w, property, type, uint8_t(format), count, data);
    }
    void setText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& bytes)
    {
        setProperty(w, property, type, 8, bytes.data(), uint32_t(bytes.size()));
    }

    // Waits until the server has handled everything sent so far.
    void sync() { free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr)); }
};

// The first RandR output of the screen; XCB_NONE without one.
inline xcb_randr_output_t firstOutput(XConnection& x)
{
    std::unique_ptr<xcb_randr_get_screen_resources_current_reply_t, decltype(&free)> res(
        xcb_randr_get_screen_resources_current_reply(
            x.conn, xcb_randr_get_screen_resources_current(x.conn, x.screen->root), nullptr),
        &free);
    if (!res || res->num_outputs < 1)
        return XCB_NONE;
    return xcb_randr_get_screen_resources_current_outputs(res.get())[0];
}

// Adds a RandR monitor, as "xrandr --setmonitor" does. A monitor that
// takes the screen's output replaces the server's own monitor of it.
// The request is built by hand: libxcb 1.15 miscounts the length of its
// own SetMonitor request and drops the connection.
inline bool addMonitor(XConnection& x, const char* name, int left, int top, int width, int height,
                       bool primary = false, xcb_randr_output_t output = XCB_NONE)
{
    struct {
        uint8_t major, minor;
        uint16_t length;
        uint32_t window;
        xcb_randr_monitor_info_t info;
        xcb_randr_output_t output;
    } request{};
    request.window = x.screen->root;
    request.info.name = x.atom(name);
    request.info.primary = primary ? 1 : 0;
    request.info.nOutput = output != XCB_NONE ? 1 : 0;
    request.info.x = int16_t(left);
    request.info.y = int16_t(top);
    request.info.width = uint16_t(width);
    request.info.height = uint16_t(height);
    request.info.width_in_millimeters = uint32_t(width / 4);
    request.info.height_in_millimeters = uint32_t(height / 4);
    request.output = output;
    iovec parts[3];
    parts[2].iov_base = &request;
    parts[2].iov_len = output != XCB_NONE ? sizeof request : sizeof request - sizeof request.output;
    xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    xcb_void_cookie_t cookie{xcb_send_request(x.conn, XCB_REQUEST_CHECKED, parts + 2, &protocol)};
    xcb_generic_error_t* error = xcb_request_check(x.conn, cookie);
    free(error);
    return !error && !xcb_connection_has_error(x.conn);
}

inline bool deleteMonitor(XConnection& x, const char* name)
{
    xcb_generic_error_t* error =
        xcb_request_check(x.conn, xcb_randr_delete_monitor_checked(x.conn, x.screen->root, x.atom(name)));
    free(error);
    return !error && !xcb_connection_has_error(x.conn);
}

// A private X server that is the display ($DISPLAY) for one scope, with a
// connection of the test's own to it.
struct PrivateDisplay {
    explicit PrivateDisplay(const char* geometry)
        : server(geometry), env("DISPLAY", server.display().constData()), x(server.display().constData())
    {
    }
    // False when the server did not start or cannot be reached.
    bool ok() const { return !server.display().isEmpty() && x.ok(); }

    PrivateXServer server;
    ScopedEnv env;
    XConnection x;
};

// A top-level window made with raw XCB, so that nothing but the test
// decides its properties.
class TestWindow {
public:
    TestWindow(XConnection& x, int left, int top, int width, int height, bool overrideRedirect = false)
        : m_x(x)
    {
        id = xcb_generate_id(x.conn);
        const uint32_t values[] = {x.screen->white_pixel, overrideRedirect ? 1u : 0u};
        xcb_create_window(x.conn, XCB_COPY_FROM_PARENT, id, x.screen->root, int16_t(left), int16_t(top),
                          uint16_t(width), uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          x.screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        // Placed where the test says, not where the window manager likes.
        xcb_size_hints_t hints{};
        xcb_icccm_size_hints_set_position(&hints, 1, left, top);
        xcb_icccm_size_hints_set_size(&hints, 1, width, height);
        xcb_icccm_set_wm_normal_hints(x.conn, id, &hints);
    }
    ~TestWindow()
    {
        if (id != XCB_WINDOW_NONE)
            destroy();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    void setUtf8Title(const std::string& title)
    {
        m_x.setText(id, m_x.atom("_NET_WM_NAME"), m_x.atom("UTF8_STRING"), title);
    }
    void setLegacyTitle(const std::string& bytes, xcb_atom_t type = XCB_ATOM_STRING)
    {
        m_x.setText(id, XCB_ATOM_WM_NAME, type, bytes);
    }
    void setClass(const std::string& instance, const std::string& cls)
    {
        m_x.setText(id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, instance + '\0' + cls + '\0');
    }
    void setPid(uint32_t pid)
    {
        m_x.setProperty(id, m_x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        m_x.setText(id, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, host);
    }
    void setType(const char* type)
    {
        const xcb_atom_t a = m_x.atom(type);
        m_x.setProperty(id, m_x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, &a, 1);
    }
    void map()
    {
        xcb_map_window(m_x.conn, id);
        m_x.sync();
    }
    void unmap()
    {
        xcb_unmap_window(m_x.conn, id);
        // ICCCM: a client withdraws a window with a synthetic UnmapNotify.
        xcb_unmap_notify_event_t event{};
        event.response_type = XCB_UNMAP_NOTIFY;
        event.event = m_x.screen->root;
        event.window = id;
        xcb_send_event(m_x.conn, 0, m_x.screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        m_x.sync();
    }
    // Asks the window manager to minimise the window (ICCCM WM_CHANGE_STATE).
    void iconify()
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = m_x.atom("WM_CHANGE_STATE");
        event.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
        xcb_send_event(m_x.conn, 0, m_x.screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        m_x.sync();
    }
    void destroy()
    {
        xcb_destroy_window(m_x.conn, id);
        m_x.sync();
        destroyed = id;
        id = XCB_WINDOW_NONE;
    }

    xcb_window_t id = XCB_WINDOW_NONE;
    xcb_window_t destroyed = XCB_WINDOW_NONE;

private:
    XConnection& m_x;
};

} // namespace enginetest
