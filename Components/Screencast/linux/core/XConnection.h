#pragma once

// The engine's one way to open an X connection and to hold what xcb hands
// back with malloc (replies, errors, events).

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace sc {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using XReply = std::unique_ptr<T, FreeDeleter>;

// A connection of its own to `display` (empty: $DISPLAY) and the screen
// the display name points at. A failed attempt leaves nothing open; the
// connection closes with the object.
class XConnection {
public:
    enum class Failure { None, NoServer, NoScreen };

    XConnection() = default;
    explicit XConnection(const std::string& display);
    ~XConnection();
    XConnection(XConnection&& other) noexcept;
    XConnection& operator=(XConnection&& other) noexcept;
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // Open, with a screen, and the server has not dropped it since.
    bool ok() const { return m_conn && !xcb_connection_has_error(m_conn); }
    xcb_connection_t* conn() const { return m_conn; }
    xcb_screen_t* screen() const { return m_screen; }
    xcb_window_t root() const { return m_screen ? m_screen->root : xcb_window_t(XCB_WINDOW_NONE); }
    int screenNumber() const { return m_screenNumber; }
    // Why the last attempt found no connection.
    Failure failure() const { return m_failure; }

    // Hands the connection to the caller, who closes it with xcb_disconnect.
    xcb_connection_t* release();
    void close();

private:
    xcb_connection_t* m_conn = nullptr;
    xcb_screen_t* m_screen = nullptr;
    int m_screenNumber = 0;
    Failure m_failure = Failure::None;
};

} // namespace sc
