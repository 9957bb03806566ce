#include "ui/Canvas.h"

#include "source/AreaControl.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QSocketNotifier>

#include <unistd.h>

namespace sc {
namespace rec {

void CanvasDecorator::decorate(VideoFrame& frame)
{
    std::shared_ptr<const QImage> picture;
    QRect area;
    {
        std::lock_guard<std::mutex> lock(m_layer->mutex);
        picture = m_layer->picture;
        area = m_layer->area;
    }
    if (picture != m_drawn || area != m_drawnArea)
        frame.allChanged = true;
    m_drawn = picture;
    m_drawnArea = area;
    if (!picture || frame.image.isNull() || frame.screenRect.isEmpty())
        return;
    const double sx = double(frame.image.width()) / frame.screenRect.width();
    const double sy = double(frame.image.height()) / frame.screenRect.height();
    const QPointF at((area.x() - frame.screenRect.x()) * sx, (area.y() - frame.screenRect.y()) * sy);
    QPainter painter(&frame.image);
    if (sx == 1.0 && sy == 1.0) {
        painter.drawImage(at.toPoint(), *picture);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(at, QSizeF(picture->width() * sx, picture->height() * sy)), *picture);
    }
}

// ---------------------------------------------------------------------------

CanvasView::CanvasView()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint
                           | Qt::WindowTransparentForInput)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Drawing"));
}

void CanvasView::setPicture(const QImage& picture)
{
    m_picture = picture;
    // The window is shaped to the strokes: everywhere else the desktop
    // shows through untouched.
    const QRegion shape(QBitmap::fromImage(picture.createAlphaMask()));
    if (shape.isEmpty()) {
        hide();
        return;
    }
    setMask(shape);
    if (!isVisible()) {
        show();
        raise();
    }
    update();
}

void CanvasView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, m_picture);
}

// ---------------------------------------------------------------------------

CanvasInput::CanvasInput()
{
    if (!m_x.ok())
        return;
    xcb_connection_t* c = m_x.conn();
    // The cross-hair of the standard cursor font.
    const xcb_font_t font = xcb_generate_id(c);
    xcb_open_font(c, font, 6, "cursor");
    const xcb_cursor_t cursor = xcb_generate_id(c);
    xcb_create_glyph_cursor(c, cursor, font, font, 34, 35, 0, 0, 0, 0xffff, 0xffff, 0xffff);
    xcb_close_font(c, font);

    m_window = xcb_generate_id(c);
    const uint32_t values[] = {1,
                               XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE
                                   | XCB_EVENT_MASK_POINTER_MOTION,
                               cursor};
    xcb_create_window(c, 0, m_window, m_x.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK | XCB_CW_CURSOR, values);
    xcb_free_cursor(c, cursor);
    // Marked as this program's, like its other windows.
    const uint32_t pid = uint32_t(getpid());
    const xcb_atom_t pidAtom = m_x.atom("_NET_WM_PID");
    if (pidAtom != XCB_ATOM_NONE)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_flush(c);

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CanvasInput::pump);
}

CanvasInput::~CanvasInput()
{
    // The notifier goes before the connection closes its socket.
    delete m_notifier;
    m_notifier = nullptr;
    if (m_window != XCB_WINDOW_NONE && m_x.ok()) {
        xcb_destroy_window(m_x.conn(), m_window);
        xcb_flush(m_x.conn());
    }
}

bool CanvasInput::ok() const
{
    return m_window != XCB_WINDOW_NONE && m_x.ok();
}

void CanvasInput::setArea(const QRect& area)
{
    if (!ok() || area.isEmpty())
        return;
    m_area = area;
    const uint32_t values[] = {uint32_t(area.x()), uint32_t(area.y()), uint32_t(area.width()), uint32_t(area.height())};
    xcb_configure_window(m_x.conn(), m_window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(m_x.conn());
}

void CanvasInput::setActive(bool active)
{
    if (!ok() || active == m_active)
        return;
    m_active = active;
    m_pressed = false;
    if (active) {
        xcb_map_window(m_x.conn(), m_window);
        raiseUnderOwnWindows();
    } else {
        xcb_unmap_window(m_x.conn(), m_window);
    }
    m_x.sync();
    // Events read while waiting for replies do not wake the notifier.
    QMetaObject::invokeMethod(this, &CanvasInput::pump, Qt::QueuedConnection);
}

void CanvasInput::raiseUnderOwnWindows()
{
    // Right above the topmost window of another program over the area:
    // this program's own windows above it (the control bar with the
    // drawing tools) keep their clicks. Windows off the area do not count:
    // a window manager keeps small helper windows of its own at the top
    // of the stack, off the screen, and rising above one of those would
    // cover the control bar too.
    const std::vector<StackedWindow> stack = stackedWindows(m_x);
    OwnWindows own(m_x);
    xcb_window_t sibling = XCB_WINDOW_NONE;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (it->id == m_window || !it->viewable || !it->outer.intersects(m_area))
            continue;
        if (!own.isOwn(it->id)) {
            sibling = it->id;
            break;
        }
    }
    if (sibling != XCB_WINDOW_NONE) {
        const uint32_t values[] = {sibling, XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_x.conn(), m_window, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    } else {
        const uint32_t values[] = {XCB_STACK_MODE_BELOW};
        xcb_configure_window(m_x.conn(), m_window, XCB_CONFIG_WINDOW_STACK_MODE, values);
    }
}

void CanvasInput::pump()
{
    if (!m_x.ok()) {
        if (m_notifier)
            m_notifier->setEnabled(false);
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x.conn())) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_BUTTON_PRESS) {
            const auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
            if (e->event == m_window && e->detail == 1 && m_active && !m_pressed) {
                m_pressed = true;
                emit pressed(QPoint(e->event_x, e->event_y));
            }
        } else if (type == XCB_MOTION_NOTIFY) {
            const auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(event);
            if (e->event == m_window && m_pressed)
                emit moved(QPoint(e->event_x, e->event_y));
        } else if (type == XCB_BUTTON_RELEASE) {
            const auto* e = reinterpret_cast<xcb_button_release_event_t*>(event);
            if (e->event == m_window && e->detail == 1 && m_pressed) {
                m_pressed = false;
                emit released(QPoint(e->event_x, e->event_y));
            }
        }
        std::free(event);
    }
}

// ---------------------------------------------------------------------------

CanvasTextEdit::CanvasTextEdit(const CanvasTool& tool, const QPoint& globalAt) : QLineEdit(nullptr)
{
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    QFont font(tool.fontFamily.isEmpty() ? QStringLiteral("Sans") : tool.fontFamily);
    font.setPixelSize(std::max(4, qRound(tool.size * 96.0 / 72.0)));
    setFont(font);
    QPalette palette = this->palette();
    QColor colour = tool.colour;
    colour.setAlpha(255);
    palette.setColor(QPalette::Text, colour);
    setPalette(palette);
    setFrame(false);
    setTextMargins(0, 0, 0, 0);
    resize(std::max(240, fontMetrics().averageCharWidth() * 24), fontMetrics().height() + 4);
    move(globalAt);
    connect(this, &QLineEdit::returnPressed, this, [this] {
        finish(text());
        close();
    });
}

void CanvasTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        finish(QString());
        close();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CanvasTextEdit::hideEvent(QHideEvent* event)
{
    // A click elsewhere closes the editor and keeps what was typed.
    finish(text());
    QLineEdit::hideEvent(event);
}

void CanvasTextEdit::finish(const QString& text)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(text);
}

// ---------------------------------------------------------------------------

CanvasController::CanvasController(const QRect& area, CScreenCanvasEvent* events,
                                   std::shared_ptr<CallbackThread> callbacks, std::shared_ptr<CanvasFrameLayer> layer)
    : m_area(area), m_events(events), m_callbacks(std::move(callbacks)), m_layer(std::move(layer))
{
    m_view = new CanvasView;
    m_view->setGeometry(area);
    m_input = new CanvasInput;
    m_input->setParent(this);
    m_input->setArea(area);
    connect(m_input, &CanvasInput::pressed, this, &CanvasController::onPressed);
    connect(m_input, &CanvasInput::moved, this, &CanvasController::onMoved);
    connect(m_input, &CanvasInput::released, this, &CanvasController::onReleased);
    std::lock_guard<std::mutex> lock(m_layer->mutex);
    m_layer->area = area;
}

CanvasController::~CanvasController()
{
    if (CanvasTextEdit* edit = m_textEdit.data()) {
        edit->disconnect(this);
        delete edit;
    }
    delete m_view;
}

void CanvasController::start(const CanvasTool& tool)
{
    if (!isCanvasShape(tool.shape)) {
        stop();
        return;
    }
    finishText();
    if (m_drawing)
        onReleased(m_current.points.last());
    m_tool = tool;
    m_input->setActive(true);
}

void CanvasController::stop()
{
    finishText();
    if (m_drawing)
        onReleased(m_current.points.last());
    m_tool = CanvasTool();
    m_input->setActive(false);
}

void CanvasController::undo()
{
    m_drawing = false;
    if (m_strokes.undo())
        refresh();
    report();
}

void CanvasController::redo()
{
    m_drawing = false;
    if (m_strokes.redo())
        refresh();
    report();
}

void CanvasController::clear()
{
    m_drawing = false;
    m_strokes.clear();
    refresh();
    report();
}

void CanvasController::setArea(const QRect& area)
{
    if (area == m_area || area.isEmpty())
        return;
    m_area = area;
    m_view->setGeometry(area);
    m_input->setArea(area);
    std::lock_guard<std::mutex> lock(m_layer->mutex);
    m_layer->area = area;
}

void CanvasController::onPressed(const QPoint& at)
{
    switch (m_tool.shape) {
    case kShapeNone:
    case kShapeText:    // the editor opens where the button is released
        break;
    case kShapeNumber: {
        Stroke callout;
        callout.tool = m_tool;
        callout.points = {at};
        callout.number = ++m_lastNumber;
        commit(callout);
        if (m_events) {
            CScreenCanvasEvent* events = m_events;
            const int next = m_lastNumber + 1;
            m_callbacks->post([events, next] { events->OnNumberChanged(next); });
        }
        break;
    }
    default:
        m_drawing = true;
        m_current = Stroke();
        m_current.tool = m_tool;
        m_current.points = {at};
        refresh();
        break;
    }
}

void CanvasController::onMoved(const QPoint& at)
{
    if (!m_drawing)
        return;
    if (m_current.tool.shape == kShapePen || m_current.tool.shape == kShapeMarker) {
        if (m_current.points.last() != at)
            m_current.points.append(at);
    } else {
        m_current.points = {m_current.points.first(), at};
    }
    refresh();
}

void CanvasController::onReleased(const QPoint& at)
{
    if (m_tool.shape == kShapeText && !m_textEdit) {
        const CanvasTool tool = m_tool;
        const QPoint point = at;
        CanvasTextEdit* edit = new CanvasTextEdit(tool, m_area.topLeft() + at);
        m_textEdit = edit;
        connect(edit, &CanvasTextEdit::finished, this, [this, tool, point](const QString& text) {
            Stroke written;
            written.tool = tool;
            written.points = {point};
            written.text = text;
            if (strokeHasSize(written))
                commit(written);
        });
        edit->show();
        edit->activateWindow();
        edit->setFocus();
        return;
    }
    if (!m_drawing)
        return;
    onMoved(at);
    m_drawing = false;
    if (strokeHasSize(m_current))
        commit(m_current);
    else
        refresh();
}

void CanvasController::finishText()
{
    if (CanvasTextEdit* edit = m_textEdit.data())
        edit->close();
}

void CanvasController::commit(const Stroke& stroke)
{
    m_strokes.add(stroke);
    refresh();
    report();
}

void CanvasController::refresh()
{
    QVector<Stroke> all = m_strokes.strokes();
    if (m_drawing)
        all.append(m_current);
    const QImage strokes = renderStrokes(all, m_area.size());
    m_view->setPicture(strokes);
    std::shared_ptr<const QImage> picture;
    if (!all.isEmpty())
        picture = std::make_shared<const QImage>(strokes);
    std::lock_guard<std::mutex> lock(m_layer->mutex);
    m_layer->picture = std::move(picture);
}

void CanvasController::report()
{
    if (!m_events)
        return;
    CScreenCanvasEvent* events = m_events;
    const signed char canUndo = m_strokes.canUndo() ? 1 : 0;
    const signed char canRedo = m_strokes.canRedo() ? 1 : 0;
    m_callbacks->post([events, canUndo, canRedo] { events->OnScreenCanvasEvent(canUndo, canRedo); });
}

// ---------------------------------------------------------------------------

std::unique_ptr<RecordingCanvas> RecordingCanvas::create(const RecordingSetup& setup, CScreenCanvasEvent* events)
{
    if (setup.area.isEmpty() || !haveWidgets())
        return nullptr;
    std::shared_ptr<CanvasFrameLayer> layer = std::make_shared<CanvasFrameLayer>();
    std::unique_ptr<RecordingCanvas> canvas(new RecordingCanvas(layer));
    std::shared_ptr<CallbackThread> callbacks = canvas->m_callbacks;
    const QRect area = isDraggableArea(setup) ? areaDragFor(setup)->area() : setup.area;
    CanvasController* controller = nullptr;
    runOnGui([&] { controller = new CanvasController(area, events, callbacks, layer); });
    canvas->m_controller = controller;
    return canvas;
}

RecordingCanvas::RecordingCanvas(std::shared_ptr<CanvasFrameLayer> layer)
    : m_layer(layer), m_decorator(layer), m_callbacks(std::make_shared<CallbackThread>())
{
}

RecordingCanvas::~RecordingCanvas()
{
    // No event after this returns; the windows go with the GUI thread's
    // next turn when this runs elsewhere.
    m_callbacks->stop();
    CanvasController* controller = m_controller.data();
    if (!controller)
        return;
    if (onGuiThread())
        delete controller;
    else
        controller->deleteLater();
}

void RecordingCanvas::onGui(const std::function<void(CanvasController*)>& job)
{
    CanvasController* controller = m_controller.data();
    postTo(controller, [controller, job] { job(controller); });
}

void RecordingCanvas::setNumber(int number)
{
    onGui([number](CanvasController* c) { c->setNumber(number); });
}

void RecordingCanvas::start(int shape, ColorRef colour, ColorRef background, const char* fontFamily, double size)
{
    CanvasTool tool;
    tool.shape = shape;
    tool.colour = QColor::fromRgba(colour);
    tool.background = QColor::fromRgba(background);
    tool.fontFamily = QString::fromUtf8(fontFamily ? fontFamily : "");
    // A width the screen can show: not NaN, not below a pixel, not a wall.
    tool.size = size >= 1 && size <= 200 ? size : (size > 200 ? 200 : 1);
    onGui([tool](CanvasController* c) { c->start(tool); });
}

void RecordingCanvas::stop()
{
    onGui([](CanvasController* c) { c->stop(); });
}

void RecordingCanvas::undo()
{
    onGui([](CanvasController* c) { c->undo(); });
}

void RecordingCanvas::redo()
{
    onGui([](CanvasController* c) { c->redo(); });
}

void RecordingCanvas::clear()
{
    onGui([](CanvasController* c) { c->clear(); });
}

void RecordingCanvas::setArea(const QRect& area)
{
    onGui([area](CanvasController* c) { c->setArea(area); });
}

} // namespace rec
} // namespace sc
