#pragma once

#include <QCommonStyle>

// Gives menu items icons of one chosen size instead of the style's small
// icon size.
class CusMenuItemIconStyle : public QCommonStyle
{
    Q_OBJECT
public:
    CusMenuItemIconStyle();

    void SetCustomSize(int size) { m_nSize = size; }
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

private:
    int m_nSize = 18;
};
