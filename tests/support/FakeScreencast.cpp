#include "tests/support/FakeScreencast.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

using State = FakeScreencast::State;

#define LOCKED(body) FakeScreencast::edit([&](State& s) { body; })

#define READ(expr)                                             \
    std::lock_guard<std::mutex> lock(FakeScreencast::mutex()); \
    const State& s = FakeScreencast::state();                  \
    return expr

template <class... Args> bool call(const QString& function, const Args&... args)
{
    return FakeScreencast::call(function, args...);
}

template <class T> T* track(T* object)
{
    LOCKED(s.live.append(object));
    return object;
}

template <class T> T* newest()
{
    std::lock_guard<std::mutex> lock(FakeScreencast::mutex());
    const QVector<CBaseObject*>& live = FakeScreencast::state().live;
    for (int i = live.size() - 1; i >= 0; --i) {
        if (T* object = dynamic_cast<T*>(live[i]))
            return object;
    }
    return nullptr;
}

// A text handed out as const char*: kept per thread until the next call.
const char* holdText(const QString& value)
{
    static thread_local QByteArray held;
    held = value.toUtf8();
    return held.constData();
}

// The scripted window of that id; a window of id 0 with no frame without one.
FakeScreencast::Window window(unsigned int id)
{
    for (const FakeScreencast::Window& w : FakeScreencast::read(&State::windows)) {
        if (w.id == id)
            return w;
    }
    return FakeScreencast::Window{};
}

CRect selectedFrame()
{
    const QVector<FakeScreencast::Display> displays = FakeScreencast::read(&State::displays);
    return displays.isEmpty() ? CRect{} : displays.value(FakeScreencast::selectedDisplay(), displays.first()).frame;
}

const AudioDeviceInfo* audioDevice(const QVector<FakeScreencast::Device>& list, int index)
{
    static thread_local AudioDeviceInfo record;
    if (index < 0 || index >= list.size())
        return nullptr;
    qstrncpy(record.name, list[index].name.toUtf8().constData(), sizeof record.name);
    qstrncpy(record.uniqueId, list[index].uniqueId.toUtf8().constData(), sizeof record.uniqueId);
    return &record;
}

void notify(void (CDeviceNotifies::*event)())
{
    FakeScreencast::fire(FakeScreencast::deviceListener(), [event](CDeviceNotifies* l) { (l->*event)(); });
}

} // namespace

std::mutex& FakeScreencast::mutex()
{
    static std::mutex m;
    return m;
}
FakeScreencast::State& FakeScreencast::state()
{
    static State* s = new State;   // never destroyed: objects may outlive main's statics
    return *s;
}
void FakeScreencast::setFreeSpace(const QString& folder, qint64 bytes)
{
    edit([&](State& s) { s.freeSpaceFor[QDir::cleanPath(folder)] = bytes; });
}
bool FakeScreencast::logged(const QString& function, const QString& entry)
{
    std::lock_guard<std::mutex> lock(mutex());
    State& s = state();
    s.log.append(entry);
    auto it = s.failures.find(function);
    if (it == s.failures.end() || it.value() <= 0)
        return false;
    if (--it.value() == 0)
        s.failures.erase(it);
    return true;
}
QStringList FakeScreencast::callsOf(const QString& function)
{
    return calls().filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(function) + "\\("));
}

FakeScreenRecorder* FakeScreencast::screenRecorder() { return newest<FakeScreenRecorder>(); }
FakeAudioRecorder* FakeScreencast::audioRecorder() { return newest<FakeAudioRecorder>(); }
FakeImageCapture* FakeScreencast::imageCapture() { return newest<FakeImageCapture>(); }
FakeCropBox* FakeScreencast::cropBox() { return newest<FakeCropBox>(); }
CPictureObject* FakeScreencast::picture() { return newest<CPictureObject>(); }
FakePlayer* FakeScreencast::player() { return newest<FakePlayer>(); }
FakeExport* FakeScreencast::mediaExport() { return newest<FakeExport>(); }
FakeCamera* FakeScreencast::camera() { return newest<FakeCamera>(); }

void FakeScreencast::fireDisplayChanged() { notify(&CDeviceNotifies::OnDisplayChanged); }
void FakeScreencast::fireAudioCaptureChanged() { notify(&CDeviceNotifies::OnAudioCaptureChanged); }
void FakeScreencast::fireAudioRenderChanged() { notify(&CDeviceNotifies::OnAudioRenderChanged); }
void FakeScreencast::fireVideoCaptureChanged() { notify(&CDeviceNotifies::OnVideoCaptureChanged); }
void FakeScreencast::fireHotKey(int id) { FakeScreencast::fire(hotKeyCallback(), [id](CHotKeyCallback* c) { c->OnHotKey(id); }); }

void FakeScreencast::runOnEngineThread(const std::function<void()>& work)
{
    std::thread(work).join();
}

void FakeScreencast::forget(const char* iface, CBaseObject* object)
{
    call(QString::fromLatin1(iface) + QStringLiteral("::release"));
    LOCKED(s.live.removeAll(object));
}

// ---- the engine interface ---------------------------------------------------

int scInitialize()
{
    if (call("scInitialize"))
        return kScInitNoDisplay;
    READ(s.initResult);
}

const char* scGetLastErrorText()
{
    thread_local QByteArray text;
    LOCKED(text = s.lastErrorText);
    return text.constData();
}

void scUninitialize()
{
    call("scUninitialize");
    LOCKED(s.listener = nullptr; s.hotKeyCallback = nullptr; s.hotKeys.clear());
}

int GetDisplayCount() { call("GetDisplayCount"); READ(s.displays.size()); }
void UseDisplay(int display) { call("UseDisplay", display); LOCKED(s.selectedDisplay = display); }
int GetSelectedDisplayWidth() { call("GetSelectedDisplayWidth"); return int(selectedFrame().right - selectedFrame().left); }
int GetSelectedDisplayHeight() { call("GetSelectedDisplayHeight"); return int(selectedFrame().bottom - selectedFrame().top); }

const DisplayInfo* GetDisplayInfo(int display)
{
    static thread_local DisplayInfo record;
    const QVector<FakeScreencast::Display> displays = FakeScreencast::read(&State::displays);
    if (call("GetDisplayInfo", display) || display < 0 || display >= displays.size())
        return nullptr;
    const FakeScreencast::Display& d = displays[display];
    record = DisplayInfo{{}, d.frame, d.scale, d.primary ? 1 : 0};
    qstrncpy(record.name, d.name.toUtf8().constData(), sizeof record.name);
    return &record;
}

CRect ConvertDisplayRectToScreen(int display, CRect r)
{
    call("ConvertDisplayRectToScreen", display, r);
    const CRect f = FakeScreencast::read(&State::displays).value(display).frame; // none: {0,0,0,0}
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
    return call("GetAudioRenderDeviceInfo", index) ? nullptr : audioDevice(FakeScreencast::read(&State::renderDevices), index);
}
const AudioDeviceInfo* GetAudioCaptureDeviceInfo(int index)
{
    return call("GetAudioCaptureDeviceInfo", index) ? nullptr : audioDevice(FakeScreencast::read(&State::captureDevices), index);
}
const char* GetAudioCaptureDefaultDevice()
{
    const QString id = FakeScreencast::read(&State::captureDefault);
    return call("GetAudioCaptureDefaultDevice") || id.isEmpty() ? nullptr : holdText(id);
}
// The module only asks whether one is set: none ever is.
const char* GetAudioSystemOutputDevice() { call("GetAudioSystemOutputDevice"); return nullptr; }
void SetAudioSystemOutputDevice(const char* id) { call("SetAudioSystemOutputDevice", id); }

int RequestPermissionCamera() { call("RequestPermissionCamera"); READ(s.permissions[0]); }
int RequestPermissionMicrophone() { call("RequestPermissionMicrophone"); READ(s.permissions[1]); }
int RequestPermissionScreenCapture() { call("RequestPermissionScreenCapture"); READ(s.permissions[2]); }
int RequestPermissionMouseEvent() { call("RequestPermissionMouseEvent"); READ(s.permissions[3]); }
int GetPermissionRefusal(int kind)
{
    call("GetPermissionRefusal", kind);
    READ(s.refusals.value(kind));
}
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
        qstrncpy(info.title, w.title.toUtf8().constData(), sizeof info.title);
        qstrncpy(info.owner, w.owner.toUtf8().constData(), sizeof info.owner);
        info.width = w.width;
        info.height = w.height;
        return info;
    }
    QVector<FakeScreencast::Window> windows;
};

// Objects nothing scripts: they only log and can be released.
class FakePicture : public CPictureObject {
public:
    void release() override { FakeScreencast::forget("CPictureObject", this); delete this; }
    int show(const char* path) override { return call("CPictureObject::show", path) ? -1 : 0; }
    void close(int fadeMs) override { call("CPictureObject::close", fadeMs); }
};

class FakeAudioConverter : public CAudioConvertObject {
public:
    void release() override { FakeScreencast::forget("CAudioConvertObject", this); delete this; }
};

// A preview that only logs what it is told to show; ids as [a,b], or null
// for a null array.
class FakeCompositedImage : public CWindowCompositedImageObject {
public:
    void release() override { FakeScreencast::forget("CWindowCompositedImageObject", this); delete this; }
    void show(WindowListOption option, const unsigned int* ids, int count) override
    {
        QStringList list;
        for (int i = 0; ids && i < count; ++i)
            list << QString::number(ids[i]);
        call("CWindowCompositedImageObject::show", int(option),
             ids ? QLatin1Char('[') + list.join(QLatin1Char(',')) + QLatin1Char(']') : QStringLiteral("null"), count);
    }
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

CBasePtr<CWindowCompositedImageObject> scCreateWindowCompositedImage(ScNativeView view)
{
    return create<CWindowCompositedImageObject>("scCreateWindowCompositedImage",
                                                [] { return new FakeCompositedImage; }, view != 0);
}

CBasePtr<CWindowListObject> scFindDesktopWindows(int kind)
{
    QVector<FakeScreencast::Window> shown;
    LOCKED(for (const FakeScreencast::Window& w : s.desktopWindows.value(kind)) if (w.visible) shown << w);
    return create<CWindowListObject>("scFindDesktopWindows", [&] { return new FakeWindowList(shown); }, kind);
}

namespace {

// Switches the scripted desktop windows of `ids` to `visible`; those that
// are missing or already so are skipped, as the engine does.
int switchDesktopWindows(const char* function, int kind, const unsigned int* ids, int count, bool visible)
{
    QStringList listed;
    for (int i = 0; i < count; ++i)
        listed << QString::number(ids[i]);
    if (call(function, kind, listed.join(QLatin1Char(' '))))
        return 0;
    int switched = 0;
    LOCKED(for (int i = 0; i < count; ++i) {
        for (FakeScreencast::Window& w : s.desktopWindows[kind]) {
            if (w.id == ids[i] && w.visible != visible) {
                w.visible = visible;
                ++switched;
            }
        }
    });
    return switched;
}

} // namespace

int scHideDesktopWindows(int kind, const unsigned int* ids, int count)
{
    return switchDesktopWindows("scHideDesktopWindows", kind, ids, count, false);
}

int scShowDesktopWindows(int kind, const unsigned int* ids, int count)
{
    return switchDesktopWindows("scShowDesktopWindows", kind, ids, count, true);
}

CRect GetWindowRect(unsigned int id)
{
    call("GetWindowRect", id);
    return window(id).frame;
}

bool IsWindowVisible(unsigned int id)
{
    call("IsWindowVisible", id);
    return window(id).id == id && window(id).visible;
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
void SetZoomTipsFormat(const char* format) { call("SetZoomTipsFormat", format); }

void SetWatermark(const char* path, int x, int y, int width, int height)
{
    call("SetWatermark", path, x, y, width, height);
    LOCKED(s.watermark = (FakeScreencast::Watermark{QString::fromUtf8(path), path == nullptr, x, y, width, height}));
}

const AVFormatCodecs* GetAVFormatCodecs(OutputVideoFileType type)
{
    if (call("GetAVFormatCodecs", int(type)))
        return nullptr;
    // Copied per thread: reset() may drop the lists while the caller reads.
    static thread_local FakeScreencast::CodecLists held;
    static thread_local AVFormatCodecs record;
    {
        std::lock_guard<std::mutex> lock(FakeScreencast::mutex());
        held = FakeScreencast::state().codecs.value(int(type), FakeScreencast::CodecLists{{}, {}, true});
    }
    if (held.null)
        return nullptr;
    record = AVFormatCodecs{held.video.constData(), held.audio.constData()};
    return &record;
}

CBasePtr<CScreenRecoderObject> scVideoRecord(CRecoderCallback* callback, OutputVideoFileType type,
                                             const char* path, VideoOpt video, AudioOpt audio,
                                             MouseOpt mouse, bool boundary, WindowListOption option,
                                             const unsigned int* exclude, int excludeCount,
                                             const unsigned int* include, int includeCount)
{
    FakeScreencast::VideoRecordCall args{callback, type, QString::fromUtf8(path), video, audio, mouse,
                                         boundary, option, {}, {}};
    for (int i = 0; exclude && i < excludeCount; ++i)
        args.exclude << exclude[i];
    for (int i = 0; include && i < includeCount; ++i)
        args.include << include[i];
    LOCKED(s.lastVideo = args);
    return create<CScreenRecoderObject>("scVideoRecord", [=] { return new FakeScreenRecorder(callback); }, callback, int(type), path);
}

CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback* callback, int8_t render, int8_t capture,
                                            int channels, const char* deviceId)
{
    const FakeScreencast::AudioRecordCall args{callback, render, capture, channels, QString::fromUtf8(deviceId)};
    LOCKED(s.lastAudio = args);
    return create<CAudioRecoderObject>("scAudioRecord", [=] { return new FakeAudioRecorder(callback); }, callback,
                                       int(render), int(capture), channels, deviceId);
}

double GetAudioRecordDuration() { call("GetAudioRecordDuration"); READ(s.audioDuration); }
int RestoreAudioRecordTempFiles() { call("RestoreAudioRecordTempFiles"); READ(s.restoreResult); }

const char* GetAudioRecordFile()
{
    call("GetAudioRecordFile");
    thread_local QByteArray path;
    LOCKED(path = s.audioFile);
    return path.constData();
}

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
    return create<CScreenCropBoxObject>("scShowScreenCropBox", [=] { return new FakeCropBox(callback, r); }, callback, r,
                                        keepRatio, width, height);
}

CBasePtr<CPictureObject> ShowPictureOnScreen(const char* path)
{
    return create<CPictureObject>("ShowPictureOnScreen", [] { return new FakePicture; }, path);
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
    const QFileInfo file(QString::fromUtf8(path));
    return file.isFile() ? file.size() : -1;
}

MediaFileInfo GetMediaFileInfo(const char* path)
{
    return call("GetMediaFileInfo", path) ? MediaFileInfo{} : FakeScreencast::read(&State::media).value(QString::fromUtf8(path));
}

GIFFileInfo GetGIFFileInfo(const char* path)
{
    return call("GetGIFFileInfo", path) ? GIFFileInfo{} : FakeScreencast::read(&State::gifs).value(QString::fromUtf8(path));
}

int scRegisterHotKey(int id, unsigned int keysym, unsigned int modifiers)
{
    const bool failed = call("scRegisterHotKey", id, QStringLiteral("0x%1").arg(keysym, 0, 16), modifiers);
    std::lock_guard<std::mutex> lock(FakeScreencast::mutex());
    State& s = FakeScreencast::state();
    s.hotKeys.remove(id);
    const int result = failed ? int(kHotKeyNoDisplay) : s.hotKeyResults.value(qMakePair(keysym, modifiers), 0);
    if (result == kHotKeyOk)
        s.hotKeys.insert(id, FakeScreencast::HotKey{keysym, modifiers});
    return result;
}

void scUnregisterHotKey(int id) { call("scUnregisterHotKey", id); LOCKED(s.hotKeys.remove(id)); }
void scSetHotKeyCallback(CHotKeyCallback* callback) { call("scSetHotKeyCallback", callback); LOCKED(s.hotKeyCallback = callback); }

int FakeScreenRecorder::snapshot(const char* path, int imageFormat)
{
    if (FakeScreencast::call("CScreenRecoderObject::snapshot", path, imageFormat) || !snapshotWritesFile || !path)
        return -1;
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(QString::fromUtf8(path), "PNG") ? 0 : -1;
}

namespace {
bool isFile(const char* path) { return path && QFileInfo(QString::fromUtf8(path)).isFile(); }
} // namespace

// As the engine: no player of a file that is not there.
CBasePtr<CAVPlayerObject> CreateAVPlayer(AVPlayerStatusCallback* callback, ScNativeView, const char* path)
{
    if (call("CreateAVPlayer", callback, path) || !isFile(path))
        return {};
    return CBasePtr<CAVPlayerObject>(track(new FakePlayer(callback)));
}

CBasePtr<CAVPlayerObject> CreateAudioPlayer(AVPlayerStatusCallback* callback, const char* path)
{
    if (call("CreateAudioPlayer", callback, path) || !isFile(path))
        return {};
    return CBasePtr<CAVPlayerObject>(track(new FakePlayer(callback)));
}

// No export of a missing source, into an existing target or of an empty range.
CBasePtr<CMediaExportObject> scExportMedia(AVPlayerExportCallback* callback, const char* source, const char* target,
                                           double start, double end)
{
    const QString to = QString::fromUtf8(target);
    if (call("scExportMedia", callback, source, target, start, end) || !isFile(source) || to.isEmpty()
        || QFileInfo::exists(to) || end <= start)
        return {};
    return CBasePtr<CMediaExportObject>(track(new FakeExport(callback, to, start, end)));
}

void FakePlayer::endTrim(bool accept)
{
    FakeScreencast::call("CAVPlayerObject::endTrim", accept);
    const double start = trimStart, end = trimEnd;
    FakeScreencast::fire(callback, [=](AVPlayerStatusCallback* c) {
        if (accept)
            c->OnTrimOK(start, end);
        else
            c->OnTrimCancel();
    });
}

void FakePlayer::fireStatus(int status)
{
    FakeScreencast::fire(callback, [=](AVPlayerStatusCallback* c) { c->OnStatueChanged(status); });
}

void FakeExport::finish(bool success)
{
    QFile file(target);
    if (success && (!file.open(QIODevice::WriteOnly) || file.write("cut") != 3))
        success = false;
    file.close();
    done = 1.0;
    FakeScreencast::fire(callback, [=](AVPlayerExportCallback* c) { c->OnExportCompleted(success); });
}

// ---- cameras ---------------------------------------------------------------------------

int GetCameraDeviceCount() { call("GetCameraDeviceCount"); READ(s.cameras.size()); }

const CaptureDeviceInfo* GetCameraDevice(int index)
{
    static thread_local CaptureDeviceInfo record;
    if (call("GetCameraDevice", index))
        return nullptr;
    const AudioDeviceInfo* device = audioDevice(FakeScreencast::read(&State::cameras), index);
    if (!device)
        return nullptr;
    memcpy(record.name, device->name, sizeof record.name);
    memcpy(record.uniqueId, device->uniqueId, sizeof record.uniqueId);
    return &record;
}

const char* GetCameraDefaultDevice()
{
    const QString id = FakeScreencast::read(&State::cameraDefault);
    return call("GetCameraDefaultDevice") || id.isEmpty() ? nullptr : holdText(id);
}

CBasePtr<CCameraObject> OpenCameraInMode(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                         bool onlyCamera, int width, int height)
{
    const QString id = deviceId ? QString::fromUtf8(deviceId) : QString();
    const FakeScreencast::OpenCameraCall made{callback, view, id, onlyCamera, QSize(width, height)};
    LOCKED(s.lastOpenCamera = made);
    if (call("OpenCamera", callback, deviceId, onlyCamera) || !deviceId)
        return {};
    auto* camera = new FakeCamera(callback);
    const QVector<QSize> modes = FakeScreencast::read(&State::cameraModes).value(id);
    if (modes.contains(QSize(width, height)))
        camera->width = width, camera->height = height;
    else if (!modes.isEmpty())
        camera->width = modes.first().width(), camera->height = modes.first().height();
    return CBasePtr<CCameraObject>(track(camera));
}

CBasePtr<CCameraObject> OpenCamera(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                   bool onlyCamera, void*)
{
    return OpenCameraInMode(callback, view, deviceId, onlyCamera, 0, 0);
}

int GetCameraModes(const char* deviceId, CameraModeInfo* modes, int capacity)
{
    const QString id = deviceId ? QString::fromUtf8(deviceId) : QString();
    if (call("GetCameraModes", deviceId))
        return 0;
    const QVector<QSize> sizes = FakeScreencast::read(&State::cameraModes).value(id);
    for (int i = 0; modes && i < capacity && i < sizes.size(); ++i)
        modes[i] = CameraModeInfo{sizes[i].width(), sizes[i].height(), 30};
    return sizes.size();
}

int FakeCamera::capture(const char* path)
{
    if (FakeScreencast::call("CCameraObject::capture", path) || !path)
        return -1;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    return image.save(QString::fromLocal8Bit(path), "JPG") ? 0 : -1;
}

int FakeCamera::record(const char* path)
{
    if (FakeScreencast::call("CCameraObject::record", path) || !path)
        return -1;
    recordPath = QString::fromLocal8Bit(path);
    if (!movie.isEmpty()) {
        QFile file(recordPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(movie) != movie.size())
            return -1;
    }
    recording = true;
    paused = false;
    return 0;
}

// No sound runs in the double: the meter reads silence, and the microphone
// test opens unless a test scripts its failure.
double scLevelBandEdge(int band)
{
    return kScLevelLowHz * std::pow(kScLevelHighHz / kScLevelLowHz, double(band) / kScLevelBands);
}

int scGetAudioLevels(float* levels, int count)
{
    const int n = levels ? qBound(0, count, kScLevelValues) : 0;
    std::fill(levels, levels + n, 0.0f);
    return n;
}

int scStartMicLevelTest(const char* captureDeviceId)
{
    return FakeScreencast::call("scStartMicLevelTest", captureDeviceId) ? -1 : 0;
}

void scStopMicLevelTest() {}
