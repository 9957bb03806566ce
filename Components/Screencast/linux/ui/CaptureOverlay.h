#pragma once

// The cross-hair selection of an area. The selected display is frozen into
// a picture at the start and shown full screen, darkened except for the
// area being selected, so no compositor is needed and what the user picks
// is what was on the screen when the selection began.
//
// The user presses the left button, drags a band and releases: the band
// (at least one pixel moved) is the result, reported with
// OnScreenSelCompleted in global screen coordinates, and the window goes.
// A release where the press was selects nothing and the selection goes on.
// Esc ends the selection without a result (OnClose), and so does releasing
// the object while it runs. While the band is dragged: OnBeginResize, then
// OnSizeChanged for every change, then OnEndResize before the result.
//
// The window lives on the GUI thread; callbacks go out on a thread of the
// object's own.

#include "ui/WindowGui.h"

#include "ScreencastObjects.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

namespace sc {
namespace ui {

class CaptureWindow : public QWidget {
    Q_OBJECT
public:
    enum class State { Waiting, Dragging, Selected, Closed };

    CaptureWindow(const QRect& display, const QImage& frozen, CImageCaptureCallback* callback,
                  std::shared_ptr<rec::CallbackThread> callbacks);

    State state() const { return m_state; }
    // The band in global screen coordinates (empty while nothing is dragged).
    QRect band() const;
    // The size tip as it reads now.
    QString tipText() const;

    // The object is released: a selection still running ends with OnClose.
    void abandon();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint clamped(const QPoint& global) const;
    void finish(State state);
    void takeKeyboard();
    template <class F> void post(F&& job);

    QRect m_display;
    QImage m_frozen;
    QImage m_darkened;
    QColor m_crossLine;
    QColor m_bandLine;
    QColor m_bandEdge;
    std::string m_tipFormat;
    CImageCaptureCallback* m_callback;
    std::shared_ptr<rec::CallbackThread> m_callbacks;
    State m_state = State::Waiting;
    QPoint m_anchor;     // global
    QPoint m_current;    // global
    QPoint m_pointer;    // global, for the cross-hair
    bool m_pointerKnown = false;
    int m_keyboardTries = 0;
};

class ImageCaptureObject : public CImageCaptureObject {
public:
    // Null when no overlay can be shown or the screen cannot be read.
    // Callable from any thread while the GUI thread runs.
    static ImageCaptureObject* create(CImageCaptureCallback* callback);

    void release() override;

    // The GUI side, for tests (use it on the GUI thread only).
    CaptureWindow* window() const { return m_window.data(); }

private:
    ImageCaptureObject() = default;
    ~ImageCaptureObject() override = default;

    QPointer<CaptureWindow> m_window;
    std::shared_ptr<rec::CallbackThread> m_callbacks;
};

} // namespace ui
} // namespace sc
