#pragma once

// Recorded areas that move: centred on the pointer, following the pointer
// past an edge, or dragged by the user by the recording border.

#include "core/Guarded.h"
#include "core/RecordingSetup.h"

#include <QPoint>
#include <QRect>

#include <memory>

namespace sc {
namespace rec {

// MouseOpt method 1 with a non-zero parameter: the user drags the area
// (not in a single-window recording, which follows its window).
bool isDraggableArea(const RecordingSetup& setup);

// `area` moved the least distance that puts it inside `display` (an empty
// display leaves it alone; an area larger than the display sits at its
// top-left corner).
QRect clampedInto(const QRect& area, const QRect& display);
// Method 1, parameter 0: the area's size centred on the pointer.
QRect centredOn(const QPoint& pointer, const QSize& size, const QRect& display);
// Method 2: the area moves only as far as the pointer went past an edge.
QRect followedTo(const QRect& current, const QPoint& pointer, const QRect& display);

// The area of a draggable recording, shared by the border (the user drags
// it on the GUI thread) and the area controller (read on the capture
// thread). The recording's border and controller find the same one through
// the recording's callback.
class AreaDrag {
public:
    AreaDrag(const QRect& area, const QRect& display) : m_area(area), m_display(display) {}

    QRect area() const { return m_area.get(); }
    // Keeps the size; clamped into the display. Returns the area now set.
    QRect moveTo(const QPoint& topLeft)
    {
        auto area = m_area.lock();
        *area = clampedInto(QRect(topLeft, area->size()), m_display);
        return *area;
    }
    QRect display() const { return m_display; }

private:
    mutable Guarded<QRect> m_area;
    const QRect m_display;
};

std::shared_ptr<AreaDrag> areaDragFor(const RecordingSetup& setup);

// Null when the area stays where it is (method 0, unknown methods, and
// single-window recordings).
AreaController makeAreaControllerFor(const RecordingSetup& setup);

} // namespace rec
} // namespace sc
