#include "audio/AudioConverter.h"

#include "core/FfmpegUtil.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace sc {
namespace rec {

namespace {

struct FormatSpec {
    int format;
    const char* muxer;
    const char* encoder;
    int64_t bitRate;       // 0: the encoder's own choice (lossless)
    bool lossless;
};

// CAF carries ALAC: FFmpeg's CAF muxer cannot write AAC.
const FormatSpec kSpecs[] = {
    {4, "ipod", "aac", 192000, false},
    {5, "caf", "alac", 0, true},
    {6, "mp3", "libmp3lame", 192000, false},
    {7, "ogg", "libvorbis", 192000, false},
    {8, "opus", "libopus", 128000, false},
    {9, "flac", "flac", 0, true},
    {10, "asf", "wmav2", 128000, false},
};

const FormatSpec* specFor(int format)
{
    for (const FormatSpec& s : kSpecs)
        if (s.format == format)
            return &s;
    return nullptr;
}

AVSampleFormat pickSampleFormat(const AVCodec* codec, bool lossless)
{
    // The recording is 16-bit: lossless formats keep it at that, lossy
    // encoders get floats.
    static const AVSampleFormat lossy[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16P,
                                           AV_SAMPLE_FMT_S16};
    static const AVSampleFormat exact[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P};
    if (!codec->sample_fmts)
        return lossless ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
    const AVSampleFormat* wanted = lossless ? exact : lossy;
    const int count = lossless ? 2 : 4;
    for (int i = 0; i < count; ++i)
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == wanted[i])
                return *f;
    return codec->sample_fmts[0];
}

int pickSampleRate(const AVCodec* codec, int sourceRate)
{
    if (!codec->supported_samplerates)
        return sourceRate > 0 ? sourceRate : 48000;
    for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == sourceRate)
            return *r;
    for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == 48000)
            return *r;
    return codec->supported_samplerates[0];
}

// Everything one conversion holds, freed in one place.
struct Job {
    AVFormatContext* in = nullptr;
    AVCodecContext* dec = nullptr;
    AVFormatContext* out = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* decoded = nullptr;
    AVChannelLayout inLayout{};
    int streamIndex = -1;
    int frameSize = 0;
    int64_t nextPts = 0;
    std::string tempPath;
    bool keepTemp = false;

    ~Job()
    {
        av_channel_layout_uninit(&inLayout);
        av_audio_fifo_free(fifo);
        swr_free(&swr);
        av_frame_free(&decoded);
        av_packet_free(&packet);
        avcodec_free_context(&enc);
        avcodec_free_context(&dec);
        if (out) {
            if (out->pb)
                avio_closep(&out->pb);
            avformat_free_context(out);
        }
        avformat_close_input(&in);
        if (!tempPath.empty() && !keepTemp)
            ::unlink(tempPath.c_str());
    }

    bool writeFailed() const { return out && out->pb && out->pb->error < 0; }

    // Encodes `frame` (null: the end) and writes what comes out.
    int encode(AVFrame* frame, std::string& error)
    {
        int r = avcodec_send_frame(enc, frame);
        if (r < 0 && r != AVERROR_EOF) {
            error = "encoding failed: " + avError(r);
            return kConvertFailed;
        }
        AVPacket* p = av_packet_alloc();
        if (!p) {
            error = "out of memory";
            return kConvertFailed;
        }
        int result = kConvertOk;
        while ((r = avcodec_receive_packet(enc, p)) == 0) {
            p->stream_index = stream->index;
            av_packet_rescale_ts(p, enc->time_base, stream->time_base);
            const int w = av_interleaved_write_frame(out, p);
            if (w < 0 || writeFailed()) {
                error = "writing failed: " + avError(w < 0 ? w : out->pb->error);
                result = kConvertWriteFailed;
                break;
            }
        }
        av_packet_free(&p);
        if (result == kConvertOk && r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
            error = "encoding failed: " + avError(r);
            result = kConvertFailed;
        }
        return result;
    }

    // Sends whole encoder frames from the FIFO; with `all` also the rest.
    int drainFifo(bool all, std::string& error)
    {
        while (av_audio_fifo_size(fifo) >= frameSize || (all && av_audio_fifo_size(fifo) > 0)) {
            const int n = std::min(frameSize, av_audio_fifo_size(fifo));
            AVFrame* f = av_frame_alloc();
            if (!f) {
                error = "out of memory";
                return kConvertFailed;
            }
            f->nb_samples = n;
            f->format = enc->sample_fmt;
            f->sample_rate = enc->sample_rate;
            av_channel_layout_copy(&f->ch_layout, &enc->ch_layout);
            int result = kConvertOk;
            if (av_frame_get_buffer(f, 0) < 0
                || av_audio_fifo_read(fifo, reinterpret_cast<void**>(f->data), n) != n) {
                error = "out of memory";
                result = kConvertFailed;
            } else {
                f->pts = nextPts;
                nextPts += n;
                result = encode(f, error);
            }
            av_frame_free(&f);
            if (result != kConvertOk)
                return result;
        }
        return kConvertOk;
    }

    // Resamples `frame` (null: what the resampler still holds) into the FIFO.
    int resample(const AVFrame* frame, std::string& error)
    {
        const int inSamples = frame ? frame->nb_samples : 0;
        const int capacity = swr_get_out_samples(swr, inSamples);
        if (capacity <= 0)
            return kConvertOk;
        uint8_t** buffer = nullptr;
        if (av_samples_alloc_array_and_samples(&buffer, nullptr, enc->ch_layout.nb_channels, capacity,
                                               enc->sample_fmt, 0) < 0) {
            error = "out of memory";
            return kConvertFailed;
        }
        const int got = swr_convert(swr, buffer, capacity, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                    inSamples);
        int result = kConvertOk;
        if (got < 0) {
            error = "resampling failed: " + avError(got);
            result = kConvertFailed;
        } else if (got > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(buffer), got) != got) {
            error = "out of memory";
            result = kConvertFailed;
        }
        av_freep(&buffer[0]);
        av_freep(&buffer);
        return result;
    }

    // Decodes `pkt` (null: the end) and passes the sound on.
    int decode(const AVPacket* pkt, std::string& error)
    {
        int r = avcodec_send_packet(dec, pkt);
        // A damaged packet is skipped, as players do.
        if (r < 0 && r != AVERROR_EOF && r != AVERROR(EAGAIN))
            return kConvertOk;
        while ((r = avcodec_receive_frame(dec, decoded)) == 0) {
            int result = resample(decoded, error);
            av_frame_unref(decoded);
            if (result == kConvertOk)
                result = drainFifo(false, error);
            if (result != kConvertOk)
                return result;
        }
        return kConvertOk;
    }
};

// Moves the finished file to the target unless something is there.
int moveIntoPlace(const std::string& from, const std::string& to, std::string& error)
{
    const int failure = moveWithoutReplacing(from, to);
    if (failure == 0)
        return kConvertOk;
    if (failure == EEXIST) {
        error = "the target exists: " + to;
        return kConvertTargetExists;
    }
    error = "cannot move the file to " + to + ": " + std::strerror(failure);
    return kConvertWriteFailed;
}

// Opens the source and its decoder; `engineFile` is a recording of this
// engine, perhaps cut short.
int openSource(Job& job, const std::string& source, bool engineFile, std::string& error)
{
    AVDictionary* options = nullptr;
    const AVInputFormat* inputFormat = nullptr;
    if (engineFile) {
        // A recording that was cut short may carry sizes of an earlier
        // moment: the file's end is the truth.
        inputFormat = av_find_input_format("wav");
        av_dict_set(&options, "ignore_length", "1", 0);
    }
    int r = avformat_open_input(&job.in, source.c_str(), inputFormat, &options);
    av_dict_free(&options);
    if (r < 0) {
        error = "cannot open " + source + ": " + avError(r);
        return kConvertFailed;
    }
    if ((r = avformat_find_stream_info(job.in, nullptr)) < 0) {
        error = "cannot read " + source + ": " + avError(r);
        return kConvertFailed;
    }
    const AVCodec* decoder = nullptr;
    job.streamIndex = av_find_best_stream(job.in, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (job.streamIndex < 0 || !decoder) {
        error = "no sound in " + source;
        return kConvertFailed;
    }
    job.dec = avcodec_alloc_context3(decoder);
    if (!job.dec || avcodec_parameters_to_context(job.dec, job.in->streams[job.streamIndex]->codecpar) < 0
        || avcodec_open2(job.dec, decoder, nullptr) < 0) {
        error = "cannot decode " + source;
        return kConvertFailed;
    }
    if (job.dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || job.dec->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&job.inLayout, std::max(1, job.dec->ch_layout.nb_channels));
    else
        av_channel_layout_copy(&job.inLayout, &job.dec->ch_layout);
    return kConvertOk;
}

// The encoder's settings (it is opened once the muxer is known).
int prepareEncoder(Job& job, const FormatSpec& spec, const AVCodec*& encoder, std::string& error)
{
    encoder = avcodec_find_encoder_by_name(spec.encoder);
    if (!encoder) {
        error = std::string("this FFmpeg has no encoder ") + spec.encoder;
        return kConvertFailed;
    }
    job.enc = avcodec_alloc_context3(encoder);
    if (!job.enc) {
        error = "out of memory";
        return kConvertFailed;
    }
    job.enc->sample_fmt = pickSampleFormat(encoder, spec.lossless);
    job.enc->sample_rate = pickSampleRate(encoder, job.dec->sample_rate);
    av_channel_layout_default(&job.enc->ch_layout, std::min(job.inLayout.nb_channels, 2));
    job.enc->time_base = AVRational{1, job.enc->sample_rate};
    if (spec.bitRate > 0)
        job.enc->bit_rate = spec.bitRate;
    return kConvertOk;
}

// The hidden file beside the target; it becomes the user's saved recording.
int createTempFile(Job& job, const std::string& target, std::string& error)
{
    job.tempPath = createHiddenFileBeside(target, error);
    return job.tempPath.empty() ? kConvertWriteFailed : kConvertOk;
}

// The muxer on the hidden file, the opened encoder, the header written.
int openOutput(Job& job, const FormatSpec& spec, const AVCodec* encoder, std::string& error)
{
    int r = avformat_alloc_output_context2(&job.out, nullptr, spec.muxer, job.tempPath.c_str());
    if (r < 0 || !job.out) {
        error = "no muxer " + std::string(spec.muxer);
        return kConvertFailed;
    }
    if (job.out->oformat->flags & AVFMT_GLOBALHEADER)
        job.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(job.enc, encoder, nullptr)) < 0) {
        error = std::string("cannot open the encoder ") + spec.encoder + ": " + avError(r);
        return kConvertFailed;
    }
    job.stream = avformat_new_stream(job.out, nullptr);
    if (!job.stream || avcodec_parameters_from_context(job.stream->codecpar, job.enc) < 0) {
        error = "cannot prepare the file";
        return kConvertFailed;
    }
    job.stream->time_base = job.enc->time_base;
    if ((r = avio_open(&job.out->pb, job.tempPath.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = "cannot write " + job.tempPath + ": " + avError(r);
        return kConvertWriteFailed;
    }
    if ((r = avformat_write_header(job.out, nullptr)) < 0) {
        error = "cannot write the file header: " + avError(r);
        return job.writeFailed() ? kConvertWriteFailed : kConvertFailed;
    }
    return kConvertOk;
}

// Resampler, FIFO and buffers between decoder and encoder.
int prepareBuffers(Job& job, const AVCodec* encoder, std::string& error)
{
    const int r = swr_alloc_set_opts2(&job.swr, &job.enc->ch_layout, job.enc->sample_fmt, job.enc->sample_rate,
                                      &job.inLayout, job.dec->sample_fmt, job.dec->sample_rate, 0, nullptr);
    if (r < 0 || swr_init(job.swr) < 0) {
        error = "cannot resample the sound";
        return kConvertFailed;
    }
    const bool variable = encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
    job.frameSize = job.enc->frame_size > 0 && !variable ? job.enc->frame_size : 4096;
    job.fifo = av_audio_fifo_alloc(job.enc->sample_fmt, job.enc->ch_layout.nb_channels, job.frameSize);
    job.packet = av_packet_alloc();
    job.decoded = av_frame_alloc();
    if (!job.fifo || !job.packet || !job.decoded) {
        error = "out of memory";
        return kConvertFailed;
    }
    return kConvertOk;
}

// All the sound through decoder, resampler and encoder, then what each
// of them still holds.
int convertSound(Job& job, const std::atomic<bool>& cancel, std::string& error)
{
    int result = kConvertOk;
    while (result == kConvertOk) {
        if (cancel.load()) {
            error = "cancelled";
            return kConvertCancelled;
        }
        if (av_read_frame(job.in, job.packet) < 0)
            break;   // the end, or a damaged tail: keep what was read
        if (job.packet->stream_index == job.streamIndex)
            result = job.decode(job.packet, error);
        av_packet_unref(job.packet);
    }
    if (result == kConvertOk)
        result = job.decode(nullptr, error);
    if (result == kConvertOk)
        result = job.resample(nullptr, error);
    if (result == kConvertOk)
        result = job.drainFifo(true, error);
    if (result == kConvertOk)
        result = job.encode(nullptr, error);
    return result;
}

// The trailer, the file closed and moved to the target.
int completeFile(Job& job, const std::string& source, const std::string& target, std::string& error)
{
    const int r = av_write_trailer(job.out);
    if (r < 0 || job.writeFailed()) {
        error = "cannot complete the file: " + avError(r < 0 ? r : job.out->pb->error);
        return kConvertWriteFailed;
    }
    avio_flush(job.out->pb);
    if (job.writeFailed()) {
        error = "cannot complete the file: " + avError(job.out->pb->error);
        return kConvertWriteFailed;
    }
    avio_closep(&job.out->pb);
    if (job.nextPts == 0) {
        error = "no sound in " + source;
        return kConvertFailed;
    }
    const int result = moveIntoPlace(job.tempPath, target, error);
    job.keepTemp = result == kConvertOk;
    return result;
}

} // namespace

bool isAudioFormat(int format) { return specFor(format) != nullptr; }

int convertAudioFile(const std::string& source, bool engineFile, const std::string& target, int format,
                     const std::atomic<bool>& cancel, std::string& error)
{
    const FormatSpec* spec = specFor(format);
    if (!spec) {
        error = "unknown audio format " + std::to_string(format);
        return kConvertFailed;
    }
    Job job;
    const AVCodec* encoder = nullptr;
    int result = openSource(job, source, engineFile, error);
    if (result == kConvertOk)
        result = prepareEncoder(job, *spec, encoder, error);
    if (result == kConvertOk)
        result = createTempFile(job, target, error);
    if (result == kConvertOk)
        result = openOutput(job, *spec, encoder, error);
    if (result == kConvertOk)
        result = prepareBuffers(job, encoder, error);
    if (result == kConvertOk)
        result = convertSound(job, cancel, error);
    if (result != kConvertOk)
        return result;
    if (cancel.load()) {
        error = "cancelled";
        return kConvertCancelled;
    }
    return completeFile(job, source, target, error);
}

} // namespace rec
} // namespace sc
