#include "cam/CameraInput.h"

#include "cam/Cameras.h"
#include "core/EngineCore.h"
#include "core/FfmpegUtil.h"
#include "core/Pipeline.h"

#include "platform/log/Log.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/log.h>
}

#include <chrono>

namespace sc {
namespace cam {

namespace {

constexpr char kLavfiPrefix[] = "lavfi:";
constexpr std::size_t kLavfiPrefixLength = sizeof kLavfiPrefix - 1;
// A paced source more than this late starts its clock afresh instead of
// hurrying through the pictures it missed.
constexpr int64_t kLateLimitUs = 200000;

} // namespace

CameraInput::~CameraInput()
{
    closeSource();
    av_packet_free(&m_packet);
}

int CameraInput::interruptCallback(void* self)
{
    return static_cast<CameraInput*>(self)->m_interrupted.load() ? 1 : 0;
}

void CameraInput::interrupt()
{
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_interrupted = true;
    }
    m_wake.notify_all();
}

bool CameraInput::open(const std::string& deviceId, std::string& error, int width, int height)
{
    static std::once_flag once;
    std::call_once(once, [] {
        avdevice_register_all();
        av_log_set_level(AV_LOG_ERROR);
    });
    const std::string source = testCameraSource(deviceId);
    if (!source.empty()) {
        m_paced = true;
        if (source.compare(0, kLavfiPrefixLength, kLavfiPrefix) == 0) {
            m_url = source.substr(kLavfiPrefixLength);
            m_format = av_find_input_format("lavfi");
        } else {
            m_url = source;
            m_loop = true;
        }
    } else {
        m_url = deviceId;
        m_format = av_find_input_format("video4linux2");
        V4l2Mode mode;
        if (chooseV4l2Mode(v4l2Modes(deviceId), width, height, mode)) {
            m_options = {{"input_format", mode.inputFormat},
                         {"video_size", std::to_string(mode.width) + "x" + std::to_string(mode.height)},
                         {"framerate", std::to_string(mode.fps)}};
            Log(kLogModule, LogLevel::Info, "camera %s: %s %dx%d at %d fps", deviceId.c_str(), mode.inputFormat.c_str(),
                mode.width, mode.height, mode.fps);
        }
    }
    if (!m_format && !m_loop) {
        error = "libavdevice lacks the input";
        return false;
    }
    m_packet = av_packet_alloc();
    if (!m_packet || !openSource(error))
        return false;
    m_size = QSize(m_decoder->width, m_decoder->height);
    if (m_size.isEmpty()) {
        error = "the camera gives no picture size";
        return false;
    }
    return true;
}

bool CameraInput::openSource(std::string& error)
{
    m_ctx = avformat_alloc_context();
    if (!m_ctx) {
        error = "out of memory";
        return false;
    }
    m_ctx->interrupt_callback.callback = &CameraInput::interruptCallback;
    m_ctx->interrupt_callback.opaque = this;
    AVDictionary* options = nullptr;
    for (const auto& option : m_options)
        av_dict_set(&options, option.first.c_str(), option.second.c_str(), 0);
    int r = avformat_open_input(&m_ctx, m_url.c_str(), m_format, &options);
    av_dict_free(&options);
    if (r < 0) {
        error = "cannot open " + m_url + ": " + rec::avError(r);
        return false;   // avformat_open_input freed the context
    }
    const AVCodec* codec = nullptr;
    if ((r = avformat_find_stream_info(m_ctx, nullptr)) < 0 ||
        (r = av_find_best_stream(m_ctx, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)) < 0 || !codec) {
        error = "no picture in " + m_url + ": " + rec::avError(r);
        closeSource();
        return false;
    }
    m_stream = r;
    const AVStream* stream = m_ctx->streams[m_stream];
    m_decoder = avcodec_alloc_context3(codec);
    if (!m_decoder || avcodec_parameters_to_context(m_decoder, stream->codecpar) < 0 ||
        (r = avcodec_open2(m_decoder, codec, nullptr)) < 0) {
        error = "cannot decode " + m_url + ": " + rec::avError(r);
        closeSource();
        return false;
    }
    m_timeBase = stream->time_base;
    const AVRational rate = av_guess_frame_rate(m_ctx, const_cast<AVStream*>(stream), nullptr);
    m_periodUs = rate.num > 0 && rate.den > 0 ? av_rescale(1000000, rate.den, rate.num) : 33333;
    m_haveFirst = false;
    m_pictures = 0;
    return true;
}

void CameraInput::closeSource()
{
    avcodec_free_context(&m_decoder);
    avformat_close_input(&m_ctx);
    m_stream = -1;
}

// One decoded picture of the current run; false at its end or on failure.
bool CameraInput::decodeNext(AVFrame* frame)
{
    bool draining = false;
    while (!m_interrupted) {
        int r = avcodec_receive_frame(m_decoder, frame);
        if (r == 0)
            return true;
        if (r != AVERROR(EAGAIN) || draining)
            return false;
        r = av_read_frame(m_ctx, m_packet);
        if (r < 0) {
            if (r != AVERROR_EOF)
                Log(kLogModule, LogLevel::Error, "camera %s: %s", m_url.c_str(), rec::avError(r).c_str());
            avcodec_send_packet(m_decoder, nullptr);
            draining = true;
            continue;
        }
        if (m_packet->stream_index == m_stream) {
            // A damaged picture (a camera's MJPEG now and then) is skipped.
            r = avcodec_send_packet(m_decoder, m_packet);
            if (r < 0 && r != AVERROR_INVALIDDATA)
                Log(kLogModule, LogLevel::Error, "camera %s: %s", m_url.c_str(), rec::avError(r).c_str());
        }
        av_packet_unref(m_packet);
    }
    return false;
}

// Waits until the picture is due on the source's own time line.
bool CameraInput::pace(const AVFrame* frame)
{
    const int64_t now = rec::nowUs();
    int64_t ts = frame->best_effort_timestamp;
    int64_t due;
    if (ts == AV_NOPTS_VALUE) {
        due = m_haveFirst ? m_lastDueUs + m_periodUs : now;
    } else {
        if (!m_haveFirst)
            m_firstTs = ts;
        due = m_clockUs + av_rescale_q(ts - m_firstTs, m_timeBase, AVRational{1, 1000000});
    }
    if (!m_haveFirst || due < now - kLateLimitUs) {
        m_haveFirst = true;
        m_firstTs = ts == AV_NOPTS_VALUE ? 0 : ts;
        m_clockUs = std::max(now, m_lastDueUs + m_periodUs);
        due = m_clockUs;
    }
    m_lastDueUs = due;
    std::unique_lock<std::mutex> lock(m_waitMutex);
    m_wake.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(0, due - now)),
                    [this] { return m_interrupted.load(); });
    return !m_interrupted;
}

bool CameraInput::next(AVFrame* frame)
{
    while (!m_interrupted && m_decoder) {
        if (decodeNext(frame)) {
            ++m_pictures;
            return !m_paced || pace(frame);
        }
        // A file starts again from the beginning; it is opened anew by its
        // name so that a file taken away ends the camera like an unplug.
        if (!m_loop || m_interrupted || m_pictures == 0)
            break;
        closeSource();
        std::string why;
        if (!openSource(why)) {
            Log(kLogModule, LogLevel::Error, "camera: %s", why.c_str());
            break;
        }
    }
    return false;
}

} // namespace cam
} // namespace sc
