#pragma once

// The pointer in the frames: the cursor picture (XFixes), the halo that
// marks where the pointer is, and the click effects. The pointer's buttons
// are polled once per frame; a click shorter than a frame still shows for a
// moment, because an effect lasts at least kClickShowUs.

#include "core/Pipeline.h"
#include "core/WindowXcb.h"

#include <QColor>
#include <QImage>
#include <QPoint>

#include <memory>
#include <utility>

namespace sc {
namespace rec {

struct MouseLook {
    bool cursor = false;
    bool halo = false;
    int click = 0;          // 0 none, 1 ring while pressed, 2 blink on each press
    QColor haloColour;      // SetMouseNormalColor
    QColor clickColour;     // SetMouseHighLightColor
};

// What one poll of the pointer found.
struct PointerState {
    bool valid = false;
    QPoint position;        // root coordinates
    bool pressed = false;   // one of the first three buttons is down
};

class MouseDecorator : public IFrameDecorator {
public:
    explicit MouseDecorator(const MouseLook& look);
    void decorate(VideoFrame& frame) override;

    // Draws the effects for one pointer state at `whenUs`; the X-free part
    // of decorate(), also used by the tests.
    void draw(VideoFrame& frame, const PointerState& pointer, int64_t whenUs);
    void setCursorImage(const QImage& image, const QPoint& hotspot);

    static constexpr int kHaloRadius = 22;
    static constexpr int kRingRadius = 16;
    static constexpr int64_t kClickShowUs = 250000;
    static constexpr int64_t kBlinkUs = 300000;

private:
    PointerState poll();

    MouseLook m_look;
    std::unique_ptr<XcbConnection> m_x;
    bool m_xfixes = false;
    QImage m_cursor;            // premultiplied ARGB
    QPoint m_hotspot;
    uint32_t m_cursorSerial = 0;
    std::pair<int, int> m_drawnRows{0, 0}; // rows drawn over in the last frame
    bool m_wasPressed = false;
    int64_t m_pressUs = -1;     // last press seen
};

} // namespace rec
} // namespace sc
