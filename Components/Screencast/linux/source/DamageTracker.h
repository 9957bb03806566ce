#pragma once

// Which rows of the recorded area changed since the last grab, from the
// rectangles the X server reports damaged. Rows rather than rectangles: a
// band of whole rows lands in a frame-sized buffer at its own offset, so
// the server can write it in place.

#include <QRect>

#include <utility>
#include <vector>

namespace sc {
namespace rec {

class DamageTracker
{
public:
    // Rows [top, bottom) of the area.
    using Span = std::pair<int, int>;

    // A changed part of the screen, in root-window pixels.
    void add(const QRect& rect);
    // Everything counts as changed (nothing is known yet).
    void invalidate() { m_all = true; }
    // The changed rows of `area` since the last call, merged into a few
    // bands in order, and forgets them. Empty when nothing there changed.
    std::vector<Span> take(const QRect& area);

private:
    bool m_all = true;
    std::vector<QRect> m_rects;
};

} // namespace rec
} // namespace sc
