// The engine's on-screen boxes and pictures.
//
// The overlays themselves are not wired up yet: until they are, none can be
// shown. Their colours are already kept.

#include "EngineCore.h"

#include "Screencast.h"

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

CBasePtr<CImageCaptureObject> CreateImageCapture(CImageCaptureCallback*)
{
    return CBasePtr<CImageCaptureObject>();
}

CBasePtr<CScreenCropBoxObject> scShowScreenCropBox(CScreenCropCallback*, CRect, bool, int, int)
{
    return CBasePtr<CScreenCropBoxObject>();
}

CBasePtr<CPictureObject> ShowPictureOnScreen(const char*)
{
    return CBasePtr<CPictureObject>();
}
