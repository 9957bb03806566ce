#include "app/RegionGeometry.h"

#include <QtGlobal>

QSize defaultRegionSize(const QSize& display, qreal pixelRatio)
{
    int width = 0;
    int height = 0;
    if (pixelRatio > 1.0) {
        width = 2560;
        height = 1440;
    } else {
        width = display.width() > 1279 ? 1280 : display.width();
        height = display.height() > 719 ? 720 : display.height();
    }
    // The large default of a scaled desktop may exceed a small display.
    return QSize(qMin(width, display.width()), qMin(height, display.height()));
}

QRect centredRegion(const QSize& display, const QSize& size)
{
    int left = display.width() / 2 - (size.width() - 1) / 2;
    int top = display.height() / 2 - (size.height() - 1) / 2;
    // The half-pixel rounding above puts an even full-width region one
    // pixel past the display; a region that fits is left where it is.
    left = qBound(0, left, qMax(0, display.width() - size.width()));
    top = qBound(0, top, qMax(0, display.height() - size.height()));
    return QRect(left, top, size.width(), size.height());
}

QRect fitStoredRegion(const QRect& stored, const QSize& display, qreal pixelRatio)
{
    const QSize fallback = defaultRegionSize(display, pixelRatio);
    QRect region = stored;
    if (region.left() < 0 || region.width() < kMinRegionSide || region.right() + 1 > display.width())
        region = centredRegion(display, QSize(fallback.width(), region.height()));
    if (region.top() < 0 || region.height() < kMinRegionSide || region.bottom() + 1 > display.height())
        region = centredRegion(display, QSize(region.width(), fallback.height()));
    return region;
}

QSize lockedRatioSize(int w, int h, double ratio, bool widthTyped, const QSize& display)
{
    const int maxW = qMax(kMinRegionSide, display.width());
    const int maxH = qMax(kMinRegionSide, display.height());
    if (ratio > 0.0) {
        if (widthTyped) {
            w = qMin(w, maxW);
            h = int(w / ratio);
            if (h > maxH) {
                h = maxH;
                w = int(ratio * h);
            }
        } else {
            h = qMin(h, maxH);
            w = int(ratio * h);
            if (w > maxW) {
                w = maxW;
                h = int(w / ratio);
            }
        }
    }
    // A ratio far from square can still ask for a side below the minimum.
    return QSize(qBound(kMinRegionSide, w, maxW), qBound(kMinRegionSide, h, maxH));
}

QPoint videoCtlBarPos(const QRect& region, const QRect& full, const QSize& bar, bool atCorner)
{
    if (atCorner)
        return QPoint(full.right() - bar.width(), full.top() + 5);
    int left = region.right() - bar.width();
    int top = 0;
    if (region.bottom() + bar.height() + 5 < full.bottom())
        top = region.bottom() + 5;
    else if (region.top() - bar.height() - 5 >= full.top())
        top = region.top() - bar.height() - 5;
    else
        top = region.top() + 5;
    if (left < full.left())
        left = full.left();
    return QPoint(left, top);
}

