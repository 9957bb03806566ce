// Placeholder factories: until the window sources and effects exist, a
// recording captures the plain screen area without effects.
#include "Factories.h"

namespace sc {
namespace rec {

std::unique_ptr<IFrameSource> makeWindowSource(const RecordingSetup& setup, std::string& error)
{
    if (setup.windowOption != kWindowListNone)
        error = "window recording is not available";
    return nullptr;
}

std::vector<std::unique_ptr<IFrameDecorator>> makeDecorators(const RecordingSetup&)
{
    return {};
}

AreaController makeAreaController(const RecordingSetup&)
{
    return nullptr;
}

std::unique_ptr<IRecordingOverlay> makeRecordingOverlay(const RecordingSetup&)
{
    return nullptr;
}

std::unique_ptr<IRecordingCanvas> makeCanvas(const RecordingSetup&, CScreenCanvasEvent*)
{
    return nullptr;
}

} // namespace rec
} // namespace sc
