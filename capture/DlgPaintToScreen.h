#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>

#include "platform/framework/VxDialogBase.h"

class QTimer;
class QToolButton;

// A picture pinned above all windows: frameless, over a soft shadow of
// kShadow px per side. The window stays opaque (without a compositor a
// translucent one shows black): the shadow is painted over a copy of what
// lies beneath, taken while the margin is cut out of the window. The
// picture is scaled into the window, so an animated geometry shrinks or
// grows it. Closing emits finished(int).
class DlgPaintToScreen : public VxDialogBase
{
    Q_OBJECT
public:
    static const int kShadow = 9;   // per side

    explicit DlgPaintToScreen(QWidget* parent = nullptr);
    ~DlgPaintToScreen() override;

    // Stores the picture and sizes the window to it plus the shadow. A
    // picture with an offset (where on the screen it was taken) is placed
    // there, so a pinned screenshot stays where it was selected.
    void setImg(const QImage& image);
    QImage img() const { return m_image; }
    // Hovering the picture reveals its close button only when this is on.
    void setShowClose(bool show);
    // Without a shadow the picture fills the window (pictures that bring
    // their own, and fly-outs). Call before setImg.
    void setShadow(bool shadow);
    int margin() const { return m_nMargin; }

    // A photo's send-off: `image` shrinks or grows from `from` to `to` (on
    // the screen) in a window without a close button, which closes and
    // deletes itself at the end. No event loop is held; the window is a
    // child of `parent` and goes with it, and a caller that must wait can
    // wait for its destroyed().
    static DlgPaintToScreen* flyOut(QWidget* parent, const QImage& image, const QRect& from, const QRect& to);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void placeClose();
    QRect pictureRect() const;
    // Cuts the margin out, then copies what shows there a moment later.
    void takeBackdropSoon();
    void takeBackdrop();

    QImage m_image;
    int m_nMargin = kShadow;
    QPixmap m_backdrop;   // the screen under the window, window-sized
    QTimer* m_pBackdropTimer = nullptr;
    bool m_bShowClose = true;
    QToolButton* m_pClose = nullptr;
    bool m_bDragging = false;
    QPoint m_dragOffset;
};
