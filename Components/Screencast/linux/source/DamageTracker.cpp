#include "source/DamageTracker.h"

#include <algorithm>

namespace sc {
namespace rec {

namespace {

// Rectangles kept before they are folded into one: a busy screen reports
// thousands a second.
constexpr std::size_t kMaxRects = 512;
// Bands closer than this are read as one (a request costs more than a few
// rows).
constexpr int kMergeGap = 16;
// More bands than this are read as one span from the first to the last.
constexpr std::size_t kMaxBands = 8;

} // namespace

void DamageTracker::add(const QRect& rect)
{
    if (m_all || rect.isEmpty())
        return;
    if (m_rects.size() >= kMaxRects) {
        QRect all = rect;
        for (const QRect& r : m_rects)
            all = all.united(r);
        m_rects.assign(1, all);
        return;
    }
    m_rects.push_back(rect);
}

std::vector<DamageTracker::Span> DamageTracker::take(const QRect& area)
{
    std::vector<Span> rows;
    if (m_all) {
        rows.emplace_back(0, area.height());
    } else {
        for (const QRect& r : m_rects) {
            const QRect part = r.intersected(area);
            if (!part.isEmpty())
                rows.emplace_back(part.top() - area.top(), part.bottom() + 1 - area.top());
        }
    }
    m_all = false;
    m_rects.clear();
    if (rows.empty())
        return rows;
    std::sort(rows.begin(), rows.end());
    std::vector<Span> bands{rows.front()};
    for (const Span& s : rows) {
        if (s.first <= bands.back().second + kMergeGap)
            bands.back().second = std::max(bands.back().second, s.second);
        else
            bands.push_back(s);
    }
    if (bands.size() > kMaxBands)
        bands = {Span(bands.front().first, bands.back().second)};
    return bands;
}

} // namespace rec
} // namespace sc
