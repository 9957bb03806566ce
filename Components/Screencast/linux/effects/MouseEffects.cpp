#include "effects/MouseEffects.h"

#include <QPainter>

#include <xcb/xfixes.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sc {
namespace rec {

MouseDecorator::MouseDecorator(const MouseLook& look) : m_look(look), m_x(new XcbConnection)
{
    if (!m_x->ok() || !m_look.cursor)
        return;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_x->conn(), &xcb_xfixes_id);
    if (!ext || !ext->present)
        return;
    // XFixes answers nothing before the version is agreed.
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(m_x->conn(), xcb_xfixes_query_version(m_x->conn(), 4, 0), &error));
    std::free(error);
    m_xfixes = version && version->major_version >= 1;
}

void MouseDecorator::setCursorImage(const QImage& image, const QPoint& hotspot)
{
    m_cursor = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_hotspot = hotspot;
}

PointerState MouseDecorator::poll()
{
    PointerState state;
    if (!m_x->ok())
        return state;
    m_x->drainEvents();
    xcb_connection_t* c = m_x->conn();
    const auto pointerCookie = xcb_query_pointer(c, m_x->root());
    xcb_xfixes_get_cursor_image_cookie_t cursorCookie{};
    if (m_xfixes)
        cursorCookie = xcb_xfixes_get_cursor_image(c);

    xcb_generic_error_t* error = nullptr;
    XReply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, pointerCookie, &error));
    std::free(error);
    if (m_xfixes) {
        error = nullptr;
        XReply<xcb_xfixes_get_cursor_image_reply_t> cursor(xcb_xfixes_get_cursor_image_reply(c, cursorCookie, &error));
        std::free(error);
        if (cursor && cursor->cursor_serial != m_cursorSerial && cursor->width > 0 && cursor->height > 0
            && xcb_xfixes_get_cursor_image_cursor_image_length(cursor.get()) >= cursor->width * cursor->height) {
            // Premultiplied ARGB, one 32-bit value per pixel: Qt's own layout.
            QImage image(cursor->width, cursor->height, QImage::Format_ARGB32_Premultiplied);
            const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(cursor.get());
            for (int y = 0; y < cursor->height; ++y)
                std::memcpy(image.scanLine(y), pixels + y * cursor->width, std::size_t(cursor->width) * 4);
            m_cursor = image;
            m_hotspot = QPoint(cursor->xhot, cursor->yhot);
            m_cursorSerial = cursor->cursor_serial;
        }
    }
    if (!pointer || !pointer->same_screen)
        return state;
    state.valid = true;
    state.position = QPoint(pointer->root_x, pointer->root_y);
    state.pressed = (pointer->mask & (XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3)) != 0;
    return state;
}

void MouseDecorator::decorate(VideoFrame& frame)
{
    draw(frame, poll(), nowUs());
}

void MouseDecorator::draw(VideoFrame& frame, const PointerState& pointer, int64_t whenUs)
{
    // Where the pointer was drawn last time shows the screen again.
    frame.markChanged(m_drawnRows.first, m_drawnRows.second);
    m_drawnRows = {0, 0};
    if (!pointer.valid || frame.image.isNull() || frame.screenRect.isEmpty())
        return;
    if (pointer.pressed && !m_wasPressed)
        m_pressUs = whenUs;
    m_wasPressed = pointer.pressed;

    // The frame may be scaled against the screen.
    const double sx = double(frame.image.width()) / frame.screenRect.width();
    const double sy = double(frame.image.height()) / frame.screenRect.height();
    const QPointF at((pointer.position.x() - frame.screenRect.x()) * sx,
                     (pointer.position.y() - frame.screenRect.y()) * sy);
    const double reach = (kHaloRadius + 8) * std::max(sx, sy) + std::max(m_cursor.width(), m_cursor.height());
    if (at.x() < -reach || at.y() < -reach || at.x() > frame.image.width() + reach
        || at.y() > frame.image.height() + reach)
        return;     // the pointer is elsewhere
    m_drawnRows = {int(std::floor(at.y() - reach)), int(std::ceil(at.y() + reach)) + 1};
    frame.markChanged(m_drawnRows.first, m_drawnRows.second);

    QPainter painter(&frame.image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    if (m_look.halo && m_look.haloColour.alpha() > 0) {
        QColor halo = m_look.haloColour;
        halo.setAlpha(halo.alpha() * 45 / 100);
        painter.setBrush(halo);
        painter.drawEllipse(at, kHaloRadius * sx, kHaloRadius * sy);
    }

    const int64_t sincePress = m_pressUs < 0 ? -1 : whenUs - m_pressUs;
    if (m_look.click == 1 && (pointer.pressed || (sincePress >= 0 && sincePress < kClickShowUs))) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(m_look.clickColour, 3 * std::max(sx, sy)));
        painter.drawEllipse(at, kRingRadius * sx, kRingRadius * sy);
        painter.setPen(Qt::NoPen);
    } else if (m_look.click == 2 && sincePress >= 0 && sincePress < kBlinkUs) {
        // A flash that fades out.
        QColor flash = m_look.clickColour;
        flash.setAlphaF(flash.alphaF() * 0.75 * (1.0 - double(sincePress) / kBlinkUs));
        painter.setBrush(flash);
        painter.drawEllipse(at, (kRingRadius + 4) * sx, (kRingRadius + 4) * sy);
    }

    if (m_look.cursor && !m_cursor.isNull()) {
        const QPointF corner(at.x() - m_hotspot.x() * sx, at.y() - m_hotspot.y() * sy);
        if (sx == 1.0 && sy == 1.0) {
            painter.drawImage(corner, m_cursor);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRectF(corner, QSizeF(m_cursor.width() * sx, m_cursor.height() * sy)), m_cursor);
        }
    }
}

} // namespace rec
} // namespace sc
