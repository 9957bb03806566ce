#pragma once

// What a recording is asked for, and the seams of its on-screen parts: the
// sources, effects and windows that are built from it see only these, not
// the recorder that puts them together (rec/Factories.h).

#include <QRect>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/Pipeline.h"
#include "ScreencastObjects.h"

namespace sc {
namespace rec {

// Everything a recording was asked for, checked and in screen pixels.
struct RecordingSetup
{
    QRect displayRect;      // the selected display on the root window
    QRect area;             // the recorded area on the root window
    int fps = 30;
    MouseOpt mouse{};
    bool boundary = false;  // show the border around the area
    bool watermark = true;  // burn in the watermark set for recordings (not a camera's movie)
    WindowListOption windowOption = kWindowListNone;
    std::vector<uint32_t> exclude;
    std::vector<uint32_t> include;
    CRecoderCallback* callback = nullptr;
};

// Moves the recorded area while recording (pointer-following methods and
// the border the user may drag). Called on the capture thread once per
// frame with the current area; returns the area to capture (same size).
using AreaController = std::function<QRect(const QRect& current)>;

// On-screen parts that live as long as the recording (the border, shown
// outside the area so it is never captured). setPaused switches the border
// to the pause colours; setArea follows a moving area. Both may be called
// from any thread and never wait for the GUI thread. The region-drag
// callbacks come from a thread of the overlay's own, never after the
// overlay is destroyed.
class IRecordingOverlay
{
public:
    virtual ~IRecordingOverlay() = default;
    virtual void setPaused(bool paused) = 0;
    virtual void setArea(const QRect& area) = 0;
};

// The drawing canvas of a recording: shows the strokes on the screen and
// burns them into the frames (its decorator() is run last on each frame).
// Shape numbers: CanvasShape in ui/Canvas.h. setNumber(n) takes the tool bar's
// count (the last number shown): the next callout shows n + 1, and
// OnNumberChanged reports the one after it.
class IRecordingCanvas : public CScreenCanvasObject
{
public:
    virtual IFrameDecorator* decorator() = 0;
    virtual void setArea(const QRect& area) = 0;
    virtual ~IRecordingCanvas() = default;
};

} // namespace rec
} // namespace sc
