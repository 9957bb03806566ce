#include "widgets/CustomSpin.h"

#include <QKeyEvent>

#include "core/RecordParameter.h"

CustomSpin::CustomSpin(QWidget* parent)
    : QSpinBox(parent)
{
    // Connected to ourselves so that only emissions that reach receivers
    // (not those swallowed while typing) count as reported.
    connect(this, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int v) { m_nFocusValue = v; });
}

void CustomSpin::setCustomValue(int v)
{
    if (RecordParameter::instance()->isRetinaAndHalfSizeMode())
        setValue(v / 2);
    else
        setValue(v);
}

void CustomSpin::setCustomRange(int min, int max)
{
    if (RecordParameter::instance()->isRetinaAndHalfSizeMode())
        setRange(min, max / 2);
    else
        setRange(min, max);
}

int CustomSpin::customValue() const
{
    if (RecordParameter::instance()->isRetinaAndHalfSizeMode())
        return value() * 2;
    return value();
}

void CustomSpin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        QSpinBox::keyPressEvent(event);
        // Digits typed before Return changed the value silently; the base
        // class may not announce it again, so do it here, once.
        reportIfChanged();
        return;
    default:
        break;
    }
    const bool wasBlocked = blockSignals(true);
    QSpinBox::keyPressEvent(event);
    blockSignals(wasBlocked);
}

void CustomSpin::focusInEvent(QFocusEvent* event)
{
    m_nFocusValue = value();
    QSpinBox::focusInEvent(event);
}

void CustomSpin::focusOutEvent(QFocusEvent* event)
{
    QSpinBox::focusOutEvent(event);
    reportIfChanged();
}

void CustomSpin::reportIfChanged()
{
    if (value() != m_nFocusValue)
        emit valueChanged(value());
}
