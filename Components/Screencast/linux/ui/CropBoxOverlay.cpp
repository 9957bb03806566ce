#include "ui/CropBoxOverlay.h"

#include "core/EngineCore.h"
#include "ui/OverlaySupport.h"

#include <QMouseEvent>
#include <QPainter>

namespace sc {
namespace ui {

namespace {

constexpr int kMinBox = 3 * CropBoxWindow::kAnchor + 5;

QRect anchorRect(BoxGrip grip, const QSize& size)
{
    const int a = CropBoxWindow::kAnchor;
    const int right = size.width() - a;
    const int bottom = size.height() - a;
    const int midX = (size.width() - a) / 2;
    const int midY = (size.height() - a) / 2;
    switch (grip) {
    case BoxGrip::TopLeft: return QRect(0, 0, a, a);
    case BoxGrip::Top: return QRect(midX, 0, a, a);
    case BoxGrip::TopRight: return QRect(right, 0, a, a);
    case BoxGrip::Right: return QRect(right, midY, a, a);
    case BoxGrip::BottomRight: return QRect(right, bottom, a, a);
    case BoxGrip::Bottom: return QRect(midX, bottom, a, a);
    case BoxGrip::BottomLeft: return QRect(0, bottom, a, a);
    case BoxGrip::Left: return QRect(0, midY, a, a);
    case BoxGrip::None:
    case BoxGrip::Move: break;
    }
    return QRect();
}

const BoxGrip kAnchors[] = {BoxGrip::TopLeft, BoxGrip::Top,         BoxGrip::TopRight, BoxGrip::Right,
                            BoxGrip::BottomRight, BoxGrip::Bottom, BoxGrip::BottomLeft, BoxGrip::Left};

Qt::CursorShape cursorFor(BoxGrip grip)
{
    switch (grip) {
    case BoxGrip::TopLeft:
    case BoxGrip::BottomRight: return Qt::SizeFDiagCursor;
    case BoxGrip::TopRight:
    case BoxGrip::BottomLeft: return Qt::SizeBDiagCursor;
    case BoxGrip::Left:
    case BoxGrip::Right: return Qt::SizeHorCursor;
    case BoxGrip::Top:
    case BoxGrip::Bottom: return Qt::SizeVerCursor;
    case BoxGrip::Move: return Qt::SizeAllCursor;
    case BoxGrip::None: break;
    }
    return Qt::ArrowCursor;
}

BoxLimits limitsFor(bool keepRatio, double ratio)
{
    BoxLimits limits;
    limits.display = selectedDisplayRect();
    limits.minSize = kMinBox;
    limits.keepRatio = keepRatio;
    limits.ratio = ratio;
    return limits;
}

} // namespace

CropBoxWindow::CropBoxWindow(const QRect& box, bool keepRatio, double ratio, CScreenCropCallback* callback,
                             std::shared_ptr<rec::CallbackThread> callbacks)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus),
      m_limits(limitsFor(keepRatio, ratio)),
      m_callback(callback),
      m_callbacks(std::move(callbacks))
{
    setObjectName(QStringLiteral("ScreenCropBox"));
    setWindowTitle(QStringLiteral("Region box"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    const EngineSettings s = settings();
    m_line = opaqueColour(s.screenCropLines.line, kDefaultLine);
    m_edge = opaqueColour(s.screenCropLines.edge, kDefaultEdge);
    m_anchorFill = opaqueColour(s.screenCropAnchors.fill, kDefaultEdge);
    m_anchorEdge = opaqueColour(s.screenCropAnchors.edge, kDefaultLine);
    m_box = fittedBox(box, m_limits);
    setGeometry(m_box);
    setMask(shapeFor(m_box.size()));
    show();
    raise();
    if (m_box != box)
        postRect(m_box);
}

QRegion CropBoxWindow::shapeFor(const QSize& size)
{
    const QRect all(QPoint(0, 0), size);
    QRegion shape = QRegion(all) - QRegion(all.adjusted(kBorder, kBorder, -kBorder, -kBorder));
    for (BoxGrip grip : kAnchors)
        shape += anchorRect(grip, size);
    return shape;
}

BoxGrip CropBoxWindow::gripAt(const QPoint& local) const
{
    for (BoxGrip grip : kAnchors) {
        if (anchorRect(grip, size()).contains(local))
            return grip;
    }
    const QRect all = rect();
    if (all.contains(local) && !all.adjusted(kBorder, kBorder, -kBorder, -kBorder).contains(local))
        return BoxGrip::Move;
    return BoxGrip::None;
}

void CropBoxWindow::setBox(const QRect& box)
{
    m_limits = limitsFor(m_limits.keepRatio, ratioOf(box.width(), box.height()));
    const QRect fitted = fittedBox(box, m_limits);
    // A drag in progress starts again from here.
    m_startBox = fitted;
    apply(fitted);
    if (fitted != box)
        postRect(fitted);
}

void CropBoxWindow::apply(const QRect& box)
{
    if (box == m_box)
        return;
    m_box = box;
    setGeometry(box);
    update();
}

void CropBoxWindow::resizeEvent(QResizeEvent*)
{
    setMask(shapeFor(size()));
}

void CropBoxWindow::paintEvent(QPaintEvent*)
{
    // Everything outside the border and the anchors is cut away by the
    // mask, so the rings are simply filled one inside the other: an edge
    // line on both sides of the main line.
    QPainter painter(this);
    const QRect all = rect();
    painter.fillRect(all, m_edge);
    painter.fillRect(all.adjusted(1, 1, -1, -1), m_line);
    painter.fillRect(all.adjusted(kBorder - 1, kBorder - 1, 1 - kBorder, 1 - kBorder), m_edge);
    for (BoxGrip grip : kAnchors) {
        const QRect a = anchorRect(grip, size());
        painter.fillRect(a, m_anchorEdge);
        painter.fillRect(a.adjusted(1, 1, -1, -1), m_anchorFill);
    }
}

void CropBoxWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_grip != BoxGrip::None)
        return;
    const BoxGrip grip = gripAt(event->pos());
    if (grip == BoxGrip::None)
        return;
    m_grip = grip;
    m_pressAt = event->globalPos();
    m_startBox = m_box;
    post(&CScreenCropCallback::OnBeginDrag);
}

void CropBoxWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grip == BoxGrip::None) {
        setCursor(cursorFor(gripAt(event->pos())));
        return;
    }
    dragTo(event->globalPos());
}

void CropBoxWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_grip == BoxGrip::None)
        return;
    dragTo(event->globalPos());
    m_grip = BoxGrip::None;
    post(&CScreenCropCallback::OnEndDrag);
}

void CropBoxWindow::dragTo(const QPoint& global)
{
    const QRect box = resizedBox(m_startBox, m_grip, global - m_pressAt, m_limits);
    if (box == m_box)
        return;
    apply(box);
    postRect(box);
}

void CropBoxWindow::post(void (CScreenCropCallback::*event)())
{
    if (CScreenCropCallback* callback = m_callback)
        m_callbacks->post([callback, event] { (callback->*event)(); });
}

void CropBoxWindow::postRect(const QRect& box)
{
    const CRect rect = toCRect(box);
    if (CScreenCropCallback* callback = m_callback)
        m_callbacks->post([callback, rect] { callback->OnScreenRectChanged(rect); });
}

// ---------------------------------------------------------------------------

CropBoxObject* CropBoxObject::create(CScreenCropCallback* callback, CRect screenRect, bool keepRatio, int width,
                                     int height)
{
    if (!overlaysAvailable() || selectedDisplayRect().isEmpty())
        return nullptr;
    const QRect box = toQRect(screenRect);
    // The ratio to keep is the one the caller gives; without a usable one,
    // the box's own.
    const double ratio = width > 0 && height > 0 ? ratioOf(width, height) : ratioOf(box.width(), box.height());
    CropBoxObject* object = new CropBoxObject;
    object->m_callbacks = std::make_shared<rec::CallbackThread>();
    std::shared_ptr<rec::CallbackThread> callbacks = object->m_callbacks;
    CropBoxWindow* window = nullptr;
    rec::runOnGui([&] { window = new CropBoxWindow(box, keepRatio, ratio, callback, callbacks); });
    object->m_window = window;
    return object;
}

void CropBoxObject::release()
{
    // Off the screen first, so that nothing new is posted; then the
    // callbacks already posted are delivered before this returns, and none
    // after it.
    QPointer<CropBoxWindow> window = m_window;
    rec::runOnGui([window] { delete window.data(); });
    m_callbacks->stop();
    delete this;
}

void CropBoxObject::setRect(CRect screenRect)
{
    QPointer<CropBoxWindow> window = m_window;
    const QRect box = toQRect(screenRect);
    rec::runOnGui([window, box] {
        if (window)
            window->setBox(box);
    });
}

} // namespace ui
} // namespace sc
