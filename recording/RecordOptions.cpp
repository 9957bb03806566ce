#include "recording/RecordOptions.h"

namespace RecordOptions {

namespace {

bool listed(const int* ids, int id)
{
    for (const int* p = ids; p && *p != 0; ++p) {
        if (*p == id)
            return true;
    }
    return false;
}

int firstOf(const int* ids)
{
    return ids ? ids[0] : 0;
}

QVector<unsigned int> idsOf(const QList<int>& ids)
{
    QVector<unsigned int> result;
    for (int id : ids)
        result << static_cast<unsigned int>(id);
    return result;
}

} // namespace

VideoOpt videoOpt(const QRect& region, int fps, int codec, int quality)
{
    VideoOpt video{};
    video.rect = CRect{double(region.x()), double(region.y()), double(region.x() + region.width()),
                       double(region.y() + region.height())};
    video.windowRect = CRect{0, 0, 0, 0};
    video.fps = fps;
    video.codec = codec;
    video.quality = quality;
    return video;
}

CRect centredArea(const QSize& around, const QRect& display)
{
    // Corner form: right - left is the display's width.
    const int width = display.right() - display.left();
    const int height = display.bottom() - display.top();
    if (width >= around.width() && height >= around.height())
        return CRect{0, 0, double(around.width()), double(around.height())};
    return CRect{0, 0, double(width), double(height)};
}

AudioOpt audioOpt(bool systemSound, bool microphone, int quality, int codec)
{
    AudioOpt audio{};
    audio.render = systemSound ? 1 : 0;
    audio.capture = microphone ? 1 : 0;
    audio.codec = codec;
    audio.quality = quality;
    audio.channels = 2;
    return audio;
}

MouseOpt mouseOpt(bool cursor, bool indicate, RP_MouseClick click, MouseFollow follow)
{
    MouseOpt mouse{};
    mouse.cursor = cursor ? 1 : 0;
    mouse.indicate = indicate ? 1 : 0;
    mouse.clickType = click == RP_MouseClick_Status ? 1 : click == RP_MouseClick_Blink ? 2 : 0;
    switch (follow) {
    case MouseFollow::Fixed: mouse.method = 0; mouse.methodParam = 0; break;
    case MouseFollow::Draggable: mouse.method = 1; mouse.methodParam = 1; break;
    case MouseFollow::Centred: mouse.method = 1; mouse.methodParam = 0; break;
    case MouseFollow::Edges: mouse.method = 2; mouse.methodParam = 0; break;
    }
    return mouse;
}

Container containerFor(int format)
{
    switch (format) {
    case RP_Format_GIF: return Container{kOutputGif, QStringLiteral(".gif")};
    case RP_Format_MOV: return Container{kOutputMov, QStringLiteral(".mov")};
    default: return Container{kOutputMp4, QStringLiteral(".mp4")};
    }
}

bool chooseCodecs(const AVFormatCodecs* lists, int wantedVideo, int& video, int& audio)
{
    video = wantedVideo;
    if (!lists) {
        audio = kAudioCodecAac;
        return true;
    }
    if (firstOf(lists->videoCodecs) == 0)
        return false;
    if (!listed(lists->videoCodecs, video))
        video = firstOf(lists->videoCodecs);
    // ProRes keeps uncompressed sound of the matching depth.
    audio = video == kVideoCodecProRes422    ? kAudioCodecPcm16
          : video == kVideoCodecProRes4444 ? kAudioCodecPcm24
                                             : firstOf(lists->audioCodecs);
    if (!listed(lists->audioCodecs, audio))
        audio = kAudioCodecAac;
    return true;
}

WindowLists windowLists(const ScreenSettings& s)
{
    WindowLists lists;
    if (!s.windowRecord) {
        lists.option = s.excludeFloatBar ? kWindowListExclude : kWindowListNone;
    } else {
        // A mode without lists of its own passes through as it is.
        lists.option = WindowListOption(s.windowMode);
        if (s.windowMode == kWindowListExclude)
            lists.exclude = idsOf(s.windowIds);
        else if (s.windowMode == kWindowListInclude || s.windowMode == kWindowListSingle)
            lists.include = idsOf(s.windowIds);
    }
    if (s.cameraWindow != 0)
        lists.include << static_cast<unsigned int>(s.cameraWindow);
    return lists;
}

bool screenRecord(const ScreenSettings& s, const AVFormatCodecs* listed, ScreenRecord& out)
{
    out.container = containerFor(s.format);
    int video = 0;
    int audio = 0;
    if (!chooseCodecs(listed, s.codec, video, audio))
        return false;

    out.video = videoOpt(s.region, s.fps, video, s.quality);
    if (s.follow == MouseFollow::Centred)
        out.video.rect = centredArea(s.around, s.display);
    out.frame = QSize(int(out.video.rect.right - out.video.rect.left),
                      int(out.video.rect.bottom - out.video.rect.top));

    // A GIF has no sound track.
    const bool sound = out.container.type != kOutputGif;
    out.audio = audioOpt(sound && s.systemSound, sound && s.microphone, s.audioQuality, audio);
    out.mouse = mouseOpt(s.cursor, s.indicate, s.click, s.follow);
    out.lists = windowLists(s);

    if (s.windowRecord && s.windowMode == kWindowListSingle) {
        out.video.windowRect = s.windowSize;
        out.frame = QSize(int(s.windowSize.right), int(s.windowSize.bottom));
        // The pointer is never drawn into a single window's frames.
        out.mouse.cursor = 0;
    }
    return true;
}

} // namespace RecordOptions
