#include "widgets/CustomTextEdit.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

#include "widgets/TipTextStyle.h"

TextWidget::TextWidget(QWidget* parent)
    : QWidget(parent)
{
}

void TextWidget::setText(const QString& text)
{
    if (m_strText == text)
        return;
    m_strText = text;
    update();
}

// The editor passes its colour from its own paint event: an unchanged colour
// must not schedule another repaint of the overlapping overlay.
void TextWidget::setTipTextClr(const QColor& color)
{
    if (m_clrTip == color)
        return;
    m_clrTip = color;
    update();
}

void TextWidget::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setPen(TipTextStyle::color(m_clrTip));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, m_strText);
}

CustomTextEdit::CustomTextEdit(QWidget* parent)
    : QTextEdit(parent)
    , m_pTextWidget(new TextWidget(this))
{
    // The tip lies over the editor but must not take its input: clicks fall
    // through to the viewport below, and the filter drops anything else.
    m_pTextWidget->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pTextWidget->setFocusPolicy(Qt::NoFocus);
    m_pTextWidget->hide();
    m_pTextWidget->installEventFilter(this);
}

void CustomTextEdit::setTipText(const QString& text)
{
    m_strTipText = text;
    m_pTextWidget->setText(text);
    m_pTextWidget->style()->unpolish(m_pTextWidget);
    m_pTextWidget->style()->polish(m_pTextWidget);
    viewport()->update();
}

void CustomTextEdit::setTipTextClr(const QColor& color)
{
    m_clrTip = color;
    viewport()->update();
}

void CustomTextEdit::paintEvent(QPaintEvent* event)
{
    QTextEdit::paintEvent(event);
    if (document()->toPlainText().isEmpty() && !m_strTipText.isEmpty()) {
        const QRect area(QPoint(11, 4), rect().bottomRight());
        if (m_pTextWidget->geometry() != area)
            m_pTextWidget->setGeometry(area);
        if (m_clrTip.isValid())
            m_pTextWidget->setTipTextClr(m_clrTip);
        if (!m_pTextWidget->isVisible()) {
            m_pTextWidget->show();
            m_pTextWidget->raise();
        }
    } else if (m_pTextWidget->isVisible()) {
        m_pTextWidget->hide();
    }
}

bool CustomTextEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pTextWidget) {
        // Only input is dropped; the overlay still needs its own
        // housekeeping events (show, resize, polish) to paint correctly.
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }
    return QTextEdit::eventFilter(watched, event);
}
