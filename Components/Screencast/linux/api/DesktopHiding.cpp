// Putting other programs' windows and panels out of sight while a recording
// runs, and bringing them back.
//
// Application windows are iconified the way a pager does it (ICCCM
// WM_CHANGE_STATE to the root), so that the window manager keeps them in
// its task list and knows how to bring them back. Panels cannot be
// iconified (window managers refuse it for docks): they are unmapped, which
// withdraws them, and mapped again later, which lets the window manager
// take them back with their struts.

#include "api/X11Windows.h"

#include "core/EngineCore.h"
#include "core/XConnection.h"

#include "Screencast.h"

#include "platform/log/Log.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>

using namespace sc;

namespace {

constexpr uint32_t kIconicState = 3;   // ICCCM WM_STATE / WM_CHANGE_STATE

struct HideAtoms {
    xcb_atom_t changeState = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t netWmState = XCB_ATOM_NONE;
    xcb_atom_t netHidden = XCB_ATOM_NONE;
    xcb_atom_t netPid = XCB_ATOM_NONE;

    explicit HideAtoms(xcb_connection_t* conn)
    {
        const char* names[] = {"WM_CHANGE_STATE", "WM_STATE", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN",
                               "_NET_WM_PID"};
        xcb_atom_t* slots[] = {&changeState, &wmState, &netWmState, &netHidden, &netPid};
        xcb_intern_atom_cookie_t cookies[5];
        for (int i = 0; i < 5; ++i)
            cookies[i] = xcb_intern_atom(conn, 0, uint16_t(std::strlen(names[i])), names[i]);
        for (int i = 0; i < 5; ++i) {
            xcb_generic_error_t* error = nullptr;
            XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(conn, cookies[i], &error));
            std::free(error);
            *slots[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
    }
};

// What is known of one window right now; `exists` false when it is gone.
struct WindowNow {
    bool exists = false;
    bool mapped = false;
    bool iconic = false;   // iconified by the window manager
    bool own = false;
};

WindowNow windowNow(xcb_connection_t* conn, xcb_window_t window, const HideAtoms& atoms)
{
    WindowNow now;
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, window), &error));
    std::free(error);
    if (!attributes)
        return now;
    now.exists = true;
    now.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    const std::vector<uint32_t> wmState = longProperty(conn, window, atoms.wmState, 1);
    now.iconic = !wmState.empty() && wmState[0] == kIconicState;
    for (uint32_t a : longProperty(conn, window, atoms.netWmState, 64))
        now.iconic |= a != XCB_ATOM_NONE && a == atoms.netHidden;
    const std::vector<uint32_t> pid = longProperty(conn, window, atoms.netPid, 1);
    now.own = !pid.empty() && pid[0] == uint32_t(getpid());
    return now;
}

void askToIconify(xcb_connection_t* conn, xcb_window_t root, xcb_window_t window, const HideAtoms& atoms)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atoms.changeState;
    event.data.data32[0] = kIconicState;
    xcb_send_event(conn, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// Waits until the server has handled every request sent, so that the window
// manager sees them before anything the caller does next.
void sync(xcb_connection_t* conn)
{
    xcb_generic_error_t* error = nullptr;
    std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), &error));
    std::free(error);
}

bool knownKind(int kind) { return kind == kDesktopApps || kind == kDesktopPanels; }

} // namespace

CBasePtr<CWindowListObject> scFindDesktopWindows(int kind)
{
    XLock x;
    if (!x || !knownKind(kind))
        return CBasePtr<CWindowListObject>();
    xcb_window_t root = x.screen()->root;
    return windowListOf(kind == kDesktopApps ? listWindows(x.conn(), root, false) : listPanels(x.conn(), root));
}

int scHideDesktopWindows(int kind, const unsigned int* ids, int count)
{
    XLock x;
    if (!x || !knownKind(kind) || !ids)
        return 0;
    xcb_connection_t* conn = x.conn();
    const xcb_window_t root = x.screen()->root;
    const HideAtoms atoms(conn);
    // Without a window manager nobody iconifies: taking the window off the
    // screen is all there is.
    const bool iconify = kind == kDesktopApps && windowManagerRunning(conn, root);
    int hidden = 0;
    for (int i = 0; i < count; ++i) {
        const WindowNow now = windowNow(conn, ids[i], atoms);
        if (!now.exists || now.own || !now.mapped || now.iconic)
            continue;
        if (iconify)
            askToIconify(conn, root, ids[i], atoms);
        else
            xcb_unmap_window(conn, ids[i]);
        ++hidden;
    }
    sync(conn);
    Log(kLogModule, LogLevel::Info, "desktop windows of kind %d hidden: %d", kind, hidden);
    return hidden;
}

int scShowDesktopWindows(int kind, const unsigned int* ids, int count)
{
    XLock x;
    if (!x || !knownKind(kind) || !ids)
        return 0;
    xcb_connection_t* conn = x.conn();
    const HideAtoms atoms(conn);
    const bool iconified = kind == kDesktopApps && windowManagerRunning(conn, x.screen()->root);
    int shown = 0;
    for (int i = 0; i < count; ++i) {
        const WindowNow now = windowNow(conn, ids[i], atoms);
        // A window its program has withdrawn meanwhile (or the user brought
        // back) is not ours to show.
        const bool hidden = iconified ? now.iconic : !now.mapped;
        if (!now.exists || now.own || !hidden)
            continue;
        // Mapping an iconic window is how ICCCM asks for it back; the
        // raise that follows puts each above the ones brought back before.
        xcb_map_window(conn, ids[i]);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(conn, ids[i], XCB_CONFIG_WINDOW_STACK_MODE, &above);
        ++shown;
    }
    sync(conn);
    Log(kLogModule, LogLevel::Info, "desktop windows of kind %d shown: %d", kind, shown);
    return shown;
}
