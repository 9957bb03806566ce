#pragma once

// Helpers of the tests that look at widgets and pictures: Qt Widgets only.

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <QTest>
#include <QWidget>

namespace testsupport {

// Pixels of `image` within `tolerance` of `colour` in every channel
// (anti-aliased text has few exact ones).
inline int countNear(const QImage& image, const QColor& colour, int tolerance)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) <= tolerance && qAbs(c.green() - colour.green()) <= tolerance
                && qAbs(c.blue() - colour.blue()) <= tolerance)
                ++n;
        }
    }
    return n;
}

// A mouse event sent straight to `w`, with no window system in between.
inline void sendMouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// The same with the buttons held after the event: the pressed one after a
// press, none otherwise.
inline void sendMouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button = Qt::NoButton)
{
    sendMouse(w, type, pos, button, type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton);
}

} // namespace testsupport
