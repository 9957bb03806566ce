#include "tests/support/FakeScreencast.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// One container's codec lists; GetAVFormatCodecs points into them.
struct CodecLists {
    std::vector<int> video;
    std::vector<int> audio;
    AVFormatCodecs record{};
    bool null = false;

    void set(const QVector<int>& v, const QVector<int>& a)
    {
        video.assign(v.begin(), v.end());
        video.push_back(0);
        audio.assign(a.begin(), a.end());
        audio.push_back(0);
        null = false;
    }
};

struct State {
    int initResult = 0;
    bool initialized = false;
    QVector<FakeScreencast::Display> displays{{QStringLiteral("Built-in Display"), CRect{0, 0, 1920, 1080}, 1.0, true}};
    int selectedDisplay = 0;
    QVector<FakeScreencast::Window> windows;
    QMap<int, QVector<FakeScreencast::Window>> windowsByFilter;
    QVector<FakeScreencast::Device> captureDevices;
    QVector<FakeScreencast::Device> renderDevices;
    QString captureDefault;
    int permissions[4] = {2, 2, 2, 2};
    int virtualDriverCheck = 0;
    QString virtualDriverName;
    std::map<int, CodecLists> codecs;
    qint64 freeSpace = 100LL * 1024 * 1024 * 1024;
    QMap<QString, qint64> freeSpaceFor;
    QMap<QString, qint64> fileSizes;
    QMap<QString, MediaFileInfo> media;
    QMap<QString, GIFFileInfo> gifs;
    double audioDuration = 0.0;
    int restoreResult = 0;
    QMap<QString, int> failures;
    QStringList log;
    CDeviceNotifies* listener = nullptr;
    CHotKeyCallback* hotKeyCallback = nullptr;
    QMap<int, FakeScreencast::HotKey> hotKeys;
    QMap<QPair<unsigned int, unsigned int>, int> hotKeyResults;
    FakeScreencast::Watermark watermark;
    QString outputDevice;
    bool outputDeviceNull = true;
    QString zoomTips;
    FakeScreencast::VideoRecordCall lastVideo;
    FakeScreencast::AudioRecordCall lastAudio;
    QVector<CBaseObject*> live;   // in creation order

    State()
    {
        codecs[kOutputMp4].set({1, 2}, {1});
        codecs[kOutputM4v].set({1, 2}, {1});
        codecs[kOutputMov].set({1, 2, 3, 4}, {1, 2, 3});
        codecs[kOutputGif].set({5}, {});
    }
};

std::mutex g_mutex;

State& state()
{
    static State* s = new State;   // never destroyed: objects may outlive main's statics
    return *s;
}

#define LOCKED(body)                               \
    do {                                           \
        std::lock_guard<std::mutex> lock(g_mutex); \
        State& s = state();                        \
        body;                                      \
    } while (0)

#define READ(expr)                             \
    std::lock_guard<std::mutex> lock(g_mutex); \
    const State& s = state();                  \
    return expr

// ---- arguments as the log shows them -------------------------------------

QString text(int v) { return QString::number(v); }
QString text(unsigned int v) { return QString::number(v); }
QString text(unsigned long v) { return QString::number(v); }
QString text(double v) { return QString::number(v, 'g', 15); }
QString text(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
QString text(const QString& v) { return v; }
QString text(const char* v) { return v ? QLatin1Char('"') + QString::fromUtf8(v) + QLatin1Char('"') : QStringLiteral("null"); }
QString text(const CRect& r)
{
    return QStringLiteral("{%1,%2,%3,%4}").arg(text(r.left), text(r.top), text(r.right), text(r.bottom));
}
template <class T> QString text(T* callback) { return callback ? QStringLiteral("cb") : QStringLiteral("null"); }

// Logs the call and tells whether an injected failure is due for it.
template <class... Args> bool call(const QString& function, const Args&... args)
{
    const QStringList parts{text(args)...};
    std::lock_guard<std::mutex> lock(g_mutex);
    State& s = state();
    s.log.append(function + QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')'));
    auto it = s.failures.find(function);
    if (it == s.failures.end() || it.value() <= 0)
        return false;
    if (--it.value() == 0)
        s.failures.erase(it);
    return true;
}

template <class... Args> int operation(const QString& op, const Args&... args)
{
    return call(op, args...) ? -1 : 0;
}

template <class T> T* track(T* object)
{
    LOCKED(s.live.append(object));
    return object;
}

template <class T> T* newest()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const QVector<CBaseObject*>& live = state().live;
    for (int i = live.size() - 1; i >= 0; --i) {
        if (T* object = dynamic_cast<T*>(live[i]))
            return object;
    }
    return nullptr;
}

// Runs `event` on an engine thread when there is someone to tell.
template <class C, class F> void fire(C* callback, F event)
{
    if (callback)
        FakeScreencast::runOnEngineThread([=] { event(callback); });
}

void copyText(char* field, std::size_t size, const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    std::size_t n = std::min<std::size_t>(std::size_t(bytes.size()), size - 1);
    // Never cut a UTF-8 sequence in half.
    if (n < std::size_t(bytes.size())) {
        while (n > 0 && (static_cast<unsigned char>(bytes[int(n)]) & 0xC0) == 0x80)
            --n;
    }
    std::memset(field, 0, size);
    std::memcpy(field, bytes.constData(), n);
}

// A text handed out as const char*: kept per thread until the next call.
const char* holdText(const QString& value)
{
    static thread_local QByteArray held;
    held = value.toUtf8();
    return held.constData();
}

const FakeScreencast::Window* findWindow(unsigned int id)
{
    for (const auto& w : state().windows) {
        if (w.id == id)
            return &w;
    }
    return nullptr;
}

CRect selectedFrame()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    if (s.displays.isEmpty())
        return CRect{};
    return s.displays[s.selectedDisplay >= 0 && s.selectedDisplay < s.displays.size() ? s.selectedDisplay : 0].frame;
}

const AudioDeviceInfo* audioDevice(const QVector<FakeScreencast::Device>& list, int index)
{
    static thread_local AudioDeviceInfo record;
    if (index < 0 || index >= list.size())
        return nullptr;
    copyText(record.name, sizeof record.name, list[index].name);
    copyText(record.uniqueId, sizeof record.uniqueId, list[index].uniqueId);
    return &record;
}

void notify(void (CDeviceNotifies::*event)())
{
    CDeviceNotifies* listener;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        listener = state().listener;
    }
    fire(listener, [event](CDeviceNotifies* l) { (l->*event)(); });
}

} // namespace

// ===========================================================================
// Scripting and inspection
// ===========================================================================

void FakeScreencast::reset() { LOCKED(s = State()); }
void FakeScreencast::setInitResult(int result) { LOCKED(s.initResult = result); }
void FakeScreencast::setDisplays(const QVector<Display>& displays) { LOCKED(s.displays = displays); }
void FakeScreencast::setWindows(const QVector<Window>& windows) { LOCKED(s.windows = windows); }
void FakeScreencast::setWindowsForFilter(int filter, const QVector<Window>& windows)
{
    LOCKED(s.windowsByFilter[filter] = windows);
}
void FakeScreencast::setAudioCaptureDevices(const QVector<Device>& devices, const QString& defaultId)
{
    LOCKED(s.captureDevices = devices; s.captureDefault = defaultId);
}
void FakeScreencast::setAudioRenderDevices(const QVector<Device>& devices) { LOCKED(s.renderDevices = devices); }
void FakeScreencast::setPermission(int kind, int result)
{
    if (kind >= 0 && kind < 4)
        LOCKED(s.permissions[kind] = result);
}
void FakeScreencast::setVirtualAudioDriver(int checkResult, const QString& name)
{
    LOCKED(s.virtualDriverCheck = checkResult; s.virtualDriverName = name);
}
void FakeScreencast::setCodecs(OutputVideoFileType type, const QVector<int>& video, const QVector<int>& audio)
{
    LOCKED(s.codecs[type].set(video, audio));
}
void FakeScreencast::setNoCodecs(OutputVideoFileType type) { LOCKED(s.codecs[type].null = true); }
void FakeScreencast::setFreeSpace(qint64 bytes) { LOCKED(s.freeSpace = bytes); }
void FakeScreencast::setFreeSpace(const QString& folder, qint64 bytes)
{
    LOCKED(s.freeSpaceFor[QDir::cleanPath(folder)] = bytes);
}
void FakeScreencast::setFileSize(const QString& path, qint64 bytes) { LOCKED(s.fileSizes[path] = bytes); }
void FakeScreencast::setMediaInfo(const QString& path, MediaFileInfo info) { LOCKED(s.media[path] = info); }
void FakeScreencast::setGifInfo(const QString& path, GIFFileInfo info) { LOCKED(s.gifs[path] = info); }
void FakeScreencast::setAudioRecordDuration(double seconds) { LOCKED(s.audioDuration = seconds); }
void FakeScreencast::setRestoreAudioResult(int result) { LOCKED(s.restoreResult = result); }
void FakeScreencast::failNext(const QString& function, int times) { LOCKED(s.failures[function] = times); }
void FakeScreencast::setHotKeyResult(unsigned int keysym, unsigned int modifiers, int result)
{
    LOCKED(s.hotKeyResults[qMakePair(keysym, modifiers)] = result);
}

QStringList FakeScreencast::calls() { READ(s.log); }
QStringList FakeScreencast::callsOf(const QString& function)
{
    const QString prefix = function + QLatin1Char('(');
    QStringList result;
    for (const QString& entry : calls()) {
        if (entry.startsWith(prefix))
            result << entry;
    }
    return result;
}
int FakeScreencast::callCount(const QString& function) { return callsOf(function).size(); }
void FakeScreencast::clearCalls() { LOCKED(s.log.clear()); }

bool FakeScreencast::initialized() { READ(s.initialized); }
int FakeScreencast::selectedDisplay() { READ(s.selectedDisplay); }
CDeviceNotifies* FakeScreencast::deviceListener() { READ(s.listener); }
FakeScreencast::Watermark FakeScreencast::watermark() { READ(s.watermark); }
QString FakeScreencast::zoomTipsFormat() { READ(s.zoomTips); }
FakeScreencast::VideoRecordCall FakeScreencast::lastVideoRecord() { READ(s.lastVideo); }
FakeScreencast::AudioRecordCall FakeScreencast::lastAudioRecord() { READ(s.lastAudio); }
int FakeScreencast::liveObjectCount() { READ(s.live.size()); }
QMap<int, FakeScreencast::HotKey> FakeScreencast::hotKeys() { READ(s.hotKeys); }
CHotKeyCallback* FakeScreencast::hotKeyCallback() { READ(s.hotKeyCallback); }

FakeScreenRecorder* FakeScreencast::screenRecorder() { return newest<FakeScreenRecorder>(); }
FakeAudioRecorder* FakeScreencast::audioRecorder() { return newest<FakeAudioRecorder>(); }
FakeImageCapture* FakeScreencast::imageCapture() { return newest<FakeImageCapture>(); }
FakeCropBox* FakeScreencast::cropBox() { return newest<FakeCropBox>(); }
FakePicture* FakeScreencast::picture() { return newest<FakePicture>(); }

void FakeScreencast::fireDisplayChanged() { notify(&CDeviceNotifies::OnDisplayChanged); }
void FakeScreencast::fireAudioCaptureChanged() { notify(&CDeviceNotifies::OnAudioCaptureChanged); }
void FakeScreencast::fireAudioRenderChanged() { notify(&CDeviceNotifies::OnAudioRenderChanged); }
void FakeScreencast::fireVideoCaptureChanged() { notify(&CDeviceNotifies::OnVideoCaptureChanged); }
void FakeScreencast::fireHotKey(int id) { fire(hotKeyCallback(), [id](CHotKeyCallback* c) { c->OnHotKey(id); }); }

void FakeScreencast::runOnEngineThread(const std::function<void()>& work)
{
    std::thread thread(work);
    thread.join();
}

void FakeScreencast::forget(const char* iface, CBaseObject* object)
{
    call(QString::fromLatin1(iface) + QStringLiteral("::release"));
    LOCKED(s.live.removeAll(object));
}

// ===========================================================================
// The engine interface
// ===========================================================================

int scInitialize()
{
    if (call(QStringLiteral("scInitialize")))
        return kScInitNoDisplay;
    std::lock_guard<std::mutex> lock(g_mutex);
    state().initialized = state().initResult == 0;
    return state().initResult;
}

void scUninitialize()
{
    call(QStringLiteral("scUninitialize"));
    LOCKED(s.initialized = false; s.listener = nullptr; s.hotKeyCallback = nullptr; s.hotKeys.clear());
}

int GetDisplayCount()
{
    call(QStringLiteral("GetDisplayCount"));
    READ(s.displays.size());
}

const DisplayInfo* GetDisplayInfo(int display)
{
    static thread_local DisplayInfo record;
    if (call(QStringLiteral("GetDisplayInfo"), display))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    if (display < 0 || display >= s.displays.size())
        return nullptr;
    const FakeScreencast::Display& d = s.displays[display];
    record = DisplayInfo{};
    copyText(record.name, sizeof record.name, d.name);
    record.frame = d.frame;
    record.scale = d.scale;
    record.primary = d.primary ? 1 : 0;
    return &record;
}

void UseDisplay(int display)
{
    call(QStringLiteral("UseDisplay"), display);
    LOCKED(s.selectedDisplay = display);
}

int GetSelectedDisplayWidth()
{
    call(QStringLiteral("GetSelectedDisplayWidth"));
    const CRect f = selectedFrame();
    return int(f.right - f.left);
}

int GetSelectedDisplayHeight()
{
    call(QStringLiteral("GetSelectedDisplayHeight"));
    const CRect f = selectedFrame();
    return int(f.bottom - f.top);
}

CRect ConvertDisplayRectToScreen(int display, CRect r)
{
    call(QStringLiteral("ConvertDisplayRectToScreen"), display, r);
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    if (display < 0 || display >= s.displays.size())
        return r;
    const CRect& f = s.displays[display].frame;
    return CRect{r.left + f.left, r.top + f.top, r.right + f.left, r.bottom + f.top};
}

CRect ConvertCurrentScreenRectToDisplay(CRect r)
{
    call(QStringLiteral("ConvertCurrentScreenRectToDisplay"), r);
    const CRect f = selectedFrame();
    return CRect{r.left - f.left, r.top - f.top, r.right - f.left, r.bottom - f.top};
}

void RegisterDeviceNotifies(CDeviceNotifies* listener)
{
    call(QStringLiteral("RegisterDeviceNotifies"), listener);
    LOCKED(s.listener = listener);
}

int GetAudioRenderDeviceCount()
{
    call(QStringLiteral("GetAudioRenderDeviceCount"));
    READ(s.renderDevices.size());
}

const AudioDeviceInfo* GetAudioRenderDeviceInfo(int index)
{
    if (call(QStringLiteral("GetAudioRenderDeviceInfo"), index))
        return nullptr;
    READ(audioDevice(s.renderDevices, index));
}

int GetAudioCaptureDeviceCount()
{
    call(QStringLiteral("GetAudioCaptureDeviceCount"));
    READ(s.captureDevices.size());
}

const AudioDeviceInfo* GetAudioCaptureDeviceInfo(int index)
{
    if (call(QStringLiteral("GetAudioCaptureDeviceInfo"), index))
        return nullptr;
    READ(audioDevice(s.captureDevices, index));
}

const char* GetAudioCaptureDefaultDevice()
{
    if (call(QStringLiteral("GetAudioCaptureDefaultDevice")))
        return nullptr;
    READ(s.captureDefault.isEmpty() ? nullptr : holdText(s.captureDefault));
}

int GetAudioCaptureDeviceStatus()
{
    call(QStringLiteral("GetAudioCaptureDeviceStatus"));
    return 0;
}

const char* GetAudioSystemOutputDevice()
{
    if (call(QStringLiteral("GetAudioSystemOutputDevice")))
        return nullptr;
    READ(s.outputDeviceNull ? nullptr : holdText(s.outputDevice));
}

void SetAudioSystemOutputDevice(const char* deviceId)
{
    call(QStringLiteral("SetAudioSystemOutputDevice"), deviceId);
    LOCKED(s.outputDeviceNull = deviceId == nullptr; s.outputDevice = QString::fromUtf8(deviceId));
}

namespace {
int permission(const char* name, int kind)
{
    call(QString::fromLatin1(name));
    READ(s.permissions[kind]);
}
} // namespace

int RequestPermissionCamera() { return permission("RequestPermissionCamera", 0); }
int RequestPermissionMicrophone() { return permission("RequestPermissionMicrophone", 1); }
int RequestPermissionScreenCapture() { return permission("RequestPermissionScreenCapture", 2); }
int RequestPermissionMouseEvent() { return permission("RequestPermissionMouseEvent", 3); }

int CheckVirtualAudioDriver()
{
    if (call(QStringLiteral("CheckVirtualAudioDriver")))
        return 1;
    READ(s.virtualDriverCheck);
}

const char* GetVirtualAudioDriverName()
{
    call(QStringLiteral("GetVirtualAudioDriverName"));
    READ(holdText(s.virtualDriverName));
}

void SetVirtualAudioDriverName(const char* name)
{
    call(QStringLiteral("SetVirtualAudioDriverName"), name);
    // As the real engine: a null or empty name is refused.
    if (name && *name)
        LOCKED(s.virtualDriverName = QString::fromUtf8(name));
}

int Is_X86_64()
{
    call(QStringLiteral("Is_X86_64"));
    return 1;
}

namespace {
class FakeWindowList : public CWindowListObject {
public:
    explicit FakeWindowList(const QVector<FakeScreencast::Window>& windows) : windows(windows) {}
    void release() override { FakeScreencast::forget("CWindowListObject", this); delete this; }
    int count() override { return windows.size(); }
    WindowInfo item(int index) override
    {
        WindowInfo info{};
        if (index < 0 || index >= windows.size())
            return info;
        const FakeScreencast::Window& w = windows[index];
        info.id = w.id;
        copyText(info.title, sizeof info.title, w.title);
        copyText(info.owner, sizeof info.owner, w.owner);
        info.width = w.width;
        info.height = w.height;
        return info;
    }
    QVector<FakeScreencast::Window> windows;

private:
    ~FakeWindowList() override = default;
};

// The objects nothing scripts: they only log and can be released.
class FakeCompositedImage : public CWindowCompositedImageObject {
public:
    void release() override { FakeScreencast::forget("CWindowCompositedImageObject", this); delete this; }
    void show(WindowListOption option, const unsigned int*, int count) override
    {
        call(QStringLiteral("CWindowCompositedImageObject::show"), int(option), count);
    }

private:
    ~FakeCompositedImage() override = default;
};

class FakeAudioConverter : public CAudioConvertObject {
public:
    void release() override { FakeScreencast::forget("CAudioConvertObject", this); delete this; }

private:
    ~FakeAudioConverter() override = default;
};
} // namespace

CBasePtr<CWindowListObject> scFindWindow(int filter)
{
    if (call(QStringLiteral("scFindWindow"), filter))
        return CBasePtr<CWindowListObject>();
    QVector<FakeScreencast::Window> windows;
    LOCKED(windows = s.windowsByFilter.value(filter, s.windows));
    return CBasePtr<CWindowListObject>(track(new FakeWindowList(windows)));
}

CRect GetWindowRect(unsigned int windowId)
{
    call(QStringLiteral("GetWindowRect"), windowId);
    std::lock_guard<std::mutex> lock(g_mutex);
    const FakeScreencast::Window* w = findWindow(windowId);
    return w ? w->frame : CRect{};
}

bool IsWindowVisible(unsigned int windowId)
{
    call(QStringLiteral("IsWindowVisible"), windowId);
    std::lock_guard<std::mutex> lock(g_mutex);
    const FakeScreencast::Window* w = findWindow(windowId);
    return w && w->visible;
}

CBasePtr<CWindowCompositedImageObject> scCreateWindowCompositedImage(ScNativeView view)
{
    if (call(QStringLiteral("scCreateWindowCompositedImage"), view))
        return CBasePtr<CWindowCompositedImageObject>();
    return CBasePtr<CWindowCompositedImageObject>(track(new FakeCompositedImage));
}

// The box colours are the engine's business alone: only logged.
void SetScreenSelColors(LineColors) { call(QStringLiteral("SetScreenSelColors")); }
void SetScreenCropBoxColors(LineColors, AnchorColors) { call(QStringLiteral("SetScreenCropBoxColors")); }
void SetWindowCropBoxColors(LineColors, AnchorColors) { call(QStringLiteral("SetWindowCropBoxColors")); }
void SetImageBoxColors(LineColors) { call(QStringLiteral("SetImageBoxColors")); }
void SetImageCropBoxColors(LineColors, AnchorColors) { call(QStringLiteral("SetImageCropBoxColors")); }
void SetRecordBoxColor(LineColors) { call(QStringLiteral("SetRecordBoxColor")); }
void SetPauseBoxColor(LineColors) { call(QStringLiteral("SetPauseBoxColor")); }
void SetMouseHighLightColor(ColorRef c) { call(QStringLiteral("SetMouseHighLightColor"), c); }
void SetMouseNormalColor(ColorRef c) { call(QStringLiteral("SetMouseNormalColor"), c); }
void SetHEVC10BITEnabled(int enabled) { call(QStringLiteral("SetHEVC10BITEnabled"), enabled); }

void SetZoomTipsFormat(const char* format)
{
    call(QStringLiteral("SetZoomTipsFormat"), format);
    LOCKED(s.zoomTips = QString::fromUtf8(format));
}

void SetWatermark(const char* path, int x, int y, int width, int height)
{
    call(QStringLiteral("SetWatermark"), path, x, y, width, height);
    LOCKED(s.watermark = (FakeScreencast::Watermark{QString::fromUtf8(path), path == nullptr, x, y, width, height}));
}

const AVFormatCodecs* GetAVFormatCodecs(OutputVideoFileType type)
{
    if (call(QStringLiteral("GetAVFormatCodecs"), int(type)))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = state().codecs.find(int(type));
    if (it == state().codecs.end() || it->second.null)
        return nullptr;
    // Pointed again on every call: reset() may have moved the lists.
    CodecLists& lists = it->second;
    lists.record.videoCodecs = lists.video.data();
    lists.record.audioCodecs = lists.audio.data();
    return &lists.record;
}

CBasePtr<CScreenRecoderObject> scVideoRecord(CRecoderCallback* callback, OutputVideoFileType type,
                                             const char* path, VideoOpt video, AudioOpt audio,
                                             MouseOpt mouse, bool boundary, WindowListOption option,
                                             const unsigned int* exclude, int excludeCount,
                                             const unsigned int* include, int includeCount)
{
    FakeScreencast::VideoRecordCall args{true, callback, type, QString::fromUtf8(path), video, audio, mouse,
                                         boundary, option, {}, {}};
    for (int i = 0; exclude && i < excludeCount; ++i)
        args.exclude << exclude[i];
    for (int i = 0; include && i < includeCount; ++i)
        args.include << include[i];
    LOCKED(s.lastVideo = args);
    if (call(QStringLiteral("scVideoRecord"), callback, int(type), path))
        return CBasePtr<CScreenRecoderObject>();
    return CBasePtr<CScreenRecoderObject>(track(new FakeScreenRecorder(args)));
}

CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback* callback, int8_t render, int8_t capture,
                                            int channels, const char* captureDeviceId)
{
    const FakeScreencast::AudioRecordCall args{true, callback, render, capture, channels,
                                               QString::fromUtf8(captureDeviceId)};
    LOCKED(s.lastAudio = args);
    if (call(QStringLiteral("scAudioRecord"), callback, int(render), int(capture), channels, captureDeviceId))
        return CBasePtr<CAudioRecoderObject>();
    return CBasePtr<CAudioRecoderObject>(track(new FakeAudioRecorder(args)));
}

double GetAudioRecordDuration()
{
    call(QStringLiteral("GetAudioRecordDuration"));
    READ(s.audioDuration);
}

int RestoreAudioRecordTempFiles()
{
    call(QStringLiteral("RestoreAudioRecordTempFiles"));
    READ(s.restoreResult);
}

CBasePtr<CAudioConvertObject> scAudioConvert(AudioConvertCallback* callback, const char* source, const char* target,
                                             int format)
{
    if (call(QStringLiteral("scAudioConvert"), callback, source, target, format))
        return CBasePtr<CAudioConvertObject>();
    return CBasePtr<CAudioConvertObject>(track(new FakeAudioConverter));
}

CBasePtr<CImageCaptureObject> CreateImageCapture(CImageCaptureCallback* callback)
{
    if (call(QStringLiteral("CreateImageCapture"), callback))
        return CBasePtr<CImageCaptureObject>();
    return CBasePtr<CImageCaptureObject>(track(new FakeImageCapture(callback)));
}

CBasePtr<CScreenCropBoxObject> scShowScreenCropBox(CScreenCropCallback* callback, CRect r, bool keepRatio,
                                                   int width, int height)
{
    if (call(QStringLiteral("scShowScreenCropBox"), callback, r, keepRatio, width, height))
        return CBasePtr<CScreenCropBoxObject>();
    return CBasePtr<CScreenCropBoxObject>(track(new FakeCropBox(callback, r, keepRatio, width, height)));
}

// No camera is ever present: the module's camera roads end at "none".
int GetCameraDeviceCount()
{
    call(QStringLiteral("GetCameraDeviceCount"));
    return 0;
}

const CaptureDeviceInfo* GetCameraDevice(int index)
{
    call(QStringLiteral("GetCameraDevice"), index);
    return nullptr;
}

const char* GetCameraDefaultDevice()
{
    call(QStringLiteral("GetCameraDefaultDevice"));
    return nullptr;
}

CBasePtr<CCameraObject> OpenCamera(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                   bool onlyCamera, void* reserved)
{
    call(QStringLiteral("OpenCamera"), callback, view, deviceId, onlyCamera, reserved);
    return CBasePtr<CCameraObject>();
}

CBasePtr<CPictureObject> ShowPictureOnScreen(const char* path)
{
    if (call(QStringLiteral("ShowPictureOnScreen"), path))
        return CBasePtr<CPictureObject>();
    return CBasePtr<CPictureObject>(track(new FakePicture(QString::fromUtf8(path))));
}

int64_t GetFileSystemFreeSize(const char* folder)
{
    if (call(QStringLiteral("GetFileSystemFreeSize"), folder) || !folder)
        return -1;
    READ(s.freeSpaceFor.value(QDir::cleanPath(QString::fromUtf8(folder)), s.freeSpace));
}

int64_t GetFileSize(const char* path)
{
    if (call(QStringLiteral("GetFileSize"), path) || !path)
        return -1;
    const QString p = QString::fromUtf8(path);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (state().fileSizes.contains(p))
            return state().fileSizes.value(p);
    }
    const QFileInfo info(p);
    return info.isFile() ? info.size() : -1;
}

MediaFileInfo GetMediaFileInfo(const char* path)
{
    if (call(QStringLiteral("GetMediaFileInfo"), path))
        return MediaFileInfo{};
    READ(s.media.value(QString::fromUtf8(path), MediaFileInfo{}));
}

GIFFileInfo GetGIFFileInfo(const char* path)
{
    if (call(QStringLiteral("GetGIFFileInfo"), path))
        return GIFFileInfo{};
    READ(s.gifs.value(QString::fromUtf8(path), GIFFileInfo{}));
}

int scRegisterHotKey(int id, unsigned int keysym, unsigned int modifiers)
{
    const QString key = QStringLiteral("0x%1").arg(keysym, 0, 16);
    const bool failed = call(QStringLiteral("scRegisterHotKey"), id, key, modifiers);
    std::lock_guard<std::mutex> lock(g_mutex);
    State& s = state();
    s.hotKeys.remove(id);
    const int result = failed ? int(kHotKeyNoDisplay) : s.hotKeyResults.value(qMakePair(keysym, modifiers), 0);
    if (result == kHotKeyOk)
        s.hotKeys.insert(id, FakeScreencast::HotKey{keysym, modifiers});
    return result;
}

void scUnregisterHotKey(int id)
{
    call(QStringLiteral("scUnregisterHotKey"), id);
    LOCKED(s.hotKeys.remove(id));
}

void scSetHotKeyCallback(CHotKeyCallback* callback)
{
    call(QStringLiteral("scSetHotKeyCallback"), callback);
    LOCKED(s.hotKeyCallback = callback);
}

// ===========================================================================
// The objects
// ===========================================================================

void FakeScreenCanvas::setNumber(int n)
{
    call(QStringLiteral("CScreenCanvasObject::setNumber"), n);
    number = n;
}

void FakeScreenCanvas::start(int s, ColorRef c, ColorRef bg, const char* fontFamily, double size)
{
    call(QStringLiteral("CScreenCanvasObject::start"), s, c, bg, fontFamily, size);
    shape = s;
    lastStart = Stroke{s, c, bg, QString::fromUtf8(fontFamily), size};
}

void FakeScreenCanvas::stop()
{
    call(QStringLiteral("CScreenCanvasObject::stop"));
    shape = 0;
}

void FakeScreenCanvas::undo() { call(QStringLiteral("CScreenCanvasObject::undo")); }
void FakeScreenCanvas::redo() { call(QStringLiteral("CScreenCanvasObject::redo")); }
void FakeScreenCanvas::clear() { call(QStringLiteral("CScreenCanvasObject::clear")); }
void FakeScreenCanvas::fireCanvasEvent(bool canUndo, bool canRedo)
{
    fire(events, [=](CScreenCanvasEvent* e) { e->OnScreenCanvasEvent(canUndo ? 1 : 0, canRedo ? 1 : 0); });
}
void FakeScreenCanvas::fireNumberChanged(int next)
{
    fire(events, [=](CScreenCanvasEvent* e) { e->OnNumberChanged(next); });
}

int FakeScreenRecorder::start()
{
    const int r = operation(QStringLiteral("CScreenRecoderObject::start"));
    started = started || r == 0;
    return r;
}

int FakeScreenRecorder::pause()
{
    const int r = operation(QStringLiteral("CScreenRecoderObject::pause"));
    paused = paused || r == 0;
    return r;
}

int FakeScreenRecorder::resume()
{
    const int r = operation(QStringLiteral("CScreenRecoderObject::resume"));
    paused = paused && r != 0;
    return r;
}

CScreenCanvasObject* FakeScreenRecorder::createCanvas(CScreenCanvasEvent* events)
{
    if (call(QStringLiteral("CScreenRecoderObject::createCanvas"), events))
        return nullptr;
    if (!canvas)
        canvas = new FakeScreenCanvas(events);
    return canvas;
}

int64_t FakeScreenRecorder::frameCount()
{
    call(QStringLiteral("CScreenRecoderObject::frameCount"));
    return frames.load();
}

int FakeScreenRecorder::snapshot(const char* path, int imageFormat)
{
    snapshotFormat = imageFormat;
    if (call(QStringLiteral("CScreenRecoderObject::snapshot"), path, imageFormat) || !snapshotWritesFile || !path)
        return -1;
    QImage image(snapshotSize, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(QString::fromUtf8(path), "PNG") ? 0 : -1;
}

void FakeScreenRecorder::fireError(SRErrorCode code)
{
    fire(args.callback, [=](CRecoderCallback* c) { c->OnError(code); });
}
void FakeScreenRecorder::fireRegionBeginDrag()
{
    fire(args.callback, [](CRecoderCallback* c) { c->OnRecordingRegionBeginDrag(); });
}
void FakeScreenRecorder::fireRegionEndDrag(CRect r)
{
    fire(args.callback, [=](CRecoderCallback* c) { c->OnRecordingRegionEndDrag(r); });
}

int FakeAudioRecorder::start()
{
    const int r = operation(QStringLiteral("CAudioRecoderObject::start"));
    started = started || r == 0;
    return r;
}

int FakeAudioRecorder::pause()
{
    const int r = operation(QStringLiteral("CAudioRecoderObject::pause"));
    paused = paused || r == 0;
    return r;
}

int FakeAudioRecorder::resume()
{
    const int r = operation(QStringLiteral("CAudioRecoderObject::resume"));
    paused = paused && r != 0;
    return r;
}

int64_t FakeAudioRecorder::tempFileSize()
{
    call(QStringLiteral("CAudioRecoderObject::tempFileSize"));
    return size.load();
}

void FakeAudioRecorder::fireError(SRErrorCode code)
{
    fire(args.callback, [=](CRecoderCallback* c) { c->OnError(code); });
}

void FakeImageCapture::fireClose() { fire(callback, [](CImageCaptureCallback* c) { c->OnClose(); }); }
void FakeImageCapture::fireSelCompleted(CRect r)
{
    fire(callback, [=](CImageCaptureCallback* c) { c->OnScreenSelCompleted(r); });
}
void FakeImageCapture::fireBeginResize() { fire(callback, [](CImageCaptureCallback* c) { c->OnBeginResize(); }); }
void FakeImageCapture::fireSizeChanged(CRect r)
{
    fire(callback, [=](CImageCaptureCallback* c) { c->OnSizeChanged(r); });
}
void FakeImageCapture::fireEndResize() { fire(callback, [](CImageCaptureCallback* c) { c->OnEndResize(); }); }

void FakeCropBox::setRect(CRect r)
{
    call(QStringLiteral("CScreenCropBoxObject::setRect"), r);
    rect = r;
}
void FakeCropBox::fireBeginDrag() { fire(callback, [](CScreenCropCallback* c) { c->OnBeginDrag(); }); }
void FakeCropBox::fireEndDrag() { fire(callback, [](CScreenCropCallback* c) { c->OnEndDrag(); }); }
void FakeCropBox::fireRectChanged(CRect r)
{
    rect = r;
    fire(callback, [=](CScreenCropCallback* c) { c->OnScreenRectChanged(r); });
}

int FakePicture::show(const char* path)
{
    if (call(QStringLiteral("CPictureObject::show"), path))
        return -1;
    paths << QString::fromUtf8(path);
    return 0;
}

void FakePicture::close(int fadeMs)
{
    call(QStringLiteral("CPictureObject::close"), fadeMs);
    closed = true;
}
