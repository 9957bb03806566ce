#pragma once

// Reading a media file for the player and the export: its first picture
// and sound streams decoded in file order, times in seconds from the start
// of the file, and exact seeks (back to a key frame, then decoded forward
// so that what comes first is what is seen and heard at the target).

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace sc {
namespace play {

class MediaReader
{
public:
    enum Kind { kNone, kVideo, kAudio, kEnd, kError };

    MediaReader() = default;
    ~MediaReader();
    MediaReader(const MediaReader&) = delete;
    MediaReader& operator=(const MediaReader&) = delete;

    // Opens `path` with decoders for the streams wanted; false (with
    // `error`) when the file holds none of them or cannot be decoded.
    bool open(const std::string& path, bool wantVideo, bool wantAudio, std::string& error);

    bool hasVideo() const { return m_video != nullptr; }
    bool hasAudio() const { return m_audio != nullptr; }
    const AVCodecContext* video() const { return m_video; }
    const AVCodecContext* audio() const { return m_audio; }
    const AVStream* videoStream() const;
    const AVStream* audioStream() const;
    double duration() const { return m_duration; }
    // Pictures a second (the stream's average; 0 when unknown).
    double frameRate() const { return m_frameRate; }
    // How long one picture lasts.
    double frameDuration() const { return m_frameRate > 0 ? 1.0 / m_frameRate : 0.04; }

    // Goes to `seconds`: the next picture is the one seen then and the next
    // sound starts exactly there.
    bool seek(double seconds);
    // The next decoded picture or sound, in `frame` with its start in
    // `time` (seconds). kEnd after the last one, until the next seek.
    Kind next(AVFrame* frame, double& time);

private:
    Kind receive(AVFrame* frame, double& time);
    bool keepVideo(const AVFrame* frame, double time) const;
    bool cutAudio(AVFrame* frame, double& time) const;
    double timeOf(int64_t pts, const AVStream* stream) const;
    void drain();

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_video = nullptr;
    AVCodecContext* m_audio = nullptr;
    AVPacket* m_packet = nullptr;
    int m_videoIndex = -1;
    int m_audioIndex = -1;
    double m_start = 0.0;       // the file's own start time
    double m_duration = 0.0;
    double m_frameRate = 0.0;
    double m_skipUntil = -1.0;  // what ends before this is left out (after a seek)
    int64_t m_nextAudioPts = AV_NOPTS_VALUE;
    bool m_draining = false;    // the file is read; the decoders give what they hold
    bool m_videoDone = false;
    bool m_audioDone = false;
};

} // namespace play
} // namespace sc
