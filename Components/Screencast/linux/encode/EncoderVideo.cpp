#include "encode/EncoderVideo.h"

#include "encode/ColorConvert.h"

#include "ScreencastTypes.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <thread>

namespace sc {
namespace rec {

namespace {

int clampQuality(int quality)
{
    return std::clamp(quality, 1, 6);
}

// FFmpeg has two ProRes encoders. prores_ks needs about six cores for
// full HD at 30 fps, more than a live recording can give; prores_aw writes
// the same profiles (alpha included) at a fifth of the cost. Both take the
// profile number through the "profile" option.
const char* proresEncoder()
{
    static const char* const name =
        avcodec_find_encoder_by_name("prores_aw") ? "prores_aw" : "prores_ks";
    return name;
}

// x264's own choice (one and a half frame threads per core, twelve on
// eight cores) is sized for throughput: every frame thread holds pictures
// of its own and adds a frame of delay before the first packet. A live
// recording gets one per core, at most six, and no more than the picture's
// height makes useful (one per 180 rows). Fewer costs more CPU, not less:
// a frame thread searches motion only in the rows its reference has
// finished, and a full search per frame is dearer.
int threadCount(const VideoCodecSettings& settings, QSize size)
{
    if (!settings.liveThreads)
        return 0;
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(size.height() / 180, 1, std::min(cores, 6));
}

// Seconds between key frames of H.264 and HEVC recordings.
constexpr int kGopSeconds = 4;

} // namespace

VideoCodecSettings videoCodecSettings(int codec, int quality, bool hevc10Bit)
{
    const int q = clampQuality(quality);
    VideoCodecSettings s;
    switch (codec) {
    case kVideoCodecH264: {
        // veryfast keeps a full-HD recording at 60 fps within a few cores;
        // screen content compresses well, so CRF does the rest.
        static const char* const crf[] = {"32", "28", "23", "20", "17"};
        s.encoder = "libx264";
        s.options.emplace_back("preset", "veryfast");
        if (q == 6) {
            // Lossless: no chroma subsampling, no quantisation.
            s.pixelFormat = AV_PIX_FMT_YUV444P;
            s.options.emplace_back("qp", "0");
        } else {
            s.pixelFormat = AV_PIX_FMT_YUV420P;
            s.options.emplace_back("crf", crf[q - 1]);
        }
        // The file's fragments are cut by time, not at key frames, so key
        // frames only bound how far a seek decodes: every few seconds keeps
        // a still desktop from paying for a whole picture each second.
        s.gopSeconds = kGopSeconds;
        // Frame types decided on the calling thread, not a buffer ahead of
        // it: fewer frames held and delayed, the same decisions.
        s.options.emplace_back("x264-params", "sync-lookahead=0");
        s.liveThreads = true;
        break;
    }
    case kVideoCodecHevc: {
        // x265 is several times slower than x264: its fastest presets are
        // what a live recording can afford.
        static const char* const crf[] = {"34", "30", "26", "23", "20"};
        s.encoder = "libx265";
        s.options.emplace_back("preset", q >= 5 ? "superfast" : "ultrafast");
        std::string params = "log-level=error";
        if (q == 6) {
            s.pixelFormat = hevc10Bit ? AV_PIX_FMT_YUV444P10LE : AV_PIX_FMT_YUV444P;
            params += ":lossless=1";
        } else {
            s.pixelFormat = hevc10Bit ? AV_PIX_FMT_YUV420P10LE : AV_PIX_FMT_YUV420P;
            s.options.emplace_back("crf", crf[q - 1]);
        }
        s.options.emplace_back("x265-params", params);
        s.gopSeconds = kGopSeconds;
        // Parameter sets only in the sample description: what players of
        // MP4 and MOV files expect of HEVC.
        s.tag = MKTAG('h', 'v', 'c', '1');
        break;
    }
    case kVideoCodecProRes422: {
        // proxy, LT, standard, standard, HQ, HQ
        static const char* const profile[] = {"0", "1", "2", "2", "3", "3"};
        s.encoder = proresEncoder();
        s.pixelFormat = AV_PIX_FMT_YUV422P10LE;
        s.matrix = AVCOL_SPC_SMPTE170M;
        s.options.emplace_back("profile", profile[q - 1]);
        break;
    }
    case kVideoCodecProRes4444:
        // 4444 carries an alpha plane (opaque for a screen); XQ for the top level.
        s.encoder = proresEncoder();
        s.pixelFormat = AV_PIX_FMT_YUVA444P10LE;
        s.matrix = AVCOL_SPC_SMPTE170M;
        s.options.emplace_back("profile", q == 6 ? "5" : "4");
        break;
    case kVideoCodecGif: {
        static const int colours[] = {32, 64, 128, 256, 256, 256};
        s.encoder = "gif";
        s.pixelFormat = AV_PIX_FMT_PAL8;
        s.evenSize = false;
        s.gifColours = colours[q - 1];
        // Flat screen content looks best undithered; the small palettes of
        // the low levels need dithering against banding.
        s.gifDither = q <= 3 ? "bayer" : (q == 6 ? "sierra2_4a" : "none");
        break;
    }
    default:
        break;
    }
    return s;
}

QSize encodedSize(const VideoCodecSettings& settings, QSize frame)
{
    if (!settings.evenSize)
        return frame;
    return QSize(frame.width() & ~1, frame.height() & ~1);
}

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder()
{
    avfilter_graph_free(&m_graph);
    av_frame_free(&m_rgba);
    av_frame_free(&m_send);
    av_frame_free(&m_picture);
    av_packet_free(&m_packet);
    sws_freeContext(m_sws);
    avcodec_free_context(&m_ctx);
}

bool VideoEncoder::open(int codec, int quality, int fps, QSize frameSize, bool hevc10Bit, bool globalHeader,
                        std::string& error)
{
    m_settings = videoCodecSettings(codec, quality, hevc10Bit);
    if (!m_settings.encoder) {
        error = "unknown video codec";
        return false;
    }
    m_size = encodedSize(m_settings, frameSize);
    if (m_size.width() < 2 || m_size.height() < 2) {
        error = "picture too small";
        return false;
    }
    const AVCodec* encoder = avcodec_find_encoder_by_name(m_settings.encoder);
    if (!encoder) {
        error = std::string("no encoder ") + m_settings.encoder;
        return false;
    }
    m_ctx = avcodec_alloc_context3(encoder);
    m_picture = av_frame_alloc();
    m_send = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_ctx || !m_picture || !m_send || !m_packet) {
        error = "out of memory";
        return false;
    }
    m_ctx->width = m_size.width();
    m_ctx->height = m_size.height();
    m_ctx->pix_fmt = m_settings.pixelFormat;
    m_ctx->time_base = AVRational{1, fps};
    m_ctx->framerate = AVRational{fps, 1};
    m_ctx->sample_aspect_ratio = AVRational{1, 1};
    m_ctx->thread_count = threadCount(m_settings, m_size);
    if (m_settings.gopSeconds > 0)
        m_ctx->gop_size = m_settings.gopSeconds * fps;
    if (m_settings.pixelFormat != AV_PIX_FMT_PAL8) {
        // Screen pixels are sRGB (BT.709 primaries); the matrix is said
        // explicitly so that players never have to guess from the size.
        m_ctx->colorspace = m_settings.matrix;
        m_ctx->color_primaries = AVCOL_PRI_BT709;
        m_ctx->color_trc = AVCOL_TRC_BT709;
        m_ctx->color_range = AVCOL_RANGE_MPEG;
    }
    if (globalHeader)
        m_ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary* options = nullptr;
    for (const auto& option : m_settings.options)
        av_dict_set(&options, option.first.c_str(), option.second.c_str(), 0);
    int rc = avcodec_open2(m_ctx, encoder, &options);
    av_dict_free(&options);
    if (rc < 0) {
        error = std::string("cannot open ") + m_settings.encoder + ": " + avError(rc);
        return false;
    }

    m_picture->format = m_ctx->pix_fmt;
    m_picture->width = m_ctx->width;
    m_picture->height = m_ctx->height;
    if (m_settings.pixelFormat == AV_PIX_FMT_PAL8)
        return openGifFilter(fps, error);
    rc = av_frame_get_buffer(m_picture, 0);
    if (rc < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool VideoEncoder::openGifFilter(int fps, std::string& error)
{
    m_rgba = av_frame_alloc();
    m_graph = avfilter_graph_alloc();
    if (!m_rgba || !m_graph) {
        error = "out of memory";
        return false;
    }
    m_rgba->format = AV_PIX_FMT_BGRA;
    m_rgba->width = m_size.width();
    m_rgba->height = m_size.height();
    if (av_frame_get_buffer(m_rgba, 0) < 0) {
        error = "out of memory";
        return false;
    }
    // The filters are cheap at GIF sizes; one thread keeps the thread count
    // of the process predictable.
    m_graph->nb_threads = 1;

    char args[256];
    snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1",
             m_size.width(), m_size.height(), int(AV_PIX_FMT_BGRA), fps);
    int rc = avfilter_graph_create_filter(&m_graphIn, avfilter_get_by_name("buffer"), "in", args, nullptr,
                                          m_graph);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&m_graphOut, avfilter_get_by_name("buffersink"), "out", nullptr,
                                          nullptr, m_graph);
    if (rc < 0) {
        error = "cannot build the GIF palette filter: " + avError(rc);
        return false;
    }
    // A palette of its own for every frame: screen content changes
    // completely between scenes, and one global palette would band.
    char description[256];
    snprintf(description, sizeof description,
             "split[a][b];[a]palettegen=stats_mode=single:max_colors=%d:reserve_transparent=0[p];"
             "[b][p]paletteuse=new=1:dither=%s",
             m_settings.gifColours, m_settings.gifDither);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        error = "out of memory";
        return false;
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_graphIn;
    outputs->pad_idx = 0;
    outputs->next = nullptr;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_graphOut;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    rc = avfilter_graph_parse_ptr(m_graph, description, &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (rc >= 0)
        rc = avfilter_graph_config(m_graph, nullptr);
    if (rc < 0) {
        error = "cannot build the GIF palette filter: " + avError(rc);
        return false;
    }
    return true;
}

bool VideoEncoder::convert(const QImage& picture, const RowSpans* changedRows)
{
    QImage source = picture;
    const bool hasAlpha = m_ctx->pix_fmt == AV_PIX_FMT_YUVA444P10LE;
    AVPixelFormat format;
    switch (source.format()) {
    case QImage::Format_RGB32:
        // The fourth byte of a screen pixel is undefined. Where the codec
        // has no alpha plane it is never read, and swscale's fast input
        // path only exists for BGRA; with an alpha plane, BGR0 makes the
        // picture opaque.
        format = hasAlpha ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGRA;
        break;
    case QImage::Format_ARGB32:
        format = AV_PIX_FMT_BGRA;
        break;
    default:
        source = source.convertToFormat(QImage::Format_RGB32);
        format = hasAlpha ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGRA;
        break;
    }
    if (source.isNull())
        return false;
    // An odd side is cut by a pixel (convert only the encoded part); a
    // frame of another size (a source that changed its mind) is scaled
    // rather than refused. The normal case is 1:1.
    const int dw = source.width() - m_size.width();
    const int dh = source.height() - m_size.height();
    const bool cut = dw >= 0 && dw <= 1 && dh >= 0 && dh <= 1;
    const int srcWidth = cut ? m_size.width() : source.width();
    const int srcHeight = cut ? m_size.height() : source.height();
    if (cut && m_ctx->pix_fmt == AV_PIX_FMT_YUV420P && m_settings.matrix == AVCOL_SPC_BT709) {
        // A writable copy keeps the previous picture's contents, so the
        // rows that did not change stay as they were converted.
        if (av_frame_make_writable(m_picture) < 0)
            return false;
        const bool partial = changedRows && m_fastPicture;
        m_fastPicture = true;
        if (!partial) {
            convertRows(source, 0, m_size.height());
            return true;
        }
        for (const auto& band : *changedRows)
            convertRows(source, band.first & ~1, std::min((band.second + 1) & ~1, m_size.height()));
        return true;
    }
    m_fastPicture = false;
    // The other formats (10 bits, 4:2:2, 4:4:4, alpha, a picture to scale):
    // the fast bilinear filter costs a fifth less than the default and
    // loses nothing at 1:1.
    if (srcWidth != m_swsWidth || srcHeight != m_swsHeight || format != m_swsFormat) {
        sws_freeContext(m_sws);
        m_sws = sws_getContext(srcWidth, srcHeight, format, m_size.width(), m_size.height(), m_ctx->pix_fmt,
                               SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_sws)
            return false;
        const int* full = sws_getCoefficients(SWS_CS_DEFAULT);
        const int* matrix =
            sws_getCoefficients(m_settings.matrix == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(m_sws, full, 1, matrix, 0, 0, 1 << 16, 1 << 16);
        m_swsWidth = srcWidth;
        m_swsHeight = srcHeight;
        m_swsFormat = format;
    }

    // The encoder may still hold the previous picture: write into a buffer
    // of our own then.
    if (av_frame_make_writable(m_picture) < 0)
        return false;
    const uint8_t* src[4] = {source.constBits(), nullptr, nullptr, nullptr};
    const int stride[4] = {int(source.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(m_sws, src, stride, 0, srcHeight, m_picture->data, m_picture->linesize);
    return rows > 0;
}

bool VideoEncoder::convertGif(const QImage& picture)
{
    QImage source = picture;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32)
        source = source.convertToFormat(QImage::Format_RGB32);
    if (source.size() != m_size)
        source = source.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (av_frame_make_writable(m_rgba) < 0)
        return false;
    // Opaque: the palette filter would turn a screen pixel's undefined
    // fourth byte into transparency.
    for (int y = 0; y < m_size.height(); ++y) {
        const uint32_t* in = reinterpret_cast<const uint32_t*>(source.constScanLine(y));
        uint32_t* out = reinterpret_cast<uint32_t*>(m_rgba->data[0] + y * m_rgba->linesize[0]);
        for (int x = 0; x < m_size.width(); ++x)
            out[x] = in[x] | 0xFF000000u;
    }
    m_rgba->pts = 0;
    if (av_buffersrc_add_frame_flags(m_graphIn, m_rgba, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        return false;
    AVFrame* out = av_frame_alloc();
    if (!out)
        return false;
    const int rc = av_buffersink_get_frame(m_graphOut, out);
    if (rc < 0) {
        av_frame_free(&out);
        return false;
    }
    av_frame_unref(m_picture);
    av_frame_move_ref(m_picture, out);
    av_frame_free(&out);
    return true;
}

// Rows [top, bottom) (both even) through the BT.709 4:2:0 converter; every
// band converts on its own exactly as within the whole picture.
void VideoEncoder::convertRows(const QImage& source, int top, int bottom)
{
    if (top >= bottom)
        return;
    const int stride = int(source.bytesPerLine());
    const PlanarPicture out{{m_picture->data[0] + std::ptrdiff_t(top) * m_picture->linesize[0],
                             m_picture->data[1] + std::ptrdiff_t(top / 2) * m_picture->linesize[1],
                             m_picture->data[2] + std::ptrdiff_t(top / 2) * m_picture->linesize[2]},
                            {m_picture->linesize[0], m_picture->linesize[1], m_picture->linesize[2]}};
    bgraToI420Bt709(source.constBits() + std::ptrdiff_t(top) * stride, stride, out, m_size.width(), bottom - top);
}

bool VideoEncoder::encode(const QImage& picture, int64_t index, const PacketSink& sink, const RowSpans* changedRows)
{
    if (!m_ctx || m_flushed)
        return false;
    // The same picture as last time is already converted.
    if (m_hasPicture && changedRows && changedRows->empty())
        return repeat(index, sink);
    const bool converted = m_graph ? convertGif(picture) : convert(picture, m_hasPicture ? changedRows : nullptr);
    if (!converted)
        return false;
    m_hasPicture = true;
    return repeat(index, sink);
}

bool VideoEncoder::repeat(int64_t index, const PacketSink& sink)
{
    if (!m_hasPicture || m_flushed)
        return false;
    av_frame_unref(m_send);
    if (av_frame_ref(m_send, m_picture) < 0)
        return false;
    m_send->pts = index;
    m_send->pict_type = AV_PICTURE_TYPE_NONE;
    const bool ok = send(m_send, sink);
    av_frame_unref(m_send);
    return ok;
}

bool VideoEncoder::flush(const PacketSink& sink)
{
    if (!m_ctx || m_flushed)
        return true;
    m_flushed = true;
    return send(nullptr, sink);
}

bool VideoEncoder::send(AVFrame* frame, const PacketSink& sink)
{
    // A picture lasts one frame unless the codec says otherwise.
    return encodeFrame(m_ctx, frame, m_packet, sink, 1);
}

} // namespace rec
} // namespace sc
