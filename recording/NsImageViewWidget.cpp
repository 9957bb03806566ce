#include "recording/NsImageViewWidget.h"

NsImageViewWidget::NsImageViewWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ScNativeView NsImageViewWidget::nativeView()
{
    return ScNativeView(winId());
}
