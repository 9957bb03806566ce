#pragma once

#include <QObject>
#include <QRect>

#include <mutex>

#include "Screencast.h"

class ScreenRegion;

// The region box's events. They come on an engine thread: the rectangle is
// kept under a lock, and what needs the GUI thread's objects (the display
// model behind RECT2QRect) is posted there before the hub hears of it.
//
// The engine speaks global screen coordinates; the rectangle kept here is
// relative to the selected display, as the rest of the program keeps it.
class ScreenCropCallback : public CScreenCropCallback
{
public:
    ScreenCropCallback() = default;
    void OnBeginDrag() override;
    void OnEndDrag() override;
    void OnScreenRectChanged(CRect screenRect) override;
    ~ScreenCropCallback() override;

    // The box's rectangle, relative to the selected display.
    CRect rect() const;
    void setRect(const CRect& rect);
    // Where the selected display's top-left corner is on the screen: the
    // offset between the engine's rectangles and the ones kept here.
    void setDisplayOrigin(double x, double y);
    CRect toScreen(const CRect& displayRect) const;

    // The box on the screen; null when none is shown.
    CBasePtr<CScreenCropBoxObject> m_pCropBox;

private:
    ScreenCropCallback(const ScreenCropCallback&) = delete;
    ScreenCropCallback& operator=(const ScreenCropCallback&) = delete;

    mutable std::mutex m_mutex;
    CRect m_rect{0.0, 0.0, 0.0, 0.0};
    double m_dOriginX = 0.0;
    double m_dOriginY = 0.0;
    // Work posted to the GUI thread is dropped when this goes.
    QObject m_guiContext;
};

// The cross-hair selection's events, on an engine thread.
class ScreenCaptureCallback : public CImageCaptureCallback
{
public:
    explicit ScreenCaptureCallback(ScreenRegion* region) : m_pRegion(region) {}
    void OnClose() override;
    void OnScreenSelCompleted(CRect screenRect) override;
    void OnBeginResize() override;
    void OnSizeChanged(CRect screenRect) override;
    void OnEndResize() override;
    ~ScreenCaptureCallback() override;

    // The selection on the screen; null when none runs.
    CBasePtr<CImageCaptureObject> m_pImageCapture;
    ScreenRegion* m_pRegion;

private:
    ScreenCaptureCallback(const ScreenCaptureCallback&) = delete;
    ScreenCaptureCallback& operator=(const ScreenCaptureCallback&) = delete;

    QObject m_guiContext;
};

// The area to record: the engine's cross-hair selection, the region box
// that stays on the screen until a recording starts, and the screen-capture
// permission that guards every new box. Reports to the windows only through
// the signal hub. GUI thread only.
class ScreenRegion
{
public:
    static ScreenRegion* instance();
    // Takes the box and any selection off the screen and deletes the
    // singleton; call before the engine stops.
    static void release();

    // Starts the cross-hair selection; its result comes as endSelectRegion.
    void startSelect();
    // Puts the box up at the saved area when none is up yet, growing a saved
    // area smaller than 64 x 64 (or none at all) to that size first.
    void showRegionBox();
    // Shows the box at `rect` (display coordinates), or moves it there.
    void showRegionBox(QRect rect);
    // Takes the box off the screen and ends a running selection; the
    // rectangle stays stored.
    void hideRegionBox();
    QRect resultRegion();
    bool hasScreenRegion();
    // True when screen capture is permitted, asking the user through the
    // permissions guide when it is not; a refusal switches video off.
    bool checkScreenRecordPermission();
    void notifySelResult(bool result);

private:
    ScreenRegion();
    ~ScreenRegion();
    ScreenRegion(const ScreenRegion&) = delete;
    ScreenRegion& operator=(const ScreenRegion&) = delete;

    // A new box at the stored rectangle (a previous one is released).
    void createCropBox();
    // Reads where the selected display is, for the rectangle conversions.
    void updateDisplayOrigin();

    ScreenCropCallback* m_pCropCallback = nullptr;
    ScreenCaptureCallback* m_pCaptureCallback = nullptr;
    bool m_bPermissionDlgShowing = false;
    QObject m_guiContext;
};
