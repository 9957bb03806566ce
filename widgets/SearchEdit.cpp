#include "widgets/SearchEdit.h"

#include <QEvent>
#include <QPainter>

SearchEdit::SearchEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_strTipText(tr("Search"))
{
}

void SearchEdit::setTextColor(const QColor& color)
{
    m_clrText = color;
    update();
}

void SearchEdit::setTextHOffset(int offset)
{
    m_nTextHOffset = offset;
    update();
}

void SearchEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (hasFocus() || !text().isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(m_clrText);
    QFont italic = font();
    italic.setItalic(true);
    painter.setFont(italic);
    // The whole widget, not the (possibly partial) update rectangle, so the
    // tip stays centred whatever part is repainted.
    QRect area = rect();
    area.setLeft(m_nTextHOffset);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, m_strTipText);
}

void SearchEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        m_strTipText = tr("Search");
        update();
    }
}
