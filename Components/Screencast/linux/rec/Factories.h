#pragma once

// What a screen recording is made of, chosen from its options. The recorder
// (api/Recording.cpp) builds the pipeline from these factories; the window
// sources, pointer effects, drawing canvas, watermark, recording border and
// moving areas are built behind them.

#include <QRect>

#include <functional>
#include <memory>
#include <vector>

#include "core/RecordingSetup.h"
#include "ScreencastObjects.h"

namespace sc {
namespace rec {

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

// makeRecordingOverlay and makeCanvas return null without a QApplication;
// call them on the GUI thread (or elsewhere while the GUI thread runs its
// event loop). The overlay exists when the border is asked for, and for a
// draggable area (the user drags it by the border); in option 1 the border
// follows the window. The interfaces are in core/RecordingSetup.h.
std::unique_ptr<IRecordingOverlay> makeRecordingOverlay(const RecordingSetup& setup);
std::unique_ptr<IRecordingCanvas> makeCanvas(const RecordingSetup& setup, CScreenCanvasEvent* events);

} // namespace rec
} // namespace sc
