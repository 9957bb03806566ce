#pragma once

// The region box: a border with eight anchors around the area to record,
// on the screen until the module releases it. The window is shaped to the
// border and the anchors only, so clicks inside the area reach the windows
// below and no compositor is needed. Dragging the border moves the box,
// an anchor resizes it (keeping the ratio when asked); it never leaves the
// display it is on.
//
// The window lives on the GUI thread. Its callbacks go out on a thread of
// the object's own, as every engine callback does, in the order the user
// caused them: OnBeginDrag, OnScreenRectChanged for every change while the
// pointer moves, OnEndDrag.

#include "ui/CropBoxGeometry.h"
#include "ui/WindowGui.h"

#include "ScreencastObjects.h"

#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <memory>

namespace sc {
namespace ui {

class CropBoxWindow : public QWidget {
    Q_OBJECT
public:
    // Width of the border and side of an anchor, in pixels; both lie inside
    // the box.
    static constexpr int kBorder = 4;
    static constexpr int kAnchor = 9;

    CropBoxWindow(const QRect& box, bool keepRatio, double ratio, CScreenCropCallback* callback,
                  std::shared_ptr<rec::CallbackThread> callbacks);

    // The module moves or sizes the box. The box keeps the ratio of the
    // rectangle it was last given; when the display does not take the
    // rectangle as it is, the module hears where the box went.
    void setBox(const QRect& box);
    QRect box() const { return m_box; }
    BoxLimits limits() const { return m_limits; }

    // What a press at `local` (window coordinates) grabs; None inside.
    BoxGrip gripAt(const QPoint& local) const;
    // The shape of a box of `size`: border and anchors.
    static QRegion shapeFor(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void apply(const QRect& box);
    void dragTo(const QPoint& global);
    void post(void (CScreenCropCallback::*event)());
    void postRect(const QRect& box);

    BoxLimits m_limits;
    QRect m_box;
    QColor m_line;
    QColor m_edge;
    QColor m_anchorFill;
    QColor m_anchorEdge;
    CScreenCropCallback* m_callback;
    std::shared_ptr<rec::CallbackThread> m_callbacks;
    BoxGrip m_grip = BoxGrip::None;
    QPoint m_pressAt;
    QRect m_startBox;
};

class CropBoxObject : public CScreenCropBoxObject {
public:
    // Null when no overlay can be shown (no QApplication, engine stopped, no
    // display). Callable from any thread while the GUI thread runs.
    static CropBoxObject* create(CScreenCropCallback* callback, CRect screenRect, bool keepRatio, int width,
                                 int height);

    void release() override;
    void setRect(CRect screenRect) override;

    // The GUI side, for tests (use it on the GUI thread only).
    CropBoxWindow* window() const { return m_window.data(); }

private:
    CropBoxObject() = default;
    ~CropBoxObject() override = default;

    QPointer<CropBoxWindow> m_window;
    std::shared_ptr<rec::CallbackThread> m_callbacks;
};

} // namespace ui
} // namespace sc
