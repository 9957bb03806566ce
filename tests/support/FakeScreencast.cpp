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
    if (call("scInitialize"))
        return kScInitNoDisplay;
    LOCKED(s.initialized = s.initResult == 0);
    READ(s.initResult);
}

void scUninitialize()
{
    call("scUninitialize");
    LOCKED(s.initialized = false; s.listener = nullptr; s.hotKeyCallback = nullptr; s.hotKeys.clear());
}

int GetDisplayCount() { call("GetDisplayCount"); READ(s.displays.size()); }
void UseDisplay(int display) { call("UseDisplay", display); LOCKED(s.selectedDisplay = display); }
int GetSelectedDisplayWidth() { call("GetSelectedDisplayWidth"); return int(selectedFrame().right - selectedFrame().left); }
int GetSelectedDisplayHeight() { call("GetSelectedDisplayHeight"); return int(selectedFrame().bottom - selectedFrame().top); }

const DisplayInfo* GetDisplayInfo(int display)
{
    static thread_local DisplayInfo record;
    if (call("GetDisplayInfo", display))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (display < 0 || display >= state().displays.size())
        return nullptr;
    const FakeScreencast::Display& d = state().displays[display];
    record = DisplayInfo{};
    copyText(record.name, sizeof record.name, d.name);
    record.frame = d.frame;
    record.scale = d.scale;
    record.primary = d.primary ? 1 : 0;
    return &record;
}

CRect ConvertDisplayRectToScreen(int display, CRect r)
{
    call("ConvertDisplayRectToScreen", display, r);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (display < 0 || display >= state().displays.size())
        return r;
    const CRect& f = state().displays[display].frame;
    return CRect{r.left + f.left, r.top + f.top, r.right + f.left, r.bottom + f.top};
}

CRect ConvertCurrentScreenRectToDisplay(CRect r)
{
    call("ConvertCurrentScreenRectToDisplay", r);
    const CRect f = selectedFrame();
    return CRect{r.left - f.left, r.top - f.top, r.right - f.left, r.bottom - f.top};
}

void RegisterDeviceNotifies(CDeviceNotifies* listener) { call("RegisterDeviceNotifies", listener); LOCKED(s.listener = listener); }
int GetAudioRenderDeviceCount() { call("GetAudioRenderDeviceCount"); READ(s.renderDevices.size()); }
int GetAudioCaptureDeviceCount() { call("GetAudioCaptureDeviceCount"); READ(s.captureDevices.size()); }
int GetAudioCaptureDeviceStatus() { call("GetAudioCaptureDeviceStatus"); return 0; }
const AudioDeviceInfo* GetAudioRenderDeviceInfo(int index)
{
    if (call("GetAudioRenderDeviceInfo", index))
        return nullptr;
    READ(audioDevice(s.renderDevices, index));
}
const AudioDeviceInfo* GetAudioCaptureDeviceInfo(int index)
{
    if (call("GetAudioCaptureDeviceInfo", index))
        return nullptr;
    READ(audioDevice(s.captureDevices, index));
}
const char* GetAudioCaptureDefaultDevice()
{
    if (call("GetAudioCaptureDefaultDevice"))
        return nullptr;
    READ(s.captureDefault.isEmpty() ? nullptr : holdText(s.captureDefault));
}
const char* GetAudioSystemOutputDevice()
{
    if (call("GetAudioSystemOutputDevice"))
        return nullptr;
    READ(s.outputDeviceNull ? nullptr : holdText(s.outputDevice));
}
void SetAudioSystemOutputDevice(const char* id)
{
    call("SetAudioSystemOutputDevice", id);
    LOCKED(s.outputDeviceNull = id == nullptr; s.outputDevice = QString::fromUtf8(id));
}

int RequestPermissionCamera() { call("RequestPermissionCamera"); READ(s.permissions[0]); }
int RequestPermissionMicrophone() { call("RequestPermissionMicrophone"); READ(s.permissions[1]); }
int RequestPermissionScreenCapture() { call("RequestPermissionScreenCapture"); READ(s.permissions[2]); }
int RequestPermissionMouseEvent() { call("RequestPermissionMouseEvent"); READ(s.permissions[3]); }
int CheckVirtualAudioDriver() { return call("CheckVirtualAudioDriver") ? 1 : [] { READ(s.virtualDriverCheck); }(); }
const char* GetVirtualAudioDriverName() { call("GetVirtualAudioDriverName"); READ(holdText(s.virtualDriverName)); }
void SetVirtualAudioDriverName(const char* name)
{
    call("SetVirtualAudioDriverName", name);
    // As the real engine: a null or empty name is refused.
    if (name && *name)
        LOCKED(s.virtualDriverName = QString::fromUtf8(name));
}
int Is_X86_64() { call("Is_X86_64"); return 1; }

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

// Objects nothing scripts: they only log and can be released.
class FakeCompositedImage : public CWindowCompositedImageObject {
public:
    void release() override { FakeScreencast::forget("CWindowCompositedImageObject", this); delete this; }
    void show(WindowListOption option, const unsigned int*, int n) override { call("CWindowCompositedImageObject::show", int(option), n); }

private:
    ~FakeCompositedImage() override = default;
};

class FakeAudioConverter : public CAudioConvertObject {
public:
    void release() override { FakeScreencast::forget("CAudioConvertObject", this); delete this; }

private:
    ~FakeAudioConverter() override = default;
};

// The object `make` builds, unless a failure was injected into `function`.
template <class Object, class Make, class... Args>
CBasePtr<Object> create(const char* function, Make make, const Args&... args)
{
    return call(function, args...) ? CBasePtr<Object>() : CBasePtr<Object>(track(make()));
}
} // namespace

CBasePtr<CWindowListObject> scFindWindow(int filter)
{
    QVector<FakeScreencast::Window> windows;
    LOCKED(windows = s.windowsByFilter.value(filter, s.windows));
    return create<CWindowListObject>("scFindWindow", [&] { return new FakeWindowList(windows); }, filter);
}

CRect GetWindowRect(unsigned int id)
{
    call("GetWindowRect", id);
    std::lock_guard<std::mutex> lock(g_mutex);
    const FakeScreencast::Window* w = findWindow(id);
    return w ? w->frame : CRect{};
}

bool IsWindowVisible(unsigned int id)
{
    call("IsWindowVisible", id);
    std::lock_guard<std::mutex> lock(g_mutex);
    const FakeScreencast::Window* w = findWindow(id);
    return w && w->visible;
}

CBasePtr<CWindowCompositedImageObject> scCreateWindowCompositedImage(ScNativeView view)
{
    return create<CWindowCompositedImageObject>("scCreateWindowCompositedImage", [] { return new FakeCompositedImage; }, view);
}

// The box colours are the engine's business alone: only logged.
void SetScreenSelColors(LineColors) { call("SetScreenSelColors"); }
void SetScreenCropBoxColors(LineColors, AnchorColors) { call("SetScreenCropBoxColors"); }
void SetWindowCropBoxColors(LineColors, AnchorColors) { call("SetWindowCropBoxColors"); }
void SetImageBoxColors(LineColors) { call("SetImageBoxColors"); }
void SetImageCropBoxColors(LineColors, AnchorColors) { call("SetImageCropBoxColors"); }
void SetRecordBoxColor(LineColors) { call("SetRecordBoxColor"); }
void SetPauseBoxColor(LineColors) { call("SetPauseBoxColor"); }
void SetMouseHighLightColor(ColorRef c) { call("SetMouseHighLightColor", c); }
void SetMouseNormalColor(ColorRef c) { call("SetMouseNormalColor", c); }
void SetHEVC10BITEnabled(int enabled) { call("SetHEVC10BITEnabled", enabled); }
void SetZoomTipsFormat(const char* format) { call("SetZoomTipsFormat", format); LOCKED(s.zoomTips = QString::fromUtf8(format)); }

void SetWatermark(const char* path, int x, int y, int width, int height)
{
    call("SetWatermark", path, x, y, width, height);
    LOCKED(s.watermark = (FakeScreencast::Watermark{QString::fromUtf8(path), path == nullptr, x, y, width, height}));
}

const AVFormatCodecs* GetAVFormatCodecs(OutputVideoFileType type)
{
    if (call("GetAVFormatCodecs", int(type)))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = state().codecs.find(int(type));
    if (it == state().codecs.end() || it->second.null)
        return nullptr;
    // Pointed again on every call: reset() may have moved the lists.
    it->second.record = AVFormatCodecs{it->second.video.data(), it->second.audio.data()};
    return &it->second.record;
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
    return create<CScreenRecoderObject>("scVideoRecord", [&] { return new FakeScreenRecorder(args); }, callback, int(type), path);
}

CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback* callback, int8_t render, int8_t capture,
                                            int channels, const char* deviceId)
{
    const FakeScreencast::AudioRecordCall args{true, callback, render, capture, channels, QString::fromUtf8(deviceId)};
    LOCKED(s.lastAudio = args);
    return create<CAudioRecoderObject>("scAudioRecord", [&] { return new FakeAudioRecorder(args); }, callback,
                                       int(render), int(capture), channels, deviceId);
}

double GetAudioRecordDuration() { call("GetAudioRecordDuration"); READ(s.audioDuration); }
int RestoreAudioRecordTempFiles() { call("RestoreAudioRecordTempFiles"); READ(s.restoreResult); }

CBasePtr<CAudioConvertObject> scAudioConvert(AudioConvertCallback* callback, const char* source, const char* target, int format)
{
    return create<CAudioConvertObject>("scAudioConvert", [] { return new FakeAudioConverter; }, callback, source, target, format);
}

CBasePtr<CImageCaptureObject> CreateImageCapture(CImageCaptureCallback* callback)
{
    return create<CImageCaptureObject>("CreateImageCapture", [=] { return new FakeImageCapture(callback); }, callback);
}

CBasePtr<CScreenCropBoxObject> scShowScreenCropBox(CScreenCropCallback* callback, CRect r, bool keepRatio, int width,
                                                   int height)
{
    return create<CScreenCropBoxObject>(
        "scShowScreenCropBox", [=] { return new FakeCropBox(callback, r, keepRatio, width, height); }, callback, r,
        keepRatio, width, height);
}

// No camera is ever present: the module's camera roads end at "none".
int GetCameraDeviceCount() { call("GetCameraDeviceCount"); return 0; }
const CaptureDeviceInfo* GetCameraDevice(int index) { call("GetCameraDevice", index); return nullptr; }
const char* GetCameraDefaultDevice() { call("GetCameraDefaultDevice"); return nullptr; }
CBasePtr<CCameraObject> OpenCamera(CCameraCallback* callback, ScNativeView view, const char* id, bool onlyCamera, void* reserved)
{
    call("OpenCamera", callback, view, id, onlyCamera, reserved);
    return CBasePtr<CCameraObject>();
}

CBasePtr<CPictureObject> ShowPictureOnScreen(const char* path)
{
    return create<CPictureObject>("ShowPictureOnScreen", [=] { return new FakePicture(QString::fromUtf8(path)); }, path);
}

int64_t GetFileSystemFreeSize(const char* folder)
{
    if (call("GetFileSystemFreeSize", folder) || !folder)
        return -1;
    READ(s.freeSpaceFor.value(QDir::cleanPath(QString::fromUtf8(folder)), s.freeSpace));
}

int64_t GetFileSize(const char* path)
{
    if (call("GetFileSize", path) || !path)
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
    if (call("GetMediaFileInfo", path))
        return MediaFileInfo{};
    READ(s.media.value(QString::fromUtf8(path), MediaFileInfo{}));
}

GIFFileInfo GetGIFFileInfo(const char* path)
{
    if (call("GetGIFFileInfo", path))
        return GIFFileInfo{};
    READ(s.gifs.value(QString::fromUtf8(path), GIFFileInfo{}));
}

int scRegisterHotKey(int id, unsigned int keysym, unsigned int modifiers)
{
    const bool failed = call("scRegisterHotKey", id, QStringLiteral("0x%1").arg(keysym, 0, 16), modifiers);
    std::lock_guard<std::mutex> lock(g_mutex);
    State& s = state();
    s.hotKeys.remove(id);
    const int result = failed ? int(kHotKeyNoDisplay) : s.hotKeyResults.value(qMakePair(keysym, modifiers), 0);
    if (result == kHotKeyOk)
        s.hotKeys.insert(id, FakeScreencast::HotKey{keysym, modifiers});
    return result;
}

void scUnregisterHotKey(int id) { call("scUnregisterHotKey", id); LOCKED(s.hotKeys.remove(id)); }
void scSetHotKeyCallback(CHotKeyCallback* callback) { call("scSetHotKeyCallback", callback); LOCKED(s.hotKeyCallback = callback); }

// ===========================================================================
// The objects
// ===========================================================================

namespace {
// An operation that sets `flag` to `to` when it succeeds.
int flagged(const char* op, bool& flag, bool to)
{
    const int r = operation(op);
    if (r == 0)
        flag = to;
    return r;
}
} // namespace

void FakeScreenCanvas::setNumber(int n) { call("CScreenCanvasObject::setNumber", n); number = n; }
void FakeScreenCanvas::start(int s, ColorRef c, ColorRef bg, const char* fontFamily, double size)
{
    call("CScreenCanvasObject::start", s, c, bg, fontFamily, size);
    shape = s;
    lastStart = Stroke{s, c, bg, QString::fromUtf8(fontFamily), size};
}
void FakeScreenCanvas::stop() { call("CScreenCanvasObject::stop"); shape = 0; }
void FakeScreenCanvas::undo() { call("CScreenCanvasObject::undo"); }
void FakeScreenCanvas::redo() { call("CScreenCanvasObject::redo"); }
void FakeScreenCanvas::clear() { call("CScreenCanvasObject::clear"); }
void FakeScreenCanvas::fireCanvasEvent(bool u, bool r) { fire(events, [=](CScreenCanvasEvent* e) { e->OnScreenCanvasEvent(u, r); }); }
void FakeScreenCanvas::fireNumberChanged(int next) { fire(events, [=](CScreenCanvasEvent* e) { e->OnNumberChanged(next); }); }

int FakeScreenRecorder::start() { return flagged("CScreenRecoderObject::start", started, true); }
int FakeScreenRecorder::pause() { return flagged("CScreenRecoderObject::pause", paused, true); }
int FakeScreenRecorder::resume() { return flagged("CScreenRecoderObject::resume", paused, false); }
int64_t FakeScreenRecorder::frameCount() { call("CScreenRecoderObject::frameCount"); return frames.load(); }
CScreenCanvasObject* FakeScreenRecorder::createCanvas(CScreenCanvasEvent* events)
{
    if (call("CScreenRecoderObject::createCanvas", events))
        return nullptr;
    if (!canvas)
        canvas = new FakeScreenCanvas(events);
    return canvas;
}
int FakeScreenRecorder::snapshot(const char* path, int imageFormat)
{
    snapshotFormat = imageFormat;
    if (call("CScreenRecoderObject::snapshot", path, imageFormat) || !snapshotWritesFile || !path)
        return -1;
    QImage image(snapshotSize, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(QString::fromUtf8(path), "PNG") ? 0 : -1;
}
void FakeScreenRecorder::fireError(SRErrorCode code) { fire(args.callback, [=](CRecoderCallback* c) { c->OnError(code); }); }
void FakeScreenRecorder::fireRegionBeginDrag() { fire(args.callback, [](CRecoderCallback* c) { c->OnRecordingRegionBeginDrag(); }); }
void FakeScreenRecorder::fireRegionEndDrag(CRect r) { fire(args.callback, [=](CRecoderCallback* c) { c->OnRecordingRegionEndDrag(r); }); }

int FakeAudioRecorder::start() { return flagged("CAudioRecoderObject::start", started, true); }
int FakeAudioRecorder::pause() { return flagged("CAudioRecoderObject::pause", paused, true); }
int FakeAudioRecorder::resume() { return flagged("CAudioRecoderObject::resume", paused, false); }
int64_t FakeAudioRecorder::tempFileSize() { call("CAudioRecoderObject::tempFileSize"); return size.load(); }
void FakeAudioRecorder::fireError(SRErrorCode code) { fire(args.callback, [=](CRecoderCallback* c) { c->OnError(code); }); }

void FakeImageCapture::fireClose() { fire(callback, [](CImageCaptureCallback* c) { c->OnClose(); }); }
void FakeImageCapture::fireSelCompleted(CRect r) { fire(callback, [=](CImageCaptureCallback* c) { c->OnScreenSelCompleted(r); }); }
void FakeImageCapture::fireBeginResize() { fire(callback, [](CImageCaptureCallback* c) { c->OnBeginResize(); }); }
void FakeImageCapture::fireSizeChanged(CRect r) { fire(callback, [=](CImageCaptureCallback* c) { c->OnSizeChanged(r); }); }
void FakeImageCapture::fireEndResize() { fire(callback, [](CImageCaptureCallback* c) { c->OnEndResize(); }); }

void FakeCropBox::setRect(CRect r) { call("CScreenCropBoxObject::setRect", r); rect = r; }
void FakeCropBox::fireBeginDrag() { fire(callback, [](CScreenCropCallback* c) { c->OnBeginDrag(); }); }
void FakeCropBox::fireEndDrag() { fire(callback, [](CScreenCropCallback* c) { c->OnEndDrag(); }); }
void FakeCropBox::fireRectChanged(CRect r)
{
    rect = r;
    fire(callback, [=](CScreenCropCallback* c) { c->OnScreenRectChanged(r); });
}

int FakePicture::show(const char* path)
{
    if (call("CPictureObject::show", path))
        return -1;
    paths << QString::fromUtf8(path);
    return 0;
}
void FakePicture::close(int fadeMs) { call("CPictureObject::close", fadeMs); closed = true; }
