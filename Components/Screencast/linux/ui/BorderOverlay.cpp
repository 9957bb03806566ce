#include "ui/BorderOverlay.h"

#include "core/EngineCore.h"

#include "Screencast.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace sc {
namespace rec {

namespace {

// No compositor: a window's alpha would only darken it, so the border is
// drawn opaque in the colours' RGB.
QColor opaque(ColorRef colour)
{
    return QColor::fromRgb(colour & 0xffffffu);
}

CRect toCRect(const QRect& r)
{
    return CRect{double(r.left()), double(r.top()), double(r.left() + r.width()), double(r.top() + r.height())};
}

} // namespace

BorderStrip::BorderStrip(BorderFrame* frame, bool draggable)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint
                           | (draggable ? Qt::WindowFlags() : Qt::WindowTransparentForInput)),
      m_frame(frame)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Recording border"));
    if (draggable)
        setCursor(Qt::SizeAllCursor);
}

void BorderStrip::paintEvent(QPaintEvent*)
{
    // The ring is drawn in global coordinates, each strip showing its part:
    // an edge line on both sides of the main line.
    const QRect area = m_frame->area();
    const int t = m_frame->thickness();
    const LineColors colours = m_frame->colours();
    QPainter painter(this);
    painter.translate(-pos());
    painter.fillRect(area.adjusted(-t, -t, t, t), opaque(colours.edge));
    painter.fillRect(area.adjusted(-t + 1, -t + 1, t - 1, t - 1), opaque(colours.line));
    painter.fillRect(area.adjusted(-1, -1, 1, 1), opaque(colours.edge));
}

void BorderStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_frame->beginDrag(event->globalPos());
}

void BorderStrip::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        m_frame->dragTo(event->globalPos());
}

void BorderStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_frame->endDrag(event->globalPos());
}

// ---------------------------------------------------------------------------

BorderFrame::BorderFrame(const RecordingSetup& setup, std::shared_ptr<AreaDrag> drag,
                         std::shared_ptr<CallbackThread> callbacks)
    : m_area(drag ? drag->area() : setup.area), m_draggable(drag != nullptr), m_drag(std::move(drag)),
      m_callbacks(std::move(callbacks)), m_callback(setup.callback)
{
    const EngineSettings s = settings();
    m_recordColours = s.recordBoxLines;
    m_pauseColours = s.pauseBoxLines;
    for (BorderStrip*& strip : m_strips)
        strip = new BorderStrip(this, m_draggable);
    if (setup.windowOption == kWindowListSingle && !setup.include.empty()) {
        // Around the recorded window, wherever it goes.
        m_window = setup.include.front();
        followWindow();
        QTimer* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &BorderFrame::followWindow);
        timer->start(kFollowMs);
    }
    place();
    for (BorderStrip* strip : m_strips) {
        strip->show();
        strip->raise();
    }
}

BorderFrame::~BorderFrame()
{
    for (BorderStrip* strip : m_strips)
        delete strip;
}

void BorderFrame::place()
{
    const int t = thickness();
    const QRect outer = m_area.adjusted(-t, -t, t, t);
    const QRect geometry[4] = {
        QRect(outer.left(), outer.top(), outer.width(), t),
        QRect(outer.left(), m_area.bottom() + 1, outer.width(), t),
        QRect(outer.left(), m_area.top(), t, m_area.height()),
        QRect(m_area.right() + 1, m_area.top(), t, m_area.height()),
    };
    for (int i = 0; i < 4; ++i) {
        m_strips[std::size_t(i)]->setGeometry(geometry[i]);
        m_strips[std::size_t(i)]->update();
    }
}

void BorderFrame::followWindow()
{
    const CRect r = GetWindowRect(m_window);
    const QRect frame(int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top));
    if (frame.isEmpty())
        return;     // gone or not there yet; the recording ends on its own
    if (frame != m_area) {
        m_area = frame;
        place();
    }
}

void BorderFrame::setArea(const QRect& area)
{
    if (m_window)
        return;     // the window decides
    // While the user drags, the drag decides where the border is; the
    // recorder's answers lag a frame behind.
    if (m_dragging || area == m_area || area.isEmpty())
        return;
    m_area = area;
    place();
}

void BorderFrame::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    for (BorderStrip* strip : m_strips)
        strip->update();
}

void BorderFrame::beginDrag(const QPoint& at)
{
    if (!m_drag || m_dragging)
        return;
    m_dragging = true;
    m_dragOrigin = at;
    m_dragStartArea = m_drag->area();
    if (CRecoderCallback* callback = m_callback)
        m_callbacks->post([callback] { callback->OnRecordingRegionBeginDrag(); });
}

void BorderFrame::dragTo(const QPoint& at)
{
    if (!m_dragging)
        return;
    const QRect moved = m_drag->moveTo(m_dragStartArea.topLeft() + (at - m_dragOrigin));
    if (moved != m_area) {
        m_area = moved;
        place();
    }
}

void BorderFrame::endDrag(const QPoint& at)
{
    if (!m_dragging)
        return;
    dragTo(at);
    m_dragging = false;
    const CRect rect = toCRect(m_area);
    if (CRecoderCallback* callback = m_callback)
        m_callbacks->post([callback, rect] { callback->OnRecordingRegionEndDrag(rect); });
}

// ---------------------------------------------------------------------------

std::unique_ptr<BorderOverlay> BorderOverlay::create(const RecordingSetup& setup)
{
    const bool draggable = isDraggableArea(setup);
    const bool single = setup.windowOption == kWindowListSingle;
    if ((!setup.boundary && !draggable) || (setup.area.isEmpty() && !single) || !haveWidgets())
        return nullptr;
    std::unique_ptr<BorderOverlay> overlay(new BorderOverlay);
    overlay->m_callbacks = std::make_shared<CallbackThread>();
    std::shared_ptr<AreaDrag> drag = draggable ? areaDragFor(setup) : nullptr;
    BorderFrame* frame = nullptr;
    std::shared_ptr<CallbackThread> callbacks = overlay->m_callbacks;
    runOnGui([&] { frame = new BorderFrame(setup, drag, callbacks); });
    overlay->m_frame = frame;
    return overlay;
}

BorderOverlay::~BorderOverlay()
{
    // No callback after this returns, even if the strips live on for a
    // turn of the GUI thread's event loop.
    m_callbacks->stop();
    BorderFrame* frame = m_frame.data();
    if (!frame)
        return;
    if (onGuiThread())
        delete frame;
    else
        frame->deleteLater();
}

void BorderOverlay::setPaused(bool paused)
{
    BorderFrame* frame = m_frame.data();
    postTo(frame, [frame, paused] { frame->setPaused(paused); });
}

void BorderOverlay::setArea(const QRect& area)
{
    BorderFrame* frame = m_frame.data();
    postTo(frame, [frame, area] { frame->setArea(area); });
}

} // namespace rec
} // namespace sc
