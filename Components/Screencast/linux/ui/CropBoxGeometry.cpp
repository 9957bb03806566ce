#include "ui/CropBoxGeometry.h"

#include "source/AreaControl.h"

#include <algorithm>
#include <cmath>

namespace sc {
namespace ui {

namespace {

int rounded(double v)
{
    return int(std::lround(v));
}

// Which sides an anchor moves: -1 the left (top) side, +1 the right
// (bottom) side, 0 neither.
void sidesOf(BoxGrip grip, int& hx, int& hy)
{
    hx = 0;
    hy = 0;
    switch (grip) {
    case BoxGrip::Left: hx = -1; break;
    case BoxGrip::Right: hx = 1; break;
    case BoxGrip::Top: hy = -1; break;
    case BoxGrip::Bottom: hy = 1; break;
    case BoxGrip::TopLeft: hx = -1; hy = -1; break;
    case BoxGrip::TopRight: hx = 1; hy = -1; break;
    case BoxGrip::BottomLeft: hx = -1; hy = 1; break;
    case BoxGrip::BottomRight: hx = 1; hy = 1; break;
    case BoxGrip::None:
    case BoxGrip::Move: break;
    }
}

// One dimension of a resized box: the new [low, high) of a side of length
// `size`. The fixed side stays; with no moving side the box keeps its
// middle and is then moved inside [min, max).
void place(int side, int low0, int high0, int size, int min, int max, int& low, int& high)
{
    if (side < 0) {
        low = high0 - size;
        high = high0;
    } else if (side > 0) {
        low = low0;
        high = low0 + size;
    } else {
        low = (low0 + high0 - size) / 2;
        high = low + size;
        if (high > max) {
            low -= high - max;
            high = max;
        }
        if (low < min) {
            high += min - low;
            low = min;
        }
    }
}

} // namespace

double ratioOf(int width, int height)
{
    return width > 0 && height > 0 ? double(width) / double(height) : 1.0;
}

QRect fittedBox(const QRect& box, const BoxLimits& limits)
{
    const QRect& d = limits.display;
    if (d.isEmpty())
        return box;
    const int w = std::min(std::max(box.width(), std::min(limits.minSize, d.width())), d.width());
    const int h = std::min(std::max(box.height(), std::min(limits.minSize, d.height())), d.height());
    return rec::clampedInto(QRect(box.topLeft(), QSize(w, h)), d);
}

QRect movedBox(const QRect& start, const QPoint& delta, const BoxLimits& limits)
{
    const QRect box = fittedBox(start, limits);
    if (limits.display.isEmpty())
        return box.translated(delta);
    return rec::clampedInto(box.translated(delta), limits.display);
}

QRect resizedBox(const QRect& startBox, BoxGrip grip, const QPoint& delta, const BoxLimits& limits)
{
    if (grip == BoxGrip::Move)
        return movedBox(startBox, delta, limits);
    const QRect start = fittedBox(startBox, limits);
    int hx, hy;
    sidesOf(grip, hx, hy);
    if (grip == BoxGrip::None || limits.display.isEmpty())
        return start;

    const QRect& d = limits.display;
    const int dl = d.x(), dt = d.y(), dr = d.x() + d.width(), db = d.y() + d.height();
    const int l0 = start.x(), t0 = start.y(), r0 = l0 + start.width(), b0 = t0 + start.height();
    const int minW = std::min(limits.minSize, d.width());
    const int minH = std::min(limits.minSize, d.height());

    // The sizes the pointer asks for (the fixed side stays put).
    const int wantW = hx < 0 ? r0 - (l0 + delta.x()) : hx > 0 ? (r0 + delta.x()) - l0 : start.width();
    const int wantH = hy < 0 ? b0 - (t0 + delta.y()) : hy > 0 ? (b0 + delta.y()) - t0 : start.height();
    // The room the moving sides have on the display.
    const int maxW = hx < 0 ? r0 - dl : hx > 0 ? dr - l0 : d.width();
    const int maxH = hy < 0 ? b0 - dt : hy > 0 ? db - t0 : d.height();

    int w = wantW;
    int h = wantH;
    if (limits.keepRatio) {
        const double ratio = limits.ratio > 0.0 ? limits.ratio : 1.0;
        if (hx != 0 && hy != 0) {
            // A corner: the dimension the pointer moved further leads.
            if (double(w) / ratio >= double(h))
                h = rounded(w / ratio);
            else
                w = rounded(h * ratio);
        } else if (hx != 0) {
            h = rounded(w / ratio);
        } else {
            w = rounded(h * ratio);
        }
        if (w < minW) {
            w = minW;
            h = rounded(w / ratio);
        }
        if (h < minH) {
            h = minH;
            w = rounded(h * ratio);
        }
        // The display wins over the minimum: the box never leaves it.
        if (w > maxW) {
            w = maxW;
            h = rounded(w / ratio);
        }
        if (h > maxH) {
            h = maxH;
            w = rounded(h * ratio);
        }
        w = std::max(1, std::min(w, maxW));
        h = std::max(1, std::min(h, maxH));
    } else {
        w = std::min(std::max(w, minW), maxW);
        h = std::min(std::max(h, minH), maxH);
    }

    int l, r, t, b;
    place(hx, l0, r0, w, dl, dr, l, r);
    place(hy, t0, b0, h, dt, db, t, b);
    return QRect(l, t, r - l, b - t);
}

} // namespace ui
} // namespace sc
