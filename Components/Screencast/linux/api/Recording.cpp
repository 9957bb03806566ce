// Screen recording: the options are checked here and turned into a
// recording setup; rec::VideoRecorder does the work.
//
// A recording that cannot be prepared (an unwritable path, an option that
// makes no sense, no display) is refused with a null object: nothing has
// been recorded yet, so there is nothing to report through OnError. The
// reason goes to the log in the engine's terms and to the caller's last
// error in the user's.

#include "core/EngineCore.h"
#include "core/LastError.h"

#include "Screencast.h"

#include "rec/Factories.h"
#include "source/ScreenSource.h"
#include "rec/VideoRecorder.h"

#include "platform/log/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

using namespace sc;

void SetHEVC10BITEnabled(int enabled)
{
    updateSettings([enabled](EngineSettings& s) { s.hevc10Bit = enabled != 0; });
}

void SetWatermark(const char* path, int x, int y, int width, int height)
{
    std::string file = path ? path : "";
    updateSettings([&](EngineSettings& s) {
        s.watermarkPath = std::move(file);
        s.watermarkX = x;
        s.watermarkY = y;
        s.watermarkWidth = width;
        s.watermarkHeight = height;
    });
}

namespace {

// Refuses the recording: the details for the log, the sentence for the user.
void refuse(const std::string& user, const char* format, ...) __attribute__((format(printf, 2, 3)));
void refuse(const std::string& user, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Log(kLogModule, LogLevel::Error, "scVideoRecord: %s", line);
    setLastError(user);
}

bool listed(const int* list, int id)
{
    for (; list && *list; ++list) {
        if (*list == id)
            return true;
    }
    return false;
}

// The display chosen with UseDisplay (display 0 when it has gone), on the
// root window.
bool selectedDisplay(QRect& out)
{
    const DisplayInfo* info = GetDisplayInfo(settings().selectedDisplay);
    if (!info)
        info = GetDisplayInfo(0);
    if (!info)
        return false;
    const int left = int(std::lround(info->frame.left));
    const int top = int(std::lround(info->frame.top));
    out = QRect(left, top, int(std::lround(info->frame.right)) - left, int(std::lround(info->frame.bottom)) - top);
    return !out.isEmpty();
}

// A display rectangle in corner form, as pixels of the root window.
QRect toScreen(const CRect& r, const QRect& display)
{
    if (!std::isfinite(r.left) || !std::isfinite(r.top) || !std::isfinite(r.right) || !std::isfinite(r.bottom)
        || std::fabs(r.left) > 1e6 || std::fabs(r.top) > 1e6 || std::fabs(r.right) > 1e6
        || std::fabs(r.bottom) > 1e6)
        return QRect();
    const int left = int(std::lround(r.left));
    const int top = int(std::lround(r.top));
    const int right = int(std::lround(r.right));
    const int bottom = int(std::lround(r.bottom));
    if (right <= left || bottom <= top)
        return QRect();
    return QRect(display.x() + left, display.y() + top, right - left, bottom - top);
}

// The container, path and codecs make a recording this engine can write.
bool formatsFit(OutputVideoFileType type, const char* path, const VideoOpt& video, const AudioOpt& audio,
                bool& sound)
{
    const AVFormatCodecs* codecs = GetAVFormatCodecs(type);
    if (!codecs) {
        refuse("The chosen file format is not supported.", "unknown container %d", int(type));
        return false;
    }
    if (!path || !*path) {
        refuse("No file was named for the recording.", "no path");
        return false;
    }
    if (!listed(codecs->videoCodecs, video.codec)) {
        refuse("The chosen video format cannot be written into this kind of file.",
               "video codec %d is not offered for container %d", video.codec, int(type));
        return false;
    }
    sound = type != kOutputGif && (audio.render || audio.capture);
    if (sound && !listed(codecs->audioCodecs, audio.codec)) {
        refuse("The chosen sound format cannot be written into this kind of file.",
               "audio codec %d is not offered for container %d", audio.codec, int(type));
        return false;
    }
    return true;
}

// Where to record: the area on the selected display, or the one window
// that decides it. False when it makes no sense.
bool placeArea(rec::RecordingSetup& setup, const VideoOpt& video)
{
    const QRect area = toScreen(video.rect, setup.displayRect);
    if (setup.windowOption == kWindowListSingle) {
        // The window decides where and how big; the rectangle only has to
        // make sense as a size.
        const QRect window = toScreen(video.windowRect, QRect());
        if (setup.include.empty() || setup.include.front() == 0 || window.isEmpty()) {
            refuse("The window to record is gone.", "no window to record");
            return false;
        }
        setup.area = area.isEmpty() ? QRect(setup.displayRect.topLeft(), window.size()) : area;
        return true;
    }
    if (area.isEmpty() || !setup.displayRect.contains(area)) {
        refuse("The area to record is not on the screen.", "the area (%d,%d %dx%d) is not on the display",
               area.x(), area.y(), area.width(), area.height());
        return false;
    }
    setup.area = area;
    return true;
}

// The windows composed as asked, or the plain area of the screen.
std::unique_ptr<rec::IFrameSource> makeFrameSource(const rec::RecordingSetup& setup, const std::string& display)
{
    std::string why;
    std::unique_ptr<rec::IFrameSource> source;
    if (setup.windowOption != kWindowListNone) {
        source = rec::makeWindowSource(setup, why);
        if (!source && !why.empty()) {
            // Leaving out nothing is the plain area.
            const bool nothingToLeaveOut = setup.windowOption == kWindowListExclude && setup.exclude.empty()
                                           && setup.include.empty();
            if (!nothingToLeaveOut) {
                refuse("The windows to record cannot be captured.", "%s", why.c_str());
                return nullptr;
            }
            why.clear();
        }
    }
    if (!source)
        source = rec::ScreenAreaSource::create(display, setup.area, why);
    if (!source)
        refuse("The screen cannot be captured.", "%s", why.c_str());
    return source;
}

// The sound devices, already running; false when they cannot start.
bool startSound(const AudioOpt& audio, std::unique_ptr<rec::IAudioSource>& sounds)
{
    std::string why;
    sounds = rec::makeAudioSource(audio.render != 0, audio.capture != 0, nullptr);
    if (sounds && sounds->start(why))
        return true;
    refuse("The sound cannot be recorded.", "no sound: %s", why.c_str());
    if (sounds)
        sounds->stop();
    sounds.reset();
    return false;
}

} // namespace

CBasePtr<CScreenRecoderObject> scVideoRecord(CRecoderCallback* callback, OutputVideoFileType type,
                                             const char* path, VideoOpt video, AudioOpt audio, MouseOpt mouse,
                                             bool boundary, WindowListOption option,
                                             const unsigned int* exclude, int excludeCount,
                                             const unsigned int* include, int includeCount)
{
    CBasePtr<CScreenRecoderObject> none;
    clearLastError();
    bool sound = false;
    if (!formatsFit(type, path, video, audio, sound))
        return none;
    const std::string display = engineDisplayName();
    QRect displayRect;
    if (display.empty() || !selectedDisplay(displayRect)) {
        refuse("The screen cannot be reached.", "the engine is not running");
        return none;
    }

    rec::RecorderOptions options;
    rec::RecordingSetup& setup = options.setup;
    setup.displayRect = displayRect;
    setup.fps = std::clamp(video.fps, 1, 120);
    setup.mouse = mouse;
    setup.boundary = boundary;
    setup.callback = callback;
    setup.windowOption = (option >= kWindowListNone && option <= kWindowListInclude) ? option : kWindowListNone;
    for (int i = 0; exclude && i < excludeCount; ++i)
        setup.exclude.push_back(exclude[i]);
    for (int i = 0; include && i < includeCount; ++i)
        setup.include.push_back(include[i]);
    if (!placeArea(setup, video))
        return none;

    options.type = type;
    options.path = path;
    options.videoCodec = video.codec;
    options.quality = std::clamp(video.quality, 1, 6);
    options.hevc10Bit = settings().hevc10Bit;
    options.audioCodec = audio.codec;
    options.audioQuality = std::clamp(audio.quality, 1, 6);
    options.audioChannels = audio.channels == 1 ? 1 : 2;

    std::unique_ptr<rec::IFrameSource> source = makeFrameSource(setup, display);
    if (!source)
        return none;
    std::unique_ptr<rec::IAudioSource> sounds;
    if (sound) {
        if (!startSound(audio, sounds))
            return none;
        options.sound = true;
    }

    std::string why;
    rec::VideoRecorder* recorder = rec::VideoRecorder::create(options, std::move(source), std::move(sounds), why);
    if (!recorder) {
        refuse("The recording cannot be started.", "%s", why.c_str());
        return none;
    }
    Log(kLogModule, LogLevel::Info, "scVideoRecord: %dx%d+%d+%d at %d fps, container %d, codec %d, quality %d, sound %d",
        setup.area.width(), setup.area.height(), setup.area.x(), setup.area.y(), setup.fps, int(type), video.codec,
        options.quality, options.sound ? 1 : 0);
    return CBasePtr<CScreenRecoderObject>(recorder);
}
