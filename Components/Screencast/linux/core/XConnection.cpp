#include "core/XConnection.h"

#include <utility>

namespace sc {

XConnection::XConnection(const std::string& display)
{
    // Without a server (or $DISPLAY) xcb still returns a connection, in an
    // error state, that must be freed.
    xcb_connection_t* conn = xcb_connect(display.empty() ? nullptr : display.c_str(), &m_screenNumber);
    if (const int error = xcb_connection_has_error(conn)) {
        xcb_disconnect(conn);
        // Newer xcb checks the screen number itself.
        m_failure = error == XCB_CONN_CLOSED_INVALID_SCREEN ? Failure::NoScreen : Failure::NoServer;
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    for (int i = 0; it.rem && i < m_screenNumber; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(conn);
        m_failure = Failure::NoScreen;
        return;
    }
    m_conn = conn;
    m_screen = it.data;
}

XConnection::~XConnection()
{
    close();
}

XConnection::XConnection(XConnection&& other) noexcept
{
    *this = std::move(other);
}

XConnection& XConnection::operator=(XConnection&& other) noexcept
{
    if (this != &other) {
        close();
        m_screenNumber = other.m_screenNumber;
        m_failure = other.m_failure;
        m_screen = std::exchange(other.m_screen, nullptr);
        m_conn = std::exchange(other.m_conn, nullptr);
    }
    return *this;
}

xcb_connection_t* XConnection::release()
{
    m_screen = nullptr;
    return std::exchange(m_conn, nullptr);
}

void XConnection::close()
{
    // Also ends whatever the connection asked of the server (grabs,
    // redirections, shared-memory attachments).
    if (m_conn)
        xcb_disconnect(m_conn);
    m_conn = nullptr;
    m_screen = nullptr;
}

} // namespace sc
