#pragma once

// The sound encoder of a screen recording: AAC, or 16/24-bit PCM for MOV.
// Sound arrives as interleaved stereo float at kAudioRate, each run placed
// at its sample position on the recording's time. The encoder keeps one
// gap-free stream: a run that starts later than the stream has reached is
// preceded by silence, one that starts earlier loses what overlaps. Every
// sample goes exactly where it is asked to: the runs come already placed
// to the sample (rec/PauseSpans.h), so there is no slack to hide errors in.

#include "core/FfmpegUtil.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace sc {
namespace rec {

struct AudioCodecSettings
{
    const char* encoder = nullptr;   // null: unknown codec
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
    int64_t bitRate = 0;             // 0: not a bit-rate codec
};

AudioCodecSettings audioCodecSettings(int codec, int quality, int channels);

class AudioEncoder
{
public:
    AudioEncoder();
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // `channels` 1 (mixed down) or 2.
    bool open(int codec, int quality, int channels, bool globalHeader, std::string& error);
    const AVCodecContext* context() const { return m_ctx; }

    // `frames` stereo frames whose first belongs at sample `position`.
    bool write(int64_t position, const float* samples, int64_t frames, const PacketSink& sink);
    // Silence up to `position` (the end of the picture), then drains.
    bool finish(int64_t endPosition, const PacketSink& sink);
    // Frames of sound accepted so far (the stream's end).
    int64_t position() const { return m_encoded + int64_t(m_pending.size() / 2); }

private:
    bool encodePending(bool all, const PacketSink& sink);
    bool send(AVFrame* frame, const PacketSink& sink);

    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_frameSize = 1024;
    std::vector<float> m_pending; // interleaved stereo, not yet encoded
    int64_t m_encoded = 0;        // frames handed to the codec
    bool m_finished = false;
};

} // namespace rec
} // namespace sc
