#include "effects/CanvasStrokes.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QtMath>

#include <algorithm>

namespace sc {
namespace rec {

bool isCanvasShape(int shape)
{
    return shape >= kShapeRectangle && shape <= kShapeText;
}

void StrokeList::add(const Stroke& stroke)
{
    m_strokes.append(stroke);
    m_undone.clear();
}

bool StrokeList::undo()
{
    if (m_strokes.isEmpty())
        return false;
    m_undone.append(m_strokes.takeLast());
    return true;
}

bool StrokeList::redo()
{
    if (m_undone.isEmpty())
        return false;
    m_strokes.append(m_undone.takeLast());
    return true;
}

void StrokeList::clear()
{
    m_strokes.clear();
    m_undone.clear();
}

bool strokeHasSize(const Stroke& s)
{
    if (s.points.isEmpty())
        return false;
    switch (s.tool.shape) {
    case kShapeRectangle:
    case kShapeEllipse:
    case kShapeLine:
    case kShapeArrow:
        return s.points.size() >= 2 && (s.points.first() - s.points.last()).manhattanLength() >= 2;
    case kShapeText:
        return !s.text.isEmpty();
    default:
        return true;
    }
}

namespace {

// Only opaque colours are painted: a window without a compositor cannot
// show a see-through one, and the frames show what the screen shows.
bool opaque(const QColor& c)
{
    return c.isValid() && c.alpha() == 255;
}

double width(const Stroke& s)
{
    return std::max(1.0, s.tool.size);
}

QPolygonF polyline(const Stroke& s)
{
    QPolygonF line;
    for (const QPoint& p : s.points)
        line << QPointF(p);
    return line;
}

// The marker's body: a wide line with round ends.
QPainterPath markerBody(const Stroke& s)
{
    QPainterPath path;
    const QPolygonF line = polyline(s);
    path.moveTo(line.first());
    if (line.size() == 1)
        path.lineTo(line.first() + QPointF(0.01, 0));
    for (int i = 1; i < line.size(); ++i)
        path.lineTo(line[i]);
    QPainterPathStroker stroker;
    stroker.setWidth(std::max(12.0, width(s) * 4));
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).simplified();
}

// Sharp-edged: a shaped window has no half-covered pixels.
QFont fontOf(const Stroke& s, int pixelSize)
{
    QFont font(s.tool.fontFamily.isEmpty() ? QStringLiteral("Sans") : s.tool.fontFamily);
    font.setPixelSize(std::max(4, pixelSize));
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QPoint firstPoint(const Stroke& s)
{
    return s.points.isEmpty() ? QPoint() : s.points.first();
}

QPoint lastPoint(const Stroke& s)
{
    return s.points.isEmpty() ? QPoint() : s.points.last();
}

void paintBox(QPainter& painter, const Stroke& s)
{
    const QRect r = QRect(firstPoint(s), lastPoint(s)).normalized();
    const bool ellipse = s.tool.shape == kShapeEllipse;
    if (opaque(s.tool.background)) {
        painter.setBrush(s.tool.background);
        ellipse ? painter.drawEllipse(r) : painter.drawRect(r);
        painter.setBrush(Qt::NoBrush);
    }
    if (opaque(s.tool.colour)) {
        painter.setPen(QPen(s.tool.colour, width(s), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        ellipse ? painter.drawEllipse(r) : painter.drawRect(r);
    }
}

void paintArrow(QPainter& painter, const Stroke& s)
{
    const QColor& colour = s.tool.colour;
    const QLineF line(firstPoint(s), lastPoint(s));
    const double head = std::min(line.length(), std::max(12.0, width(s) * 3 + 8));
    const QPointF unit = line.length() > 0 ? (line.p2() - line.p1()) / line.length() : QPointF(1, 0);
    const QPointF normal(-unit.y(), unit.x());
    const QPointF base = line.p2() - unit * head;
    painter.setPen(QPen(colour, width(s), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(line.p1(), base);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(QPolygonF() << line.p2() << base + normal * head * 0.5 << base - normal * head * 0.5);
}

void paintNumber(QPainter& painter, const Stroke& s)
{
    const double radius = std::max(12.0, width(s) * 2 + 10);
    const QRectF circle(QPointF(firstPoint(s)) - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
    if (opaque(s.tool.colour)) {
        painter.setBrush(s.tool.colour);
        painter.drawEllipse(circle);
        painter.setBrush(Qt::NoBrush);
    }
    if (opaque(s.tool.background)) {
        QFont font = fontOf(s, int(radius * 1.1));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(s.tool.background);
        painter.drawText(circle, Qt::AlignCenter, QString::number(s.number));
    }
}

void paintStroke(QPainter& painter, const Stroke& s)
{
    const QColor& colour = s.tool.colour;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::NoPen);

    switch (s.tool.shape) {
    case kShapeRectangle:
    case kShapeEllipse:
        paintBox(painter, s);
        break;
    case kShapeLine:
        if (opaque(colour)) {
            painter.setPen(QPen(colour, width(s), Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(firstPoint(s), lastPoint(s));
        }
        break;
    case kShapeArrow:
        if (opaque(colour))
            paintArrow(painter, s);
        break;
    case kShapePen:
        if (opaque(colour)) {
            painter.setPen(QPen(colour, width(s), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            if (s.points.size() == 1)
                painter.drawPoint(firstPoint(s));
            else
                painter.drawPolyline(polyline(s));
        }
        break;
    case kShapeMarker:
        // Its outline is what the screen can show of it.
        if (!s.points.isEmpty() && opaque(colour)) {
            painter.setPen(QPen(colour, 1));
            painter.drawPath(markerBody(s));
        }
        break;
    case kShapeNumber:
        paintNumber(painter, s);
        break;
    case kShapeText:
        if (opaque(colour) && !s.text.isEmpty()) {
            // Point sizes as a 96 dpi screen shows them.
            painter.setFont(fontOf(s, qRound(s.tool.size * 96.0 / 72.0)));
            painter.setPen(colour);
            painter.drawText(QRect(firstPoint(s), QSize(1 << 14, 1 << 14)),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, s.text);
        }
        break;
    default:
        break;
    }
}

} // namespace

QImage renderStrokes(const QVector<Stroke>& strokes, const QSize& size)
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (const Stroke& s : strokes)
        paintStroke(painter, s);
    return image;
}

} // namespace rec
} // namespace sc
