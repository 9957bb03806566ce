#include "FfmpegUtil.h"

extern "C" {
#include <libavutil/error.h>
}

namespace sc {
namespace rec {

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool encodeFrame(AVCodecContext* encoder, AVFrame* frame, AVPacket* packet, const PacketSink& sink,
                 int64_t defaultDuration)
{
    int rc = avcodec_send_frame(encoder, frame);
    if (rc < 0 && rc != AVERROR_EOF)
        return false;
    while (true) {
        rc = avcodec_receive_packet(encoder, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        if (defaultDuration > 0 && packet->duration <= 0)
            packet->duration = defaultDuration;
        const bool ok = sink(packet);
        av_packet_unref(packet);
        if (!ok)
            return false;
    }
}

} // namespace rec
} // namespace sc
