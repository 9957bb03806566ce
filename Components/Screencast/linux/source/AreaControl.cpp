#include "source/AreaControl.h"

#include "core/WindowXcb.h"

#include <map>

namespace sc {
namespace rec {

bool isDraggableArea(const RecordingSetup& setup)
{
    // A single window is recorded wherever it is; there is no area to move.
    return setup.windowOption != kWindowListSingle && setup.mouse.method == 1 && setup.mouse.methodParam != 0;
}

QRect clampedInto(const QRect& area, const QRect& display)
{
    if (display.isEmpty())
        return area;
    QRect r = area;
    if (r.right() > display.right())
        r.moveRight(display.right());
    if (r.bottom() > display.bottom())
        r.moveBottom(display.bottom());
    if (r.left() < display.left())
        r.moveLeft(display.left());
    if (r.top() < display.top())
        r.moveTop(display.top());
    return r;
}

QRect centredOn(const QPoint& pointer, const QSize& size, const QRect& display)
{
    return clampedInto(QRect(QPoint(pointer.x() - size.width() / 2, pointer.y() - size.height() / 2), size), display);
}

QRect followedTo(const QRect& current, const QPoint& pointer, const QRect& display)
{
    QRect r = current;
    if (pointer.x() < r.left())
        r.moveLeft(pointer.x());
    else if (pointer.x() > r.right())
        r.moveRight(pointer.x());
    if (pointer.y() < r.top())
        r.moveTop(pointer.y());
    else if (pointer.y() > r.bottom())
        r.moveBottom(pointer.y());
    return clampedInto(r, display);
}

std::shared_ptr<AreaDrag> areaDragFor(const RecordingSetup& setup)
{
    // One recording's border and controller are made separately; they meet
    // here. A state of a recording that is over has expired.
    static std::mutex mutex;
    static std::map<const void*, std::weak_ptr<AreaDrag>> live;
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = live.begin(); it != live.end();)
        it = it->second.expired() ? live.erase(it) : std::next(it);
    std::weak_ptr<AreaDrag>& slot = live[setup.callback];
    std::shared_ptr<AreaDrag> drag = slot.lock();
    if (!drag || drag->display() != setup.displayRect) {
        drag = std::make_shared<AreaDrag>(clampedInto(setup.area, setup.displayRect), setup.displayRect);
        slot = drag;
    }
    return drag;
}

namespace {

// Where the pointer is, on a connection of the capture thread's own.
class PointerProbe {
public:
    bool position(QPoint& at)
    {
        if (!m_x.ok())
            return false;
        m_x.drainEvents();
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(m_x.conn(), xcb_query_pointer(m_x.conn(), m_x.root()), &error));
        std::free(error);
        if (!reply || !reply->same_screen)
            return false;
        at = QPoint(reply->root_x, reply->root_y);
        return true;
    }

private:
    XcbConnection m_x;
};

} // namespace

AreaController makeAreaControllerFor(const RecordingSetup& setup)
{
    const QRect display = setup.displayRect;
    if (setup.windowOption == kWindowListSingle)
        return nullptr;
    if (isDraggableArea(setup)) {
        std::shared_ptr<AreaDrag> drag = areaDragFor(setup);
        return [drag](const QRect&) { return drag->area(); };
    }
    if (setup.mouse.method == 1) {
        auto probe = std::make_shared<PointerProbe>();
        return [probe, display](const QRect& current) {
            QPoint at;
            return probe->position(at) ? centredOn(at, current.size(), display) : current;
        };
    }
    if (setup.mouse.method == 2) {
        auto probe = std::make_shared<PointerProbe>();
        return [probe, display](const QRect& current) {
            QPoint at;
            return probe->position(at) ? followedTo(current, at, display) : current;
        };
    }
    return nullptr;
}

} // namespace rec
} // namespace sc
