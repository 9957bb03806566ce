#pragma once

// X helpers of the window sources, pointer effects and overlays.
//
// Each capture part opens an X connection of its own: the capture thread
// then never waits for the engine's shared connection (which the GUI thread
// uses for window lists), and whatever the part asked of the server
// (Composite redirections, shared memory) ends with the connection even if
// the part is torn down abruptly. Every request that can fail is read back
// with its error: a window that vanished is a result, never an X error on
// the event queue.

#include <QImage>
#include <QRect>

#include "core/XConnection.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

namespace sc {
namespace rec {

// A private connection to the engine's X display.
class XcbConnection : public XConnection {
public:
    XcbConnection();

    // NONE when it cannot be had.
    xcb_atom_t atom(const char* name, bool onlyIfExists = false);
    // Throws away events and errors of unchecked requests, which nobody
    // reads on a capture connection and which would otherwise pile up.
    void drainEvents();
    // Waits until the server handled everything sent so far.
    void sync();
};

// Reads rectangles of drawables (windows, pixmaps) as 32-bit pixels, through
// MIT-SHM when the server offers it and with plain GetImage otherwise.
class ImageReader {
public:
    explicit ImageReader(XcbConnection& x);
    ~ImageReader();
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    // `rect` in the drawable's coordinates. The picture stays valid until
    // the next read; it is premultiplied ARGB for depth 32 and RGB32 for
    // depth 24. False when the drawable is gone or the rectangle is not
    // inside it.
    bool read(xcb_drawable_t drawable, const QRect& rect, QImage& out);

private:
    bool ensureShm(std::size_t bytes);
    void dropShm();

    XcbConnection& m_x;
    bool m_shmAvailable = false;
    uint32_t m_shmSeg = 0;
    int m_shmId = -1;
    void* m_shmAddr = nullptr;
    std::size_t m_shmSize = 0;
    std::vector<uint8_t> m_plain;   // GetImage data
};

// The window directly below the root that holds `id` (the window manager's
// frame of a client, or the window itself when it is a top-level one).
// NONE when `id` is gone, is 0 or the root.
xcb_window_t topLevelOf(XcbConnection& x, xcb_window_t id);

// A top-level window as the stacking order lists it.
struct StackedWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    QRect outer;        // with its X border, root coordinates
    int border = 0;
    uint8_t depth = 0;
    bool viewable = false;
};

// The root's children, bottom to top, with geometry and map state; the
// ones that vanished while asking are left out.
std::vector<StackedWindow> stackedWindows(XcbConnection& x);

// Whether a top-level window belongs to this process (its client carries
// our _NET_WM_PID on this machine). Remembered per window: the answer does
// not change while the window exists.
class OwnWindows {
public:
    explicit OwnWindows(XcbConnection& x);
    bool isOwn(xcb_window_t topLevel);
    // Forgets windows that are no longer there.
    void keepOnly(const std::vector<StackedWindow>& windows);

private:
    // -1 unknown, 0 foreign, 1 own.
    int pidOwner(xcb_window_t window);

    XcbConnection& m_x;
    xcb_atom_t m_pidAtom;
    std::string m_host;
    struct Known {
        bool own = false;
        int64_t recheckUs = 0;  // 0: settled
    };
    std::unordered_map<xcb_window_t, Known> m_known;
};

} // namespace rec
} // namespace sc
