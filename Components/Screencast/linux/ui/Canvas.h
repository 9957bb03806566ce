#pragma once

// The drawing canvas of a screen recording.
//
// On screen: a shaped window over the recorded area shows the strokes and
// takes no input; while a tool is active an input-only window over the area
// catches the pointer (it sits above the other programs' windows but below
// this program's own, so the control bar stays usable), and stop() takes it
// away so the desktop gets its clicks again. In the frames: the decorator
// burns the same strokes in, at the area's place.
//
// All of it runs on the GUI thread; the canvas's events go out on a thread
// of their own.

#include "effects/CanvasStrokes.h"
#include "core/RecordingSetup.h"
#include "ui/WindowGui.h"
#include "core/WindowXcb.h"

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <mutex>

class QSocketNotifier;

namespace sc {
namespace rec {

// What the capture thread reads: the frame picture of the strokes and the
// area it belongs to.
struct CanvasFrameLayer {
    std::mutex mutex;
    std::shared_ptr<const QImage> picture;  // null: nothing drawn
    QRect area;
};

class CanvasDecorator : public IFrameDecorator {
public:
    explicit CanvasDecorator(std::shared_ptr<CanvasFrameLayer> layer) : m_layer(std::move(layer)) {}
    void decorate(VideoFrame& frame) override;

private:
    std::shared_ptr<CanvasFrameLayer> m_layer;
    // What the last frame got (a new picture or place changes the frame).
    std::shared_ptr<const QImage> m_drawn;
    QRect m_drawnArea;
};

// The window that shows the strokes.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    CanvasView();
    void setPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

// The input-only window, on an X connection of its own whose events the
// GUI thread reads as they come.
class CanvasInput : public QObject {
    Q_OBJECT
public:
    CanvasInput();
    ~CanvasInput() override;
    bool ok() const;
    void setArea(const QRect& area);
    void setActive(bool active);
    bool active() const { return m_active; }

signals:
    void pressed(const QPoint& at);     // area pixels
    void moved(const QPoint& at);
    void released(const QPoint& at);

private:
    void pump();
    void raiseUnderOwnWindows();

    XcbConnection m_x;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    QSocketNotifier* m_notifier = nullptr;
    QRect m_area;
    bool m_active = false;
    bool m_pressed = false;
};

// Where the text tool takes the text: a small editor at the click.
class CanvasTextEdit : public QLineEdit {
    Q_OBJECT
public:
    CanvasTextEdit(const CanvasTool& tool, const QPoint& globalAt);

signals:
    void finished(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void finish(const QString& text);
    bool m_done = false;
};

// The GUI side of the canvas.
class CanvasController : public QObject {
    Q_OBJECT
public:
    CanvasController(const QRect& area, CScreenCanvasEvent* events, std::shared_ptr<CallbackThread> callbacks,
                     std::shared_ptr<CanvasFrameLayer> layer);
    ~CanvasController() override;

    void setNumber(int number) { m_lastNumber = number; }
    void start(const CanvasTool& tool);
    void stop();
    void undo();
    void redo();
    void clear();
    void setArea(const QRect& area);

    // For the tests.
    const StrokeList& strokes() const { return m_strokes; }
    CanvasView* view() const { return m_view; }
    CanvasInput* input() const { return m_input; }
    CanvasTextEdit* textEdit() const { return m_textEdit.data(); }
    int toolShape() const { return m_tool.shape; }

private:
    void onPressed(const QPoint& at);
    void onMoved(const QPoint& at);
    void onReleased(const QPoint& at);
    void commit(const Stroke& stroke);
    void finishText();
    void refresh();
    void report();

    QRect m_area;
    CScreenCanvasEvent* m_events;
    std::shared_ptr<CallbackThread> m_callbacks;
    std::shared_ptr<CanvasFrameLayer> m_layer;
    CanvasView* m_view = nullptr;
    CanvasInput* m_input = nullptr;
    QPointer<CanvasTextEdit> m_textEdit;
    StrokeList m_strokes;
    CanvasTool m_tool;
    bool m_drawing = false;
    Stroke m_current;
    int m_lastNumber = 0;       // the next callout shows this plus one
};

class RecordingCanvas : public IRecordingCanvas {
public:
    // Null without a QApplication; call from the GUI thread, or from
    // another thread while the GUI thread runs its event loop.
    static std::unique_ptr<RecordingCanvas> create(const RecordingSetup& setup, CScreenCanvasEvent* events);
    ~RecordingCanvas() override;

    void setNumber(int number) override;
    void start(int shape, ColorRef colour, ColorRef background, const char* fontFamily, double size) override;
    void stop() override;
    void undo() override;
    void redo() override;
    void clear() override;

    IFrameDecorator* decorator() override { return &m_decorator; }
    void setArea(const QRect& area) override;

    // The GUI side, for the tests (use it on the GUI thread only).
    CanvasController* controller() const { return m_controller.data(); }

private:
    RecordingCanvas(std::shared_ptr<CanvasFrameLayer> layer);
    void onGui(const std::function<void(CanvasController*)>& job);

    std::shared_ptr<CanvasFrameLayer> m_layer;
    CanvasDecorator m_decorator;
    std::shared_ptr<CallbackThread> m_callbacks;
    QPointer<CanvasController> m_controller;
};

} // namespace rec
} // namespace sc
