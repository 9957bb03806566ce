#include "ui/CaptureOverlay.h"

#include "core/EngineCore.h"
#include "ui/OverlaySupport.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

namespace sc {
namespace ui {

namespace {

// How dark the screen outside the band gets.
const QColor kShade(0, 0, 0, 110);

// A keyboard grab fails while another program holds one (a menu that is
// still open, say); it is tried again this often before Esc is left to the
// input focus alone.
constexpr int kKeyboardRetryMs = 50;
constexpr int kKeyboardTries = 40;

} // namespace

CaptureWindow::CaptureWindow(const QRect& display, const QImage& frozen, CImageCaptureCallback* callback,
                             std::shared_ptr<rec::CallbackThread> callbacks)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::X11BypassWindowManagerHint),
      m_display(display),
      m_frozen(frozen),
      m_callback(callback),
      m_callbacks(std::move(callbacks))
{
    setObjectName(QStringLiteral("ScreenSelection"));
    setWindowTitle(QStringLiteral("Select an area"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);

    const EngineSettings s = settings();
    m_crossLine = blendedColour(s.screenSelLines.line, kDefaultLine);
    m_bandLine = blendedColour(s.imageBoxLines.line, kDefaultLine);
    m_bandEdge = blendedColour(s.imageBoxLines.edge, kDefaultEdge);
    m_tipFormat = s.zoomTipsFormat;

    m_darkened = m_frozen.convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&m_darkened);
        painter.fillRect(m_darkened.rect(), kShade);
    }
    const QPoint pointer = QCursor::pos();
    if (m_display.contains(pointer)) {
        m_pointer = pointer;
        m_pointerKnown = true;
    }
    setGeometry(m_display);
    show();
    raise();
}

QRect CaptureWindow::band() const
{
    if (m_state != State::Dragging && m_state != State::Selected)
        return QRect();
    return QRect(QPoint(qMin(m_anchor.x(), m_current.x()), qMin(m_anchor.y(), m_current.y())),
                 QPoint(qMax(m_anchor.x(), m_current.x()), qMax(m_anchor.y(), m_current.y())));
}

QString CaptureWindow::tipText() const
{
    const QRect b = band();
    return sizeTipText(m_tipFormat, b.width(), b.height());
}

void CaptureWindow::abandon()
{
    if (m_state == State::Waiting || m_state == State::Dragging)
        finish(State::Closed);
}

QPoint CaptureWindow::clamped(const QPoint& global) const
{
    return QPoint(qBound(m_display.left(), global.x(), m_display.right()),
                  qBound(m_display.top(), global.y(), m_display.bottom()));
}

template <class F> void CaptureWindow::post(F&& job)
{
    if (CImageCaptureCallback* callback = m_callback)
        m_callbacks->post([callback, job] { job(callback); });
}

void CaptureWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    takeKeyboard();
}

void CaptureWindow::takeKeyboard()
{
    if (m_state == State::Selected || m_state == State::Closed || !isVisible())
        return;
    // Esc must reach the selection whichever window had the focus: the
    // window takes the focus and grabs the keyboard.
    activateWindow();
    grabKeyboard();
    QWindow* handle = windowHandle();
    if (handle && !handle->setKeyboardGrabEnabled(true) && ++m_keyboardTries < kKeyboardTries)
        QTimer::singleShot(kKeyboardRetryMs, this, &CaptureWindow::takeKeyboard);
}

void CaptureWindow::finish(State state)
{
    const State was = m_state;
    m_state = state;
    releaseKeyboard();
    hide();
    if (was == State::Dragging)
        post([](CImageCaptureCallback* c) { c->OnEndResize(); });
    if (state == State::Selected) {
        const CRect rect = toCRect(band());
        post([rect](CImageCaptureCallback* c) { c->OnScreenSelCompleted(rect); });
    } else {
        post([](CImageCaptureCallback* c) { c->OnClose(); });
    }
    // The pictures are not needed once the selection is over.
    m_frozen = QImage();
    m_darkened = QImage();
}

void CaptureWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_darkened);
    const QPoint origin = m_display.topLeft();
    const QRect b = band().translated(-origin);
    if (!b.isEmpty()) {
        painter.drawImage(b.topLeft(), m_frozen, b);
        painter.setPen(QPen(m_bandEdge, 1));
        painter.drawRect(b.adjusted(-2, -2, 1, 1));
        painter.setPen(QPen(m_bandLine, 1));
        painter.drawRect(b.adjusted(-1, -1, 0, 0));
    }
    if (!m_pointerKnown)
        return;
    const QPoint p = m_pointer - origin;
    painter.setPen(QPen(m_crossLine, 1));
    painter.drawLine(0, p.y(), width() - 1, p.y());
    painter.drawLine(p.x(), 0, p.x(), height() - 1);

    if (b.isEmpty())
        return;
    // The size tip beside the cross-hair, turned inwards near an edge.
    const QString text = tipText();
    const QFontMetrics metrics(font());
    const QSize tip(metrics.horizontalAdvance(text) + 12, metrics.height() + 6);
    QPoint at = p + QPoint(14, 14);
    if (at.x() + tip.width() > width())
        at.setX(p.x() - 14 - tip.width());
    if (at.y() + tip.height() > height())
        at.setY(p.y() - 14 - tip.height());
    const QRect tipRect(at, tip);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 30, 210));
    painter.drawRoundedRect(tipRect, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(tipRect, Qt::AlignCenter, text);
}

void CaptureWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_state != State::Waiting)
        return;
    m_anchor = clamped(event->globalPos());
    m_current = m_anchor;
    m_pointer = m_anchor;
    m_pointerKnown = true;
    m_state = State::Dragging;
    post([](CImageCaptureCallback* c) { c->OnBeginResize(); });
    update();
}

void CaptureWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_state != State::Waiting && m_state != State::Dragging)
        return;
    m_pointer = clamped(event->globalPos());
    m_pointerKnown = true;
    if (m_state == State::Dragging && m_pointer != m_current) {
        m_current = m_pointer;
        const CRect rect = toCRect(band());
        post([rect](CImageCaptureCallback* c) { c->OnSizeChanged(rect); });
    }
    update();
}

void CaptureWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_state != State::Dragging)
        return;
    const QPoint at = clamped(event->globalPos());
    if (at != m_current) {
        m_current = at;
        const CRect rect = toCRect(band());
        post([rect](CImageCaptureCallback* c) { c->OnSizeChanged(rect); });
    }
    if (m_current == m_anchor) {
        // A click without a drag selects nothing: the selection goes on.
        m_state = State::Waiting;
        post([](CImageCaptureCallback* c) { c->OnEndResize(); });
        update();
        return;
    }
    finish(State::Selected);
}

void CaptureWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        abandon();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------

ImageCaptureObject* ImageCaptureObject::create(CImageCaptureCallback* callback)
{
    if (!overlaysAvailable())
        return nullptr;
    const QRect display = selectedDisplayRect();
    if (display.isEmpty())
        return nullptr;
    // Read before the window exists, so that the picture is the screen as
    // the user left it.
    const QImage frozen = grabScreen(display);
    if (frozen.isNull())
        return nullptr;
    ImageCaptureObject* object = new ImageCaptureObject;
    object->m_callbacks = std::make_shared<rec::CallbackThread>();
    std::shared_ptr<rec::CallbackThread> callbacks = object->m_callbacks;
    CaptureWindow* window = nullptr;
    rec::runOnGui([&] { window = new CaptureWindow(display, frozen, callback, callbacks); });
    object->m_window = window;
    return object;
}

void ImageCaptureObject::release()
{
    QPointer<CaptureWindow> window = m_window;
    rec::runOnGui([window] {
        if (!window)
            return;
        window->abandon();
        delete window.data();
    });
    // OnClose of a selection that was still running is delivered before
    // this returns; nothing comes after it.
    m_callbacks->stop();
    delete this;
}

} // namespace ui
} // namespace sc
