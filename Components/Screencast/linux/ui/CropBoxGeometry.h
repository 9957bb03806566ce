#pragma once

// Where the region box goes when the user drags it or one of its anchors:
// plain arithmetic, kept apart from the window so that it can be checked on
// its own. Rectangles are QRects in global screen coordinates; the display
// is the one the box must stay on.

#include <QPoint>
#include <QRect>

namespace sc {
namespace ui {

// What a press on the box grabbed.
enum class BoxGrip {
    None,
    Move,           // the border: the box moves
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

struct BoxLimits {
    QRect display;
    int minSize = 32;        // no side gets shorter, unless the display is
    bool keepRatio = false;
    double ratio = 1.0;      // width / height, used with keepRatio
};

// The box as it may stand on the display: no larger than the display, no
// smaller than the minimum, moved (not shrunk further) to lie inside.
QRect fittedBox(const QRect& box, const BoxLimits& limits);

// `start` moved by `delta`, kept inside the display.
QRect movedBox(const QRect& start, const QPoint& delta, const BoxLimits& limits);

// `start` resized by dragging `grip` by `delta`. The opposite side or
// corner stays where it is; with keepRatio the box keeps the ratio, a side
// anchor growing the other dimension evenly about the middle. The result
// never leaves the display and never goes below the minimum.
QRect resizedBox(const QRect& start, BoxGrip grip, const QPoint& delta, const BoxLimits& limits);

// The ratio a box of width x height keeps; 1 for a degenerate size.
double ratioOf(int width, int height);

} // namespace ui
} // namespace sc
