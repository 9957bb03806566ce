// The engine's on-screen boxes and pictures: their colours, and the three
// overlays the module asks for (the windows themselves are in ui/). Each
// overlay is a window on the GUI thread; whatever thread asks, the window is
// made there, and release() takes it off the screen.

#include "core/EngineCore.h"
#include "core/LastError.h"
#include "ui/CaptureOverlay.h"
#include "ui/CropBoxOverlay.h"
#include "ui/PictureOverlay.h"

#include "Screencast.h"

#include "platform/log/Log.h"

using namespace sc;

void SetScreenSelColors(LineColors lines)
{
    updateSettings([=](EngineSettings& s) { s.screenSelLines = lines; });
}

void SetScreenCropBoxColors(LineColors lines, AnchorColors anchors)
{
    updateSettings([=](EngineSettings& s) {
        s.screenCropLines = lines;
        s.screenCropAnchors = anchors;
    });
}

void SetWindowCropBoxColors(LineColors lines, AnchorColors anchors)
{
    updateSettings([=](EngineSettings& s) {
        s.windowCropLines = lines;
        s.windowCropAnchors = anchors;
    });
}

void SetImageBoxColors(LineColors lines)
{
    updateSettings([=](EngineSettings& s) { s.imageBoxLines = lines; });
}

void SetImageCropBoxColors(LineColors lines, AnchorColors anchors)
{
    updateSettings([=](EngineSettings& s) {
        s.imageCropLines = lines;
        s.imageCropAnchors = anchors;
    });
}

void SetRecordBoxColor(LineColors lines)
{
    updateSettings([=](EngineSettings& s) { s.recordBoxLines = lines; });
}

void SetPauseBoxColor(LineColors lines)
{
    updateSettings([=](EngineSettings& s) { s.pauseBoxLines = lines; });
}

void SetMouseHighLightColor(ColorRef colour)
{
    updateSettings([=](EngineSettings& s) { s.mouseHighlight = colour; });
}

void SetMouseNormalColor(ColorRef colour)
{
    updateSettings([=](EngineSettings& s) { s.mouseNormal = colour; });
}

void SetZoomTipsFormat(const char* format)
{
    std::string text = format ? format : "";
    updateSettings([&text](EngineSettings& s) { s.zoomTipsFormat = std::move(text); });
}

CBasePtr<CImageCaptureObject> CreateImageCapture(CImageCaptureCallback* callback)
{
    clearLastError();
    ui::ImageCaptureObject* object = ui::ImageCaptureObject::create(callback);
    if (!object) {
        Log(kLogModule, LogLevel::Error, "CreateImageCapture: no selection can be shown");
        setLastError("The screen cannot be reached.");
    }
    return CBasePtr<CImageCaptureObject>(object);
}

CBasePtr<CScreenCropBoxObject> scShowScreenCropBox(CScreenCropCallback* callback, CRect screenRect, bool keepRatio,
                                                   int width, int height)
{
    clearLastError();
    ui::CropBoxObject* object = ui::CropBoxObject::create(callback, screenRect, keepRatio, width, height);
    if (!object) {
        Log(kLogModule, LogLevel::Error, "scShowScreenCropBox: no box can be shown");
        setLastError("The screen cannot be reached.");
    }
    return CBasePtr<CScreenCropBoxObject>(object);
}

CBasePtr<CPictureObject> ShowPictureOnScreen(const char* path)
{
    clearLastError();
    ui::PictureObject* object = ui::PictureObject::create(path);
    if (!object) {
        Log(kLogModule, LogLevel::Error, "ShowPictureOnScreen: cannot show \"%s\"", path ? path : "");
        setLastError("The picture cannot be shown.");
    }
    return CBasePtr<CPictureObject>(object);
}
