#include "widgets/VxSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

VxSlider::VxSlider(QWidget* parent)
    : QSlider(parent)
{
}

void VxSlider::travel(int& start, int& span) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option,
                                                 QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option,
                                                 QStyle::SC_SliderHandle, this);
    if (orientation() == Qt::Horizontal) {
        const int h = handle.width() / 2;
        start = groove.x() + h;
        span = groove.right() - h + 1 - start;
    } else {
        const int h = handle.height() / 2;
        start = groove.y() + h;
        span = groove.bottom() - h + 1 - start;
    }
}

int VxSlider::pixelPosToRangeValue(int pos) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    int start = 0;
    int span = 0;
    travel(start, span);
    return QStyle::sliderValueFromPosition(minimum(), maximum(), pos - start, span,
                                           option.upsideDown);
}

int VxSlider::rangeValueToPixelPos(int value) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    int start = 0;
    int span = 0;
    travel(start, span);
    return QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, option.upsideDown)
           + start;
}

void VxSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled()) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option,
                                                     QStyle::SC_SliderHandle, this);
        if (!handle.contains(event->pos())) {
            const int pos = orientation() == Qt::Horizontal ? qRound(event->localPos().x())
                                                            : qRound(event->localPos().y());
            const int v = pixelPosToRangeValue(pos);
            if (v != value()) {
                triggerAction(QAbstractSlider::SliderMove);
                setValue(v);
            }
        }
    }
    // The handle now lies under the pointer, so the base class starts an
    // ordinary drag from here.
    QSlider::mousePressEvent(event);
}
