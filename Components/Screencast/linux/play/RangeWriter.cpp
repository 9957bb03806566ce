#include "play/RangeWriter.h"

#include "play/MediaReader.h"
#include "play/SwsSlack.h"

#include "encode/EncoderAudio.h"
#include "encode/EncoderVideo.h"
#include "core/FfmpegUtil.h"
#include "core/Pipeline.h"

#include "ScreencastTypes.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace sc {
namespace play {

namespace {

constexpr double kEpsilon = 1e-6;

// The recorder's encoder settings for the source's picture codec, at a
// level close to a recording's best lossy one.
void pictureCodecOf(const AVCodecParameters* source, const AVOutputFormat* muxer, int& codec, int& quality)
{
    quality = 5;
    switch (source->codec_id) {
    case AV_CODEC_ID_HEVC:
        codec = kVideoCodecHevc;
        return;
    case AV_CODEC_ID_PRORES:
        // Profiles 4 and 5 are 4444 and 4444 XQ.
        codec = source->profile >= 4 ? kVideoCodecProRes4444 : kVideoCodecProRes422;
        quality = source->profile == 5 ? 6 : 5;
        return;
    case AV_CODEC_ID_GIF:
        codec = kVideoCodecGif;
        quality = 4;
        return;
    default:
        // H.264, or what this FFmpeg cannot write: H.264 as well, unless
        // the file is a GIF.
        codec = std::strcmp(muxer->name, "gif") == 0 ? kVideoCodecGif : kVideoCodecH264;
        return;
    }
}

int soundCodecOf(const AVCodecParameters* source, const AVOutputFormat* muxer)
{
    int codec = kAudioCodecAac;
    switch (source->codec_id) {
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE:
    case AV_CODEC_ID_PCM_U8:
        codec = kAudioCodecPcm16;
        break;
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S24BE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_F32LE:
        codec = kAudioCodecPcm24;
        break;
    default:
        break;
    }
    const rec::AudioCodecSettings settings = rec::audioCodecSettings(codec, 5, 2);
    const AVCodec* encoder = avcodec_find_encoder_by_name(settings.encoder);
    if (!encoder || avformat_query_codec(muxer, encoder->id, FF_COMPLIANCE_NORMAL) != 1)
        codec = codec == kAudioCodecAac ? kAudioCodecPcm16 : kAudioCodecAac;
    return codec;
}

// One export, everything it holds freed in one place.
class Job
{
public:
    Job(const std::string& target, double start, double end) : m_target(target), m_start(start), m_end(end) {}
    ~Job();

    bool open(const std::string& source, std::string& error);
    bool copy(const std::atomic<bool>& cancel, std::atomic<double>& progress, std::string& error);
    bool complete(std::string& error);

private:
    bool openOutput(std::string& error);
    bool openPictures(std::string& error);
    bool openSound(std::string& error);
    bool writePacket(AVPacket* packet, const AVCodecContext* encoder, AVStream* stream);
    bool picture(const AVFrame* frame, double time);
    bool sound(const AVFrame* frame, double time);
    bool finish();

    const std::string m_target;
    const double m_start;
    double m_end;
    std::string m_temp;
    MediaReader m_reader;
    AVFormatContext* m_out = nullptr;
    bool m_failedWrite = false;

    rec::VideoEncoder m_video;
    AVStream* m_videoStream = nullptr;
    SwsContext* m_sws = nullptr;
    std::vector<uint8_t> m_pixels;   // with room behind for swscale's vector stores
    QImage m_image;                  // over m_pixels
    int m_fps = 0;
    int64_t m_index = -1;
    bool m_videoDone = true;

    rec::AudioEncoder m_audio;
    AVStream* m_audioStream = nullptr;
    SwrContext* m_swr = nullptr;
    std::vector<float> m_samples;
    int64_t m_audioPos = -1;     // where the next resampled sound goes
    int64_t m_audioEnd = 0;
    bool m_audioDone = true;
};

Job::~Job()
{
    sws_freeContext(m_sws);
    swr_free(&m_swr);
    if (m_out) {
        if (m_out->pb)
            avio_closep(&m_out->pb);
        avformat_free_context(m_out);
    }
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
}

bool Job::open(const std::string& source, std::string& error)
{
    if (!m_reader.open(source, true, true, error) || !openOutput(error))
        return false;
    if (m_reader.duration() > 0)
        m_end = std::min(m_end, m_reader.duration());
    if (m_end <= m_start) {
        error = "the stretch lies past the end of the file";
        return false;
    }
    if (m_reader.hasVideo() && !openPictures(error))
        return false;
    if (m_reader.hasAudio() && !openSound(error))
        return false;
    int rc = avio_open(&m_out->pb, m_temp.c_str(), AVIO_FLAG_WRITE);
    if (rc >= 0)
        rc = avformat_write_header(m_out, nullptr);
    if (rc < 0) {
        error = "cannot write " + m_temp + ": " + rec::avError(rc);
        return false;
    }
    m_reader.seek(m_start);
    return true;
}

bool Job::openOutput(std::string& error)
{
    // FFmpeg's "m4v" is a raw stream; an M4V movie is an MP4 file.
    const std::size_t dot = m_target.rfind('.');
    const std::string suffix = dot == std::string::npos ? std::string() : m_target.substr(dot + 1);
    const AVOutputFormat* format = strcasecmp(suffix.c_str(), "m4v") == 0
                                       ? av_guess_format("mp4", nullptr, nullptr)
                                       : av_guess_format(nullptr, m_target.c_str(), nullptr);
    if (!format) {
        error = "no container for " + m_target;
        return false;
    }
    m_temp = rec::createHiddenFileBeside(m_target, error);
    if (m_temp.empty())
        return false;
    if (avformat_alloc_output_context2(&m_out, format, nullptr, m_temp.c_str()) < 0 || !m_out) {
        error = "cannot prepare " + m_target;
        return false;
    }
    return true;
}

bool Job::openPictures(std::string& error)
{
    const AVCodecContext* decoder = m_reader.video();
    int codec = 0;
    int quality = 0;
    pictureCodecOf(m_reader.videoStream()->codecpar, m_out->oformat, codec, quality);
    const AVPixFmtDescriptor* pixels = av_pix_fmt_desc_get(decoder->pix_fmt);
    const bool deep = pixels && pixels->comp[0].depth > 8;
    m_fps = std::max(1, int(std::lround(m_reader.frameRate() > 0 ? m_reader.frameRate() : 30.0)));
    const bool globalHeader = m_out->oformat->flags & AVFMT_GLOBALHEADER;
    if (!m_video.open(codec, quality, m_fps, QSize(decoder->width, decoder->height), deep, globalHeader, error))
        return false;
    m_videoStream = avformat_new_stream(m_out, nullptr);
    if (!m_videoStream || avcodec_parameters_from_context(m_videoStream->codecpar, m_video.context()) < 0) {
        error = "cannot add the picture stream";
        return false;
    }
    if (m_video.tag())
        m_videoStream->codecpar->codec_tag = m_video.tag();
    m_videoStream->time_base = m_video.context()->time_base;
    m_videoStream->avg_frame_rate = AVRational{m_fps, 1};
    const int stride = decoder->width * 4;
    m_pixels.assign(std::size_t(stride) * std::size_t(decoder->height) + kSwsSlack, 0);
    m_image = QImage(m_pixels.data(), decoder->width, decoder->height, stride, QImage::Format_RGB32);
    m_videoDone = false;
    return !m_image.isNull();
}

bool Job::openSound(std::string& error)
{
    const AVCodecContext* decoder = m_reader.audio();
    const int channels = decoder->ch_layout.nb_channels == 1 ? 1 : 2;
    const bool globalHeader = m_out->oformat->flags & AVFMT_GLOBALHEADER;
    const int codec = soundCodecOf(m_reader.audioStream()->codecpar, m_out->oformat);
    if (!m_audio.open(codec, 5, channels, globalHeader, error))
        return false;
    m_audioStream = avformat_new_stream(m_out, nullptr);
    if (!m_audioStream || avcodec_parameters_from_context(m_audioStream->codecpar, m_audio.context()) < 0) {
        error = "cannot add the sound stream";
        return false;
    }
    m_audioStream->time_base = m_audio.context()->time_base;
    m_audioEnd = std::llround((m_end - m_start) * rec::kAudioRate);
    m_audioDone = false;
    return true;
}

bool Job::writePacket(AVPacket* packet, const AVCodecContext* encoder, AVStream* stream)
{
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
    if (av_interleaved_write_frame(m_out, packet) < 0 || (m_out->pb && m_out->pb->error < 0)) {
        m_failedWrite = true;
        return false;
    }
    return true;
}

// A picture of the stretch: on the output's frame grid, the first at 0.
bool Job::picture(const AVFrame* frame, double time)
{
    if (time >= m_end - kEpsilon) {
        m_videoDone = true;
        return true;
    }
    m_sws = sws_getCachedContext(m_sws, frame->width, frame->height, AVPixelFormat(frame->format),
                                 m_image.width(), m_image.height(), AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr,
                                 nullptr, nullptr);
    if (!m_sws)
        return false;
    uint8_t* dst[4] = {m_pixels.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {int(m_image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(m_sws, frame->data, frame->linesize, 0, frame->height, dst, stride) <= 0)
        return false;
    const int64_t slot = m_index < 0 ? 0 : std::max<int64_t>(m_index + 1, std::llround((time - m_start) * m_fps));
    m_index = slot;
    return m_video.encode(m_image, slot, [this](AVPacket* p) {
        return writePacket(p, m_video.context(), m_videoStream);
    });
}

// Sound of the stretch, resampled to what the recorder's encoder takes.
bool Job::sound(const AVFrame* frame, double time)
{
    if (m_audioPos >= m_audioEnd) {
        m_audioDone = true;
        return true;
    }
    if (!m_swr) {
        AVChannelLayout in{};
        AVChannelLayout out{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&in, &frame->ch_layout);
        av_channel_layout_default(&out, 2);
        const int rc = swr_alloc_set_opts2(&m_swr, &out, AV_SAMPLE_FMT_FLT, rec::kAudioRate, &in,
                                           AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (rc < 0 || swr_init(m_swr) < 0)
            return false;
        m_audioPos = std::max<int64_t>(0, std::llround((time - m_start) * rec::kAudioRate));
    }
    const int capacity = swr_get_out_samples(m_swr, frame ? frame->nb_samples : 0);
    if (capacity <= 0)
        return true;
    m_samples.resize(std::size_t(capacity) * 2);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(m_samples.data())};
    const int got = swr_convert(m_swr, out, capacity, const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
    if (got < 0)
        return false;
    const int64_t keep = std::min<int64_t>(got, m_audioEnd - m_audioPos);
    const bool ok = m_audio.write(m_audioPos, m_samples.data(), keep, [this](AVPacket* p) {
        return writePacket(p, m_audio.context(), m_audioStream);
    });
    m_audioPos += got;
    return ok;
}

bool Job::copy(const std::atomic<bool>& cancel, std::atomic<double>& progress, std::string& error)
{
    AVFrame* frame = av_frame_alloc();
    bool ok = frame != nullptr;
    const double length = std::max(m_end - m_start, kEpsilon);
    while (ok && !cancel.load() && !(m_videoDone && m_audioDone)) {
        double time = 0.0;
        const MediaReader::Kind kind = m_reader.next(frame, time);
        if (kind == MediaReader::kEnd || kind == MediaReader::kError)
            break;
        if (kind == MediaReader::kVideo && !m_videoDone)
            ok = picture(frame, time);
        else if (kind == MediaReader::kAudio && !m_audioDone)
            ok = sound(frame, time);
        av_frame_unref(frame);
        progress = std::clamp((time - m_start) / length, 0.0, 0.99);
    }
    av_frame_free(&frame);
    if (!ok)
        error = m_failedWrite ? "cannot write " + m_temp : "cannot encode the stretch";
    return ok && !cancel.load() && finish();
}

bool Job::finish()
{
    bool ok = true;
    if (m_videoStream)
        ok = m_video.flush([this](AVPacket* p) { return writePacket(p, m_video.context(), m_videoStream); });
    if (m_audioStream && ok)
        ok = m_audio.finish(m_audioEnd,
                            [this](AVPacket* p) { return writePacket(p, m_audio.context(), m_audioStream); });
    return ok && m_index >= (m_videoStream ? 0 : -1);
}

bool Job::complete(std::string& error)
{
    const int rc = av_write_trailer(m_out);
    avio_closep(&m_out->pb);
    if (rc < 0) {
        error = "cannot complete " + m_temp + ": " + rec::avError(rc);
        return false;
    }
    const int moved = rec::moveWithoutReplacing(m_temp, m_target);
    if (moved != 0) {
        error = "cannot move the file to " + m_target + ": " + std::strerror(moved);
        return false;
    }
    m_temp.clear();
    return true;
}

} // namespace

bool writeRange(const std::string& source, const std::string& target, double start, double end,
                const std::atomic<bool>& cancel, std::atomic<double>& progress, std::string& error)
{
    Job job(target, start, end);
    if (!job.open(source, error) || !job.copy(cancel, progress, error))
        return false;
    if (cancel.load()) {
        error = "cancelled";
        return false;
    }
    if (!job.complete(error))
        return false;
    progress = 1.0;
    return true;
}

} // namespace play
} // namespace sc
