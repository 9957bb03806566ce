#pragma once

// Everything the module may ask of the capture engine, in one header.
//
// Displays, windows, sound devices and cameras are listed here; screen and
// sound recordings, camera previews, the engine's own boxes and pictures on
// the screen, and facts about files and media are reached through it. The
// engine knows nothing of the module.
//
// Conventions:
// - Paths and texts are UTF-8 `const char*`; the engine copies what it keeps.
// - Calls come from the GUI thread, except GetFileSystemFreeSize,
//   GetFileSize, GetMediaFileInfo, GetGIFFileInfo and GetAVFormatCodecs,
//   which any thread may call at any time, even without scInitialize.
// - Returned records (DisplayInfo, AudioDeviceInfo, CaptureDeviceInfo,
//   AVFormatCodecs) and texts point into the engine; copy what you need
//   before the next call of the same function on the same thread.
// - Before scInitialize succeeds, and after scUninitialize, the display and
//   window queries answer "nothing there" (0, null) and the creating calls
//   return null. Setters may be called at any time; their values are kept
//   across a restart of the engine.
// - Why a call failed: the calls that create or start something (those
//   documented as returning null or non-zero on failure: scInitialize,
//   scVideoRecord, scAudioRecord, scAudioConvert, OpenCamera,
//   OpenCameraInMode, ShowPictureOnScreen, CreateImageCapture,
//   scShowScreenCropBox, scCreateWindowCompositedImage) leave a sentence
//   for the user in scGetLastErrorText(), empty when they succeeded. A
//   screen, sound or camera recording that fails tells its reason through
//   its object's lastErrorText().

#include "ScreencastTypes.h"
#include "ScreencastObjects.h"
#include "ScreencastLevels.h"
#include "ScreencastInput.h"

// The X window id of a native widget (QWidget::winId()) in which the engine
// draws a camera picture or a window preview. The widget should set
// Qt::WA_PaintOnScreen and Qt::WA_NoSystemBackground so that Qt leaves its
// contents to the engine.
typedef uintptr_t ScNativeView;

// Results of scInitialize.
enum ScInitResult : int {
    kScInitOk = 0,
    kScInitNoDisplay = 1,   // no X server at $DISPLAY
};

// ---------------------------------------------------------------------------
// Life
// ---------------------------------------------------------------------------

// Connects to the X server named by $DISPLAY. 0 on success. Calling it again
// while initialised does nothing and returns 0; any thread may call it.
int scInitialize();
// Disconnects and forgets the registered device listener; safe to call when
// not initialised and more than once.
void scUninitialize();

// Why the last creating call of this thread failed, one sentence in the
// user's words ("The disk is full."); "" after one that succeeded. Valid
// until this thread's next call into the engine.
const char* scGetLastErrorText();

// ---------------------------------------------------------------------------
// Displays (one per RandR monitor, the primary one first)
// ---------------------------------------------------------------------------

int GetDisplayCount();
// Null for an index that does not exist.
const DisplayInfo* GetDisplayInfo(int display);
// The display that recordings, the region box and the size queries below
// refer to. An index that does not exist (later, after a display is
// unplugged) falls back to display 0.
void UseDisplay(int display);
int GetSelectedDisplayWidth();
int GetSelectedDisplayHeight();
// A rectangle relative to `display` in global screen coordinates; unchanged
// when the display does not exist.
CRect ConvertDisplayRectToScreen(int display, CRect displayRect);
// A global screen rectangle relative to the display chosen with UseDisplay.
CRect ConvertCurrentScreenRectToDisplay(CRect screenRect);

// ---------------------------------------------------------------------------
// Devices, permissions, the system-sound source
// ---------------------------------------------------------------------------

// The listener for device changes; null stops the notifications. Call it
// with null before the listener is destroyed. It may be registered before
// scInitialize (notifications start with the engine); scUninitialize
// forgets it. Notifications come on the engine's device-watching thread
// while the engine runs: displays (RandR), sound devices added or removed
// and default device changes (sound server), camera nodes appearing or
// going (/dev). Registering waits for a notification in flight on another
// thread, so after RegisterDeviceNotifies(nullptr) returns the old listener
// is never called again; a listener may also unregister itself from inside
// a notification.
void RegisterDeviceNotifies(CDeviceNotifies* listener);

// Sound devices come from the sound server (PulseAudio protocol) and are
// asked for afresh on every call; they also answer before scInitialize.
// Without a sound server there are none, and no call waits for a server
// that does not answer for longer than about 1.5 s.
//
// Output devices: name = the server's description, unique id = the sink's
// name.
int GetAudioRenderDeviceCount();
const AudioDeviceInfo* GetAudioRenderDeviceInfo(int index);
// Input devices: the real sources. The monitor of an output is only listed
// when the server made it the default input (a machine without
// microphone), so that the default input is always listed.
int GetAudioCaptureDeviceCount();
const AudioDeviceInfo* GetAudioCaptureDeviceInfo(int index);
// Unique id of the default input device; null when there is none.
const char* GetAudioCaptureDefaultDevice();
// State of the sound input: 0 usable, otherwise not usable at the moment:
// 1 no sound server answers, 2 there is no input device, 3 the default
// input's port reports that nothing is plugged in.
int GetAudioCaptureDeviceStatus();
// Unique id of the output device whose sound is recorded as system sound:
// the one set with SetAudioSystemOutputDevice while it exists, otherwise
// the default output; null when there is no sound server or no output.
const char* GetAudioSystemOutputDevice();
// Null or "" goes back to following the default output.
void SetAudioSystemOutputDevice(const char* deviceId);

// 0 not asked yet, 1 refused, 2 granted. An X11 desktop asks no one, so
// these answer 2 when the resource can be used and 1 when it cannot:
// a camera node that opens (camera), a sound server that answers and has
// an input (microphone), an X server that accepts the connection (mouse,
// screen).
int RequestPermissionCamera();
int RequestPermissionMicrophone();
int RequestPermissionMouseEvent();
int RequestPermissionScreenCapture();
// Why the permission of a kind (0 camera, 1 microphone, 2 screen, 3 mouse)
// is refused, asked afresh: 0 it is not (its query answers 2); 1 no device:
// no camera node, or a sound server without any input; 2 no access: camera
// nodes exist but this user may not open them (their group); 3 no service:
// no sound server answers (microphone), the X server refuses (screen,
// mouse). Unknown kinds answer 0.
int GetPermissionRefusal(int kind);

// 0 when system sound can be recorded (the output of
// GetAudioSystemOutputDevice has a monitor source), otherwise non-zero:
// 1 no sound server answers, 2 no output device or it has no monitor.
int CheckVirtualAudioDriver();
// The name under which the system-sound source is shown; "" until set.
const char* GetVirtualAudioDriverName();
// A null or empty name is refused: the old name stays.
void SetVirtualAudioDriverName(const char* name);

// Non-zero on x86_64 machines.
int Is_X86_64();

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

// Window-list filters. Every list holds visible (mapped, on the current
// desktop, not minimised) application windows that have a title or an
// owner name, top of the stack first; desktop, dock, menu, tooltip,
// notification and splash windows are left out, and so are this program's
// own windows (_NET_WM_PID) unless kWindowFilterOwn is set.
enum ScWindowFilter : int {
    kWindowFilterNormal = 1,    // ordinary application windows
    kWindowFilterOwn = 4,       // also this program's own windows
    kWindowFilterSingle = 8,    // windows that can be recorded alone: the same as 1
};

// A fresh snapshot of the desktop's windows. Always an object while the
// engine runs, empty when there are no windows. The windows come from the
// window manager's client list, or from the root window's mapped children
// when no window manager runs.
CBasePtr<CWindowListObject> scFindWindow(int filter);
// Frame of a window in global screen coordinates: the window with the
// decoration its window manager draws around it (_NET_FRAME_EXTENTS), as
// the user sees it. All 0 when it is gone, and for 0 and the root window.
CRect GetWindowRect(unsigned int windowId);
// Mapped, on the current desktop and not minimised; false when it is gone,
// and for 0 and the root window.
bool IsWindowVisible(unsigned int windowId);
// A live preview of windows drawn into `view`; null on failure.
CBasePtr<CWindowCompositedImageObject> scCreateWindowCompositedImage(ScNativeView view);

// ---------------------------------------------------------------------------
// Other programs' windows out of sight while recording
// ---------------------------------------------------------------------------

enum ScDesktopWindowKind : int {
    // Application windows (those scFindWindow lists): iconified through the
    // window manager, or unmapped when none runs.
    kDesktopApps = 1,
    // Panels (_NET_WM_WINDOW_TYPE_DOCK): unmapped, mapped again to show them.
    kDesktopPanels = 2,
};

// The windows of `kind` that are on the screen now and belong to other
// programs, top of the stack first. Null before scInitialize and for an
// unknown kind.
CBasePtr<CWindowListObject> scFindDesktopWindows(int kind);
// Hides the windows of `ids`; windows of this program, windows that are
// gone and windows already hidden are skipped. Returns how many it hid.
int scHideDesktopWindows(int kind, const unsigned int* ids, int count);
// Brings back those of `ids` that still exist and are still hidden, each
// raised above the ones before it: given bottom of the stack first, they
// come back in their stacking order. Returns how many it showed.
int scShowDesktopWindows(int kind, const unsigned int* ids, int count);

// ---------------------------------------------------------------------------
// Colours of the engine's on-screen boxes and pointer effects
// ---------------------------------------------------------------------------

void SetScreenSelColors(LineColors lines);
void SetScreenCropBoxColors(LineColors lines, AnchorColors anchors);
void SetWindowCropBoxColors(LineColors lines, AnchorColors anchors);
void SetImageBoxColors(LineColors lines);
void SetImageCropBoxColors(LineColors lines, AnchorColors anchors);
void SetRecordBoxColor(LineColors lines);
void SetPauseBoxColor(LineColors lines);
void SetMouseHighLightColor(ColorRef colour);
void SetMouseNormalColor(ColorRef colour);
// printf-style text with two %d (width, height) shown beside the cross-hair.
void SetZoomTipsFormat(const char* format);

// ---------------------------------------------------------------------------
// Recording
// ---------------------------------------------------------------------------

// HEVC with 10-bit samples; off unless asked for.
void SetHEVC10BITEnabled(int enabled);
// The picture burnt into the next video recordings at (x, y) of the frame,
// scaled to width x height. A null or empty path removes it.
void SetWatermark(const char* path, int x, int y, int width, int height);
// The codecs of a container; null for an unknown container.
const AVFormatCodecs* GetAVFormatCodecs(OutputVideoFileType type);

// Prepares a screen recording into `path` (it is started by start()).
// `boundary` shows the recording box around the area. `exclude` and
// `include` are the window ids of the window options; the arrays are copied.
// Null when the recording cannot be prepared.
CBasePtr<CScreenRecoderObject> scVideoRecord(CRecoderCallback* callback,
                                             OutputVideoFileType type,
                                             const char* path,
                                             VideoOpt video, AudioOpt audio, MouseOpt mouse,
                                             bool boundary, WindowListOption option,
                                             const unsigned int* exclude, int excludeCount,
                                             const unsigned int* include, int includeCount);
// Prepares a sound-only recording of system sound (`render`) and/or the
// microphone (`capture`, the device `captureDeviceId`, null for the default
// input). Null when the recording cannot be prepared.
CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback* callback,
                                            int8_t render, int8_t capture, int channels,
                                            const char* captureDeviceId);
// Seconds of the sound-only recording in progress or last made.
double GetAudioRecordDuration();
// Makes the temporary files of a sound recording interrupted by a crash
// usable again; non-zero when there was one to restore.
int RestoreAudioRecordTempFiles();

// A running conversion of a sound file. Releasing it before OnComplete
// cancels the conversion and removes what was written; once release()
// returns no callback comes.
class CAudioConvertObject : public CBaseObject {
};
// Converts a sound file into an audio format on a thread of the engine and
// reports the end with `callback->OnComplete(result)` on that thread
// (callback may be null). `source` null or "" means the sound-only
// recording last made (or restored); otherwise any sound or movie file.
// `format` is the settings number of the audio format: 4 M4A (AAC), 5 CAF
// (ALAC), 6 MP3, 7 OGG (Vorbis), 8 OPUS, 9 FLAC, 10 WMA. `target` (UTF-8)
// is never overwritten: the file appears there only when complete.
// Results: 0 success; 1 the source cannot be read or the sound encoded;
// 2 the target cannot be written; 3 something appeared at the target
// meanwhile. Null (and no callback) when the conversion cannot start: an
// unknown format, an empty target or one that exists, no recording to
// convert, or a sound-only recording still in progress.
CBasePtr<CAudioConvertObject> scAudioConvert(AudioConvertCallback* callback, const char* source,
                                             const char* target, int format);

// The file of the sound-only recording last made or restored (UTF-8);
// "" when there is none.
const char* GetAudioRecordFile();

// ---------------------------------------------------------------------------
// Players and trimmed exports
// ---------------------------------------------------------------------------

// The item status sent through AVPlayerStatusCallback::OnStatueChanged.
enum ScPlayerStatus : int {
    kPlayerStatusUnknown = 0,
    kPlayerStatusReadyToPlay = 1,
    kPlayerStatusFailed = 2,
};

// A player of one media file. The file is opened on a thread of the
// engine: OnStatueChanged(kPlayerStatusReadyToPlay) follows once it can
// play (the first picture is then shown), kPlayerStatusFailed when it
// cannot be read or decoded; before that play() is remembered and the
// queries answer 0. Pictures are scaled into the view, keeping their ratio
// on black, and follow the view's size; sound goes to the sound server's
// default output, and the picture is timed by the sound actually played.
// Without sound (no stream, no sound server) the picture follows the clock.
// Times are seconds from the start of the file.
class CAVPlayerObject : public CBaseObject {
public:
    // Plays from the position on; at the end (of the file, or of the range
    // while trimming) playing stops and the position stays there. play() at
    // the end starts again from the beginning of the range.
    virtual int play() = 0;
    virtual int pause() = 0;
    // Non-zero while playing.
    virtual int isPlaying() = 0;
    // Goes to `seconds`, clamped into the file (or the trim range); the
    // picture of that moment is shown, also while paused, and position()
    // answers `seconds` at once.
    virtual int seek(double seconds) = 0;
    // What is seen and heard now.
    virtual double position() = 0;
    virtual double duration() = 0;
    // Width and height of the pictures; 0 for a sound file.
    virtual void videoSize(int& width, int& height) = 0;
    // Trimming: while it lasts, playing keeps inside [start, end], which
    // setTrimRange moves (clamped into the file, at least one frame long).
    // endTrim(true) reports OnTrimOK with the range moved onto the frames'
    // times, endTrim(false) OnTrimCancel; both leave trimming.
    virtual void beginTrim() = 0;
    virtual void setTrimRange(double start, double end) = 0;
    virtual void endTrim(bool accept) = 0;
};
// A player of a movie that draws into `view`; null when `path` is no file
// or the engine is not initialised. `callback` may be null.
CBasePtr<CAVPlayerObject> CreateAVPlayer(AVPlayerStatusCallback* callback, ScNativeView view,
                                         const char* path);
// The same for a sound file (or a movie, whose pictures are left out).
CBasePtr<CAVPlayerObject> CreateAudioPlayer(AVPlayerStatusCallback* callback, const char* path);

// A running export of part of a movie or sound file. Releasing it before
// OnExportCompleted cancels the export and removes what was written; once
// release() returns no callback comes.
class CMediaExportObject : public CBaseObject {
public:
    // 0.0 to 1.0.
    virtual double progress() = 0;
};
// Writes [start, end] of `source` into `target` on a thread of the engine,
// in the container of target's suffix with the source's codecs where they
// can be encoded: exact to the frame (the first picture is the one seen at
// `start`) and to the sound sample. `target` is never overwritten: the file
// appears there only when complete. The end comes through
// `callback->OnExportCompleted(success)` on that thread. Null (and no
// callback) when it cannot start: no source, an empty or existing target,
// or an empty range.
CBasePtr<CMediaExportObject> scExportMedia(AVPlayerExportCallback* callback, const char* source,
                                           const char* target, double start, double end);

// ---------------------------------------------------------------------------
// Area selection and region box
// ---------------------------------------------------------------------------

// Starts the full-screen cross-hair selection; null on failure.
CBasePtr<CImageCaptureObject> CreateImageCapture(CImageCaptureCallback* callback);
// Shows the region box at `screenRect`. With `keepRatio` resizing keeps the
// ratio width : height.
CBasePtr<CScreenCropBoxObject> scShowScreenCropBox(CScreenCropCallback* callback,
                                                   CRect screenRect, bool keepRatio,
                                                   int width, int height);

// ---------------------------------------------------------------------------
// Cameras
// ---------------------------------------------------------------------------

// V4L2 nodes (/dev/video*) that capture video, in node order. Name = the
// driver's card name (a second camera of the same name gets " (2)"),
// unique id = the node's path. The default camera is the first one.
// When the environment variable SR_TEST_CAMERA is set (tests, machines
// without a camera) test cameras are listed last, one per source the
// variable names (separated by ';'): a lavfi graph ("lavfi:<graph>") or a
// movie in a loop. The first is "Test Camera" with the id "test-camera",
// the n-th "Test Camera n" with the id "test-camera-n".
int GetCameraDeviceCount();
const CaptureDeviceInfo* GetCameraDevice(int index);
// Unique id of the default camera; null when there is none.
const char* GetCameraDefaultDevice();
// Opens a camera and shows its picture in `view`. `onlyCamera` is true when
// the camera is recorded on its own (the view is the whole recorder) and
// false for the overlay shown over a screen recording. `reserved` must be
// null. Null on failure.
CBasePtr<CCameraObject> OpenCamera(CCameraCallback* callback, ScNativeView view,
                                   const char* deviceId, bool onlyCamera, void* reserved);
// The modes a camera offers, one per picture size, largest first: up to
// `capacity` of them into `modes`; returns how many there are (0 when the
// camera cannot be asked). A test camera offers its own size.
int GetCameraModes(const char* deviceId, CameraModeInfo* modes, int capacity);
// OpenCamera in the mode of the given size. A size the camera does not
// offer, or 0 x 0, opens it in the mode OpenCamera would choose.
CBasePtr<CCameraObject> OpenCameraInMode(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                         bool onlyCamera, int width, int height);

// ---------------------------------------------------------------------------
// Pictures on screen
// ---------------------------------------------------------------------------

// Shows a picture over the whole selected display until the object is
// closed or released; null when the picture cannot be shown.
CBasePtr<CPictureObject> ShowPictureOnScreen(const char* path);

// ---------------------------------------------------------------------------
// Files and media
// ---------------------------------------------------------------------------

// Bytes free for ordinary users on the volume of the folder; negative when
// the folder cannot be examined.
int64_t GetFileSystemFreeSize(const char* folder);
// Size of a regular file; negative when it does not exist or is no file.
int64_t GetFileSize(const char* path);
MediaFileInfo GetMediaFileInfo(const char* path);
GIFFileInfo GetGIFFileInfo(const char* path);

// ---------------------------------------------------------------------------
// Global hotkeys
// ---------------------------------------------------------------------------

// Modifiers of a hotkey; Super is the key that X maps to the same modifier
// as Super_L (usually Mod4), Alt the one of Alt_L (usually Mod1).
enum ScHotKeyModifier : unsigned int {
    kHotKeyShift = 1,
    kHotKeyControl = 2,
    kHotKeyAlt = 4,
    kHotKeySuper = 8,
};

// Results of scRegisterHotKey.
enum ScHotKeyResult : int {
    kHotKeyOk = 0,
    kHotKeyTaken = 1,       // another program, another id or the X server itself
                            // (Ctrl+Alt on keys that switch virtual terminals) holds the key
    kHotKeyInvalid = 2,     // no key of the keyboard makes the keysym, or bad modifiers
    kHotKeyNoDisplay = 3,   // the engine is not initialised or the X server is gone
};

// Makes `keysym` (an X keysym: XK_F9 is 0xffc6, letters in lower case)
// with exactly `modifiers` (ScHotKeyModifier bits) a global hotkey under
// `id`: every key that makes the keysym is grabbed on the root window, with
// and without Caps Lock and Num Lock. A hotkey already registered under
// `id` is replaced; when the new one fails, `id` has no hotkey. Waits for
// the X server's answer; may also be called from OnHotKey. The keys follow
// changes of the keyboard mapping; one that no longer exists is dropped
// (logged).
int scRegisterHotKey(int id, unsigned int keysym, unsigned int modifiers);
// Releases the hotkey of `id`; nothing when there is none.
void scUnregisterHotKey(int id);
// The receiver of hotkey presses; null stops them. Waits for a callback in
// flight on another thread, so the old receiver is never called again once
// this returns; a receiver may also unregister itself from inside
// OnHotKey. Callbacks must not wait for the thread that registers hotkeys.
//
// scUninitialize releases every hotkey, forgets the receiver and ends the
// hotkey thread.
void scSetHotKeyCallback(CHotKeyCallback* callback);
