#include "tests/support/media/TestMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QBuffer>
#include <QFile>
#include <QPointF>

#include <algorithm>
#include <cmath>
#include <functional>

namespace testmedia {
namespace {

struct Input {
    AVFormatContext* ctx = nullptr;
    ~Input() { avformat_close_input(&ctx); }
    bool open(const QString& path)
    {
        return avformat_open_input(&ctx, QFile::encodeName(path).constData(), nullptr, nullptr) == 0
            && avformat_find_stream_info(ctx, nullptr) >= 0;
    }
    // Seconds from the start of the file of `ts` in `st`'s time base.
    double seconds(const AVStream* st, int64_t ts) const
    {
        const double start = ctx->start_time == AV_NOPTS_VALUE ? 0.0 : double(ctx->start_time) / AV_TIME_BASE;
        return ts == AV_NOPTS_VALUE ? 0.0 : ts * av_q2d(st->time_base) - start;
    }
};

struct Frame { AVFrame* f = av_frame_alloc(); ~Frame() { av_frame_free(&f); } };
struct Packet { AVPacket* p = av_packet_alloc(); ~Packet() { av_packet_free(&p); } };
struct Codec { AVCodecContext* c = nullptr; ~Codec() { avcodec_free_context(&c); } };

// Calls `onFrame` with every decoded frame of the best stream of `type` (from the key frame
// before `from`, if >= 0) until it returns false; false when nothing decodes.
using FrameSink = std::function<bool(const Input&, const AVStream*, AVFrame*)>;
bool decode(const QString& path, AVMediaType type, const FrameSink& onFrame, double from = -1)
{
    Input in;
    const AVCodec* codec = nullptr;
    if (!in.open(path))
        return false;
    const int index = av_find_best_stream(in.ctx, type, -1, -1, &codec, 0);
    if (index < 0 || !codec)
        return false;
    const AVStream* st = in.ctx->streams[index];
    Codec dec;
    dec.c = avcodec_alloc_context3(codec);
    if (avcodec_parameters_to_context(dec.c, st->codecpar) < 0 || avcodec_open2(dec.c, codec, nullptr) < 0)
        return false;
    if (from >= 0) {
        const int64_t start = in.ctx->start_time == AV_NOPTS_VALUE ? 0 : in.ctx->start_time;
        const int64_t ts = start + int64_t(from * AV_TIME_BASE);
        avformat_seek_file(in.ctx, -1, INT64_MIN, ts, ts, 0);
    }
    Packet pkt;
    Frame frame;
    bool more = true, draining = false;
    while (more) {
        if (!draining) {
            if (av_read_frame(in.ctx, pkt.p) < 0) {
                draining = true;
                avcodec_send_packet(dec.c, nullptr);
            } else {
                const bool ours = pkt.p->stream_index == index;
                if (ours)
                    avcodec_send_packet(dec.c, pkt.p);
                av_packet_unref(pkt.p);
                if (!ours)
                    continue;
            }
        }
        int r = 0;
        while (more && (r = avcodec_receive_frame(dec.c, frame.f)) == 0) {
            more = onFrame(in, st, frame.f);
            av_frame_unref(frame.f);
        }
        if (draining && r != 0)
            break;
    }
    return true;
}

double frameTime(const Input& in, const AVStream* st, const AVFrame* f)
{
    return in.seconds(st, f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts);
}

QImage toImage(const AVFrame* f, bool alpha = false)
{
    // Spare lines below: swscale's vector code writes a little past the end.
    QImage image(f->width, f->height + 8, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    SwsContext* sws = sws_getContext(f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                     AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws || image.isNull())
        return QImage();
    // The colours as the stream tags them (a recording says BT.709).
    const int space = f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace;
    sws_setColorspaceDetails(sws, sws_getCoefficients(space), f->color_range == AVCOL_RANGE_JPEG,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int lines[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, lines);
    sws_freeContext(sws);
    return image.copy(0, 0, f->width, f->height);
}

// Writes `v` (-1..1) as sample `i` of channel `ch` in the frame's own format.
void putSample(AVFrame* f, int i, int ch, double v)
{
    const auto fmt = AVSampleFormat(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    uint8_t* base = f->extended_data[planar ? ch : 0];
    const int at = planar ? i : i * f->ch_layout.nb_channels + ch;
    switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: base[at] = uint8_t(128 + std::lround(v * 127)); break;
    case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(base)[at] = int16_t(std::lround(v * 32767)); break;
    case AV_SAMPLE_FMT_S32: reinterpret_cast<int32_t*>(base)[at] = int32_t(std::lround(v * 2147483647.0)); break;
    case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(base)[at] = float(v); break;
    case AV_SAMPLE_FMT_DBL: reinterpret_cast<double*>(base)[at] = v; break;
    default: break;
    }
}

// An encoder feeding one stream of the output.
struct Track {
    Codec enc;
    AVStream* st = nullptr;
    Frame frame;
    int64_t next = 0; // pts of the next frame, in the encoder's time base
};

// A file written by libavformat from frames the caller fills.
struct Writer {
    AVFormatContext* oc = nullptr;
    Track video, audio;
    bool failed = false;

    ~Writer()
    {
        if (oc && !(oc->oformat->flags & AVFMT_NOFILE))
            avio_closep(&oc->pb);
        avformat_free_context(oc);
    }
    bool open(const QString& path)
    {
        return avformat_alloc_output_context2(&oc, nullptr, nullptr, QFile::encodeName(path).constData()) >= 0;
    }
    bool addTrack(Track& t, const AVCodec* codec, const std::function<void(AVCodecContext*)>& setUp)
    {
        if (!codec || !(t.st = avformat_new_stream(oc, nullptr)))
            return false;
        t.enc.c = avcodec_alloc_context3(codec);
        setUp(t.enc.c);
        if (oc->oformat->flags & AVFMT_GLOBALHEADER)
            t.enc.c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(t.enc.c, codec, nullptr) < 0 || avcodec_parameters_from_context(t.st->codecpar, t.enc.c) < 0)
            return false;
        t.st->time_base = t.enc.c->time_base;
        return true;
    }
    bool addAudio(const AVCodec* codec, int channels)
    {
        return addTrack(audio, codec, [&](AVCodecContext* c) {
            c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
            c->sample_rate = codec->supported_samplerates ? codec->supported_samplerates[0] : 48000;
            for (const int* r = codec->supported_samplerates; r && *r; ++r)
                c->sample_rate = *r == 48000 ? 48000 : c->sample_rate;
            av_channel_layout_default(&c->ch_layout, channels);
            c->bit_rate = 128000;
            c->time_base = AVRational{1, c->sample_rate};
        });
    }
    bool start(const QString& path)
    {
        if (!(oc->oformat->flags & AVFMT_NOFILE)
            && avio_open(&oc->pb, QFile::encodeName(path).constData(), AVIO_FLAG_WRITE) < 0)
            return false;
        return avformat_write_header(oc, nullptr) >= 0;
    }
    // Encodes `f` (null: flushes) and writes what the encoder gives back.
    bool send(Track& t, AVFrame* f)
    {
        if (avcodec_send_frame(t.enc.c, f) < 0)
            return !(failed = true);
        Packet pkt;
        while (avcodec_receive_packet(t.enc.c, pkt.p) == 0) {
            if (!pkt.p->duration && &t == &video)
                pkt.p->duration = 1; // else the last picture falls out of the edit list
            av_packet_rescale_ts(pkt.p, t.enc.c->time_base, t.st->time_base);
            pkt.p->stream_index = t.st->index;
            if (av_interleaved_write_frame(oc, pkt.p) < 0)
                failed = true;
        }
        return !failed;
    }
    // Encodes sound from `sample(seconds)` until at least `until` samples of
    // the `total` were written.
    bool writeAudio(int64_t until, int64_t total, const std::function<double(double)>& sample)
    {
        AVCodecContext* c = audio.enc.c;
        const bool variable = c->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
        const int64_t size = c->frame_size > 0 && !variable ? c->frame_size : 1024;
        while (audio.next < std::min(until, total) && !failed) {
            AVFrame* f = audio.frame.f;
            av_frame_unref(f);
            f->format = c->sample_fmt;
            f->sample_rate = c->sample_rate;
            f->nb_samples = int(std::min(size, total - audio.next));
            av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
            if (av_frame_get_buffer(f, 0) < 0)
                return false;
            for (int i = 0; i < f->nb_samples; ++i)
                for (int ch = 0; ch < c->ch_layout.nb_channels; ++ch)
                    putSample(f, i, ch, sample(double(audio.next + i) / c->sample_rate));
            f->pts = audio.next;
            audio.next += f->nb_samples;
            send(audio, f);
        }
        return !failed;
    }
    bool finish()
    {
        for (Track* t : {&video, &audio})
            if (t->enc.c)
                send(*t, nullptr);
        return av_write_trailer(oc) >= 0 && !failed;
    }
};

// Where cell `i` of the 4 x 4 grid sits, as fractions of the picture: the
// grid fills the middle 80 % each way, so any scaling keeps it in place.
QPointF cellCentre(int i)
{
    return QPointF(0.1 + 0.2 * (i % 4 + 0.5), 0.1 + 0.2 * (i / 4 + 0.5));
}

bool allocPicture(AVFrame* f, AVPixelFormat format, QSize size)
{
    f->format = format;
    f->width = size.width();
    f->height = size.height();
    return av_frame_get_buffer(f, 0) >= 0;
}

void drawCountingPicture(AVFrame* f, int number)
{
    av_frame_make_writable(f);
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x) {
            const double fx = double(x) / f->width, fy = double(y) / f->height;
            uint8_t luma = 128;
            if (fx >= 0.1 && fx < 0.9 && fy >= 0.1 && fy < 0.9) {
                const int cell = int((fy - 0.1) / 0.2) * 4 + int((fx - 0.1) / 0.2);
                luma = (number >> cell) & 1 ? 235 : 16;
            }
            f->data[0][y * f->linesize[0] + x] = luma;
        }
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < (f->height + 1) / 2; ++y)
            std::fill_n(f->data[plane] + y * f->linesize[plane], (f->width + 1) / 2, uint8_t(128));
}

int luma(const QImage& image, QPointF at)
{
    const int x = qBound(0, int(at.x() * image.width()), image.width() - 1);
    const int y = qBound(0, int(at.y() * image.height()), image.height() - 1);
    return qGray(image.pixel(x, y));
}

} // namespace

Probe probe(const QString& path, bool countFrames)
{
    Probe r;
    Input in;
    if (!in.open(path))
        return r;
    r.container = QString::fromLatin1(in.ctx->iformat->name);
    if (in.ctx->duration > 0)
        r.duration = double(in.ctx->duration) / AV_TIME_BASE;
    if (const AVDictionaryEntry* brand = av_dict_get(in.ctx->metadata, "major_brand", nullptr, 0))
        r.brand = QString::fromLatin1(brand->value);
    const auto seconds = [](const AVStream* st) { return st->duration > 0 ? st->duration * av_q2d(st->time_base) : 0.0; };
    const int v = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v >= 0) {
        const AVStream* st = in.ctx->streams[v];
        const AVCodecParameters* par = st->codecpar;
        char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
        r.videoCodec = QString::fromLatin1(avcodec_get_name(par->codec_id));
        r.videoTag = QString::fromLatin1(av_fourcc_make_string(tag, par->codec_tag));
        r.pixelFormat = QString::fromLatin1(av_get_pix_fmt_name(AVPixelFormat(par->format)));
        if (par->color_space != AVCOL_SPC_UNSPECIFIED)
            r.colourSpace = QString::fromLatin1(av_color_space_name(par->color_space));
        r.width = par->width;
        r.height = par->height;
        r.fps = av_q2d(st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate);
        r.frameRate = QString("%1/%2").arg(st->r_frame_rate.num).arg(st->r_frame_rate.den);
        r.videoDuration = seconds(st);
    }
    const int a = av_find_best_stream(in.ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (a >= 0) {
        const AVStream* st = in.ctx->streams[a];
        r.audioCodec = QString::fromLatin1(avcodec_get_name(st->codecpar->codec_id));
        r.sampleRate = st->codecpar->sample_rate;
        r.channels = st->codecpar->ch_layout.nb_channels;
        r.audioDuration = seconds(st);
    }
    r.duration = std::max({r.duration, r.videoDuration, r.audioDuration});
    r.ok = v >= 0 || a >= 0;
    if (countFrames && v >= 0) {
        r.frames = 0;
        decode(path, AVMEDIA_TYPE_VIDEO, [&](const Input&, const AVStream*, AVFrame*) { return ++r.frames > 0; });
    }
    return r;
}

QVector<Picture> decodePictures(const QString& path, int maxCount, bool alpha)
{
    QVector<Picture> out;
    if (maxCount <= 0)
        return out;
    decode(path, AVMEDIA_TYPE_VIDEO, [&](const Input& in, const AVStream* st, AVFrame* f) {
        out.append(Picture{frameTime(in, st, f), toImage(f, alpha)});
        return out.size() < maxCount;
    });
    return out;
}
QVector<Picture> pictures(const QString& path, int maxCount) { return decodePictures(path, maxCount, false); }
QVector<Picture> picturesWithAlpha(const QString& path, int maxCount) { return decodePictures(path, maxCount, true); }

QImage pictureAt(const QString& path, double seconds)
{
    Frame last;
    bool have = false;
    decode(
        path, AVMEDIA_TYPE_VIDEO,
        [&](const Input& in, const AVStream* st, AVFrame* f) {
            if (have && frameTime(in, st, f) > seconds + 1e-6)
                return false;
            av_frame_unref(last.f);
            av_frame_ref(last.f, f);
            return have = true;
        },
        seconds);
    return have ? toImage(last.f) : QImage();
}

QVector<qint16> sound(const QString& path, int rate)
{
    QVector<qint16> out;
    SwrContext* swr = nullptr;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    const auto convert = [&](const uint8_t** in, int count) {
        const int room = swr_get_out_samples(swr, count);
        if (room <= 0)
            return;
        const int at = out.size();
        out.resize(at + room);
        uint8_t* dst = reinterpret_cast<uint8_t*>(out.data() + at);
        const int got = swr_convert(swr, &dst, room, in, count);
        out.resize(at + std::max(got, 0));
    };
    decode(path, AVMEDIA_TYPE_AUDIO, [&](const Input&, const AVStream*, AVFrame* f) {
        if (!swr) {
            AVChannelLayout layout = {};
            if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&layout, f->ch_layout.nb_channels);
            else
                av_channel_layout_copy(&layout, &f->ch_layout);
            const int err = swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, rate, &layout,
                                                AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&layout);
            if (err < 0 || swr_init(swr) < 0)
                return false;
        }
        convert(const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        return true;
    });
    if (swr) {
        convert(nullptr, 0);
        swr_free(&swr);
    }
    return out;
}

bool makeCountingMovie(const QString& path, double seconds, int fps, QSize size)
{
    Writer w;
    if (!w.open(path) || fps <= 0)
        return false;
    // H.264 where the container holds it, else the container's own (GIF).
    const AVOutputFormat* of = w.oc->oformat;
    const AVCodec* codec = avformat_query_codec(of, AV_CODEC_ID_H264, FF_COMPLIANCE_NORMAL) == 1
        ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(of->video_codec);
    AVPixelFormat format = codec && codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* p = codec ? codec->pix_fmts : nullptr; p && *p != AV_PIX_FMT_NONE; ++p)
        format = *p == AV_PIX_FMT_YUV420P || (*p == AV_PIX_FMT_GRAY8 && format != AV_PIX_FMT_YUV420P) ? *p : format;
    const bool video = w.addTrack(w.video, codec, [&](AVCodecContext* c) {
        c->width = size.width();
        c->height = size.height();
        c->pix_fmt = format;
        c->time_base = AVRational{1, fps};
        c->framerate = AVRational{fps, 1};
        c->gop_size = fps;
        av_opt_set(c->priv_data, "preset", "veryfast", 0);
    });
    const bool sound = of->audio_codec != AV_CODEC_ID_NONE;
    if (!video || (sound && !w.addAudio(avcodec_find_encoder(AV_CODEC_ID_AAC), 2)) || !w.start(path))
        return false;
    const auto beep = [](double t) { return t - std::floor(t) < 0.1 ? 0.5 * std::sin(2 * M_PI * 1000 * t) : 0.0; };
    Frame yuv;
    AVFrame* f = format == AV_PIX_FMT_YUV420P ? yuv.f : w.video.frame.f;
    if (!allocPicture(yuv.f, AV_PIX_FMT_YUV420P, size) || (f != yuv.f && !allocPicture(f, format, size)))
        return false;
    SwsContext* sws = sws_getContext(size.width(), size.height(), AV_PIX_FMT_YUV420P, size.width(), size.height(),
                                     format, SWS_POINT, nullptr, nullptr, nullptr);
    const int64_t frames = std::llround(seconds * fps);
    const int64_t rate = sound ? w.audio.enc.c->sample_rate : 0, samples = std::llround(seconds * rate);
    for (int64_t i = 0; i < frames && !w.failed; ++i) {
        if (sound)
            w.writeAudio(i * rate / fps, samples, beep);
        drawCountingPicture(yuv.f, int(i));
        if (f != yuv.f && av_frame_make_writable(f) >= 0)
            sws_scale(sws, yuv.f->data, yuv.f->linesize, 0, size.height(), f->data, f->linesize);
        f->pts = i;
        w.send(w.video, f);
    }
    sws_freeContext(sws);
    if (sound)
        w.writeAudio(samples, samples, beep);
    return w.finish();
}

int frameNumber(const QImage& picture)
{
    if (picture.isNull())
        return -1;
    for (const QPointF margin : {QPointF(0.04, 0.04), QPointF(0.96, 0.04), QPointF(0.04, 0.96), QPointF(0.96, 0.96)}) {
        const int l = luma(picture, margin);
        if (l < 90 || l > 170)
            return -1;
    }
    int number = 0;
    for (int cell = 0; cell < 16; ++cell) {
        const int l = luma(picture, cellCentre(cell));
        if (l > 60 && l < 195)
            return -1;
        number |= (l >= 195 ? 1 : 0) << cell;
    }
    return number;
}

bool makeTone(const QString& path, double seconds, int frequency, int channels)
{
    return makeToneWithCover(path, seconds, QImage(), frequency, channels);
}

bool makeToneWithCover(const QString& path, double seconds, const QImage& cover, int frequency, int channels)
{
    Writer w;
    if (!w.open(path) || w.oc->oformat->audio_codec == AV_CODEC_ID_NONE)
        return false;
    if (!w.addAudio(avcodec_find_encoder(w.oc->oformat->audio_codec), channels))
        return false;
    QByteArray png;
    AVStream* picture = cover.isNull() ? nullptr : avformat_new_stream(w.oc, nullptr);
    if (picture) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        cover.save(&buffer, "PNG");
        picture->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        picture->codecpar->codec_id = AV_CODEC_ID_PNG;
        picture->codecpar->width = cover.width();
        picture->codecpar->height = cover.height();
        picture->disposition = AV_DISPOSITION_ATTACHED_PIC;
    }
    if (!w.start(path))
        return false;
    Packet pkt;
    if (picture && av_new_packet(pkt.p, int(png.size())) == 0) {
        std::copy(png.cbegin(), png.cend(), pkt.p->data);
        pkt.p->stream_index = picture->index;
        pkt.p->flags |= AV_PKT_FLAG_KEY;
        w.failed = av_write_frame(w.oc, pkt.p) < 0;
    }
    const int64_t samples = std::llround(seconds * w.audio.enc.c->sample_rate);
    w.writeAudio(samples, samples, [frequency](double t) { return 0.5 * std::sin(2 * M_PI * frequency * t); });
    return w.finish();
}

} // namespace testmedia
