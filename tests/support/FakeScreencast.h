#pragma once

// A scripted stand-in for the capture engine, linked into unit tests instead
// of the real engine. It implements every function and object of
// Screencast.h: answers come from what the test scripted (or the defaults
// below), every call is logged with its arguments, failures can be injected,
// and the objects it hands out can fire their callbacks, on a thread of
// their own as the real engine does.
//
// Call log format, one entry per call, e.g.
//   scVideoRecord(cb, 1, "/tmp/a.mov", {rect={0,0,1920,1080},window={0,0,0,0},fps=30,codec=1,
//                 quality=3,reserved=0}, {render=1,capture=0,codec=1,quality=3,channels=2},
//                 {cursor=1,indicate=1,reserved=0,click=1,method=0,param=0}, true, 2, [7], [])
//   CScreenRecoderObject::start()
//   scAudioConvert(cb, null, "/tmp/a.mp3", 6)
// - arguments are separated by ", "; integers in decimal; doubles in their
//   shortest form (10, 10.5); bools as true/false;
// - strings in double quotes, a null string as null;
// - CRect as {left,top,right,bottom}; colours as 0xaarrggbb; colour pairs as
//   {0x..,0x..}; id arrays as [1,2];
// - callback pointers as cb (null as null), native views in decimal;
// - keysyms as 0x.. in hex (scRegisterHotKey(1, 0xffc6, 3));
// - object operations as Class::operation(arguments).
//
// Defaults after reset(): not initialised (calls work all the same); one
// primary display "Built-in Display" of 1920x1080 at (0, 0); no windows, no
// sound devices, no cameras; every permission granted (2); the system-sound
// source works (check 0) with an empty name; x86_64; capture status 0; the
// codec lists of a complete FFmpeg (MP4/M4V {1,2}/{1}, MOV {1,2,3,4}/{1,2,3},
// GIF {5}/{}); 100 GiB free everywhere; file sizes from the disk; audio
// conversions report 0 (success) when fired.
//
// Thread safety: the log and the scripted state have a lock, so the module
// may call the engine from its worker threads. Callbacks are fired without
// holding it, so they may call back into the engine.

#include "Screencast.h"

#include <QMap>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

class FakeScreenRecorder;
class FakeAudioRecorder;
class FakeAudioConverter;
class FakeScreenCanvas;
class FakeImageCapture;
class FakeCropBox;
class FakeWindowList;
class FakeCompositedImage;
class FakeCamera;
class FakePicture;

class FakeScreencast {
public:
    // ---- scripted world --------------------------------------------------
    struct Display {
        QString name;
        CRect frame{};        // global coordinates, right = left + width
        double scale = 1.0;
        bool primary = false;
    };
    struct Window {
        unsigned int id = 0;
        QString title;
        QString owner;
        CRect frame{};        // global coordinates; GetWindowRect answers it
        bool visible = true;  // IsWindowVisible answers it
        int width = 0;        // the two trailing ints of WindowInfo
        int height = 0;
    };
    struct Device {           // a sound device or a camera
        QString name;
        QString uniqueId;
    };

    // Everything back to the defaults, the log emptied, the live objects
    // forgotten (not released: their holders still own them).
    static void reset();

    static void setInitResult(int result);
    static void setDisplays(const QVector<Display>& displays);
    // The list scFindWindow returns for every filter without a list of its own.
    static void setWindows(const QVector<Window>& windows);
    static void setWindowsForFilter(int filter, const QVector<Window>& windows);
    static void setAudioCaptureDevices(const QVector<Device>& devices, const QString& defaultId);
    static void setAudioRenderDevices(const QVector<Device>& devices);
    // Permission kinds: 0 camera, 1 microphone, 2 screen capture, 3 mouse events.
    static void setPermission(int kind, int result);
    static void setVirtualAudioDriver(int checkResult, const QString& name);
    static void setCodecs(OutputVideoFileType type, const QVector<int>& video, const QVector<int>& audio);
    // GetAVFormatCodecs returns null for this container.
    static void setNoCodecs(OutputVideoFileType type);
    static void setFreeSpace(qint64 bytes);                        // every folder
    static void setFreeSpace(const QString& folder, qint64 bytes); // this folder exactly
    static void setFileSize(const QString& path, qint64 bytes);    // else the size on disk
    static void setMediaInfo(const QString& path, MediaFileInfo info);
    static void setGifInfo(const QString& path, GIFFileInfo info);
    static void setAudioRecordDuration(double seconds);
    static void setRestoreAudioResult(int result);

    // ---- failure injection -----------------------------------------------
    // The next `times` calls of `function` fail: creating calls return null,
    // scInitialize 1, GetFileSystemFreeSize and GetFileSize -1,
    // CheckVirtualAudioDriver 1, GetDisplayInfo and the other record
    // queries null, GetMediaFileInfo and GetGIFFileInfo zeros. Object
    // operations are named Class::operation (e.g. "CCameraObject::record")
    // and return -1.
    static void failNext(const QString& function, int times = 1);
    // (scRegisterHotKey made to fail returns 3, no display.)

    // ---- call log --------------------------------------------------------
    static QStringList calls();
    // Entries of one function or operation (matched up to the "(").
    static QStringList callsOf(const QString& function);
    static int callCount(const QString& function);
    static void clearCalls();

    // ---- what the module set ---------------------------------------------
    static bool initialized();
    static int selectedDisplay();
    static CDeviceNotifies* deviceListener();
    struct Watermark {
        QString path;         // empty when cleared
        bool nullPath = true;
        int x = 0, y = 0, width = 0, height = 0;
    };
    static Watermark watermark();
    static ColorRef mouseHighlightColor();
    static ColorRef mouseNormalColor();
    static int hevc10Bit();
    static QString zoomTipsFormat();

    // The arguments of the last scVideoRecord / scAudioRecord, also when the
    // call was made to fail.
    struct VideoRecordCall {
        bool made = false;
        CRecoderCallback* callback = nullptr;
        OutputVideoFileType type = kOutputMp4;
        QString path;
        VideoOpt video{};
        AudioOpt audio{};
        MouseOpt mouse{};
        bool boundary = false;
        WindowListOption option = kWindowListNone;
        QVector<unsigned int> exclude;
        QVector<unsigned int> include;
    };
    struct AudioRecordCall {
        bool made = false;
        CRecoderCallback* callback = nullptr;
        int render = 0, capture = 0, channels = 0;
        QString captureDeviceId;   // empty for null
    };
    static VideoRecordCall lastVideoRecord();
    static AudioRecordCall lastAudioRecord();

    // ---- live objects (the newest one not yet released, else null) --------
    static FakeScreenRecorder* screenRecorder();
    static FakeAudioRecorder* audioRecorder();
    static FakeImageCapture* imageCapture();
    static FakeCropBox* cropBox();
    static FakeCamera* camera();
    static FakePicture* picture();
    // Engine objects handed out and not yet released (leak checks).
    static int liveObjectCount();

    // ---- device notifications (on an engine thread) ----------------------
    static void fireDisplayChanged();
    static void fireAudioCaptureChanged();
    static void fireAudioRenderChanged();
    static void fireVideoCaptureChanged();

    // ---- global hotkeys --------------------------------------------------
    // scRegisterHotKey answers `result` for this keysym with exactly these
    // modifiers (ScHotKeyModifier bits) until scripted again; 0 for every
    // other key. A failed registration leaves the id without a hotkey, as
    // the engine does. scUninitialize forgets hotkeys and callback.
    static void setHotKeyResult(unsigned int keysym, unsigned int modifiers, int result);
    struct HotKey {
        unsigned int keysym = 0;
        unsigned int modifiers = 0;
    };
    // The hotkeys registered now, by id.
    static QMap<int, HotKey> hotKeys();
    static CHotKeyCallback* hotKeyCallback();
    // OnHotKey(id) on an engine thread, waited for, when a callback is set
    // (whatever is registered under id).
    static void fireHotKey(int id);

    // Runs `work` on a new thread and waits for it: how the fake objects
    // deliver their callbacks.
    static void runOnEngineThread(const std::function<void()>& work);
};

// ---- fake objects: public fields are the script and the observed state ----

class FakeScreenCanvas : public CScreenCanvasObject {
public:
    explicit FakeScreenCanvas(CScreenCanvasEvent* events) : events(events) {}
    void setNumber(int number) override;
    void start(int shape, ColorRef colour, ColorRef background, const char* fontFamily,
               double size) override;
    void stop() override;
    void undo() override;
    void redo() override;
    void clear() override;

    void fireCanvasEvent(bool canUndo, bool canRedo);
    void fireNumberChanged(int next);

    CScreenCanvasEvent* events;
    int number = 0;
    int shape = 0;            // 0 while no tool runs
    ~FakeScreenCanvas() override = default;
};

class FakeScreenRecorder : public CScreenRecoderObject {
public:
    explicit FakeScreenRecorder(const FakeScreencast::VideoRecordCall& args) : args(args) {}
    void release() override;
    int start() override;
    int pause() override;
    int resume() override;
    CScreenCanvasObject* createCanvas(CScreenCanvasEvent* events) override;
    int64_t frameCount() override;
    int snapshot(const char* path, int imageFormat) override;

    void fireError(SRErrorCode code);
    void fireRegionBeginDrag();
    void fireRegionEndDrag(CRect screenRect);

    FakeScreencast::VideoRecordCall args;
    std::atomic<int64_t> frames{0};
    bool snapshotWritesFile = true;   // a PNG of snapshotSize, whatever the suffix
    QSize snapshotSize{320, 200};
    bool started = false;
    bool paused = false;
    FakeScreenCanvas* canvas = nullptr;   // owned, ends with the recorder

private:
    ~FakeScreenRecorder() override;
};

class FakeAudioRecorder : public CAudioRecoderObject {
public:
    explicit FakeAudioRecorder(const FakeScreencast::AudioRecordCall& args) : args(args) {}
    void release() override;
    int start() override;
    int pause() override;
    int resume() override;
    int64_t tempFileSize() override;

    void fireError(SRErrorCode code);

    FakeScreencast::AudioRecordCall args;
    std::atomic<int64_t> size{0};
    bool started = false;
    bool paused = false;

private:
    ~FakeAudioRecorder() override = default;
};

// A conversion made by scAudioConvert. Nothing happens until the test fires
// its end; a success writes a small file at the target (never over an
// existing one) so that the module finds something to keep.
class FakeAudioConverter : public CAudioConvertObject {
public:
    FakeAudioConverter(AudioConvertCallback* callback, const QString& source, bool nullSource,
                       const QString& target, int format)
        : callback(callback), source(source), nullSource(nullSource), target(target), format(format) {}
    void release() override;

    // OnComplete with success (0).
    void fireComplete();
    void fireComplete(int result);

    AudioConvertCallback* callback;
    QString source;            // empty for null
    bool nullSource;
    QString target;
    int format;
    bool writesFile = true;

private:
    ~FakeAudioConverter() override = default;
};

class FakeImageCapture : public CImageCaptureObject {
public:
    explicit FakeImageCapture(CImageCaptureCallback* callback) : callback(callback) {}
    void release() override;

    void fireClose();
    void fireSelCompleted(CRect screenRect);
    void fireBeginResize();
    void fireSizeChanged(CRect screenRect);
    void fireEndResize();

    CImageCaptureCallback* callback;

private:
    ~FakeImageCapture() override = default;
};

class FakeCropBox : public CScreenCropBoxObject {
public:
    FakeCropBox(CScreenCropCallback* callback, CRect rect, bool keepRatio, int width, int height)
        : callback(callback), rect(rect), keepRatio(keepRatio), width(width), height(height) {}
    void release() override;
    void setRect(CRect screenRect) override;

    void fireBeginDrag();
    void fireEndDrag();
    void fireRectChanged(CRect screenRect);

    CScreenCropCallback* callback;
    CRect rect;
    bool keepRatio;
    int width;
    int height;

private:
    ~FakeCropBox() override = default;
};

class FakeWindowList : public CWindowListObject {
public:
    FakeWindowList(int filter, const QVector<FakeScreencast::Window>& windows)
        : filter(filter), windows(windows) {}
    void release() override;
    int count() override;
    WindowInfo item(int index) override;

    int filter;
    QVector<FakeScreencast::Window> windows;

private:
    ~FakeWindowList() override = default;
};

class FakeCompositedImage : public CWindowCompositedImageObject {
public:
    explicit FakeCompositedImage(ScNativeView view) : view(view) {}
    void release() override;
    void show(WindowListOption option, const unsigned int* ids, int count) override;

    ScNativeView view;
    WindowListOption option = kWindowListNone;
    QVector<unsigned int> ids;

private:
    ~FakeCompositedImage() override = default;
};

class FakeCamera : public CCameraObject {
public:
    FakeCamera(CCameraCallback* callback, ScNativeView view, const QString& deviceId, bool onlyCamera)
        : callback(callback), view(view), deviceId(deviceId), onlyCamera(onlyCamera) {}
    void release() override;
    void videoSize(int& width, int& height) override;
    int capture(const char* path) override;   // writes a JPEG of frameSize on success
    int record(const char* path) override;
    int stopRecord() override;
    int pause() override;
    int resume() override;
    int setMicrophone(const char* deviceId) override;
    double duration() override;
    int64_t fileSize() override;

    void fireError();
    void fireRecordingError();
    void fireFinishRecording(bool failed);

    CCameraCallback* callback;
    ScNativeView view;
    QString deviceId;
    bool onlyCamera;
    QSize frameSize{1280, 720};
    double seconds = 0.0;
    qint64 bytes = 0;
    bool recording = false;
    bool paused = false;
    QString recordPath;
    QString microphone;        // empty for none
    bool microphoneNull = true;

private:
    ~FakeCamera() override = default;
};

class FakePicture : public CPictureObject {
public:
    explicit FakePicture(const QString& path) : paths{path} {}
    void release() override;
    int show(const char* path) override;
    void close(int fadeMs) override;

    QStringList paths;          // every picture shown, in order
    bool closed = false;

private:
    ~FakePicture() override = default;
};
