#pragma once

// Helpers of the tests that look at widgets and pictures: Qt Widgets only.

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

// Runs `call` and tells whether it returned without running an event loop
// inside: a zero timer armed before it can only fire in a loop it runs. If
// it does, the modal window then open is closed (rejected) so that `call`
// can return and the test fail instead of hanging.
inline bool returnsWithoutLoop(const std::function<void()>& call)
{
    struct State
    {
        bool returned = false;
        bool looped = false;
    };
    auto state = std::make_shared<State>();
    QTimer::singleShot(0, [state] {
        if (state->returned)
            return;
        state->looped = true;
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->done(0);
    });
    call();
    state->returned = true;
    return !state->looped;
}

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
