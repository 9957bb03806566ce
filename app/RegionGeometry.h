#pragma once

// The arithmetic behind the recording region and the control bar, kept
// apart from any widget so that it can be checked with plain values.

#include <QPoint>
#include <QRect>
#include <QSize>

// Neither side of a recording region may be smaller.
constexpr int kMinRegionSide = 64;

// Top-left of the control bar of size `bar` for a recorded `region`, both
// in screen coordinates with inclusive edges, on the display `full`. The
// bar prefers the room under the region, flush with its right edge; then
// the room over it; failing both it sits just inside the region's top. It
// never pokes out past the display's left edge. When the region moves with
// the pointer (`atCorner`) the bar goes to the display's top right instead.
QPoint videoCtlBarPos(const QRect& region, const QRect& full, const QSize& bar, bool atCorner);

// The size the width and height boxes settle on while the ratio is
// locked: the untyped side is derived from the typed one (truncated). If
// the derived side overflows the display, it is cut back to the display
// and the typed side derived from it instead. Both sides end up between
// the minimum side and the display.
QSize lockedRatioSize(int w, int h, double ratio, bool widthTyped, const QSize& display);

// The region offered when none is stored: 1280x720 (2560x1440 on a scaled
// desktop, `pixelRatio` above 1), never larger than the display.
QSize defaultRegionSize(const QSize& display, qreal pixelRatio);
// `size` centred on the display, moved back inside it where the rounding
// would push it one pixel over.
QRect centredRegion(const QSize& display, const QSize& size);
// A stored region as it may be used again on `display`: kept when it fits
// and is large enough; on each axis where it does not, the default size
// for that axis, centred.
QRect fitStoredRegion(const QRect& stored, const QSize& display, qreal pixelRatio);
