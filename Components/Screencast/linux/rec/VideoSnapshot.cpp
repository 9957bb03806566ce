// Still pictures of a running recording. Qt writes what it can (PNG, JPEG,
// BMP, and TIFF where its plugin is installed); Qt has no GIF writer, so GIF
// (and TIFF without the plugin) goes through FFmpeg.

#include "rec/VideoRecorder.h"

#include "encode/EncoderVideo.h"
#include "mux/Muxer.h"

#include <QFile>
#include <QImageWriter>
#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace sc {
namespace rec {

namespace {

bool qtCanWrite(const char* format)
{
    return QImageWriter::supportedImageFormats().contains(QByteArray(format));
}

bool saveGif(const QImage& image, const std::string& path)
{
    Muxer muxer;
    std::string error;
    if (!muxer.open(path, kOutputGif, error))
        return false;
    VideoEncoder encoder;
    if (!encoder.open(kVideoCodecGif, 6, 1, image.size(), false, muxer.needsGlobalHeader(), error)) {
        muxer.discard();
        return false;
    }
    AVStream* stream = muxer.addStream(encoder.context());
    if (!stream || !muxer.writeHeader(error)) {
        muxer.discard();
        return false;
    }
    auto sink = [&](AVPacket* p) { return muxer.write(p, encoder.context(), stream); };
    bool ok = encoder.encode(image, 0, sink);
    ok = encoder.flush(sink) && ok;
    ok = muxer.finish() && ok;
    return ok;
}

bool saveTiffWithFfmpeg(const QImage& source, const std::string& path)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    const AVCodec* codec = avcodec_find_encoder_by_name("tiff");
    if (!codec || image.isNull())
        return false;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = ctx && frame && packet;
    if (ok) {
        ctx->width = image.width();
        ctx->height = image.height();
        ctx->pix_fmt = AV_PIX_FMT_RGB24;
        ctx->time_base = AVRational{1, 1};
        ok = avcodec_open2(ctx, codec, nullptr) >= 0;
    }
    if (ok) {
        frame->format = AV_PIX_FMT_RGB24;
        frame->width = image.width();
        frame->height = image.height();
        ok = av_frame_get_buffer(frame, 0) >= 0;
    }
    if (ok) {
        for (int y = 0; y < image.height(); ++y)
            memcpy(frame->data[0] + y * frame->linesize[0], image.constScanLine(y), size_t(image.width()) * 3);
        frame->pts = 0;
        ok = avcodec_send_frame(ctx, frame) >= 0 && avcodec_send_frame(ctx, nullptr) >= 0
             && avcodec_receive_packet(ctx, packet) >= 0;
    }
    if (ok) {
        QFile file(QString::fromUtf8(path.c_str()));
        ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
             && file.write(reinterpret_cast<const char*>(packet->data), packet->size) == packet->size;
        file.close();
        ok = ok && file.error() == QFileDevice::NoError;
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return ok;
}

} // namespace

bool saveSnapshot(const QImage& image, const std::string& path, int imageFormat)
{
    if (image.isNull() || path.empty())
        return false;
    const QString file = QString::fromUtf8(path.c_str());
    switch (imageFormat) {
    case kImagePng:
        return image.save(file, "PNG");
    case kImageJpg:
    case kImageJpg2:
        return image.save(file, "JPG", 90);
    case kImageBmp:
        return image.save(file, "BMP");
    case kImageGif:
        return saveGif(image, path);
    case kImageTiff:
        return qtCanWrite("tiff") ? image.save(file, "TIFF") : saveTiffWithFfmpeg(image, path);
    default:
        return false;
    }
}

} // namespace rec
} // namespace sc
