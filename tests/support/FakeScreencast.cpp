#include "tests/support/FakeScreencast.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Stable storage of one container's codec lists: GetAVFormatCodecs hands
// out pointers into it, which stay valid until the lists are scripted again.
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
        record.videoCodecs = video.data();
        record.audioCodecs = audio.data();
        null = false;
    }
};

struct State {
    int initResult = 0;
    bool initialized = false;
    QVector<FakeScreencast::Display> displays;
    int selectedDisplay = 0;
    QVector<FakeScreencast::Window> windows;
    QMap<int, QVector<FakeScreencast::Window>> windowsByFilter;
    QVector<FakeScreencast::Device> captureDevices;
    QVector<FakeScreencast::Device> renderDevices;
    QString captureDefault;
    int captureStatus = 0;
    int permissions[4] = {2, 2, 2, 2};
    int virtualDriverCheck = 0;
    QString virtualDriverName;
    int x86_64 = 1;
    QVector<FakeScreencast::Device> cameras;
    QString cameraDefault;
    std::map<int, CodecLists> codecs;
    qint64 freeSpace = 100LL * 1024 * 1024 * 1024;
    QMap<QString, qint64> freeSpaceFor;
    QMap<QString, qint64> fileSizes;
    QMap<QString, MediaFileInfo> media;
    QMap<QString, GIFFileInfo> gifs;
    double audioDuration = 0.0;
    int restoreResult = 0;
    int convertResult = 0;
    QMap<QString, int> failures;
    QStringList log;
    CDeviceNotifies* listener = nullptr;
    CHotKeyCallback* hotKeyCallback = nullptr;
    QMap<int, FakeScreencast::HotKey> hotKeys;
    QMap<QPair<unsigned int, unsigned int>, int> hotKeyResults;
    FakeScreencast::Watermark watermark;
    ColorRef mouseHighlight = 0;
    ColorRef mouseNormal = 0;
    int hevc10Bit = 0;
    QString outputDevice;
    bool outputDeviceNull = true;
    QString zoomTips;
    FakeScreencast::VideoRecordCall lastVideo;
    FakeScreencast::AudioRecordCall lastAudio;
    QVector<CBaseObject*> live;   // creation order

    State()
    {
        FakeScreencast::Display d;
        d.name = QStringLiteral("Built-in Display");
        d.frame = CRect{0, 0, 1920, 1080};
        d.primary = true;
        displays.append(d);
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

// ---- formatting of the call log ------------------------------------------

QString num(double v) { return QString::number(v, 'g', 15); }
QString flag(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
QString str(const char* s) { return s ? QLatin1Char('"') + QString::fromUtf8(s) + QLatin1Char('"') : QStringLiteral("null"); }
QString cb(const void* p) { return p ? QStringLiteral("cb") : QStringLiteral("null"); }
QString fmtRect(const CRect& r)
{
    return QStringLiteral("{%1,%2,%3,%4}").arg(num(r.left), num(r.top), num(r.right), num(r.bottom));
}
QString colour(ColorRef c) { return QStringLiteral("0x%1").arg(c, 8, 16, QLatin1Char('0')); }
QString pair(ColorRef a, ColorRef b) { return QStringLiteral("{%1,%2}").arg(colour(a), colour(b)); }
QString fmtIds(const unsigned int* list, int count)
{
    QStringList parts;
    for (int i = 0; list && i < count; ++i)
        parts << QString::number(list[i]);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}
QString videoOpt(const VideoOpt& v)
{
    return QStringLiteral("{rect=%1,window=%2,fps=%3,codec=%4,quality=%5,reserved=%6}")
        .arg(fmtRect(v.rect), fmtRect(v.windowRect)).arg(v.fps).arg(v.codec).arg(v.quality).arg(v.reserved);
}
QString audioOpt(const AudioOpt& a)
{
    return QStringLiteral("{render=%1,capture=%2,codec=%3,quality=%4,channels=%5}")
        .arg(int(a.render)).arg(int(a.capture)).arg(a.codec).arg(a.quality).arg(a.channels);
}
QString mouseOpt(const MouseOpt& m)
{
    return QStringLiteral("{cursor=%1,indicate=%2,reserved=%3,click=%4,method=%5,param=%6}")
        .arg(int(m.cursor)).arg(int(m.indicate)).arg(int(m.reserved)).arg(m.clickType)
        .arg(m.method).arg(m.methodParam);
}

void logCall(const QString& entry)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().log.append(entry);
}

// Logs the call and tells whether an injected failure is due for it.
bool call(const QString& function, const QString& args = QString())
{
    std::lock_guard<std::mutex> lock(g_mutex);
    State& s = state();
    s.log.append(function + QLatin1Char('(') + args + QLatin1Char(')'));
    auto it = s.failures.find(function);
    if (it == s.failures.end() || it.value() <= 0)
        return false;
    if (--it.value() == 0)
        s.failures.erase(it);
    return true;
}

template <class T> T* track(T* object)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().live.append(object);
    return object;
}

void untrack(CBaseObject* object)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state().live.removeAll(object);
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

void copyText(char* field, std::size_t size, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    std::size_t n = std::min<std::size_t>(std::size_t(bytes.size()), size - 1);
    if (n < std::size_t(bytes.size())) {
        while (n > 0 && (static_cast<unsigned char>(bytes[int(n)]) & 0xC0) == 0x80)
            --n;
    }
    std::memset(field, 0, size);
    std::memcpy(field, bytes.constData(), n);
}

// A text handed out as const char*: kept per thread until the next call.
const char* holdText(const QString& text)
{
    static thread_local QByteArray held;
    held = text.toUtf8();
    return held.constData();
}

const FakeScreencast::Window* findWindow(const QVector<FakeScreencast::Window>& windows, unsigned int id)
{
    for (const auto& w : windows) {
        if (w.id == id)
            return &w;
    }
    return nullptr;
}

void notify(void (CDeviceNotifies::*event)())
{
    CDeviceNotifies* listener;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        listener = state().listener;
    }
    if (listener)
        FakeScreencast::runOnEngineThread([=] { (listener->*event)(); });
}

} // namespace

// ===========================================================================
// FakeScreencast: scripting and inspection
// ===========================================================================

void FakeScreencast::reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    state() = State();
}

#define SCRIPT(body)                                  \
    do {                                              \
        std::lock_guard<std::mutex> lock(g_mutex);    \
        State& s = state();                           \
        body;                                         \
    } while (0)

void FakeScreencast::setInitResult(int result) { SCRIPT(s.initResult = result); }
void FakeScreencast::setDisplays(const QVector<Display>& displays) { SCRIPT(s.displays = displays); }
void FakeScreencast::setWindows(const QVector<Window>& windows) { SCRIPT(s.windows = windows); }
void FakeScreencast::setWindowsForFilter(int filter, const QVector<Window>& windows)
{
    SCRIPT(s.windowsByFilter[filter] = windows);
}
void FakeScreencast::setAudioCaptureDevices(const QVector<Device>& devices, const QString& defaultId)
{
    SCRIPT(s.captureDevices = devices; s.captureDefault = defaultId);
}
void FakeScreencast::setAudioRenderDevices(const QVector<Device>& devices) { SCRIPT(s.renderDevices = devices); }
void FakeScreencast::setPermission(int kind, int result)
{
    if (kind >= 0 && kind < 4)
        SCRIPT(s.permissions[kind] = result);
}
void FakeScreencast::setVirtualAudioDriver(int checkResult, const QString& name)
{
    SCRIPT(s.virtualDriverCheck = checkResult; s.virtualDriverName = name);
}
void FakeScreencast::setCodecs(OutputVideoFileType type, const QVector<int>& video, const QVector<int>& audio)
{
    SCRIPT(s.codecs[type].set(video, audio));
}
void FakeScreencast::setNoCodecs(OutputVideoFileType type) { SCRIPT(s.codecs[type].null = true); }
void FakeScreencast::setFreeSpace(qint64 bytes) { SCRIPT(s.freeSpace = bytes); }
void FakeScreencast::setFreeSpace(const QString& folder, qint64 bytes)
{
    SCRIPT(s.freeSpaceFor[QDir::cleanPath(folder)] = bytes);
}
void FakeScreencast::setFileSize(const QString& path, qint64 bytes) { SCRIPT(s.fileSizes[path] = bytes); }
void FakeScreencast::setMediaInfo(const QString& path, MediaFileInfo info) { SCRIPT(s.media[path] = info); }
void FakeScreencast::setGifInfo(const QString& path, GIFFileInfo info) { SCRIPT(s.gifs[path] = info); }
void FakeScreencast::setAudioRecordDuration(double seconds) { SCRIPT(s.audioDuration = seconds); }
void FakeScreencast::setRestoreAudioResult(int result) { SCRIPT(s.restoreResult = result); }
void FakeScreencast::failNext(const QString& function, int times) { SCRIPT(s.failures[function] = times); }

QStringList FakeScreencast::calls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return state().log;
}

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
void FakeScreencast::clearCalls() { SCRIPT(s.log.clear()); }

#define READ(expr)                                    \
    std::lock_guard<std::mutex> lock(g_mutex);        \
    const State& s = state();                         \
    return expr

bool FakeScreencast::initialized() { READ(s.initialized); }
int FakeScreencast::selectedDisplay() { READ(s.selectedDisplay); }
CDeviceNotifies* FakeScreencast::deviceListener() { READ(s.listener); }
FakeScreencast::Watermark FakeScreencast::watermark() { READ(s.watermark); }
ColorRef FakeScreencast::mouseHighlightColor() { READ(s.mouseHighlight); }
ColorRef FakeScreencast::mouseNormalColor() { READ(s.mouseNormal); }
int FakeScreencast::hevc10Bit() { READ(s.hevc10Bit); }
QString FakeScreencast::zoomTipsFormat() { READ(s.zoomTips); }
FakeScreencast::VideoRecordCall FakeScreencast::lastVideoRecord() { READ(s.lastVideo); }
FakeScreencast::AudioRecordCall FakeScreencast::lastAudioRecord() { READ(s.lastAudio); }
int FakeScreencast::liveObjectCount() { READ(s.live.size()); }

FakeScreenRecorder* FakeScreencast::screenRecorder() { return newest<FakeScreenRecorder>(); }
FakeAudioRecorder* FakeScreencast::audioRecorder() { return newest<FakeAudioRecorder>(); }
FakeImageCapture* FakeScreencast::imageCapture() { return newest<FakeImageCapture>(); }
FakeCropBox* FakeScreencast::cropBox() { return newest<FakeCropBox>(); }
FakeCamera* FakeScreencast::camera() { return newest<FakeCamera>(); }
FakePicture* FakeScreencast::picture() { return newest<FakePicture>(); }

void FakeScreencast::fireDisplayChanged() { notify(&CDeviceNotifies::OnDisplayChanged); }
void FakeScreencast::fireAudioCaptureChanged() { notify(&CDeviceNotifies::OnAudioCaptureChanged); }
void FakeScreencast::fireAudioRenderChanged() { notify(&CDeviceNotifies::OnAudioRenderChanged); }
void FakeScreencast::fireVideoCaptureChanged() { notify(&CDeviceNotifies::OnVideoCaptureChanged); }

void FakeScreencast::runOnEngineThread(const std::function<void()>& work)
{
    std::thread thread(work);
    thread.join();
}

// ===========================================================================
// The engine interface
// ===========================================================================

int scInitialize()
{
    if (call(QStringLiteral("scInitialize")))
        return kScInitNoDisplay;
    std::lock_guard<std::mutex> lock(g_mutex);
    State& s = state();
    s.initialized = s.initResult == 0;
    return s.initResult;
}

void scUninitialize()
{
    call(QStringLiteral("scUninitialize"));
    SCRIPT(s.initialized = false; s.listener = nullptr; s.hotKeyCallback = nullptr; s.hotKeys.clear());
}

int GetDisplayCount()
{
    call(QStringLiteral("GetDisplayCount"));
    READ(s.displays.size());
}

const DisplayInfo* GetDisplayInfo(int display)
{
    static thread_local DisplayInfo record;
    if (call(QStringLiteral("GetDisplayInfo"), QString::number(display)))
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
    call(QStringLiteral("UseDisplay"), QString::number(display));
    SCRIPT(s.selectedDisplay = display);
}

namespace {
CRect selectedFrame()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    if (s.displays.isEmpty())
        return CRect{};
    const int i = s.selectedDisplay >= 0 && s.selectedDisplay < s.displays.size() ? s.selectedDisplay : 0;
    return s.displays[i].frame;
}
} // namespace

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
    call(QStringLiteral("ConvertDisplayRectToScreen"), QString::number(display) + ", " + fmtRect(r));
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    if (display < 0 || display >= s.displays.size())
        return r;
    const CRect& f = s.displays[display].frame;
    return CRect{r.left + f.left, r.top + f.top, r.right + f.left, r.bottom + f.top};
}

CRect ConvertCurrentScreenRectToDisplay(CRect r)
{
    call(QStringLiteral("ConvertCurrentScreenRectToDisplay"), fmtRect(r));
    const CRect f = selectedFrame();
    return CRect{r.left - f.left, r.top - f.top, r.right - f.left, r.bottom - f.top};
}

void RegisterDeviceNotifies(CDeviceNotifies* listener)
{
    call(QStringLiteral("RegisterDeviceNotifies"), cb(listener));
    SCRIPT(s.listener = listener);
}

namespace {
const AudioDeviceInfo* audioDevice(const QVector<FakeScreencast::Device>& list, int index)
{
    static thread_local AudioDeviceInfo record;
    if (index < 0 || index >= list.size())
        return nullptr;
    copyText(record.name, sizeof record.name, list[index].name);
    copyText(record.uniqueId, sizeof record.uniqueId, list[index].uniqueId);
    return &record;
}
} // namespace

int GetAudioRenderDeviceCount()
{
    call(QStringLiteral("GetAudioRenderDeviceCount"));
    READ(s.renderDevices.size());
}

const AudioDeviceInfo* GetAudioRenderDeviceInfo(int index)
{
    if (call(QStringLiteral("GetAudioRenderDeviceInfo"), QString::number(index)))
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
    if (call(QStringLiteral("GetAudioCaptureDeviceInfo"), QString::number(index)))
        return nullptr;
    READ(audioDevice(s.captureDevices, index));
}

const char* GetAudioCaptureDefaultDevice()
{
    if (call(QStringLiteral("GetAudioCaptureDefaultDevice")))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    const QString id = state().captureDefault;
    return id.isEmpty() ? nullptr : holdText(id);
}

int GetAudioCaptureDeviceStatus()
{
    call(QStringLiteral("GetAudioCaptureDeviceStatus"));
    READ(s.captureStatus);
}

const char* GetAudioSystemOutputDevice()
{
    if (call(QStringLiteral("GetAudioSystemOutputDevice")))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    return s.outputDeviceNull ? nullptr : holdText(s.outputDevice);
}

void SetAudioSystemOutputDevice(const char* deviceId)
{
    call(QStringLiteral("SetAudioSystemOutputDevice"), str(deviceId));
    SCRIPT(s.outputDeviceNull = deviceId == nullptr; s.outputDevice = QString::fromUtf8(deviceId));
}

int RequestPermissionCamera()
{
    call(QStringLiteral("RequestPermissionCamera"));
    READ(s.permissions[0]);
}

int RequestPermissionMicrophone()
{
    call(QStringLiteral("RequestPermissionMicrophone"));
    READ(s.permissions[1]);
}

int RequestPermissionScreenCapture()
{
    call(QStringLiteral("RequestPermissionScreenCapture"));
    READ(s.permissions[2]);
}

int RequestPermissionMouseEvent()
{
    call(QStringLiteral("RequestPermissionMouseEvent"));
    READ(s.permissions[3]);
}

int CheckVirtualAudioDriver()
{
    if (call(QStringLiteral("CheckVirtualAudioDriver")))
        return 1;
    READ(s.virtualDriverCheck);
}

const char* GetVirtualAudioDriverName()
{
    call(QStringLiteral("GetVirtualAudioDriverName"));
    std::lock_guard<std::mutex> lock(g_mutex);
    return holdText(state().virtualDriverName);
}

void SetVirtualAudioDriverName(const char* name)
{
    call(QStringLiteral("SetVirtualAudioDriverName"), str(name));
    // As the real engine: a null or empty name is refused.
    if (!name || !*name)
        return;
    SCRIPT(s.virtualDriverName = QString::fromUtf8(name));
}

int Is_X86_64()
{
    call(QStringLiteral("Is_X86_64"));
    READ(s.x86_64);
}

CBasePtr<CWindowListObject> scFindWindow(int filter)
{
    if (call(QStringLiteral("scFindWindow"), QString::number(filter)))
        return CBasePtr<CWindowListObject>();
    QVector<FakeScreencast::Window> windows;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const State& s = state();
        windows = s.windowsByFilter.value(filter, s.windows);
    }
    return CBasePtr<CWindowListObject>(track(new FakeWindowList(filter, windows)));
}

CRect GetWindowRect(unsigned int windowId)
{
    call(QStringLiteral("GetWindowRect"), QString::number(windowId));
    std::lock_guard<std::mutex> lock(g_mutex);
    const FakeScreencast::Window* w = findWindow(state().windows, windowId);
    return w ? w->frame : CRect{};
}

bool IsWindowVisible(unsigned int windowId)
{
    call(QStringLiteral("IsWindowVisible"), QString::number(windowId));
    std::lock_guard<std::mutex> lock(g_mutex);
    const FakeScreencast::Window* w = findWindow(state().windows, windowId);
    return w && w->visible;
}

CBasePtr<CWindowCompositedImageObject> scCreateWindowCompositedImage(ScNativeView view)
{
    if (call(QStringLiteral("scCreateWindowCompositedImage"), QString::number(view)))
        return CBasePtr<CWindowCompositedImageObject>();
    return CBasePtr<CWindowCompositedImageObject>(track(new FakeCompositedImage(view)));
}

void SetScreenSelColors(LineColors l)
{
    call(QStringLiteral("SetScreenSelColors"), pair(l.line, l.edge));
}
void SetScreenCropBoxColors(LineColors l, AnchorColors a)
{
    call(QStringLiteral("SetScreenCropBoxColors"), pair(l.line, l.edge) + ", " + pair(a.fill, a.edge));
}
void SetWindowCropBoxColors(LineColors l, AnchorColors a)
{
    call(QStringLiteral("SetWindowCropBoxColors"), pair(l.line, l.edge) + ", " + pair(a.fill, a.edge));
}
void SetImageBoxColors(LineColors l)
{
    call(QStringLiteral("SetImageBoxColors"), pair(l.line, l.edge));
}
void SetImageCropBoxColors(LineColors l, AnchorColors a)
{
    call(QStringLiteral("SetImageCropBoxColors"), pair(l.line, l.edge) + ", " + pair(a.fill, a.edge));
}
void SetRecordBoxColor(LineColors l)
{
    call(QStringLiteral("SetRecordBoxColor"), pair(l.line, l.edge));
}
void SetPauseBoxColor(LineColors l)
{
    call(QStringLiteral("SetPauseBoxColor"), pair(l.line, l.edge));
}

void SetMouseHighLightColor(ColorRef c)
{
    call(QStringLiteral("SetMouseHighLightColor"), colour(c));
    SCRIPT(s.mouseHighlight = c);
}

void SetMouseNormalColor(ColorRef c)
{
    call(QStringLiteral("SetMouseNormalColor"), colour(c));
    SCRIPT(s.mouseNormal = c);
}

void SetZoomTipsFormat(const char* format)
{
    call(QStringLiteral("SetZoomTipsFormat"), str(format));
    SCRIPT(s.zoomTips = QString::fromUtf8(format));
}

void SetHEVC10BITEnabled(int enabled)
{
    call(QStringLiteral("SetHEVC10BITEnabled"), QString::number(enabled));
    SCRIPT(s.hevc10Bit = enabled);
}

void SetWatermark(const char* path, int x, int y, int width, int height)
{
    call(QStringLiteral("SetWatermark"),
         QStringLiteral("%1, %2, %3, %4, %5").arg(str(path)).arg(x).arg(y).arg(width).arg(height));
    FakeScreencast::Watermark w;
    w.path = QString::fromUtf8(path);
    w.nullPath = path == nullptr;
    w.x = x;
    w.y = y;
    w.width = width;
    w.height = height;
    SCRIPT(s.watermark = w);
}

const AVFormatCodecs* GetAVFormatCodecs(OutputVideoFileType type)
{
    if (call(QStringLiteral("GetAVFormatCodecs"), QString::number(int(type))))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    State& s = state();
    auto it = s.codecs.find(int(type));
    if (it == s.codecs.end() || it->second.null)
        return nullptr;
    // Pointed again on every call: the state may have been moved by reset().
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
    FakeScreencast::VideoRecordCall args;
    args.made = true;
    args.callback = callback;
    args.type = type;
    args.path = QString::fromUtf8(path);
    args.video = video;
    args.audio = audio;
    args.mouse = mouse;
    args.boundary = boundary;
    args.option = option;
    for (int i = 0; exclude && i < excludeCount; ++i)
        args.exclude << exclude[i];
    for (int i = 0; include && i < includeCount; ++i)
        args.include << include[i];
    SCRIPT(s.lastVideo = args);
    const QString text = QStringList{cb(callback), QString::number(int(type)), str(path), videoOpt(video),
                                     audioOpt(audio), mouseOpt(mouse), flag(boundary),
                                     QString::number(int(option)), fmtIds(exclude, excludeCount),
                                     fmtIds(include, includeCount)}
                             .join(QStringLiteral(", "));
    if (call(QStringLiteral("scVideoRecord"), text))
        return CBasePtr<CScreenRecoderObject>();
    return CBasePtr<CScreenRecoderObject>(track(new FakeScreenRecorder(args)));
}

CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback* callback, int8_t render, int8_t capture,
                                            int channels, const char* captureDeviceId)
{
    FakeScreencast::AudioRecordCall args;
    args.made = true;
    args.callback = callback;
    args.render = render;
    args.capture = capture;
    args.channels = channels;
    args.captureDeviceId = QString::fromUtf8(captureDeviceId);
    SCRIPT(s.lastAudio = args);
    const QString text = QStringLiteral("%1, %2, %3, %4, %5")
                             .arg(cb(callback)).arg(int(render)).arg(int(capture)).arg(channels)
                             .arg(str(captureDeviceId));
    if (call(QStringLiteral("scAudioRecord"), text))
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
    const QString text = QStringList{cb(callback), str(source), str(target), QString::number(format)}
                             .join(QStringLiteral(", "));
    if (call(QStringLiteral("scAudioConvert"), text))
        return CBasePtr<CAudioConvertObject>();
    return CBasePtr<CAudioConvertObject>(track(new FakeAudioConverter(
        callback, QString::fromUtf8(source), source == nullptr, QString::fromUtf8(target), format)));
}

CBasePtr<CImageCaptureObject> CreateImageCapture(CImageCaptureCallback* callback)
{
    if (call(QStringLiteral("CreateImageCapture"), cb(callback)))
        return CBasePtr<CImageCaptureObject>();
    return CBasePtr<CImageCaptureObject>(track(new FakeImageCapture(callback)));
}

CBasePtr<CScreenCropBoxObject> scShowScreenCropBox(CScreenCropCallback* callback, CRect r, bool keepRatio,
                                                   int width, int height)
{
    const QString text = QStringLiteral("%1, %2, %3, %4, %5")
                             .arg(cb(callback), fmtRect(r), flag(keepRatio)).arg(width).arg(height);
    if (call(QStringLiteral("scShowScreenCropBox"), text))
        return CBasePtr<CScreenCropBoxObject>();
    return CBasePtr<CScreenCropBoxObject>(track(new FakeCropBox(callback, r, keepRatio, width, height)));
}

int GetCameraDeviceCount()
{
    call(QStringLiteral("GetCameraDeviceCount"));
    READ(s.cameras.size());
}

const CaptureDeviceInfo* GetCameraDevice(int index)
{
    static thread_local CaptureDeviceInfo record;
    if (call(QStringLiteral("GetCameraDevice"), QString::number(index)))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    if (index < 0 || index >= s.cameras.size())
        return nullptr;
    copyText(record.name, sizeof record.name, s.cameras[index].name);
    copyText(record.uniqueId, sizeof record.uniqueId, s.cameras[index].uniqueId);
    return &record;
}

const char* GetCameraDefaultDevice()
{
    if (call(QStringLiteral("GetCameraDefaultDevice")))
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    const QString id = state().cameraDefault;
    return id.isEmpty() ? nullptr : holdText(id);
}

CBasePtr<CCameraObject> OpenCamera(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                   bool onlyCamera, void* reserved)
{
    const QString text = QStringLiteral("%1, %2, %3, %4, %5")
                             .arg(cb(callback)).arg(view).arg(str(deviceId), flag(onlyCamera))
                             .arg(reserved ? QStringLiteral("ptr") : QStringLiteral("null"));
    if (call(QStringLiteral("OpenCamera"), text))
        return CBasePtr<CCameraObject>();
    // Like a real camera: an id that names no camera opens nothing.
    const QString id = QString::fromUtf8(deviceId);
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (const auto& c : state().cameras)
            known = known || c.uniqueId == id;
    }
    if (!deviceId || !known)
        return CBasePtr<CCameraObject>();
    return CBasePtr<CCameraObject>(track(new FakeCamera(callback, view, id, onlyCamera)));
}

CBasePtr<CPictureObject> ShowPictureOnScreen(const char* path)
{
    if (call(QStringLiteral("ShowPictureOnScreen"), str(path)))
        return CBasePtr<CPictureObject>();
    return CBasePtr<CPictureObject>(track(new FakePicture(QString::fromUtf8(path))));
}

int64_t GetFileSystemFreeSize(const char* folder)
{
    if (call(QStringLiteral("GetFileSystemFreeSize"), str(folder)) || !folder)
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    const State& s = state();
    return s.freeSpaceFor.value(QDir::cleanPath(QString::fromUtf8(folder)), s.freeSpace);
}

int64_t GetFileSize(const char* path)
{
    if (call(QStringLiteral("GetFileSize"), str(path)) || !path)
        return -1;
    const QString p = QString::fromUtf8(path);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const State& s = state();
        if (s.fileSizes.contains(p))
            return s.fileSizes.value(p);
    }
    const QFileInfo info(p);
    return info.isFile() ? info.size() : -1;
}

MediaFileInfo GetMediaFileInfo(const char* path)
{
    if (call(QStringLiteral("GetMediaFileInfo"), str(path)))
        return MediaFileInfo{};
    READ(s.media.value(QString::fromUtf8(path), MediaFileInfo{}));
}

GIFFileInfo GetGIFFileInfo(const char* path)
{
    if (call(QStringLiteral("GetGIFFileInfo"), str(path)))
        return GIFFileInfo{};
    READ(s.gifs.value(QString::fromUtf8(path), GIFFileInfo{}));
}

// ===========================================================================
// Fake objects
// ===========================================================================

namespace {
int opResult(const QString& op, const QString& args = QString())
{
    return call(op, args) ? -1 : 0;
}
} // namespace

void FakeScreenCanvas::setNumber(int n)
{
    logCall(QStringLiteral("CScreenCanvasObject::setNumber(%1)").arg(n));
    number = n;
}

void FakeScreenCanvas::start(int s, ColorRef c, ColorRef bg, const char* fontFamily, double size)
{
    logCall(QStringLiteral("CScreenCanvasObject::start(%1, %2, %3, %4, %5)")
                .arg(s).arg(colour(c), colour(bg), str(fontFamily), num(size)));
    shape = s;
}

void FakeScreenCanvas::stop()
{
    logCall(QStringLiteral("CScreenCanvasObject::stop()"));
    shape = 0;
}

void FakeScreenCanvas::undo() { logCall(QStringLiteral("CScreenCanvasObject::undo()")); }
void FakeScreenCanvas::redo() { logCall(QStringLiteral("CScreenCanvasObject::redo()")); }
void FakeScreenCanvas::clear() { logCall(QStringLiteral("CScreenCanvasObject::clear()")); }

void FakeScreenCanvas::fireCanvasEvent(bool canUndo, bool canRedo)
{
    CScreenCanvasEvent* e = events;
    if (e)
        FakeScreencast::runOnEngineThread([=] { e->OnScreenCanvasEvent(canUndo ? 1 : 0, canRedo ? 1 : 0); });
}

void FakeScreenCanvas::fireNumberChanged(int next)
{
    CScreenCanvasEvent* e = events;
    if (e)
        FakeScreencast::runOnEngineThread([=] { e->OnNumberChanged(next); });
}

FakeScreenRecorder::~FakeScreenRecorder() { delete canvas; }

void FakeScreenRecorder::release()
{
    logCall(QStringLiteral("CScreenRecoderObject::release()"));
    untrack(this);
    delete this;
}

int FakeScreenRecorder::start()
{
    const int r = opResult(QStringLiteral("CScreenRecoderObject::start"));
    started = started || r == 0;
    return r;
}

int FakeScreenRecorder::pause()
{
    const int r = opResult(QStringLiteral("CScreenRecoderObject::pause"));
    paused = paused || r == 0;
    return r;
}

int FakeScreenRecorder::resume()
{
    const int r = opResult(QStringLiteral("CScreenRecoderObject::resume"));
    paused = paused && r != 0;
    return r;
}

CScreenCanvasObject* FakeScreenRecorder::createCanvas(CScreenCanvasEvent* events)
{
    if (call(QStringLiteral("CScreenRecoderObject::createCanvas"), cb(events)))
        return nullptr;
    if (!canvas)
        canvas = new FakeScreenCanvas(events);
    return canvas;
}

int64_t FakeScreenRecorder::frameCount()
{
    logCall(QStringLiteral("CScreenRecoderObject::frameCount()"));
    return frames.load();
}

int FakeScreenRecorder::snapshot(const char* path, int imageFormat)
{
    if (call(QStringLiteral("CScreenRecoderObject::snapshot"), str(path) + ", " + QString::number(imageFormat)))
        return -1;
    if (!snapshotWritesFile || !path)
        return -1;
    QImage image(snapshotSize, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(QString::fromUtf8(path), "PNG") ? 0 : -1;
}

void FakeScreenRecorder::fireError(SRErrorCode code)
{
    CRecoderCallback* c = args.callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnError(code); });
}

void FakeScreenRecorder::fireRegionBeginDrag()
{
    CRecoderCallback* c = args.callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnRecordingRegionBeginDrag(); });
}

void FakeScreenRecorder::fireRegionEndDrag(CRect screenRect)
{
    CRecoderCallback* c = args.callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnRecordingRegionEndDrag(screenRect); });
}

void FakeAudioRecorder::release()
{
    logCall(QStringLiteral("CAudioRecoderObject::release()"));
    untrack(this);
    delete this;
}

int FakeAudioRecorder::start()
{
    const int r = opResult(QStringLiteral("CAudioRecoderObject::start"));
    started = started || r == 0;
    return r;
}

int FakeAudioRecorder::pause()
{
    const int r = opResult(QStringLiteral("CAudioRecoderObject::pause"));
    paused = paused || r == 0;
    return r;
}

int FakeAudioRecorder::resume()
{
    const int r = opResult(QStringLiteral("CAudioRecoderObject::resume"));
    paused = paused && r != 0;
    return r;
}

int64_t FakeAudioRecorder::tempFileSize()
{
    logCall(QStringLiteral("CAudioRecoderObject::tempFileSize()"));
    return size.load();
}

void FakeAudioRecorder::fireError(SRErrorCode code)
{
    CRecoderCallback* c = args.callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnError(code); });
}

void FakeAudioConverter::release()
{
    logCall(QStringLiteral("CAudioConvertObject::release()"));
    untrack(this);
    delete this;
}

void FakeAudioConverter::fireComplete()
{
    int result;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        result = state().convertResult;
    }
    fireComplete(result);
}

void FakeAudioConverter::fireComplete(int result)
{
    if (result == 0 && writesFile && !target.isEmpty()) {
        QFile file(target);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.write("fake audio");
    }
    AudioConvertCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnComplete(result); });
}

void FakeImageCapture::release()
{
    logCall(QStringLiteral("CImageCaptureObject::release()"));
    untrack(this);
    delete this;
}

void FakeImageCapture::fireClose()
{
    CImageCaptureCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnClose(); });
}

void FakeImageCapture::fireSelCompleted(CRect r)
{
    CImageCaptureCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnScreenSelCompleted(r); });
}

void FakeImageCapture::fireBeginResize()
{
    CImageCaptureCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnBeginResize(); });
}

void FakeImageCapture::fireSizeChanged(CRect r)
{
    CImageCaptureCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnSizeChanged(r); });
}

void FakeImageCapture::fireEndResize()
{
    CImageCaptureCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnEndResize(); });
}

void FakeCropBox::release()
{
    logCall(QStringLiteral("CScreenCropBoxObject::release()"));
    untrack(this);
    delete this;
}

void FakeCropBox::setRect(CRect r)
{
    logCall(QStringLiteral("CScreenCropBoxObject::setRect(%1)").arg(fmtRect(r)));
    rect = r;
}

void FakeCropBox::fireBeginDrag()
{
    CScreenCropCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnBeginDrag(); });
}

void FakeCropBox::fireEndDrag()
{
    CScreenCropCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnEndDrag(); });
}

void FakeCropBox::fireRectChanged(CRect r)
{
    rect = r;
    CScreenCropCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnScreenRectChanged(r); });
}

void FakeWindowList::release()
{
    logCall(QStringLiteral("CWindowListObject::release()"));
    untrack(this);
    delete this;
}

int FakeWindowList::count() { return windows.size(); }

WindowInfo FakeWindowList::item(int index)
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

void FakeCompositedImage::release()
{
    logCall(QStringLiteral("CWindowCompositedImageObject::release()"));
    untrack(this);
    delete this;
}

void FakeCompositedImage::show(WindowListOption o, const unsigned int* list, int count)
{
    logCall(QStringLiteral("CWindowCompositedImageObject::show(%1, %2)").arg(int(o)).arg(fmtIds(list, count)));
    option = o;
    ids.clear();
    for (int i = 0; list && i < count; ++i)
        ids << list[i];
}

void FakeCamera::release()
{
    logCall(QStringLiteral("CCameraObject::release()"));
    untrack(this);
    delete this;
}

void FakeCamera::videoSize(int& width, int& height)
{
    logCall(QStringLiteral("CCameraObject::videoSize()"));
    width = frameSize.width();
    height = frameSize.height();
}

int FakeCamera::capture(const char* path)
{
    if (call(QStringLiteral("CCameraObject::capture"), str(path)) || !path)
        return -1;
    QImage image(frameSize, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const QString file = QString::fromUtf8(path);
    // The JPEG writer is a plugin; a PNG inside is read back all the same.
    return (image.save(file, "JPG") || image.save(file, "PNG")) ? 0 : -1;
}

int FakeCamera::record(const char* path)
{
    if (call(QStringLiteral("CCameraObject::record"), str(path)))
        return -1;
    recording = true;
    recordPath = QString::fromUtf8(path);
    return 0;
}

int FakeCamera::stopRecord()
{
    if (call(QStringLiteral("CCameraObject::stopRecord")))
        return -1;
    recording = false;
    return 0;
}

int FakeCamera::pause()
{
    const int r = opResult(QStringLiteral("CCameraObject::pause"));
    paused = paused || r == 0;
    return r;
}

int FakeCamera::resume()
{
    const int r = opResult(QStringLiteral("CCameraObject::resume"));
    paused = paused && r != 0;
    return r;
}

int FakeCamera::setMicrophone(const char* id)
{
    if (call(QStringLiteral("CCameraObject::setMicrophone"), str(id)))
        return -1;
    microphoneNull = id == nullptr;
    microphone = QString::fromUtf8(id);
    return 0;
}

double FakeCamera::duration()
{
    logCall(QStringLiteral("CCameraObject::duration()"));
    return seconds;
}

int64_t FakeCamera::fileSize()
{
    logCall(QStringLiteral("CCameraObject::fileSize()"));
    return bytes;
}

void FakeCamera::fireError()
{
    CCameraCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnErrorOccurred(); });
}

void FakeCamera::fireRecordingError()
{
    CCameraCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnRecordingErrorOccurred(); });
}

void FakeCamera::fireFinishRecording(bool failed)
{
    CCameraCallback* c = callback;
    if (c)
        FakeScreencast::runOnEngineThread([=] { c->OnFinishRecording(failed ? 1 : 0); });
}

void FakePicture::release()
{
    logCall(QStringLiteral("CPictureObject::release()"));
    untrack(this);
    delete this;
}

int FakePicture::show(const char* path)
{
    if (call(QStringLiteral("CPictureObject::show"), str(path)))
        return -1;
    paths << QString::fromUtf8(path);
    return 0;
}

void FakePicture::close(int fadeMs)
{
    logCall(QStringLiteral("CPictureObject::close(%1)").arg(fadeMs));
    closed = true;
}

// ===========================================================================
// Global hotkeys
// ===========================================================================

void FakeScreencast::setHotKeyResult(unsigned int keysym, unsigned int modifiers, int result)
{
    SCRIPT(s.hotKeyResults[qMakePair(keysym, modifiers)] = result);
}

QMap<int, FakeScreencast::HotKey> FakeScreencast::hotKeys() { READ(s.hotKeys); }
CHotKeyCallback* FakeScreencast::hotKeyCallback() { READ(s.hotKeyCallback); }

void FakeScreencast::fireHotKey(int id)
{
    CHotKeyCallback* callback = hotKeyCallback();
    if (callback)
        runOnEngineThread([=] { callback->OnHotKey(id); });
}

int scRegisterHotKey(int id, unsigned int keysym, unsigned int modifiers)
{
    const bool failed = call(QStringLiteral("scRegisterHotKey"),
                             QStringLiteral("%1, 0x%2, %3").arg(id).arg(keysym, 0, 16).arg(modifiers));
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
    call(QStringLiteral("scUnregisterHotKey"), QString::number(id));
    SCRIPT(s.hotKeys.remove(id));
}

void scSetHotKeyCallback(CHotKeyCallback* callback)
{
    call(QStringLiteral("scSetHotKeyCallback"), cb(callback));
    SCRIPT(s.hotKeyCallback = callback);
}
