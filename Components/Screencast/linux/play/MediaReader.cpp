#include "play/MediaReader.h"

#include "core/FfmpegUtil.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>

namespace sc {
namespace play {

namespace {

// A seek lands this far before its target, so that the sound decoder has
// the frames before it that it needs to decode the first one fully.
constexpr double kPreroll = 0.5;
// Rounding of times computed in different time bases.
constexpr double kEpsilon = 1e-6;

AVCodecContext* openDecoder(AVFormatContext* format, int index)
{
    const AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx)
        return nullptr;
    ctx->thread_count = 0;
    ctx->pkt_timebase = stream->time_base;
    if (avcodec_parameters_to_context(ctx, stream->codecpar) < 0 || avcodec_open2(ctx, codec, nullptr) < 0)
        avcodec_free_context(&ctx);
    return ctx;
}

} // namespace

MediaReader::~MediaReader()
{
    av_packet_free(&m_packet);
    avcodec_free_context(&m_video);
    avcodec_free_context(&m_audio);
    avformat_close_input(&m_format);
}

const AVStream* MediaReader::videoStream() const
{
    return m_videoIndex >= 0 ? m_format->streams[m_videoIndex] : nullptr;
}

const AVStream* MediaReader::audioStream() const
{
    return m_audioIndex >= 0 ? m_format->streams[m_audioIndex] : nullptr;
}

bool MediaReader::open(const std::string& path, bool wantVideo, bool wantAudio, std::string& error)
{
    int rc = avformat_open_input(&m_format, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        error = "cannot open " + path + ": " + rec::avError(rc);
        return false;
    }
    if ((rc = avformat_find_stream_info(m_format, nullptr)) < 0) {
        error = "cannot read " + path + ": " + rec::avError(rc);
        return false;
    }
    if (wantVideo) {
        m_videoIndex = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        // A cover picture is no movie.
        if (m_videoIndex >= 0 && (m_format->streams[m_videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            m_videoIndex = -1;
        if (m_videoIndex >= 0 && !(m_video = openDecoder(m_format, m_videoIndex)))
            m_videoIndex = -1;
    }
    if (wantAudio) {
        m_audioIndex = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, m_videoIndex, nullptr, 0);
        if (m_audioIndex >= 0 && !(m_audio = openDecoder(m_format, m_audioIndex)))
            m_audioIndex = -1;
    }
    if (!m_video && !m_audio) {
        error = "nothing to play in " + path;
        return false;
    }
    if (!(m_packet = av_packet_alloc())) {
        error = "out of memory";
        return false;
    }
    if (m_format->start_time != AV_NOPTS_VALUE)
        m_start = double(m_format->start_time) / AV_TIME_BASE;
    if (m_format->duration > 0)
        m_duration = double(m_format->duration) / AV_TIME_BASE;
    for (const AVStream* s : {videoStream(), audioStream()}) {
        if (s && s->duration > 0)
            m_duration = std::max(m_duration, timeOf(s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time, s)
                                                  + s->duration * av_q2d(s->time_base));
    }
    if (const AVStream* v = videoStream()) {
        const AVRational rate = v->avg_frame_rate.num > 0 ? v->avg_frame_rate : v->r_frame_rate;
        m_frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    }
    return true;
}

double MediaReader::timeOf(int64_t pts, const AVStream* stream) const
{
    return pts * av_q2d(stream->time_base) - m_start;
}

bool MediaReader::seek(double seconds)
{
    const double target = std::max(0.0, seconds);
    const int64_t ts = int64_t((std::max(0.0, target - kPreroll) + m_start) * AV_TIME_BASE);
    // Back to the key frame at or before the time; the decoders then run
    // forward from there.
    int rc = avformat_seek_file(m_format, -1, INT64_MIN, ts, ts, 0);
    if (rc < 0)
        rc = av_seek_frame(m_format, -1, ts, AVSEEK_FLAG_BACKWARD);
    if (m_video)
        avcodec_flush_buffers(m_video);
    if (m_audio)
        avcodec_flush_buffers(m_audio);
    m_skipUntil = target;
    m_nextAudioPts = AV_NOPTS_VALUE;
    m_draining = m_videoDone = m_audioDone = false;
    return rc >= 0;
}

bool MediaReader::keepVideo(const AVFrame* frame, double time) const
{
    if (m_skipUntil < 0)
        return true;
    const double length = frame->pkt_duration > 0 ? frame->pkt_duration * av_q2d(videoStream()->time_base)
                                                   : frameDuration();
    return time + length > m_skipUntil + kEpsilon;
}

// Leaves out the sound before the seek's target, cutting into the frame
// that holds it; false when all of it lies before.
bool MediaReader::cutAudio(AVFrame* frame, double& time) const
{
    if (m_skipUntil < 0 || time >= m_skipUntil - kEpsilon)
        return true;
    const int rate = frame->sample_rate > 0 ? frame->sample_rate : m_audio->sample_rate;
    const int skip = int(std::lround((m_skipUntil - time) * rate));
    if (skip >= frame->nb_samples)
        return false;
    if (skip <= 0)
        return true;
    AVFrame* rest = av_frame_alloc();
    if (!rest)
        return false;
    rest->format = frame->format;
    rest->sample_rate = rate;
    rest->nb_samples = frame->nb_samples - skip;
    av_channel_layout_copy(&rest->ch_layout, &frame->ch_layout);
    bool ok = av_frame_get_buffer(rest, 0) >= 0;
    if (ok) {
        av_samples_copy(rest->extended_data, frame->extended_data, 0, skip, rest->nb_samples,
                        frame->ch_layout.nb_channels, AVSampleFormat(frame->format));
        rest->pts = frame->pts;
        av_frame_unref(frame);
        av_frame_move_ref(frame, rest);
        time += double(skip) / rate;
    }
    av_frame_free(&rest);
    return ok;
}

MediaReader::Kind MediaReader::receive(AVFrame* frame, double& time)
{
    while (m_video && !m_videoDone) {
        const int rc = avcodec_receive_frame(m_video, frame);
        if (rc == AVERROR_EOF)
            m_videoDone = true;
        if (rc < 0)
            break;
        const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        time = pts == AV_NOPTS_VALUE ? 0.0 : timeOf(pts, videoStream());
        if (keepVideo(frame, time))
            return kVideo;
        av_frame_unref(frame);
    }
    while (m_audio && !m_audioDone) {
        const int rc = avcodec_receive_frame(m_audio, frame);
        if (rc == AVERROR_EOF)
            m_audioDone = true;
        if (rc < 0)
            break;
        const AVStream* s = audioStream();
        int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        if (pts == AV_NOPTS_VALUE)
            pts = m_nextAudioPts == AV_NOPTS_VALUE ? 0 : m_nextAudioPts;
        const int rate = frame->sample_rate > 0 ? frame->sample_rate : m_audio->sample_rate;
        m_nextAudioPts = pts + av_rescale_q(frame->nb_samples, AVRational{1, rate}, s->time_base);
        time = timeOf(pts, s);
        if (cutAudio(frame, time))
            return kAudio;
        av_frame_unref(frame);
    }
    return kNone;
}

void MediaReader::drain()
{
    m_draining = true;
    if (m_video)
        avcodec_send_packet(m_video, nullptr);
    if (m_audio)
        avcodec_send_packet(m_audio, nullptr);
}

MediaReader::Kind MediaReader::next(AVFrame* frame, double& time)
{
    while (true) {
        const Kind got = receive(frame, time);
        if (got != kNone)
            return got;
        if (m_draining) {
            if ((!m_video || m_videoDone) && (!m_audio || m_audioDone))
                return kEnd;
            continue;
        }
        const int rc = av_read_frame(m_format, m_packet);
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            // The end, or a damaged tail: what was read stays playable.
            drain();
            continue;
        }
        AVCodecContext* decoder = m_packet->stream_index == m_videoIndex   ? m_video
                                  : m_packet->stream_index == m_audioIndex ? m_audio
                                                                           : nullptr;
        // A damaged packet is skipped, as players do.
        if (decoder)
            avcodec_send_packet(decoder, m_packet);
        av_packet_unref(m_packet);
    }
}

} // namespace play
} // namespace sc
