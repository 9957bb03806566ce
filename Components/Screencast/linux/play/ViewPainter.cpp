#include "play/ViewPainter.h"

#include "core/EngineCore.h"
#include "play/SwsSlack.h"

#include "platform/log/Log.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sc {
namespace play {

namespace {

// Bytes of a PutImage request before its pixels.
constexpr uint32_t kPutImageHeader = 24;

// swscale's table of YUV to RGB coefficients for a picture's matrix.
const int* coefficientsOf(const AVFrame* frame)
{
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
        return sws_getCoefficients(SWS_CS_ITU709);
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return sws_getCoefficients(SWS_CS_BT2020);
    case AVCOL_SPC_UNSPECIFIED:
        // Untagged high-definition pictures are BT.709 by convention.
        return sws_getCoefficients(frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    default:
        return sws_getCoefficients(SWS_CS_DEFAULT);
    }
}

} // namespace

ViewPainter::~ViewPainter()
{
    av_frame_free(&m_last);
    sws_freeContext(m_sws);
    if (m_x.conn() && m_gc)
        xcb_free_gc(m_x.conn(), m_gc);
}

bool ViewPainter::open(xcb_window_t view)
{
    m_x = XConnection(engineDisplayName());
    if (!m_x.ok()) {
        Log(kLogModule, LogLevel::Error, "player: no X server to draw on");
        return false;
    }
    m_view = view;
    m_black = m_x.screen()->black_pixel;
    // Other clients may watch the same window: Qt keeps its own events.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_EXPOSURE;
    xcb_change_window_attributes(m_x.conn(), m_view, XCB_CW_EVENT_MASK, &mask);
    m_gc = xcb_generate_id(m_x.conn());
    const uint32_t values[] = {m_black, 0};
    xcb_create_gc(m_x.conn(), m_gc, m_view, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
    if (!fetchGeometry()) {
        Log(kLogModule, LogLevel::Error, "player: the view 0x%x is no window", unsigned(view));
        xcb_free_gc(m_x.conn(), m_gc);
        m_gc = 0;
        m_x.close();
        return false;
    }
    return true;
}

bool ViewPainter::fetchGeometry()
{
    XReply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(m_x.conn(), xcb_get_geometry(m_x.conn(), m_view), nullptr));
    if (!g)
        return false;
    m_width = g->width;
    m_height = g->height;
    m_depth = g->depth;
    return true;
}

void ViewPainter::show(const AVFrame* frame)
{
    if (!m_x.conn() || !frame)
        return;
    if (!m_last)
        m_last = av_frame_alloc();
    if (!m_last)
        return;
    av_frame_unref(m_last);
    if (av_frame_ref(m_last, frame) < 0)
        return;
    paint();
}

void ViewPainter::poll()
{
    if (!m_x.conn())
        return;
    bool repaint = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x.conn())) {
        switch (event->response_type & 0x7f) {
        case XCB_CONFIGURE_NOTIFY: {
            auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
            if (e->window == m_view && (e->width != m_width || e->height != m_height)) {
                m_width = e->width;
                m_height = e->height;
                repaint = true;
            }
            break;
        }
        case XCB_EXPOSE:
            repaint = repaint || reinterpret_cast<xcb_expose_event_t*>(event)->count == 0;
            break;
        case XCB_DESTROY_NOTIFY:
            m_width = m_height = 0;   // nothing more to draw into
            break;
        default:
            break;   // errors of a window that went away, among others
        }
        std::free(event);
    }
    if (repaint)
        paint();
}

void ViewPainter::fillBars(int x, int y, int w, int h)
{
    xcb_rectangle_t bars[4];
    int n = 0;
    if (y > 0)
        bars[n++] = {0, 0, uint16_t(m_width), uint16_t(y)};
    if (y + h < m_height)
        bars[n++] = {0, int16_t(y + h), uint16_t(m_width), uint16_t(m_height - y - h)};
    if (x > 0)
        bars[n++] = {0, int16_t(y), uint16_t(x), uint16_t(h)};
    if (x + w < m_width)
        bars[n++] = {int16_t(x + w), int16_t(y), uint16_t(m_width - x - w), uint16_t(h)};
    if (n > 0)
        xcb_poly_fill_rectangle(m_x.conn(), m_view, m_gc, uint32_t(n), bars);
}

// The scaled picture in bands that each fit into one request.
void ViewPainter::putImage(int x, int y, int w, int h)
{
    const uint32_t rowBytes = uint32_t(w) * 4;
    const uint32_t maxBytes = xcb_get_maximum_request_length(m_x.conn()) * 4 - kPutImageHeader;
    const int band = std::max(1, int(maxBytes / rowBytes));
    for (int row = 0; row < h; row += band) {
        const int rows = std::min(band, h - row);
        xcb_put_image(m_x.conn(), XCB_IMAGE_FORMAT_Z_PIXMAP, m_view, m_gc, uint16_t(w), uint16_t(rows), int16_t(x),
                      int16_t(y + row), 0, uint8_t(m_depth), rowBytes * uint32_t(rows),
                      m_pixels.data() + std::size_t(row) * rowBytes);
    }
}

void ViewPainter::paint()
{
    if (!m_x.conn() || !m_last || m_width <= 0 || m_height <= 0 || m_last->width <= 0 || m_last->height <= 0)
        return;
    if (m_depth != 24 && m_depth != 32) {
        static bool told = false;
        if (!told)
            Log(kLogModule, LogLevel::Error, "player: windows of depth %d are not drawn into", m_depth);
        told = true;
        return;
    }
    double ratio = double(m_last->width) / m_last->height;
    if (m_last->sample_aspect_ratio.num > 0 && m_last->sample_aspect_ratio.den > 0)
        ratio *= av_q2d(m_last->sample_aspect_ratio);
    int w = m_width;
    int h = int(std::lround(w / ratio));
    if (h > m_height) {
        h = m_height;
        w = int(std::lround(h * ratio));
    }
    w = std::clamp(w, 1, m_width);
    h = std::clamp(h, 1, m_height);
    const int x = (m_width - w) / 2;
    const int y = (m_height - h) / 2;

    m_sws = sws_getCachedContext(m_sws, m_last->width, m_last->height, AVPixelFormat(m_last->format), w, h,
                                 AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_sws)
        return;
    const int fullRange = m_last->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(m_sws, coefficientsOf(m_last), fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    // swscale may write a little past the last row.
    m_pixels.resize(std::size_t(w) * h * 4 + kSwsSlack);
    uint8_t* dst[4] = {m_pixels.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {w * 4, 0, 0, 0};
    if (sws_scale(m_sws, m_last->data, m_last->linesize, 0, m_last->height, dst, dstStride) <= 0)
        return;
    fillBars(x, y, w, h);
    putImage(x, y, w, h);
    xcb_flush(m_x.conn());
}

} // namespace play
} // namespace sc
