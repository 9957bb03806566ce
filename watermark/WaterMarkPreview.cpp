#include "watermark/WaterMarkPreview.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

WaterMarkPreview::WaterMarkPreview(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("waterMarkPreview"));
    setMinimumSize(384, 216);
    setMouseTracking(true);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WaterMarkPreview::setData(const WaterMarkData& data)
{
    m_data = data;
    m_image = data.render(referenceFrame());
    update();
}

QRect WaterMarkPreview::frameRect() const
{
    // The largest 16:9 area that fits, centred.
    const int w = std::min(width(), height() * 16 / 9);
    const int h = w * 9 / 16;
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

double WaterMarkPreview::scale() const
{
    return double(frameRect().width()) / referenceFrame().width();
}

QRect WaterMarkPreview::markRect() const
{
    if (m_image.isNull())
        return QRect();
    const QPoint at = m_data.placeIn(referenceFrame(), m_image.size());
    const double s = scale();
    const QRect frame = frameRect();
    return QRect(frame.x() + int(std::lround(at.x() * s)), frame.y() + int(std::lround(at.y() * s)),
                 std::max(1, int(std::lround(m_image.width() * s))),
                 std::max(1, int(std::lround(m_image.height() * s))));
}

void WaterMarkPreview::placeAt(WaterMarkData& data, QPoint topLeft, QSize size)
{
    const QSize frame = referenceFrame();
    const int x = std::clamp(topLeft.x(), 0, std::max(0, frame.width() - size.width()));
    const int y = std::clamp(topLeft.y(), 0, std::max(0, frame.height() - size.height()));
    const int right = frame.width() - size.width() - x;
    const int bottom = frame.height() - size.height() - y;
    // Anchored to the nearer edges, so the margin keeps its meaning when
    // the recording is larger or smaller than the preview.
    const bool left = x <= right;
    const bool top = y <= bottom;
    data.m_nPosition = (top ? 0 : 6) + (left ? 0 : 2);
    while (data.m_lstMargin.size() < 4)
        data.m_lstMargin << 0;
    if (left)
        data.m_lstMargin[0] = x;
    else
        data.m_lstMargin[2] = right;
    if (top)
        data.m_lstMargin[1] = y;
    else
        data.m_lstMargin[3] = bottom;
}

void WaterMarkPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect frame = frameRect();
    QLinearGradient sky(frame.topLeft(), frame.bottomRight());
    sky.setColorAt(0, QColor(0x4a, 0x5a, 0x6e));
    sky.setColorAt(1, QColor(0x22, 0x2a, 0x33));
    painter.fillRect(frame, sky);
    if (!m_image.isNull())
        painter.drawImage(markRect(), m_image);
    if (m_bDragging || markRect().contains(mapFromGlobal(QCursor::pos()))) {
        painter.setPen(QPen(QColor(0xd9, 0x25, 0x2b), 1, Qt::DashLine));
        painter.drawRect(markRect().adjusted(-2, -2, 1, 1));
    }
}

void WaterMarkPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && markRect().contains(event->pos())) {
        m_bDragging = true;
        m_grab = event->pos() - markRect().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void WaterMarkPreview::mouseMoveEvent(QMouseEvent* event)
{
    const bool over = markRect().contains(event->pos());
    setCursor(m_bDragging ? Qt::ClosedHandCursor : over ? Qt::OpenHandCursor : Qt::ArrowCursor);
    if (m_bDragging && !m_image.isNull()) {
        const QPoint corner = event->pos() - m_grab - frameRect().topLeft();
        const double s = scale();
        placeAt(m_data, QPoint(int(std::lround(corner.x() / s)), int(std::lround(corner.y() / s))),
                m_image.size());
        emit placed(m_data);
    }
    // The tracked pointer moves all the time: repaint only when the mark
    // moves or its outline comes or goes.
    if (m_bDragging || over != m_bOver)
        update();
    m_bOver = over;
}

void WaterMarkPreview::mouseReleaseEvent(QMouseEvent* event)
{
    m_bDragging = false;
    update();
    QWidget::mouseReleaseEvent(event);
}
