#pragma once

// Draws decoded pictures into a native X window of the module (a widget's
// winId()) over a connection of its own: scaled into the window's current
// size with the picture's ratio kept, black around it, and drawn again when
// the window changes size or is uncovered. One thread uses a painter.

#include "core/XConnection.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;

namespace sc {
namespace play {

class ViewPainter
{
public:
    ViewPainter() = default;
    ~ViewPainter();
    ViewPainter(const ViewPainter&) = delete;
    ViewPainter& operator=(const ViewPainter&) = delete;

    // Connects to the engine's X server and watches `view`; false when
    // either is not there (nothing is drawn then).
    bool open(xcb_window_t view);
    bool isOpen() const { return m_x.conn() != nullptr; }

    // Draws `frame` (kept for later redraws; any pixel format swscale reads).
    void show(const AVFrame* frame);
    // Handles the window's events: draws the last picture again when the
    // window was resized or uncovered. Call it often (it does not block).
    void poll();

private:
    bool fetchGeometry();
    void paint();
    void fillBars(int x, int y, int w, int h);
    void putImage(int x, int y, int w, int h);

    XConnection m_x;
    xcb_window_t m_view = 0;
    xcb_gcontext_t m_gc = 0;
    uint32_t m_black = 0;
    int m_width = 0;
    int m_height = 0;
    int m_depth = 0;
    AVFrame* m_last = nullptr;
    SwsContext* m_sws = nullptr;
    std::vector<uint8_t> m_pixels;   // the scaled picture, 32-bit BGRX rows
};

} // namespace play
} // namespace sc
