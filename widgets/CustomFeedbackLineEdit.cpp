#include "widgets/CustomFeedbackLineEdit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include "widgets/TipTextStyle.h"

CustomFeedbackLineEdit::CustomFeedbackLineEdit(QWidget* parent)
    : QLineEdit(parent)
{
}

void CustomFeedbackLineEdit::setTipText(const QString& text)
{
    m_strTipText = text;
    update();
}

void CustomFeedbackLineEdit::setTipTextClr(const QColor& color)
{
    m_clrTip = color;
    update();
}

void CustomFeedbackLineEdit::setTipTextItalic(bool italic)
{
    m_bItalic = italic;
    update();
}

void CustomFeedbackLineEdit::setShowTipTextWhenFocused(bool show)
{
    m_bShowWhenFocused = show;
    update();
}

bool CustomFeedbackLineEdit::isTipShown() const
{
    if (hasFocus() && !m_bShowWhenFocused)
        return false;
    return text().isEmpty();
}

void CustomFeedbackLineEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (!isTipShown())
        return;

    QStyleOptionFrame option;
    initStyleOption(&option);
    QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    area.setLeft(area.left() + 4);

    QPainter painter(this);
    painter.setPen(TipTextStyle::color(m_clrTip));
    if (m_bItalic) {
        QFont italic = font();
        italic.setItalic(true);
        painter.setFont(italic);
    } else {
        painter.setFont(TipTextStyle::font());
    }
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, m_strTipText);
}
