#pragma once

// Records, enumerations and the owning pointer of the capture engine's
// interface. Everything here crosses the boundary by value, so the layouts
// are fixed: the module reads some records at fixed offsets, and the
// static_asserts below keep the engine and the module honest about them.
//
// Strings inside records are NUL-terminated UTF-8 and always terminated even
// when the source text had to be cut.

#include <cstddef>
#include <cstdint>
#include <utility>

// A rectangle in double coordinates: corner form, not origin and size.
// Screen rectangles are global X screen coordinates; display rectangles are
// relative to the top-left corner of one display.
struct CRect {
    double left;
    double top;
    double right;
    double bottom;
};

// 0xAARRGGBB: alpha in the top byte, so a plain 0xRRGGBB is fully
// transparent, not opaque.
typedef uint32_t ColorRef;

// The line of an on-screen box is drawn in `line` with a thin `edge` beside
// it, so that it stays visible on any background.
struct LineColors {
    ColorRef line;
    ColorRef edge;
};

// The square resize handles of a crop box.
struct AnchorColors {
    ColorRef fill;
    ColorRef edge;
};

// Which windows a recording (or a window preview) takes in. The values equal
// the module's window-recording modes; any other value is passed through and
// treated as kWindowListNone.
enum WindowListOption : int {
    kWindowListNone = 0,     // the screen area as it is
    kWindowListSingle = 1,   // one window, followed wherever it is
    kWindowListExclude = 2,  // the area without the listed windows
    kWindowListInclude = 3,  // only the listed windows, in stacking order
};

// Container of a video recording. M4V is written with the MP4 muxer.
enum OutputVideoFileType : int {
    kOutputMp4 = 0,
    kOutputMov = 1,
    kOutputM4v = 2,
    kOutputGif = 3,
};

// Why a running recording stopped on its own (CRecoderCallback::OnError).
// The module has a message for each value and nothing else may be sent.
enum SRErrorCode : int {
    SR_Success = 0,
    SR_UnknownError = 1,
    SR_FileWriteFailed = 2,
    SR_BufferFull = 3,         // the encoder fell too far behind the capture
    SR_WindowResized = 4,      // single-window recording: the window changed size
    SR_WindowClosed = 5,       // single-window recording: the window went away
    SR_MicInterrupted = 6,     // the microphone disappeared while recording
};

// What lies behind an SRErrorCode that stands for more than one thing, as
// far as the engine knows it; the recorder objects tell it (errorCause())
// from the moment they report the code.
enum SRErrorCause : int {
    SR_CauseNone = 0,            // nothing more is known than the code says
    SR_CauseMicrophoneLost = 1,  // SR_MicInterrupted: the microphone went away
    SR_CauseSystemSoundLost = 2, // SR_MicInterrupted: the system-sound output went away
    SR_CauseSoundServerLost = 3, // SR_MicInterrupted: the sound server stopped
    SR_CauseScreenChanged = 4,   // SR_UnknownError: the screen's size changed under the area
};

// Video codec ids, the same numbers as the module's codec setting.
enum ScVideoCodec : int {
    kVideoCodecH264 = 1,
    kVideoCodecHevc = 2,
    kVideoCodecProRes422 = 3,
    kVideoCodecProRes4444 = 4,
    kVideoCodecGif = 5,
};

// Audio codec ids. ProRes recordings pair with PCM, as editing programs
// expect: 422 with 16-bit, 4444 with 24-bit samples.
enum ScAudioCodec : int {
    kAudioCodecAac = 1,
    kAudioCodecPcm16 = 2,
    kAudioCodecPcm24 = 3,
};

// Still-image formats of CScreenRecoderObject::snapshot. 5 is a second JPEG
// id kept for the module's older image setting.
enum ScImageFormat : int {
    kImagePng = 0,
    kImageJpg = 1,
    kImageBmp = 2,
    kImageGif = 3,
    kImageTiff = 4,
    kImageJpg2 = 5,
};

// Codecs a container offers, best first. Both lists end with 0; an empty list
// is just the 0. The engine only lists codecs whose encoder really exists.
struct AVFormatCodecs {
    const int* videoCodecs;   // ScVideoCodec ids
    const int* audioCodecs;   // ScAudioCodec ids
};

// Video options of scVideoRecord.
struct VideoOpt {
    CRect rect;          // recorded area, relative to the display chosen with UseDisplay
    CRect windowRect;    // single-window mode: {0, 0, width, height} of the window; else 0
    int fps;
    int codec;           // ScVideoCodec
    int quality;         // 1 lowest .. 6 lossless
    int reserved;        // 0
};

// Sound options of scVideoRecord.
struct AudioOpt {
    int8_t render;       // record what the speakers play (system sound)
    int8_t capture;      // record the microphone
    int codec;           // ScAudioCodec
    int quality;         // 1 lowest .. 6 lossless
    int channels;
};

// How the recorded area follows the mouse: method 0 fixed area; method 1
// with parameter 1 the user may drag the area while recording; method 1 with
// parameter 0 the area is centred on the pointer; method 2 the area follows
// the pointer once it reaches an edge.
struct MouseOpt {
    int8_t cursor;       // draw the pointer into the frames
    int8_t indicate;     // highlight the area around the pointer
    int16_t reserved;    // 0
    int clickType;       // 0 none, 1 show the click, 2 blink
    int method;
    int methodParam;
};

// One display (an X RandR monitor). Display 0 is the primary one.
struct DisplayInfo {
    char name[288];
    CRect frame;         // global screen coordinates, right = left + width
    double scale;        // device pixels per logical pixel; 1.0 on X11
    int32_t primary;     // non-zero for the primary display
};

// One sound device. The unique id is what the engine wants back.
struct AudioDeviceInfo {
    char name[256];
    char uniqueId[256];
};

// One camera. The unique id is what OpenCamera wants.
struct CaptureDeviceInfo {
    char name[256];
    char uniqueId[256];
};

// A capture mode of a camera.
struct CameraModeInfo {
    int32_t width;
    int32_t height;
    int32_t fps;         // the rate nearest 30 fps the camera offers at this size
};

// One top-level window of a window list.
struct WindowInfo {
    uint32_t id;         // X window id of the client window
    char title[256];     // may be empty
    char owner[256];     // owning application (WM_CLASS class, else the process name), may be empty
    int32_t width;       // size of the window's frame, as GetWindowRect reports it
    int32_t height;
    int32_t reserved;
};

// Facts of a media file; all 0 when it cannot be read.
struct MediaFileInfo {
    double duration;     // seconds
    int8_t hasVideo;     // a real picture stream, not an embedded cover image
    int32_t width;
    int32_t height;
};

// Facts of a GIF file; duration 0 means it cannot be read.
struct GIFFileInfo {
    double duration;     // seconds
    int32_t width;
    int32_t height;
};

// The module reads these records at fixed offsets.
static_assert(offsetof(DisplayInfo, frame) == 288, "DisplayInfo layout");
static_assert(offsetof(DisplayInfo, scale) == 320, "DisplayInfo layout");
static_assert(offsetof(AudioDeviceInfo, uniqueId) == 256, "AudioDeviceInfo layout");
static_assert(offsetof(CaptureDeviceInfo, uniqueId) == 256, "CaptureDeviceInfo layout");
static_assert(offsetof(WindowInfo, title) == 4, "WindowInfo layout");
static_assert(offsetof(WindowInfo, owner) == 260, "WindowInfo layout");
static_assert(offsetof(WindowInfo, width) == 516, "WindowInfo layout");
static_assert(offsetof(WindowInfo, height) == 520, "WindowInfo layout");
static_assert(sizeof(WindowInfo) == 528, "WindowInfo layout");

// Base of every object the engine hands out. Objects are never deleted by
// their holder: release() ends them, which stops their threads and
// guarantees that no callback of theirs runs after it returns.
class CBaseObject {
public:
    virtual void release() = 0;

protected:
    virtual ~CBaseObject() = default;
};

// The owning pointer in which every engine object comes back. Move-only, so
// that exactly one holder releases the object exactly once.
template <class T>
class CBasePtr {
public:
    CBasePtr() noexcept = default;
    explicit CBasePtr(T* object) noexcept : m_pObject(object) {}
    CBasePtr(const CBasePtr&) = delete;
    CBasePtr& operator=(const CBasePtr&) = delete;
    CBasePtr(CBasePtr&& other) noexcept : m_pObject(std::exchange(other.m_pObject, nullptr)) {}
    CBasePtr& operator=(CBasePtr&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_pObject, nullptr));
        return *this;
    }
    ~CBasePtr() { reset(); }

    // Takes `object` in place of the current one, which is let go only
    // afterwards: a release() that looks back at this holder finds the new
    // object there, never a dangling one.
    void reset(T* object = nullptr) noexcept
    {
        T* old = std::exchange(m_pObject, object);
        if (old)
            old->release();
    }

    T* get() const noexcept { return m_pObject; }
    T* operator->() const noexcept { return m_pObject; }
    T& operator*() const noexcept { return *m_pObject; }
    explicit operator bool() const noexcept { return m_pObject != nullptr; }

private:
    T* m_pObject = nullptr;
};
