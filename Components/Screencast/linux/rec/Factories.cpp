// What a recording is built from, by its options.
#include "rec/Factories.h"

#include "source/AreaControl.h"
#include "ui/BorderOverlay.h"
#include "ui/Canvas.h"
#include "core/EngineCore.h"
#include "effects/MouseEffects.h"
#include "effects/WatermarkDecorator.h"
#include "source/WindowSource.h"

#include "platform/log/Log.h"

namespace sc {
namespace rec {

std::unique_ptr<IFrameSource> makeWindowSource(const RecordingSetup& setup, std::string& error)
{
    switch (setup.windowOption) {
    case kWindowListSingle: {
        // The first included window is the one recorded; the others (the
        // webcam picture) are drawn over it.
        if (setup.include.empty() || setup.include.front() == 0) {
            error = "no window to record";
            return nullptr;
        }
        std::vector<uint32_t> above(setup.include.begin() + 1, setup.include.end());
        std::unique_ptr<SingleWindowSource> source(new SingleWindowSource(setup.include.front(), above));
        if (!source->open(error))
            return nullptr;
        return source;
    }
    case kWindowListExclude:
    case kWindowListInclude: {
        std::unique_ptr<WindowListSource> source(
            new WindowListSource(setup.windowOption, setup.area, setup.exclude, setup.include));
        if (!source->open(error))
            return nullptr;
        return source;
    }
    default:
        // Option 0, and values the module may pass through unchecked: the
        // screen area as it is.
        return nullptr;
    }
}

std::vector<std::unique_ptr<IFrameDecorator>> makeDecorators(const RecordingSetup& setup)
{
    std::vector<std::unique_ptr<IFrameDecorator>> decorators;
    const EngineSettings s = settings();
    MouseLook look;
    look.cursor = setup.mouse.cursor != 0;
    look.halo = setup.mouse.indicate != 0;
    look.click = setup.mouse.clickType == 1 || setup.mouse.clickType == 2 ? setup.mouse.clickType : 0;
    look.haloColour = QColor::fromRgba(s.mouseNormal);
    look.clickColour = QColor::fromRgba(s.mouseHighlight);
    if (look.cursor || look.halo || look.click)
        decorators.emplace_back(new MouseDecorator(look));
    if (!setup.watermark)
        return decorators;
    if (std::unique_ptr<WatermarkDecorator> watermark = WatermarkDecorator::create(
            s.watermarkPath, s.watermarkX, s.watermarkY, s.watermarkWidth, s.watermarkHeight))
        decorators.push_back(std::move(watermark));
    return decorators;
}

AreaController makeAreaController(const RecordingSetup& setup)
{
    return makeAreaControllerFor(setup);
}

std::unique_ptr<IRecordingOverlay> makeRecordingOverlay(const RecordingSetup& setup)
{
    return BorderOverlay::create(setup);
}

std::unique_ptr<IRecordingCanvas> makeCanvas(const RecordingSetup& setup, CScreenCanvasEvent* events)
{
    return RecordingCanvas::create(setup, events);
}

} // namespace rec
} // namespace sc
