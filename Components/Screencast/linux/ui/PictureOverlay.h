#pragma once

// A picture on the screen (the start countdown): centred on the selected
// display, above everything, never taking the focus or a click. The window
// is cut to the picture's opaque pixels; the half-transparent ones are
// blended over what the screen showed when the overlay first appeared, so
// edges look right without a compositor. A picture larger than the display
// is scaled down to fit it.

#include "ScreencastObjects.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class QTimer;

namespace sc {
namespace ui {

class PictureWindow : public QWidget {
    Q_OBJECT
public:
    explicit PictureWindow(const QRect& display);

    // Shows `picture` in place of the one on screen.
    void showPicture(const QImage& picture);
    // Off the screen, after fading out over `fadeMs` (at once for 0). A
    // window system without a compositor cannot fade: the picture stays
    // until the time is over.
    void closePicture(int fadeMs);

    // Where a picture of `size` goes on `display`.
    static QRect placeFor(const QSize& size, const QRect& display);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fadeStep();

    QRect m_display;
    QImage m_background;   // the display as it was before the first picture
    QImage m_composed;     // what the window shows
    QTimer* m_fade = nullptr;
    qint64 m_fadeStart = 0;
    int m_fadeMs = 0;
};

class PictureObject : public CPictureObject {
public:
    // Null when the picture cannot be read or no overlay can be shown.
    // Callable from any thread while the GUI thread runs.
    static PictureObject* create(const char* path);

    void release() override;
    // 0 when the picture was shown; -1 when it cannot be read (the one on
    // the screen stays).
    int show(const char* path) override;
    void close(int fadeMs) override;

    // The GUI side, for tests (use it on the GUI thread only).
    PictureWindow* window() const { return m_window.data(); }

    static QImage load(const char* path);

private:
    PictureObject() = default;
    ~PictureObject() override = default;

    QPointer<PictureWindow> m_window;
};

} // namespace ui
} // namespace sc
