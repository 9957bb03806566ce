#include "widgets/CustomLineEdit.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include "widgets/MapUtils.h"

CustomLineEdit::CustomLineEdit(QWidget* parent) : QLineEdit(parent)
{
    // A composing input method would turn key presses into text.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void CustomLineEdit::setTipText(const QString& text)
{
    m_strTipText = text;
    update();
}

void CustomLineEdit::setTipTextItalic(bool italic)
{
    m_bTipItalic = italic;
    update();
}

void CustomLineEdit::setShowTipTextWhenFocused(bool show)
{
    m_bShowTipWhenFocused = show;
    update();
}

void CustomLineEdit::setTipColor(const QColor& color)
{
    m_tipColor = color;
    update();
}

void CustomLineEdit::setSelectColor(const QColor& color)
{
    m_selectColor = color;
    update();
}

void CustomLineEdit::setPenWidth(int width)
{
    m_penWidth = width;
    update();
}

void CustomLineEdit::setXRadius(float radius)
{
    m_xRadius = radius;
    update();
}

void CustomLineEdit::setYRadius(float radius)
{
    m_yRadius = radius;
    update();
}

void CustomLineEdit::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Backspace) {
        setText(tr("No Hotkey"));
        return;
    }
    // The table names keys by their portable text; Up, PgUp, Alt and Meta
    // are spelt differently there and so are refused.
    const QString name = QKeySequence(key).toString(QKeySequence::PortableText);
    if (!MapUtils::instance()->contains(name))
        return;
    if (key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt)
        return;
    const int modifiers =
        int(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    setText(QKeySequence(key | modifiers).toString(QKeySequence::NativeText));
}

void CustomLineEdit::keyReleaseEvent(QKeyEvent* event)
{
    clearFocus();
    QWidget::keyReleaseEvent(event);
}

void CustomLineEdit::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    update();
}

QRect CustomLineEdit::textRect() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
}

void CustomLineEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (hasFocus() && !m_bShowTipWhenFocused)
        return;

    QPainter painter(this);
    QRect frame = rect();
    if (text().isEmpty() && !m_strTipText.isEmpty()) {
        frame = textRect();
        QFont tipFont = font();
        tipFont.setItalic(m_bTipItalic);
        painter.setFont(tipFont);
        painter.setPen(m_tipColor);
        painter.drawText(frame, Qt::AlignLeft | Qt::AlignVCenter, m_strTipText);
    }
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(m_selectColor, 2);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const int inset = m_penWidth / 2;
        painter.drawRoundedRect(frame.adjusted(inset, inset, -inset, -inset), m_xRadius, m_yRadius);
    }
}
