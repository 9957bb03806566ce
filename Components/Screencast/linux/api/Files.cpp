// File and media facts and the codec lists. None of this needs the X
// connection, and the save worker calls it from its own thread.

#include "core/EngineCore.h"

#include "Screencast.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

using namespace sc;

namespace {

// FFmpeg prints every probe problem to stderr; the engine reports through
// its results instead.
void quietFfmpeg()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

struct InputCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

Input openMedia(const char* path)
{
    if (!path || !*path)
        return Input();
    quietFfmpeg();
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path, nullptr, nullptr) < 0)
        return Input();
    Input input(ctx);
    if (avformat_find_stream_info(ctx, nullptr) < 0)
        return Input();
    return input;
}

// The longest known duration: the container's, else the longest stream's.
double durationOf(const AVFormatContext* ctx)
{
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0)
        return double(ctx->duration) / AV_TIME_BASE;
    double longest = 0.0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* s = ctx->streams[i];
        if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
            longest = std::max(longest, s->duration * av_q2d(s->time_base));
    }
    return longest;
}

// A picture stream that is the recording itself, not a cover image that
// music files carry.
const AVStream* videoStream(const AVFormatContext* ctx)
{
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* s = ctx->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
            && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && s->codecpar->width > 0 && s->codecpar->height > 0)
            return s;
    }
    return nullptr;
}

bool hasEncoder(const char* name)
{
    return avcodec_find_encoder_by_name(name) != nullptr;
}

// The lists of one container, built once from the encoders this FFmpeg has.
struct CodecTable {
    std::vector<int> video;
    std::vector<int> audio;
    AVFormatCodecs record{};

    void seal()
    {
        video.push_back(0);
        audio.push_back(0);
        record.videoCodecs = video.data();
        record.audioCodecs = audio.data();
    }
};

struct CodecTables {
    CodecTable mp4;   // also M4V: the same muxer
    CodecTable mov;
    CodecTable gif;

    CodecTables()
    {
        const bool h264 = hasEncoder("libx264");
        const bool hevc = hasEncoder("libx265");
        const bool prores = hasEncoder("prores_aw") || hasEncoder("prores_ks");
        const bool aac = hasEncoder("aac");
        if (h264) {
            mp4.video.push_back(kVideoCodecH264);
            mov.video.push_back(kVideoCodecH264);
        }
        if (hevc) {
            mp4.video.push_back(kVideoCodecHevc);
            mov.video.push_back(kVideoCodecHevc);
        }
        if (prores) {
            mov.video.push_back(kVideoCodecProRes422);
            mov.video.push_back(kVideoCodecProRes4444);
        }
        if (aac) {
            mp4.audio.push_back(kAudioCodecAac);
            mov.audio.push_back(kAudioCodecAac);
        }
        if (hasEncoder("pcm_s16le"))
            mov.audio.push_back(kAudioCodecPcm16);
        if (hasEncoder("pcm_s24le"))
            mov.audio.push_back(kAudioCodecPcm24);
        if (hasEncoder("gif"))
            gif.video.push_back(kVideoCodecGif);
        mp4.seal();
        mov.seal();
        gif.seal();
    }
};

} // namespace

int64_t GetFileSystemFreeSize(const char* folder)
{
    if (!folder || !*folder)
        return -1;
    struct statvfs fs;
    if (statvfs(folder, &fs) != 0)
        return -1;
    // f_bavail, not f_bfree: the blocks kept for root are no room for a
    // recording, even when the program runs as root.
    return int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
}

int64_t GetFileSize(const char* path)
{
    if (!path || !*path)
        return -1;
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return int64_t(st.st_size);
}

MediaFileInfo GetMediaFileInfo(const char* path)
{
    MediaFileInfo info{};
    Input input = openMedia(path);
    if (!input)
        return info;
    info.duration = durationOf(input.get());
    if (const AVStream* video = videoStream(input.get())) {
        info.hasVideo = 1;
        info.width = video->codecpar->width;
        info.height = video->codecpar->height;
    }
    return info;
}

GIFFileInfo GetGIFFileInfo(const char* path)
{
    GIFFileInfo info{};
    Input input = openMedia(path);
    if (!input)
        return info;
    const AVStream* video = videoStream(input.get());
    if (!video)
        return info;

    // The GIF demuxer knows no duration up front: add up the frame delays.
    // It gives frames without a delay a default one, so even a one-frame
    // picture has a duration and is not taken for an unreadable file.
    double seconds = 0.0;
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return info;
    while (av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == video->index && packet->duration > 0)
            seconds += packet->duration * av_q2d(video->time_base);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (seconds <= 0.0)
        seconds = durationOf(input.get());
    if (seconds <= 0.0)
        return info;
    info.duration = seconds;
    info.width = video->codecpar->width;
    info.height = video->codecpar->height;
    return info;
}

const AVFormatCodecs* GetAVFormatCodecs(OutputVideoFileType type)
{
    static const CodecTables tables;
    switch (type) {
    case kOutputMp4:
    case kOutputM4v:
        return &tables.mp4.record;
    case kOutputMov:
        return &tables.mov.record;
    case kOutputGif:
        return &tables.gif.record;
    }
    return nullptr;
}
