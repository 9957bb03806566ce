#include "widgets/TipTextStyle.h"

#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"

namespace TipTextStyle {

QColor color(const QColor& explicitColor)
{
    if (explicitColor.isValid())
        return explicitColor;
    if (VxProductInfo::instance()->brand() == QLatin1String("4Vexor"))
        return QColor(Qt::lightGray);
    return QColor("#b9b3b8");
}

QFont font()
{
    return QFont(Utils::productFontFamily(VxResourceMgr::instance()->currentLanguage()), 10, QFont::Normal, false);
}

} // namespace TipTextStyle
