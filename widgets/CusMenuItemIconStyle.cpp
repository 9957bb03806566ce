#include "widgets/CusMenuItemIconStyle.h"

CusMenuItemIconStyle::CusMenuItemIconStyle() = default;

int CusMenuItemIconStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                      const QWidget* widget) const
{
    if (metric == QStyle::PM_SmallIconSize)
        return m_nSize;
    return QCommonStyle::pixelMetric(metric, option, widget);
}
