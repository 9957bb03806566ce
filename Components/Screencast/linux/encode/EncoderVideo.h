#pragma once

// The picture encoder of a screen recording: colour conversion of the
// captured BGRA frames and one of H.264 (libx264), HEVC (libx265), ProRes
// 422/4444 (prores_aw, else prores_ks) or GIF (a palette of its own for
// every frame).
// Frames are placed on a constant frame rate: frame `index` is shown at
// index / fps seconds.

#include "core/FfmpegUtil.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixfmt.h>
}

struct SwsContext;
struct AVFilterGraph;
struct AVFilterContext;

namespace sc {
namespace rec {

// What a codec id and a quality level (1..6) mean to the encoder.
struct VideoCodecSettings
{
    const char* encoder = nullptr;       // FFmpeg encoder name; null: unknown codec
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    bool evenSize = true;                // width and height must be even
    int gopSeconds = 0;                  // key frame distance; 0 all key frames / codec default
    uint32_t tag = 0;                    // codec tag in the container; 0 default
    // RGB to YUV matrix. FFmpeg's ProRes decoder ignores the container's
    // colour description and assumes BT.601, so ProRes uses (and says) that.
    AVColorSpace matrix = AVCOL_SPC_BT709;
    std::vector<std::pair<std::string, std::string>> options;
    // Frame threads sized for a live recording rather than left to the codec.
    bool liveThreads = false;
    // GIF only: colours per frame and dithering of the per-frame palette.
    int gifColours = 256;
    const char* gifDither = "none";
};

VideoCodecSettings videoCodecSettings(int codec, int quality, bool hevc10Bit);
// The size the encoder is opened with for a frame size (odd sides are cut
// by one pixel where the codec needs even ones).
QSize encodedSize(const VideoCodecSettings& settings, QSize frame);

class VideoEncoder
{
public:
    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Opens the codec for frames of `frameSize` at `fps`.
    bool open(int codec, int quality, int fps, QSize frameSize, bool hevc10Bit, bool globalHeader,
              std::string& error);
    const AVCodecContext* context() const { return m_ctx; }
    uint32_t tag() const { return m_settings.tag; }
    QSize size() const { return m_size; }

    // Rows [top, bottom) of a picture.
    using RowSpans = std::vector<std::pair<int, int>>;

    // Converts the picture and encodes it as frame `index`. With
    // `changedRows`, the picture differs from the one encoded last only in
    // those rows (none: it is the same), and only they are converted again.
    bool encode(const QImage& picture, int64_t index, const PacketSink& sink,
                const RowSpans* changedRows = nullptr);
    // Encodes the last picture again as frame `index` (a slot that got no
    // new frame: the capture was late or the queue was full).
    bool repeat(int64_t index, const PacketSink& sink);
    bool hasPicture() const { return m_hasPicture; }
    // Drains the encoder at the end of the recording.
    bool flush(const PacketSink& sink);

private:
    bool convert(const QImage& picture, const RowSpans* changedRows);
    void convertRows(const QImage& source, int top, int bottom);
    bool convertGif(const QImage& picture);
    bool openGifFilter(int fps, std::string& error);
    bool send(AVFrame* frame, const PacketSink& sink);

    VideoCodecSettings m_settings;
    AVCodecContext* m_ctx = nullptr;
    SwsContext* m_sws = nullptr;
    int m_swsWidth = 0;
    int m_swsHeight = 0;
    AVPixelFormat m_swsFormat = AV_PIX_FMT_NONE;
    AVFrame* m_picture = nullptr;   // the last converted picture, in the codec's format
    AVFrame* m_send = nullptr;      // a reference of it with the slot's timestamp
    AVPacket* m_packet = nullptr;
    QSize m_size;
    bool m_hasPicture = false;
    bool m_fastPicture = false;     // m_picture came from the BT.709 4:2:0 converter
    bool m_flushed = false;

    // GIF: BGRA in, palettised frames out.
    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_graphIn = nullptr;
    AVFilterContext* m_graphOut = nullptr;
    AVFrame* m_rgba = nullptr;
};

} // namespace rec
} // namespace sc
