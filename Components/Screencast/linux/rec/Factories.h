#pragma once

// What a screen recording is made of, chosen from its options. The recorder
// (api/Recording.cpp) builds the pipeline from these factories; the window
// sources, pointer effects, drawing canvas, watermark, recording border and
// moving areas are built behind them.

#include <QRect>

#include <functional>
#include <memory>
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

// The frame source for window options 1 (one window, followed as it moves),
// 2 (everything but excluded windows; included ones always shown) and
// 3 (only the included windows, on black). Null for option 0: the recorder
// then captures the screen area itself. `error` is set when the windows
// cannot be recorded (for instance the single window is gone).
// Option 1 records include[0] (its frame, decoration included) and draws the
// further included windows (the webcam picture) over it. Option 2 also
// leaves out this program's own windows (its control bar), so option 2
// with empty lists is the desktop without the control bar.
std::unique_ptr<IFrameSource> makeWindowSource(const RecordingSetup& setup, std::string& error);

// The pointer, its halo and click effects, then the watermark, in drawing
// order. The canvas decorator is added separately (it exists only once the
// module asks for the canvas).
std::vector<std::unique_ptr<IFrameDecorator>> makeDecorators(const RecordingSetup& setup);

// Null when the area stays where it is (also for option 1). For the
// draggable area (method 1, parameter 1) it shares the area with the
// recording's overlay: make both for the same recording with the same
// setup.callback.
AreaController makeAreaController(const RecordingSetup& setup);

// On-screen parts that live as long as the recording (the border, shown
// outside the area so it is never captured). setPaused switches the border
// to the pause colours; setArea follows a moving area. Both may be called
// from any thread and never wait for the GUI thread. The region-drag
// callbacks come from a thread of the overlay's own, never after the
// overlay is destroyed.
// makeRecordingOverlay and makeCanvas return null without a QApplication;
// call them on the GUI thread (or elsewhere while the GUI thread runs its
// event loop). The overlay exists when the border is asked for, and for a
// draggable area (the user drags it by the border); in option 1 the border
// follows the window.
class IRecordingOverlay
{
public:
    virtual ~IRecordingOverlay() = default;
    virtual void setPaused(bool paused) = 0;
    virtual void setArea(const QRect& area) = 0;
};
std::unique_ptr<IRecordingOverlay> makeRecordingOverlay(const RecordingSetup& setup);

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
std::unique_ptr<IRecordingCanvas> makeCanvas(const RecordingSetup& setup, CScreenCanvasEvent* events);

} // namespace rec
} // namespace sc
