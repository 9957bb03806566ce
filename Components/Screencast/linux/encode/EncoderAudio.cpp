#include "encode/EncoderAudio.h"

#include "core/Pipeline.h"
#include "ScreencastTypes.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>

namespace sc {
namespace rec {

namespace {

float clip(float v)
{
    return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
}

} // namespace

AudioCodecSettings audioCodecSettings(int codec, int quality, int channels)
{
    AudioCodecSettings s;
    const int q = std::clamp(quality, 1, 6);
    switch (codec) {
    case kAudioCodecAac: {
        // Per stereo pair; a mono stream gets a little more than half.
        static const int64_t rate[] = {64000, 96000, 128000, 160000, 192000, 256000};
        s.encoder = "aac";
        s.sampleFormat = AV_SAMPLE_FMT_FLTP;
        s.bitRate = channels == 1 ? rate[q - 1] * 5 / 8 : rate[q - 1];
        break;
    }
    case kAudioCodecPcm16:
        s.encoder = "pcm_s16le";
        s.sampleFormat = AV_SAMPLE_FMT_S16;
        break;
    case kAudioCodecPcm24:
        s.encoder = "pcm_s24le";
        s.sampleFormat = AV_SAMPLE_FMT_S32; // 24 bits in the high bytes
        break;
    default:
        break;
    }
    return s;
}

AudioEncoder::AudioEncoder() = default;

AudioEncoder::~AudioEncoder()
{
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_ctx);
}

bool AudioEncoder::open(int codec, int quality, int channels, bool globalHeader, std::string& error)
{
    channels = channels == 1 ? 1 : 2;
    const AudioCodecSettings settings = audioCodecSettings(codec, quality, channels);
    if (!settings.encoder) {
        error = "unknown audio codec";
        return false;
    }
    const AVCodec* encoder = avcodec_find_encoder_by_name(settings.encoder);
    if (!encoder) {
        error = std::string("no encoder ") + settings.encoder;
        return false;
    }
    m_ctx = avcodec_alloc_context3(encoder);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_ctx || !m_frame || !m_packet) {
        error = "out of memory";
        return false;
    }
    m_ctx->sample_fmt = settings.sampleFormat;
    m_ctx->sample_rate = kAudioRate;
    av_channel_layout_default(&m_ctx->ch_layout, channels);
    m_ctx->time_base = AVRational{1, kAudioRate};
    if (settings.bitRate)
        m_ctx->bit_rate = settings.bitRate;
    if (globalHeader)
        m_ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int rc = avcodec_open2(m_ctx, encoder, nullptr);
    if (rc < 0) {
        error = std::string("cannot open ") + settings.encoder + ": " + avError(rc);
        return false;
    }
    m_frameSize = m_ctx->frame_size > 0 ? m_ctx->frame_size : 1024;
    return true;
}

bool AudioEncoder::write(int64_t position, const float* samples, int64_t frames, const PacketSink& sink)
{
    if (!m_ctx || m_finished || frames <= 0)
        return true;
    const int64_t end = this->position();
    if (position > end) {
        // The source skipped ahead (or started late): silence in between.
        m_pending.resize(m_pending.size() + size_t(position - end) * 2, 0.0f);
    } else if (position < end) {
        // Already covered: keep only what is new.
        const int64_t skip = end - position;
        if (skip >= frames)
            return true;
        samples += skip * 2;
        frames -= skip;
    }
    m_pending.insert(m_pending.end(), samples, samples + frames * 2);
    return encodePending(false, sink);
}

bool AudioEncoder::finish(int64_t endPosition, const PacketSink& sink)
{
    if (!m_ctx || m_finished)
        return true;
    const int64_t end = position();
    if (endPosition > end) {
        m_pending.resize(m_pending.size() + size_t(endPosition - end) * 2, 0.0f);
    } else if (endPosition < end && endPosition >= m_encoded) {
        // Sound beyond the last picture would make the file longer than
        // what was seen.
        m_pending.resize(size_t(endPosition - m_encoded) * 2);
    }
    const bool ok = encodePending(true, sink);
    m_finished = true;
    return send(nullptr, sink) && ok;
}

bool AudioEncoder::encodePending(bool all, const PacketSink& sink)
{
    const int channels = m_ctx->ch_layout.nb_channels;
    size_t offset = 0;
    const size_t available = m_pending.size() / 2;
    bool ok = true;
    while (ok) {
        const size_t left = available - offset;
        if (left == 0 || (left < size_t(m_frameSize) && !all))
            break;
        const int n = int(std::min<size_t>(left, size_t(m_frameSize)));
        av_frame_unref(m_frame);
        m_frame->format = m_ctx->sample_fmt;
        m_frame->sample_rate = kAudioRate;
        m_frame->nb_samples = n;
        if (av_channel_layout_copy(&m_frame->ch_layout, &m_ctx->ch_layout) < 0
            || av_frame_get_buffer(m_frame, 0) < 0)
            return false;
        const float* in = m_pending.data() + offset * 2;
        for (int i = 0; i < n; ++i) {
            const float l = in[2 * i];
            const float r = in[2 * i + 1];
            float v[2] = {l, r};
            if (channels == 1)
                v[0] = 0.5f * (l + r);
            for (int c = 0; c < channels; ++c) {
                const float s = clip(v[c]);
                switch (m_ctx->sample_fmt) {
                case AV_SAMPLE_FMT_FLTP:
                    reinterpret_cast<float*>(m_frame->data[c])[i] = s;
                    break;
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(m_frame->data[0])[i * channels + c] =
                        int16_t(std::lrint(s * 32767.0f));
                    break;
                case AV_SAMPLE_FMT_S32:
                    reinterpret_cast<int32_t*>(m_frame->data[0])[i * channels + c] =
                        int32_t(std::lrint(double(s) * 8388607.0)) * 256;
                    break;
                default:
                    return false;
                }
            }
        }
        m_frame->pts = m_encoded;
        m_encoded += n;
        offset += size_t(n);
        ok = send(m_frame, sink);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(offset * 2));
    return ok;
}

bool AudioEncoder::send(AVFrame* frame, const PacketSink& sink)
{
    return encodeFrame(m_ctx, frame, m_packet, sink);
}

} // namespace rec
} // namespace sc
