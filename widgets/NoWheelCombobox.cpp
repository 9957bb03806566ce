#include "widgets/NoWheelCombobox.h"

#include <QWheelEvent>

NoWheelCombobox::NoWheelCombobox(QWidget* parent)
    : QComboBox(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void NoWheelCombobox::wheelEvent(QWheelEvent* event)
{
    // The plain widget ignores the event, so it travels on to the
    // enclosing scroll area.
    QWidget::wheelEvent(event);
}
