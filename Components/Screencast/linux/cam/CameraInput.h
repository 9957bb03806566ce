#pragma once

// The pictures of one camera, decoded: a V4L2 node through libavdevice
// (MJPEG or YUYV at the mode nearest 1280x720 at 30 fps), or the test
// camera (a lavfi graph, or a media file played in a loop). Sources without
// a clock of their own are paced to their timestamps, so every camera
// delivers pictures at its own rate. One thread reads; interrupt() may come
// from any thread.

#include <QSize>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace sc {
namespace cam {

// A capture mode of a V4L2 node.
struct V4l2Mode
{
    std::string inputFormat;   // libavdevice's name: "mjpeg" or "yuyv422"
    int width = 0;
    int height = 0;
    int fps = 0;
};

// Every MJPEG and YUYV size the node offers, each at the rate nearest 30 fps.
std::vector<V4l2Mode> v4l2Modes(const std::string& node);
// Of `modes`, the one nearest width x height (1280x720 when 0 x 0), then
// nearest 30 fps, MJPEG before YUYV; false when there is none.
bool chooseV4l2Mode(const std::vector<V4l2Mode>& modes, int width, int height, V4l2Mode& mode);
// One mode per size, as chooseV4l2Mode would take it, largest first.
std::vector<V4l2Mode> v4l2Sizes(const std::vector<V4l2Mode>& modes);

// The modes a camera offers, one per size, largest first: a node's, or the
// test camera's own size (opened briefly to learn it).
std::vector<V4l2Mode> cameraModes(const std::string& deviceId);

class CameraInput
{
public:
    CameraInput() = default;
    ~CameraInput();
    CameraInput(const CameraInput&) = delete;
    CameraInput& operator=(const CameraInput&) = delete;

    // `deviceId`: a node's path or a test camera's id. A node opens in its
    // mode nearest width x height (0 x 0: the usual choice); a test camera
    // has only its own.
    bool open(const std::string& deviceId, std::string& error, int width = 0, int height = 0);
    QSize size() const { return m_size; }
    int fps() const { return int((1000000 + m_periodUs / 2) / m_periodUs); }

    // The next picture, at its time. False when the camera failed or went
    // away (a test file that can no longer be opened), or after interrupt().
    bool next(AVFrame* frame);
    void interrupt();

private:
    bool openSource(std::string& error);
    void closeSource();
    bool decodeNext(AVFrame* frame);
    bool pace(const AVFrame* frame);
    static int interruptCallback(void* self);

    std::string m_url;
    const AVInputFormat* m_format = nullptr;
    std::vector<std::pair<std::string, std::string>> m_options;
    bool m_paced = false;   // no clock of its own: follow the timestamps
    bool m_loop = false;    // a file: start again at its end

    AVFormatContext* m_ctx = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVPacket* m_packet = nullptr;
    int m_stream = -1;
    AVRational m_timeBase{1, 30};
    int64_t m_periodUs = 33333;
    QSize m_size;

    // Pacing: the picture with timestamp m_firstTs is due at m_clockUs.
    bool m_haveFirst = false;
    int64_t m_firstTs = 0;
    int64_t m_clockUs = 0;
    int64_t m_lastDueUs = 0;
    int64_t m_pictures = 0;   // of the current run of the source

    std::atomic<bool> m_interrupted{false};
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
};

} // namespace cam
} // namespace sc
