#pragma once

// The engine double, linked into unit tests instead of the real engine.
// Answers come from what the test scripted, else from the defaults below;
// failures can be injected; the objects it hands out fire their callbacks
// on a thread of their own, as the real engine does.
//
// Every call is logged as "Name(arguments)", object operations as
// "Interface::operation(arguments)": integers in decimal, doubles in their
// shortest form, bools as true/false, strings quoted, null pointers as null,
// callbacks as cb, rectangles as {left,top,right,bottom}, hotkey keysyms in
// hex. What the module passed is also kept as values (lastVideoRecord(),
// watermark(), the objects' fields), which is what new tests compare.
//
// Defaults after reset(): one primary display "Built-in Display" of
// 1920x1080 at (0, 0); no windows, sound devices or cameras; every
// permission granted (2); a working system-sound source with an empty name;
// the codec lists of a complete build (MP4/M4V {1,2}/{1}, MOV {1,2,3,4}/
// {1,2,3}, GIF {5}/{}); 100 GiB free everywhere; file sizes from the disk.
// The log and the script are locked, so worker threads may call in;
// callbacks are fired without the lock.

#include "Screencast.h"

#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

class FakeScreenRecorder;
class FakeAudioRecorder;
class FakeImageCapture;
class FakeCropBox;
class FakePicture;

class FakeScreencast {
public:
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
        CRect frame{};        // what GetWindowRect answers
        bool visible = true;  // what IsWindowVisible answers
        int width = 0;        // the two trailing ints of WindowInfo
        int height = 0;
    };
    struct Device { QString name, uniqueId; }; // a sound device

    // Everything back to the defaults; live objects are forgotten, not
    // released (their holders still own them).
    static void reset();

    static void setInitResult(int result);
    static void setDisplays(const QVector<Display>& displays);
    // What scFindWindow returns for a filter without a list of its own.
    static void setWindows(const QVector<Window>& windows);
    static void setWindowsForFilter(int filter, const QVector<Window>& windows);
    static void setAudioCaptureDevices(const QVector<Device>& devices, const QString& defaultId);
    static void setAudioRenderDevices(const QVector<Device>& devices);
    // kind as the Privacy_Setting numbers; result 2 is a grant.
    static void setPermission(int kind, int result);
    static void setVirtualAudioDriver(int checkResult, const QString& name);
    static void setCodecs(OutputVideoFileType type, const QVector<int>& video, const QVector<int>& audio);
    static void setNoCodecs(OutputVideoFileType type);              // GetAVFormatCodecs gives null
    static void setFreeSpace(qint64 bytes);                        // every folder
    static void setFreeSpace(const QString& folder, qint64 bytes); // this folder exactly
    static void setFileSize(const QString& path, qint64 bytes);    // else the size on disk
    static void setMediaInfo(const QString& path, MediaFileInfo info);
    static void setGifInfo(const QString& path, GIFFileInfo info);
    static void setAudioRecordDuration(double seconds);
    static void setRestoreAudioResult(int result);

    // The next `times` calls of `function` (or "Interface::operation") fail:
    // creating calls give null, scInitialize 1, size queries -1,
    // CheckVirtualAudioDriver 1, record queries null or zeros, object
    // operations -1, scRegisterHotKey 3.
    static void failNext(const QString& function, int times = 1);

    static QStringList calls();
    static QStringList callsOf(const QString& function); // matched up to the "("
    static int callCount(const QString& function);
    static void clearCalls();

    static bool initialized();
    static int selectedDisplay();
    static CDeviceNotifies* deviceListener();
    struct Watermark { QString path; bool nullPath = true; int x = 0, y = 0, width = 0, height = 0; };
    static Watermark watermark();
    static QString zoomTipsFormat();

    // The arguments of the last scVideoRecord / scAudioRecord, also of a
    // call made to fail.
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
        QString captureDeviceId; // empty for null
    };
    static VideoRecordCall lastVideoRecord();
    static AudioRecordCall lastAudioRecord();

    // The newest live object of a kind, else null.
    static FakeScreenRecorder* screenRecorder();
    static FakeAudioRecorder* audioRecorder();
    static FakeImageCapture* imageCapture();
    static FakeCropBox* cropBox();
    static FakePicture* picture();
    static int liveObjectCount();

    static void fireDisplayChanged();
    static void fireAudioCaptureChanged();
    static void fireAudioRenderChanged();
    static void fireVideoCaptureChanged();

    // scRegisterHotKey answers `result` for this keysym with exactly these
    // modifiers, 0 for every other key; a refused id keeps no hotkey.
    // scUninitialize forgets hotkeys and callback.
    static void setHotKeyResult(unsigned int keysym, unsigned int modifiers, int result);
    struct HotKey { unsigned int keysym = 0, modifiers = 0; };
    static QMap<int, HotKey> hotKeys();
    static CHotKeyCallback* hotKeyCallback();
    static void fireHotKey(int id);

    // Runs `work` on a new thread and joins it: how callbacks are delivered.
    static void runOnEngineThread(const std::function<void()>& work);

    // Logs "<iface>::release()" and forgets the object (the fakes' release()).
    static void forget(const char* iface, CBaseObject* object);
};

// The objects: public fields are the script and what was observed.

class FakeScreenCanvas : public CScreenCanvasObject {
public:
    struct Stroke { int shape = 0; ColorRef colour = 0, background = 0; QString font; double size = 0; };
    explicit FakeScreenCanvas(CScreenCanvasEvent* events) : events(events) {}
    ~FakeScreenCanvas() override = default;
    void setNumber(int n) override;
    void start(int shape, ColorRef colour, ColorRef background, const char* fontFamily, double size) override;
    void stop() override;
    void undo() override;
    void redo() override;
    void clear() override;
    void fireCanvasEvent(bool canUndo, bool canRedo);
    void fireNumberChanged(int next);

    CScreenCanvasEvent* events;
    int number = 0;
    int shape = 0;            // 0 while no tool runs
    Stroke lastStart;         // the arguments of the last start()
};

class FakeScreenRecorder : public CScreenRecoderObject {
public:
    explicit FakeScreenRecorder(const FakeScreencast::VideoRecordCall& args) : args(args) {}
    void release() override { FakeScreencast::forget("CScreenRecoderObject", this); delete this; }
    int start() override;
    int pause() override;
    int resume() override;
    CScreenCanvasObject* createCanvas(CScreenCanvasEvent* events) override;
    int64_t frameCount() override;
    // Writes a PNG of snapshotSize whatever the suffix, unless told not to.
    int snapshot(const char* path, int imageFormat) override;
    void fireError(SRErrorCode code);
    void fireRegionBeginDrag();
    void fireRegionEndDrag(CRect screenRect);

    FakeScreencast::VideoRecordCall args;
    std::atomic<int64_t> frames{0};
    bool snapshotWritesFile = true;
    QSize snapshotSize{320, 200};
    int snapshotFormat = -1;  // of the last snapshot
    bool started = false;
    bool paused = false;
    FakeScreenCanvas* canvas = nullptr;   // owned

private:
    ~FakeScreenRecorder() override { delete canvas; }
};

class FakeAudioRecorder : public CAudioRecoderObject {
public:
    explicit FakeAudioRecorder(const FakeScreencast::AudioRecordCall& args) : args(args) {}
    void release() override { FakeScreencast::forget("CAudioRecoderObject", this); delete this; }
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

class FakeImageCapture : public CImageCaptureObject {
public:
    explicit FakeImageCapture(CImageCaptureCallback* callback) : callback(callback) {}
    void release() override { FakeScreencast::forget("CImageCaptureObject", this); delete this; }
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
    void release() override { FakeScreencast::forget("CScreenCropBoxObject", this); delete this; }
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

class FakePicture : public CPictureObject {
public:
    explicit FakePicture(const QString& path) : paths{path} {}
    void release() override { FakeScreencast::forget("CPictureObject", this); delete this; }
    int show(const char* path) override;
    void close(int fadeMs) override;

    QStringList paths;          // every picture shown, in order
    bool closed = false;

private:
    ~FakePicture() override = default;
};
