#pragma once

// Top-level windows of the X desktop, read with checked requests only: a
// window that vanishes between two requests gives an error reply that is
// handled here, never an X error on the connection's event queue.
//
// The window list comes from the window manager (EWMH
// _NET_CLIENT_LIST_STACKING, or _NET_CLIENT_LIST), or from the root
// window's mapped children when no window manager runs.
//
// A window's frame is the client window together with the decoration its
// window manager draws around it (_NET_FRAME_EXTENTS) and its own X border:
// the rectangle the user sees as "the window", in root coordinates.

#include "ScreencastObjects.h"
#include "ScreencastTypes.h"

#include <xcb/xcb.h>

#include <string>
#include <vector>

namespace sc {

struct X11Window {
    uint32_t id = 0;            // the client window
    std::string title;          // UTF-8
    std::string owner;          // UTF-8: WM_CLASS class, else the process name
    CRect frame{};              // root coordinates
    bool visible = false;
    bool own = false;           // belongs to this process
};

// The listable windows, top of the stack first: normal application windows
// (no desktop, dock, menu, tooltip, notification or splash windows) that are
// visible and have a title or an owner name. `withOwn` includes this
// process's windows.
std::vector<X11Window> listWindows(xcb_connection_t* conn, xcb_window_t root, bool withOwn);

// Other programs' panels (_NET_WM_WINDOW_TYPE_DOCK) that are mapped, top of
// the stack first.
std::vector<X11Window> listPanels(xcb_connection_t* conn, xcb_window_t root);

// The 32-bit values of a property (at most `maxLongs`); empty when it is
// missing, of another format, or the window is gone.
std::vector<uint32_t> longProperty(xcb_connection_t* conn, xcb_window_t window, xcb_atom_t property,
                                   uint32_t maxLongs);

// A window manager runs: it announces itself through a check window that
// exists (a stale property left by one that died does not count).
bool windowManagerRunning(xcb_connection_t* conn, xcb_window_t root);

// The windows as the interface's list object, in the same order.
CBasePtr<CWindowListObject> windowListOf(const std::vector<X11Window>& windows);

// The frame of a window; false when it does not exist (or is 0 or the root).
bool windowFrame(xcb_connection_t* conn, xcb_window_t root, uint32_t id, CRect& frame);

// Mapped and viewable (all its ancestors mapped, so on the current desktop)
// and not minimised (_NET_WM_STATE_HIDDEN); false when it does not exist.
bool windowVisible(xcb_connection_t* conn, xcb_window_t root, uint32_t id);

} // namespace sc
