#pragma once

// What the recorder's encoders, muxer and sound converter share in their
// use of FFmpeg.

#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace sc {
namespace rec {

// Receives each encoded packet (timestamps in the encoder's time base);
// false stops the encoding (the file cannot be written).
using PacketSink = std::function<bool(AVPacket*)>;

// FFmpeg's text for an error code.
std::string avError(int code);

// Sends `frame` (null: the end of the stream) to `encoder` and hands every
// packet that comes out to `sink`, through `packet`. A packet without a
// duration gets `defaultDuration` when that is positive. False when the
// encoder fails or the sink refuses a packet.
bool encodeFrame(AVCodecContext* encoder, AVFrame* frame, AVPacket* packet, const PacketSink& sink,
                 int64_t defaultDuration = 0);

} // namespace rec
} // namespace sc
