#pragma once

// What the on-screen selection, crop box and picture overlays share: the
// display they cover, a still picture of the screen, their colours and the
// conversions between Qt's rectangles and the engine's.

#include "ScreencastTypes.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

namespace sc {
namespace ui {

// The overlays can be shown: a QApplication runs and the engine is
// connected to its X server.
bool overlaysAvailable();

// The display chosen with UseDisplay (display 0 when it has gone) in global
// screen coordinates; empty when there is none.
QRect selectedDisplayRect();

// What the screen shows in `area` (global coordinates), read from the root
// window; null when it cannot be read.
QImage grabScreen(const QRect& area);

// A colour drawn into a window of its own: without a compositor alpha
// would only darken it, so only the RGB counts. `fallback` stands in for a
// colour never set (all zero).
QColor opaqueColour(ColorRef colour, ColorRef fallback);
// A colour painted over a picture the overlay draws itself: alpha counts.
QColor blendedColour(ColorRef colour, ColorRef fallback);

// The colours the module's boxes get when it never set any.
constexpr ColorRef kDefaultLine = 0xFFDE621Eu;
constexpr ColorRef kDefaultEdge = 0xFFFFFFFFu;

// The size tip: `format` with its first %d replaced by the width and the
// second by the height ("%%" is a percent sign). Nothing else of it is
// interpreted, so a format from outside cannot read or write memory. An
// empty format, or one without two %d, gives "W x H".
QString sizeTipText(const std::string& format, int width, int height);

// Corner form (right = left + width) to Qt and back.
CRect toCRect(const QRect& r);
QRect toQRect(const CRect& r);

} // namespace ui
} // namespace sc
