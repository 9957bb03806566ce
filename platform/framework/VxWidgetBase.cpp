#include "platform/framework/VxWidgetBase.h"

#include "platform/framework/VxProductInfo.h"

VxWidgetBase::VxWidgetBase(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
}

VxWidgetBase::~VxWidgetBase() = default;

void VxWidgetBase::postCreateDerivedWidget(bool framed, bool resizable, QMenuBar* menuBar)
{
    Q_UNUSED(resizable);
    Q_UNUSED(menuBar);
    if (!isWindow())
        return;
    if (framed) {
        if (windowTitle().isEmpty())
            setWindowTitle(VxProductInfo::instance()->productName());
    } else if (!(windowFlags() & Qt::FramelessWindowHint)) {
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    }
}

void VxWidgetBase::setWindowFlags(Qt::WindowFlags flags)
{
    // Only a widget that is a window stays one; a child given hint bits
    // remains a child.
    if (!(flags & Qt::WindowType_Mask) && isWindow())
        flags |= Qt::Window;
    QWidget::setWindowFlags(flags);
}
