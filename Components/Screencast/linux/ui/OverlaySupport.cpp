#include "ui/OverlaySupport.h"

#include "core/EngineCore.h"
#include "core/XConnection.h"
#include "ui/WindowGui.h"

#include "Screencast.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace sc {
namespace ui {

namespace {

QRect displayRect(int index)
{
    const DisplayInfo* info = GetDisplayInfo(index);
    return info ? toQRect(info->frame) : QRect();
}

} // namespace

bool overlaysAvailable()
{
    if (!rec::haveWidgets())
        return false;
    XLock x;
    return bool(x);
}

QRect selectedDisplayRect()
{
    const QRect selected = displayRect(settings().selectedDisplay);
    return selected.isEmpty() ? displayRect(0) : selected;
}

QImage grabScreen(const QRect& wanted)
{
    XLock x;
    if (!x)
        return QImage();
    const QRect root(0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels);
    const QRect area = wanted & root;
    if (area.isEmpty())
        return QImage();
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        x.conn(),
        xcb_get_image(x.conn(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.screen()->root, int16_t(area.x()), int16_t(area.y()),
                      uint16_t(area.width()), uint16_t(area.height()), ~0u),
        &error));
    std::free(error);
    // Only the usual true-colour layout (32 bits a pixel, depth 24 or 32)
    // is understood; anything else is refused rather than misread.
    if (!reply || (reply->depth != 24 && reply->depth != 32))
        return QImage();
    const int length = xcb_get_image_data_length(reply.get());
    if (length != area.width() * area.height() * 4)
        return QImage();
    QImage image(wanted.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    const uint8_t* data = xcb_get_image_data(reply.get());
    const QPoint offset = area.topLeft() - wanted.topLeft();
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(image.scanLine(y + offset.y()) + offset.x() * 4, data + std::size_t(y) * area.width() * 4,
                    std::size_t(area.width()) * 4);
    return image;
}

QColor opaqueColour(ColorRef colour, ColorRef fallback)
{
    return QColor::fromRgb((colour ? colour : fallback) & 0xffffffu);
}

QColor blendedColour(ColorRef colour, ColorRef fallback)
{
    return QColor::fromRgba(colour ? colour : fallback);
}

QString sizeTipText(const std::string& format, int width, int height)
{
    const QString fallback = QStringLiteral("%1 x %2").arg(width).arg(height);
    const QString text = QString::fromUtf8(format.c_str());
    QString out;
    int used = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('%')) {
            out += c;
            continue;
        }
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (next == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
        } else if (next == QLatin1Char('d') && used < 2) {
            out += QString::number(used == 0 ? width : height);
            ++used;
            ++i;
        } else {
            return fallback;   // a conversion the tip does not know
        }
    }
    return used == 2 ? out : fallback;
}

CRect toCRect(const QRect& r)
{
    return CRect{double(r.x()), double(r.y()), double(r.x() + r.width()), double(r.y() + r.height())};
}

QRect toQRect(const CRect& r)
{
    const int left = int(std::lround(r.left));
    const int top = int(std::lround(r.top));
    return QRect(left, top, int(std::lround(r.right)) - left, int(std::lround(r.bottom)) - top);
}

} // namespace ui
} // namespace sc
