#pragma once

// State shared by the parts of the Linux engine: the X connection and the
// values the module sets for later use (colours, watermark, options).

#include "ScreencastTypes.h"

#include <xcb/xcb.h>

#include <mutex>
#include <string>

namespace sc {

// What changed, as the device watcher reports it to the listener; the sound
// server's thread posts the sound bits too.
enum DeviceEvent : unsigned {
    kDisplayEvent = 1u << 0,
    kAudioCaptureEvent = 1u << 1,
    kAudioRenderEvent = 1u << 2,
    kVideoCaptureEvent = 1u << 3,
};

// Module tag of the engine's log lines.
constexpr const char* kLogModule = "Screencast";

// Access to the X connection. Holding it keeps scUninitialize from closing
// the connection under the holder; keep it only for a few round trips.
class XLock {
public:
    XLock();
    XLock(const XLock&) = delete;
    XLock& operator=(const XLock&) = delete;

    // False before scInitialize succeeded or after scUninitialize.
    explicit operator bool() const { return m_conn != nullptr; }
    xcb_connection_t* conn() const { return m_conn; }
    xcb_screen_t* screen() const { return m_screen; }

private:
    std::unique_lock<std::mutex> m_lock;
    xcb_connection_t* m_conn = nullptr;
    xcb_screen_t* m_screen = nullptr;
};

// The engine's own X connection, opened by scInitialize and closed by
// scUninitialize (whose callers serialise them): connectDisplay returns
// kScInitOk (also when already connected) or kScInitNoDisplay.
int connectDisplay();
void disconnectDisplay();
bool engineRunning();

// Values set through the interface and read by the overlays and recorders.
struct EngineSettings {
    LineColors screenSelLines{};
    LineColors screenCropLines{};
    AnchorColors screenCropAnchors{};
    LineColors windowCropLines{};
    AnchorColors windowCropAnchors{};
    LineColors imageBoxLines{};
    LineColors imageCropLines{};
    AnchorColors imageCropAnchors{};
    LineColors recordBoxLines{};
    LineColors pauseBoxLines{};
    ColorRef mouseHighlight = 0;
    ColorRef mouseNormal = 0;
    std::string zoomTipsFormat;
    bool hevc10Bit = false;
    std::string watermarkPath;     // empty: no watermark
    int watermarkX = 0;
    int watermarkY = 0;
    int watermarkWidth = 0;
    int watermarkHeight = 0;
    int selectedDisplay = 0;
    std::string virtualAudioDriverName;
    std::string systemOutputDevice; // empty: none chosen
};

// A copy, so that readers on other threads never see a half-written value.
EngineSettings settings();
// Changes the settings under their lock.
template <class F> void updateSettings(F&& change);

// Implementation of updateSettings.
std::mutex& settingsMutex();
EngineSettings& settingsUnlocked();

template <class F> void updateSettings(F&& change)
{
    std::lock_guard<std::mutex> lock(settingsMutex());
    change(settingsUnlocked());
}

// The X display the engine is connected to ($DISPLAY when scInitialize
// succeeded); empty while the engine is stopped. The device watcher opens a
// connection of its own to the same server.
std::string engineDisplayName();

// Copies a UTF-8 text into a fixed field, always terminated, cut on a
// character boundary so that the field stays valid UTF-8.
void copyText(char* field, std::size_t size, const std::string& text);

// Texts from other programs (window titles, device names) are not always
// valid UTF-8: invalid bytes become U+FFFD, so that every text the engine
// hands out is valid.
std::string validUtf8(const std::string& text);
// ISO 8859-1 (the encoding of X's STRING properties) as UTF-8.
std::string latin1ToUtf8(const std::string& text);

} // namespace sc
