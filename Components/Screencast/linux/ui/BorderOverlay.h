#pragma once

// The recording border: four thin windows just outside the recorded area,
// so the border is seen but never recorded. Drawn in the recording colours
// (SetRecordBoxColor) or the pause colours (SetPauseBoxColor). When the
// area may be dragged (MouseOpt method 1, parameter 1) the strips are a
// little wider and the user moves the area by them.

#include "source/AreaControl.h"
#include "core/RecordingSetup.h"
#include "ui/WindowGui.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

namespace sc {
namespace rec {

class BorderFrame;

// One strip of the border.
class BorderStrip : public QWidget {
    Q_OBJECT
public:
    BorderStrip(BorderFrame* frame, bool draggable);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    BorderFrame* m_frame;
};

// The four strips; lives on the GUI thread.
class BorderFrame : public QObject {
    Q_OBJECT
public:
    BorderFrame(const RecordingSetup& setup, std::shared_ptr<AreaDrag> drag, std::shared_ptr<CallbackThread> callbacks);
    ~BorderFrame() override;

    void setArea(const QRect& area);
    void setPaused(bool paused);

    // Pixels of the border on each side of the area.
    int thickness() const { return m_draggable ? 6 : 4; }
    QRect area() const { return m_area; }
    bool paused() const { return m_paused; }
    LineColors colours() const { return m_paused ? m_pauseColours : m_recordColours; }
    const std::array<BorderStrip*, 4>& strips() const { return m_strips; }

    // Dragging, from the strips (global pointer positions).
    void beginDrag(const QPoint& at);
    void dragTo(const QPoint& at);
    void endDrag(const QPoint& at);

    // How often the border of a single-window recording looks where its
    // window went.
    static constexpr int kFollowMs = 100;

private:
    void place();
    void followWindow();

    std::array<BorderStrip*, 4> m_strips{};
    QRect m_area;
    bool m_paused = false;
    bool m_draggable;
    LineColors m_recordColours;
    LineColors m_pauseColours;
    std::shared_ptr<AreaDrag> m_drag;
    std::shared_ptr<CallbackThread> m_callbacks;
    CRecoderCallback* m_callback;
    uint32_t m_window = 0;      // single-window recording: the border follows it
    bool m_dragging = false;
    QPoint m_dragOrigin;
    QRect m_dragStartArea;
};

class BorderOverlay : public IRecordingOverlay {
public:
    // Null without a QApplication; call from the GUI thread, or from
    // another thread while the GUI thread runs its event loop.
    static std::unique_ptr<BorderOverlay> create(const RecordingSetup& setup);
    ~BorderOverlay() override;

    void setPaused(bool paused) override;
    void setArea(const QRect& area) override;

    // The GUI side, for the tests (use it on the GUI thread only).
    BorderFrame* frame() const { return m_frame.data(); }

private:
    BorderOverlay() = default;

    QPointer<BorderFrame> m_frame;
    std::shared_ptr<CallbackThread> m_callbacks;
};

} // namespace rec
} // namespace sc
