#pragma once

// The engine double: answers as scripted (State holds the defaults), logs every call as
// "Name(arguments)" and fires callbacks on a thread of its own, as the engine does.

#include "Screencast.h"

#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <mutex>

class FakeScreenRecorder;
class FakeAudioRecorder;
class FakeImageCapture;
class FakeCropBox;
class FakePlayer;
class FakeExport;
class FakeCamera;

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
        bool visible = true;
        int width = 0;        // the two trailing ints of WindowInfo
        int height = 0;
    };
    struct Device { QString name, uniqueId; }; // a sound device

    struct Watermark { QString path; bool nullPath = true; int x = 0, y = 0, width = 0, height = 0; };
    struct HotKey { unsigned int keysym = 0, modifiers = 0; };
    // The arguments of the last scVideoRecord / scAudioRecord, also of a
    // call made to fail.
    struct VideoRecordCall {
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
        CRecoderCallback* callback = nullptr;
        int render = 0, capture = 0, channels = 0;
        QString captureDeviceId; // empty for null
    };
    // The arguments of the last OpenCamera, also of a call made to fail.
    struct OpenCameraCall {
        CCameraCallback* callback = nullptr;
        ScNativeView view = 0;
        QString deviceId;     // empty for null
        bool onlyCamera = false;
        QSize mode;           // OpenCameraInMode's size; 0 x 0 for OpenCamera
    };
    struct CodecLists { QVector<int> video, audio; bool null = false; }; // each ended by 0
    static CodecLists codecs(QVector<int> video, QVector<int> audio) { return {video << 0, audio << 0}; }

    // What the double answers and what it was told. Edited and read under
    // a lock, so engine threads may call in meanwhile.
    struct State {
        int initResult = 0;
        QVector<Display> displays{{QStringLiteral("Built-in Display"), CRect{0, 0, 1920, 1080}, 1.0, true}};
        int selectedDisplay = 0;
        QVector<Window> windows;                   // for a filter without a list of its own
        QMap<int, QVector<Window>> windowsByFilter;
        // Other programs' windows and panels by ScDesktopWindowKind, top
        // first; the hiding calls switch `visible` and list only visible ones.
        QMap<int, QVector<Window>> desktopWindows;
        QVector<Device> captureDevices, renderDevices;
        QVector<Device> cameras;                   // name and unique id, like sound devices
        QString cameraDefault;                     // empty: GetCameraDefaultDevice answers null
        OpenCameraCall lastOpenCamera;
        QMap<QString, QVector<QSize>> cameraModes; // by unique id; an opened camera takes the chosen size
        QString captureDefault;
        QVector<int> permissions{2, 2, 2, 2};      // by Privacy_Setting; 2 grants
        QVector<int> refusals{0, 0, 0, 0};         // GetPermissionRefusal, by kind
        int virtualDriverCheck = 0;
        QString virtualDriverName;
        QMap<int, CodecLists> codecs{{kOutputMp4, FakeScreencast::codecs({1, 2}, {1})},
                                     {kOutputM4v, FakeScreencast::codecs({1, 2}, {1})},
                                     {kOutputMov, FakeScreencast::codecs({1, 2, 3, 4}, {1, 2, 3})},
                                     {kOutputGif, FakeScreencast::codecs({5}, {})}};
        qint64 freeSpace = 100LL << 30;            // every folder but those below
        QMap<QString, qint64> freeSpaceFor;        // by clean path
        QMap<QString, MediaFileInfo> media;
        QMap<QString, GIFFileInfo> gifs;
        double audioDuration = 0.0;
        int restoreResult = 0;
        QByteArray audioFile;                      // GetAudioRecordFile
        QByteArray lastErrorText;                  // scGetLastErrorText
        QMap<QString, int> failures;
        QStringList log;
        CDeviceNotifies* listener = nullptr;
        CHotKeyCallback* hotKeyCallback = nullptr;
        QMap<int, HotKey> hotKeys;
        QMap<QPair<unsigned int, unsigned int>, int> hotKeyResults;
        Watermark watermark;
        VideoRecordCall lastVideo;
        AudioRecordCall lastAudio;
        QVector<CBaseObject*> live;                // in creation order
    };
    static std::mutex& mutex();
    static State& state();
    static void edit(const std::function<void(State&)>& change)
    {
        std::lock_guard<std::mutex> lock(mutex());
        change(state());
    }
    template <class T> static T read(T State::*field)
    {
        std::lock_guard<std::mutex> lock(mutex());
        return state().*field;
    }

    // Everything back to the defaults; live objects are forgotten, not released.
    static void reset() { edit([](State& s) { s = State(); }); }
    static void setInitResult(int result) { edit([=](State& s) { s.initResult = result; }); }
    static void setDisplays(const QVector<Display>& displays) { edit([&](State& s) { s.displays = displays; }); }
    static void setWindows(const QVector<Window>& windows) { edit([&](State& s) { s.windows = windows; }); }
    static void setDesktopWindows(int kind, const QVector<Window>& windows)
    {
        edit([&](State& s) { s.desktopWindows[kind] = windows; });
    }
    static void setWindowsForFilter(int filter, const QVector<Window>& windows)
    {
        edit([&](State& s) { s.windowsByFilter[filter] = windows; });
    }
    static void setAudioCaptureDevices(const QVector<Device>& devices, const QString& defaultId)
    {
        edit([&](State& s) { s.captureDevices = devices; s.captureDefault = defaultId; });
    }
    static void setCameras(const QVector<Device>& cameras, const QString& defaultId)
    {
        edit([&](State& s) { s.cameras = cameras; s.cameraDefault = defaultId; });
    }
    static OpenCameraCall lastOpenCamera() { return read(&State::lastOpenCamera); }
    static void setCameraModes(const QString& id, const QVector<QSize>& sizes)
    {
        edit([&](State& s) { s.cameraModes[id] = sizes; });
    }
    static void setAudioRenderDevices(const QVector<Device>& devices) { edit([&](State& s) { s.renderDevices = devices; }); }
    // refusal: what GetPermissionRefusal answers for the kind.
    static void setPermission(int kind, int result, int refusal = 0)
    {
        edit([=](State& s) {
            if (kind >= 0 && kind < s.permissions.size()) {
                s.permissions[kind] = result;
                s.refusals[kind] = refusal;
            }
        });
    }
    static void setVirtualAudioDriver(int checkResult, const QString& name)
    {
        edit([&](State& s) { s.virtualDriverCheck = checkResult; s.virtualDriverName = name; });
    }
    static void setCodecs(OutputVideoFileType type, const QVector<int>& video, const QVector<int>& audio)
    {
        edit([&](State& s) { s.codecs[type] = codecs(video, audio); });
    }
    static void setNoCodecs(OutputVideoFileType type) { edit([=](State& s) { s.codecs[type].null = true; }); }
    static void setFreeSpace(qint64 bytes) { edit([=](State& s) { s.freeSpace = bytes; }); }
    static void setFreeSpace(const QString& folder, qint64 bytes);
    static void setMediaInfo(const QString& path, MediaFileInfo info) { edit([&](State& s) { s.media[path] = info; }); }
    static void setGifInfo(const QString& path, GIFFileInfo info) { edit([&](State& s) { s.gifs[path] = info; }); }
    static void setAudioRecordDuration(double seconds) { edit([=](State& s) { s.audioDuration = seconds; }); }
    static void setRestoreAudioResult(int result) { edit([=](State& s) { s.restoreResult = result; }); }
    static void setAudioRecordFile(const QString& path) { edit([=](State& s) { s.audioFile = path.toUtf8(); }); }
    // What scGetLastErrorText answers, on every thread, until set again.
    static void setLastErrorText(const QString& text) { edit([=](State& s) { s.lastErrorText = text.toUtf8(); }); }

    // The next `times` calls fail: creators give null, scInitialize 1, sizes -1, record queries
    // zeros, operations -1, scRegisterHotKey 3.
    static void failNext(const QString& function, int times = 1) { edit([&](State& s) { s.failures[function] = times; }); }

    static QStringList calls() { return read(&State::log); }
    static QStringList callsOf(const QString& function); // matched up to the "("
    static int callCount(const QString& function) { return callsOf(function).size(); }
    static void clearCalls() { edit([](State& s) { s.log.clear(); }); }

    static int selectedDisplay() { return read(&State::selectedDisplay); }
    static CDeviceNotifies* deviceListener() { return read(&State::listener); }
    static Watermark watermark() { return read(&State::watermark); }
    static VideoRecordCall lastVideoRecord() { return read(&State::lastVideo); }

    // The newest live object of a kind, else null.
    static FakeScreenRecorder* screenRecorder();
    static FakeAudioRecorder* audioRecorder();
    static FakeImageCapture* imageCapture();
    static FakeCropBox* cropBox();
    static CPictureObject* picture();
    static FakePlayer* player();
    static FakeExport* mediaExport();
    static FakeCamera* camera();
    static int liveObjectCount() { return read(&State::live).size(); }

    static void fireDisplayChanged();
    static void fireAudioCaptureChanged();
    static void fireAudioRenderChanged();
    static void fireVideoCaptureChanged();

    // scRegisterHotKey answers `result` for exactly this key, 0 for others; a refused id keeps no
    // hotkey; scUninitialize forgets hotkeys and callback.
    static void setHotKeyResult(unsigned int keysym, unsigned int modifiers, int result)
    {
        edit([=](State& s) { s.hotKeyResults[qMakePair(keysym, modifiers)] = result; });
    }
    static QMap<int, HotKey> hotKeys() { return read(&State::hotKeys); }
    static CHotKeyCallback* hotKeyCallback() { return read(&State::hotKeyCallback); }
    static void fireHotKey(int id);

    // Runs `work` on a new thread and joins it: how callbacks are delivered.
    static void runOnEngineThread(const std::function<void()>& work);
    template <class C, class F> static void fire(C* callback, F event)
    {
        if (callback)
            runOnEngineThread([=] { event(callback); });
    }

    // Logs the call and tells whether an injected failure is due for it.
    template <class... Args> static bool call(const QString& function, const Args&... args)
    {
        const QStringList parts{text(args)...};
        return logged(function, function + QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')'));
    }
    // An operation that sets `flag` to `to` unless it fails.
    static int flagged(const char* operation, bool& flag, bool to)
    {
        if (call(operation))
            return -1;
        flag = to;
        return 0;
    }
    // Logs "<iface>::release()" and forgets the object (the fakes' release()).
    static void forget(const char* iface, CBaseObject* object);

private:
    static bool logged(const QString& function, const QString& entry);
    static QString text(int v) { return QString::number(v); }
    static QString text(unsigned int v) { return QString::number(v); }
    static QString text(unsigned long v) { return QString::number(v); }
    static QString text(double v) { return QString::number(v, 'g', 15); }
    static QString text(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
    static QString text(const QString& v) { return v; }
    static QString text(const char* v) { return v ? QLatin1Char('"') + QString::fromUtf8(v) + QLatin1Char('"') : QStringLiteral("null"); }
    static QString text(const CRect& r)
    {
        return QStringLiteral("{%1,%2,%3,%4}").arg(text(r.left), text(r.top), text(r.right), text(r.bottom));
    }
    template <class T> static QString text(T* callback) { return callback ? QStringLiteral("cb") : QStringLiteral("null"); }
};

// The objects: public fields are the script and what was observed.

class FakeScreenCanvas : public CScreenCanvasObject {
public:
    void setNumber(int n) override { FakeScreencast::call("CScreenCanvasObject::setNumber", n); }
    void start(int s, ColorRef colour, ColorRef background, const char* fontFamily, double size) override
    {
        FakeScreencast::call("CScreenCanvasObject::start", s, colour, background, fontFamily, size);
    }
    void stop() override { FakeScreencast::call("CScreenCanvasObject::stop"); }
    void undo() override { FakeScreencast::call("CScreenCanvasObject::undo"); }
    void redo() override { FakeScreencast::call("CScreenCanvasObject::redo"); }
    void clear() override { FakeScreencast::call("CScreenCanvasObject::clear"); }
};

// What both fake recorders share on their failure road: the cause and the
// reason are in place before the code is reported, as in the engine.
struct FakeRecorderFailure {
    explicit FakeRecorderFailure(CRecoderCallback* callback) : callback(callback) {}
    void fireError(SRErrorCode code, int why = SR_CauseNone, const QByteArray& text = QByteArray())
    {
        cause = why;
        reason = text;
        FakeScreencast::fire(callback, [=](CRecoderCallback* c) { c->OnError(code); });
    }

    CRecoderCallback* callback;
    std::atomic<int> cause{SR_CauseNone};
    QByteArray reason;                    // set before the error is fired
};

class FakeScreenRecorder : public CScreenRecoderObject, public FakeRecorderFailure {
public:
    explicit FakeScreenRecorder(CRecoderCallback* callback) : FakeRecorderFailure(callback) {}
    void release() override { FakeScreencast::forget("CScreenRecoderObject", this); delete this; }
    int start() override { return FakeScreencast::flagged("CScreenRecoderObject::start", started, true); }
    int pause() override { return FakeScreencast::flagged("CScreenRecoderObject::pause", paused, true); }
    int resume() override { return FakeScreencast::flagged("CScreenRecoderObject::resume", paused, false); }
    int fileNameLost() override { return nameLost ? 1 : 0; }
    CScreenCanvasObject* createCanvas(CScreenCanvasEvent* events) override
    {
        if (FakeScreencast::call("CScreenRecoderObject::createCanvas", events))
            return nullptr;
        if (!canvas)
            canvas = new FakeScreenCanvas;
        return canvas;
    }
    int64_t frameCount() override { FakeScreencast::call("CScreenRecoderObject::frameCount"); return frames; }
    // Writes a 320x200 PNG whatever the suffix, unless told not to.
    int snapshot(const char* path, int imageFormat) override;
    int errorCause() override { return cause; }
    const char* lastErrorText() override { return reason.constData(); }

    std::atomic<int64_t> frames{0};
    bool snapshotWritesFile = true;
    bool started = false;
    bool paused = false;
    bool nameLost = false;
    FakeScreenCanvas* canvas = nullptr;   // owned

private:
    ~FakeScreenRecorder() override { delete canvas; }
};

class FakeAudioRecorder : public CAudioRecoderObject, public FakeRecorderFailure {
public:
    explicit FakeAudioRecorder(CRecoderCallback* callback) : FakeRecorderFailure(callback) {}
    void release() override { FakeScreencast::forget("CAudioRecoderObject", this); delete this; }
    int start() override { return FakeScreencast::call("CAudioRecoderObject::start") ? -1 : 0; }
    int pause() override { return FakeScreencast::call("CAudioRecoderObject::pause") ? -1 : 0; }
    int resume() override { return FakeScreencast::call("CAudioRecoderObject::resume") ? -1 : 0; }
    int64_t tempFileSize() override { FakeScreencast::call("CAudioRecoderObject::tempFileSize"); return size; }
    int fileNameLost() override { return nameLost ? 1 : 0; }
    int errorCause() override { return cause; }
    const char* lastErrorText() override { return reason.constData(); }

    std::atomic<int64_t> size{0};
    std::atomic<bool> nameLost{false};
};

class FakeImageCapture : public CImageCaptureObject {
public:
    explicit FakeImageCapture(CImageCaptureCallback* callback) : callback(callback) {}
    void release() override { FakeScreencast::forget("CImageCaptureObject", this); delete this; }
    void fireClose() { FakeScreencast::fire(callback, [](CImageCaptureCallback* c) { c->OnClose(); }); }
    void fireSelCompleted(CRect r) { FakeScreencast::fire(callback, [=](CImageCaptureCallback* c) { c->OnScreenSelCompleted(r); }); }

    CImageCaptureCallback* callback;
};

class FakeCropBox : public CScreenCropBoxObject {
public:
    FakeCropBox(CScreenCropCallback* callback, CRect rect) : callback(callback), rect(rect) {}
    void release() override { FakeScreencast::forget("CScreenCropBoxObject", this); delete this; }
    void setRect(CRect r) override { FakeScreencast::call("CScreenCropBoxObject::setRect", r); rect = r; }

    CScreenCropCallback* callback;
    CRect rect;
};

// A player: play, pause and seek log and move the scripted state; the test fires the
// status; endTrim answers through the callback with the range last set.
class FakePlayer : public CAVPlayerObject {
public:
    explicit FakePlayer(AVPlayerStatusCallback* callback) : callback(callback) {}
    void release() override { FakeScreencast::forget("CAVPlayerObject", this); delete this; }
    int play() override { return FakeScreencast::flagged("CAVPlayerObject::play", playing, true); }
    int pause() override { return FakeScreencast::flagged("CAVPlayerObject::pause", playing, false); }
    int isPlaying() override { return playing ? 1 : 0; }
    int seek(double seconds) override
    {
        FakeScreencast::call("CAVPlayerObject::seek", seconds);
        at = seconds;
        return 0;
    }
    double position() override { return at; }
    double duration() override { return length; }
    void videoSize(int& w, int& h) override { w = width; h = height; }
    void beginTrim() override { FakeScreencast::call("CAVPlayerObject::beginTrim"); }
    void setTrimRange(double start, double end) override
    {
        FakeScreencast::call("CAVPlayerObject::setTrimRange", start, end);
        trimStart = start;
        trimEnd = end;
    }
    void endTrim(bool accept) override;
    void fireStatus(int status);

    AVPlayerStatusCallback* callback;
    bool playing = false;
    std::atomic<double> at{0.0};
    double length = 5.0;
    int width = 640, height = 360;
    double trimStart = 0.0, trimEnd = 0.0;
};

// An export that runs until the test ends it: success writes the target.
class FakeExport : public CMediaExportObject {
public:
    FakeExport(AVPlayerExportCallback* callback, const QString& target, double start, double end)
        : callback(callback), target(target), start(start), end(end) {}
    void release() override { FakeScreencast::forget("CMediaExportObject", this); delete this; }
    double progress() override { return done; }
    void finish(bool success);

    AVPlayerExportCallback* callback;
    QString target;
    double start, end;
    std::atomic<double> done{0.0};
};

// An open camera as scripted: record writes `movie` to its path (nothing when empty),
// capture a JPEG of the video size; the test fires the callbacks.
class FakeCamera : public CCameraObject {
public:
    explicit FakeCamera(CCameraCallback* callback) : callback(callback) {}
    void release() override { FakeScreencast::forget("CCameraObject", this); delete this; }
    void videoSize(int& w, int& h) override { w = width; h = height; }
    int capture(const char* path) override;
    int record(const char* path) override;
    int stopRecord() override { return FakeScreencast::flagged("CCameraObject::stopRecord", recording, false); }
    int pause() override { return FakeScreencast::flagged("CCameraObject::pause", paused, true); }
    int resume() override { return FakeScreencast::flagged("CCameraObject::resume", paused, false); }
    int setMicrophone(const char* deviceId) override
    {
        microphone = deviceId ? QString::fromUtf8(deviceId) : QString();
        return FakeScreencast::call("CCameraObject::setMicrophone", deviceId) ? -1 : 0;
    }
    double duration() override { return seconds; }
    int64_t fileSize() override { return bytes; }
    const char* lastErrorText() override { return reason.constData(); }

    void fireError() { FakeScreencast::fire(callback, [](CCameraCallback* c) { c->OnErrorOccurred(); }); }
    void fireFinish(bool failed)
    {
        FakeScreencast::fire(callback, [=](CCameraCallback* c) { c->OnFinishRecording(failed ? 1 : 0); });
    }

    CCameraCallback* callback;
    int width = 1280, height = 720;
    std::atomic<double> seconds{0.0};
    std::atomic<int64_t> bytes{0};
    QByteArray movie = "movie";
    QString microphone;                // empty: none
    QString recordPath;
    QByteArray reason;                 // set before a failure is fired
    bool recording = false;
    bool paused = false;
};
