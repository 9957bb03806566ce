#pragma once

// The engine's objects and the callback interfaces the module implements.
//
// Callbacks come on engine threads (capture, encoder, device watcher), never
// on the GUI thread. They must return quickly and must not release the
// object that raised them: release() waits for the engine's threads, among
// them the one running the callback. The engine keeps a registered callback
// pointer until the object that uses it is released, so the implementer
// must outlive that object.

#include "ScreencastTypes.h"

// ---------------------------------------------------------------------------
// Callback interfaces (implemented by the module)
// ---------------------------------------------------------------------------

// Events of a running screen or sound recording.
class CRecoderCallback {
public:
    // The recording stopped on its own; what was recorded so far stays
    // playable. Sent once per recording.
    virtual void OnError(SRErrorCode code) = 0;
    // The user began / ended dragging the recording box of a recording whose
    // area may move (MouseOpt method 1, parameter 1). The rectangle is in
    // global screen coordinates.
    virtual void OnRecordingRegionBeginDrag() = 0;
    virtual void OnRecordingRegionEndDrag(CRect screenRect) = 0;
    virtual ~CRecoderCallback() = default;
};

// State of the drawing canvas on a recording.
class CScreenCanvasEvent {
public:
    // After every stroke, undo, redo and clear: whether undo / redo can do
    // something (non-zero = yes).
    virtual void OnScreenCanvasEvent(signed char canUndo, signed char canRedo) = 0;
    // A numbered callout was placed; `next` is the number the next one gets.
    virtual void OnNumberChanged(int next) = 0;
    virtual ~CScreenCanvasEvent() = default;
};

// The full-screen cross-hair selection of an area.
class CImageCaptureCallback {
public:
    // The selection ended without a result (Esc, or the object was released
    // while it ran).
    virtual void OnClose() = 0;
    // The user selected an area, in global screen coordinates.
    virtual void OnScreenSelCompleted(CRect screenRect) = 0;
    virtual void OnBeginResize() = 0;
    virtual void OnSizeChanged(CRect screenRect) = 0;
    virtual void OnEndResize() = 0;
    virtual ~CImageCaptureCallback() = default;
};

// The region box shown before a recording starts.
class CScreenCropCallback {
public:
    virtual void OnBeginDrag() = 0;
    virtual void OnEndDrag() = 0;
    // Every move or resize, also while dragging; global screen coordinates.
    virtual void OnScreenRectChanged(CRect screenRect) = 0;
    virtual ~CScreenCropCallback() = default;
};

// An open camera.
class CCameraCallback {
public:
    // The camera failed outside a recording (for instance it was unplugged).
    virtual void OnErrorOccurred() = 0;
    // A camera recording failed while it ran; no finish event follows.
    virtual void OnRecordingErrorOccurred() = 0;
    // A camera recording ended after stopRecord(); non-zero `failed` means
    // the movie could not be completed.
    virtual void OnFinishRecording(signed char failed) = 0;
    virtual ~CCameraCallback() = default;
};

// Device changes. Sent on the engine's device-watching thread.
class CDeviceNotifies {
public:
    virtual void OnDisplayChanged() = 0;
    virtual void OnAudioCaptureChanged() = 0;
    virtual void OnAudioRenderChanged() = 0;
    virtual void OnVideoCaptureChanged() = 0;
    virtual ~CDeviceNotifies() = default;
};

// Global hotkeys registered with scRegisterHotKey. Sent on the engine's
// hotkey thread, once per press of the key (a held key fires once).
class CHotKeyCallback {
public:
    // `id`: the number the hotkey was registered under.
    virtual void OnHotKey(int id) = 0;
    virtual ~CHotKeyCallback() = default;
};

// The preview player's state and trim results.
class AVPlayerStatusCallback {
public:
    virtual void OnStatueChanged(int status) = 0;
    virtual void OnTrimCancel() = 0;
    // Trim accepted; start and end in seconds from the beginning.
    virtual void OnTrimOK(double start, double end) = 0;
    virtual ~AVPlayerStatusCallback() = default;
};

// The end of a video export.
class AVPlayerExportCallback {
public:
    virtual void OnExportCompleted(bool success) = 0;
    virtual ~AVPlayerExportCallback() = default;
};

// The end of an audio conversion; result 0 means success.
class AudioConvertCallback {
public:
    virtual void OnComplete(int result) = 0;
    virtual ~AudioConvertCallback() = default;
};

// ---------------------------------------------------------------------------
// Engine objects (held in CBasePtr; results 0 mean success)
// ---------------------------------------------------------------------------

// The drawing canvas on a screen recording. It belongs to its recorder
// object and ends with it, so it has no release of its own.
class CScreenCanvasObject {
public:
    // The number last shown by a numbered callout (shape 7); the next one
    // gets number + 1.
    virtual void setNumber(int number) = 0;
    // Starts a drawing tool (the module's shape numbers; 0 is none). `size`
    // is the stroke width, or the font size for text. Colours are full ARGB.
    virtual void start(int shape, ColorRef colour, ColorRef background,
                       const char* fontFamily, double size) = 0;
    // Leaves the drawing tool; the strokes stay on the recording.
    virtual void stop() = 0;
    virtual void undo() = 0;
    virtual void redo() = 0;
    virtual void clear() = 0;

protected:
    virtual ~CScreenCanvasObject() = default;
};

// A screen recording, created paused before its first frame. Releasing it
// stops the recording and finalises the file; a file whose name was deleted
// meanwhile is written out again under that name (its folders made anew).
class CScreenRecoderObject : public CBaseObject {
public:
    virtual int start() = 0;
    virtual int pause() = 0;
    virtual int resume() = 0;
    // Non-zero once the file's name is gone (the file or a folder above it
    // was deleted): the frames still go into the open file, but only the
    // release brings it back to its name.
    virtual int fileNameLost() = 0;
    // The canvas of this recording, created on first call; `events` is kept
    // until the recorder is released.
    virtual CScreenCanvasObject* createCanvas(CScreenCanvasEvent* events) = 0;
    // Frames written so far.
    virtual int64_t frameCount() = 0;
    // Writes the last recorded frame (without the pointer) to `path` in an
    // ScImageFormat.
    virtual int snapshot(const char* path, int imageFormat) = 0;
    // The SRErrorCause of the error reported through OnError; SR_CauseNone
    // before any.
    virtual int errorCause() = 0;
    // Why the recording stopped, one sentence in the user's words ("The
    // disk is full."), set before OnError is sent; "" before any error.
    // Valid until the object is released.
    virtual const char* lastErrorText() = 0;
};

// A sound-only recording into the engine's own temporary files, which
// survive a crash (RestoreAudioRecordTempFiles).
class CAudioRecoderObject : public CBaseObject {
public:
    virtual int start() = 0;
    virtual int pause() = 0;
    virtual int resume() = 0;
    // Bytes of recorded sound so far.
    virtual int64_t tempFileSize() = 0;
    // Non-zero once the temporary file's name is gone (it or its folder was
    // deleted): the sound still goes into the open file, and the release
    // writes it out again as the last recording.
    virtual int fileNameLost() = 0;
    // The SRErrorCause of the error reported through OnError; SR_CauseNone
    // before any.
    virtual int errorCause() = 0;
    // Why the recording stopped, one sentence in the user's words ("The
    // disk is full."), set before OnError is sent; "" before any error.
    // Valid until the object is released.
    virtual const char* lastErrorText() = 0;
};

// A running cross-hair selection; releasing it takes it off the screen.
class CImageCaptureObject : public CBaseObject {
};

// The region box; releasing it takes it off the screen.
class CScreenCropBoxObject : public CBaseObject {
public:
    // Moves and sizes the box, in global screen coordinates.
    virtual void setRect(CRect screenRect) = 0;
};

// A snapshot of the desktop's top-level windows, top of the stack first.
class CWindowListObject : public CBaseObject {
public:
    virtual int count() = 0;
    // A zeroed record for an index outside the list.
    virtual WindowInfo item(int index) = 0;
};

// A live picture of chosen windows drawn into a view of the module.
class CWindowCompositedImageObject : public CBaseObject {
public:
    // Chooses what the view shows; `ids` is copied.
    virtual void show(WindowListOption option, const unsigned int* ids, int count) = 0;
};

// An open camera showing its picture in a view of the module.
class CCameraObject : public CBaseObject {
public:
    virtual void videoSize(int& width, int& height) = 0;
    // A JPEG photo of the current picture.
    virtual int capture(const char* path) = 0;
    // A MOV movie; the microphone is the one set with setMicrophone.
    virtual int record(const char* path) = 0;
    // OnFinishRecording follows once the file is complete.
    virtual int stopRecord() = 0;
    virtual int pause() = 0;
    virtual int resume() = 0;
    // Unique id of the input device to record with, or null for no sound.
    virtual int setMicrophone(const char* deviceId) = 0;
    // Seconds recorded so far.
    virtual double duration() = 0;
    // Bytes written so far.
    virtual int64_t fileSize() = 0;
    // Why the last movie failed (record() refused it, OnRecordingErrorOccurred,
    // or OnFinishRecording with `failed`), one sentence in the user's words;
    // "" when it did not. Set before the callback is sent; valid until this
    // thread's next call of it.
    virtual const char* lastErrorText() = 0;
};

// A picture shown over the whole screen (the start countdown).
class CPictureObject : public CBaseObject {
public:
    // Replaces the picture on screen.
    virtual int show(const char* path) = 0;
    // Takes the picture off the screen, fading out over `fadeMs` (0: at once).
    virtual void close(int fadeMs) = 0;
};
