#include "capture/TrimBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

const int kHandleWidth = 10;
const int kGrab = 8;              // how near a handle a press takes it
const double kMinKept = 0.1;      // seconds the handles keep apart
const QColor kTrack(0xd5, 0xd9, 0xde);
const QColor kPlayed(0x2f, 0x7d, 0xe1);
const QColor kKept(0xf5, 0xa6, 0x23);
const QColor kDimmed(0x20, 0x24, 0x28, 110);

} // namespace

TrimBar::TrimBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("trimBar"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TrimBar::sizeHint() const
{
    return QSize(320, 28);
}

void TrimBar::setDuration(double seconds)
{
    m_duration = std::max(0.0, seconds);
    m_start = std::min(m_start, m_duration);
    m_end = m_trimming ? std::min(m_end, m_duration) : m_duration;
    update();
}

void TrimBar::setPosition(double seconds)
{
    if (m_drag == Drag::Seek)
        return;   // the hand leads while it drags
    m_position = std::clamp(seconds, 0.0, m_duration);
    update();
}

void TrimBar::setTrimming(bool trimming)
{
    m_trimming = trimming;
    m_start = 0.0;
    m_end = m_duration;
    m_drag = Drag::None;
    update();
}

QRectF TrimBar::track() const
{
    const double margin = kHandleWidth;
    return QRectF(margin, height() / 2.0 - 3, std::max(1.0, width() - 2 * margin), 6);
}

double TrimBar::xOf(double seconds) const
{
    const QRectF t = track();
    return m_duration > 0 ? t.left() + t.width() * seconds / m_duration : t.left();
}

double TrimBar::timeAt(double x) const
{
    const QRectF t = track();
    return std::clamp((x - t.left()) / t.width(), 0.0, 1.0) * m_duration;
}

void TrimBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF t = track();
    p.setBrush(isEnabled() ? kTrack : kTrack.lighter(110));
    p.drawRoundedRect(t, 3, 3);
    const double at = xOf(m_position);
    if (isEnabled()) {
        p.setBrush(kPlayed);
        p.drawRoundedRect(QRectF(t.left(), t.top(), at - t.left(), t.height()), 3, 3);
    }
    if (m_trimming) {
        const double a = xOf(m_start);
        const double b = xOf(m_end);
        p.setBrush(kDimmed);
        p.drawRect(QRectF(0, 2, a, height() - 4));
        p.drawRect(QRectF(b, 2, width() - b, height() - 4));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kKept, 2));
        p.drawRect(QRectF(a, 3, b - a, height() - 6));
        p.setPen(Qt::NoPen);
        p.setBrush(kKept);
        p.drawRoundedRect(QRectF(a - kHandleWidth, 1, kHandleWidth, height() - 2), 3, 3);
        p.drawRoundedRect(QRectF(b, 1, kHandleWidth, height() - 2), 3, 3);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(a - kHandleWidth / 2.0 - 1, height() / 2.0 - 5, 2, 10));
        p.drawRect(QRectF(b + kHandleWidth / 2.0 - 1, height() / 2.0 - 5, 2, 10));
    }
    if (!isEnabled())
        return;
    p.setBrush(Qt::white);
    p.setPen(QPen(kPlayed, 2));
    p.drawEllipse(QPointF(at, height() / 2.0), 6, 6);
}

void TrimBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_duration <= 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const double x = event->localPos().x();
    m_drag = Drag::Seek;
    if (m_trimming) {
        const double toStart = std::abs(x - (xOf(m_start) - kHandleWidth / 2.0));
        const double toEnd = std::abs(x - (xOf(m_end) + kHandleWidth / 2.0));
        if (std::min(toStart, toEnd) <= kGrab)
            m_drag = toStart <= toEnd ? Drag::Start : Drag::End;
    }
    dragTo(x);
}

void TrimBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_drag != Drag::None)
        dragTo(event->localPos().x());
}

void TrimBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_drag != Drag::None)
        dragTo(event->localPos().x());
    m_drag = Drag::None;
}

void TrimBar::dragTo(double x)
{
    const double gap = std::min(kMinKept, m_duration);
    switch (m_drag) {
    case Drag::Start:
        m_start = std::clamp(timeAt(x + kHandleWidth / 2.0), 0.0, m_end - gap);
        emit rangeChanged(m_start, m_end, m_start);
        break;
    case Drag::End:
        m_end = std::clamp(timeAt(x - kHandleWidth / 2.0), m_start + gap, m_duration);
        emit rangeChanged(m_start, m_end, m_end);
        break;
    case Drag::Seek: {
        double seconds = timeAt(x);
        if (m_trimming)
            seconds = std::clamp(seconds, m_start, m_end);
        m_position = seconds;
        emit seekRequested(seconds);
        break;
    }
    case Drag::None:
        return;
    }
    update();
}
