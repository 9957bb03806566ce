#include "play/PulseOutput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace sc {
namespace play {

namespace {

// How long connecting and opening the stream may take each.
constexpr int kWaitMs = 2000;
// The sound written ahead of what is heard: short, so that pausing and
// seeking answer at once, long enough for a busy machine.
constexpr pa_usec_t kBufferUs = 150000;
// Playing starts (and after running dry, starts again) once this much is
// written: the server's default, the whole buffer, may be more than it
// asks for in one go, and then it would wait for ever.
constexpr pa_usec_t kStartUs = 20000;

// Holds the loop's lock for the scope.
class LoopLock
{
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

void dropOperation(pa_operation* op)
{
    if (op)
        pa_operation_unref(op);
}

} // namespace

// Polls `ready` (with the loop's lock held) until it says yes, or the
// context or stream failed, or `ms` passed.
bool PulseOutput::waitFor(bool (*ready)(PulseOutput*), int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            LoopLock lock(m_loop);
            if (ready(this))
                return true;
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
                return false;
            if (m_stream && !PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
                return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool PulseOutput::open(int rate, int channels, std::string& error)
{
    m_rate = rate;
    m_channels = channels == 1 ? 1 : 2;
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) {
        error = "no sound loop";
        return false;
    }
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "ScreenRecorder player");
    if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0
        || pa_threaded_mainloop_start(m_loop) < 0) {
        error = "no sound server";
        close();
        return false;
    }
    if (!waitFor([](PulseOutput* self) { return pa_context_get_state(self->m_context) == PA_CONTEXT_READY; },
                 kWaitMs)) {
        error = "the sound server does not answer";
        close();
        return false;
    }
    const pa_sample_spec spec = {PA_SAMPLE_FLOAT32LE, uint32_t(m_rate), uint8_t(m_channels)};
    {
        LoopLock lock(m_loop);
        m_stream = pa_stream_new(m_context, "Preview", &spec, nullptr);
        if (m_stream) {
            pa_buffer_attr attr;
            attr.maxlength = uint32_t(-1);
            attr.tlength = uint32_t(pa_usec_to_bytes(kBufferUs, &spec));
            attr.prebuf = uint32_t(pa_usec_to_bytes(kStartUs, &spec));
            attr.minreq = uint32_t(-1);
            attr.fragsize = uint32_t(-1);
            const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING
                                                 | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
            if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
                pa_stream_unref(m_stream);
                m_stream = nullptr;
            }
        }
    }
    if (!m_stream
        || !waitFor([](PulseOutput* self) { return pa_stream_get_state(self->m_stream) == PA_STREAM_READY; },
                    kWaitMs)) {
        error = "cannot open a sound stream";
        close();
        return false;
    }
    return true;
}

void PulseOutput::close()
{
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}

long PulseOutput::write(const float* samples, std::size_t frames)
{
    if (!m_stream)
        return -1;
    LoopLock lock(m_loop);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        return -1;
    const std::size_t frameBytes = sizeof(float) * std::size_t(m_channels);
    const std::size_t writable = pa_stream_writable_size(m_stream);
    if (writable == std::size_t(-1))
        return -1;
    const std::size_t n = std::min(frames, writable / frameBytes);
    if (n == 0)
        return 0;
    if (pa_stream_write(m_stream, samples, n * frameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
        return -1;
    return long(n);
}

double PulseOutput::latency()
{
    if (!m_stream)
        return 0.0;
    LoopLock lock(m_loop);
    pa_usec_t usec = 0;
    int negative = 0;
    if (pa_stream_get_latency(m_stream, &usec, &negative) < 0)
        return -1.0;
    if (negative)
        return 0.0;
    return double(usec) / 1e6;
}

void PulseOutput::setPaused(bool paused)
{
    if (!m_stream)
        return;
    LoopLock lock(m_loop);
    dropOperation(pa_stream_cork(m_stream, paused ? 1 : 0, nullptr, nullptr));
}

void PulseOutput::flush()
{
    if (!m_stream)
        return;
    LoopLock lock(m_loop);
    dropOperation(pa_stream_flush(m_stream, nullptr, nullptr));
}

void PulseOutput::trigger()
{
    if (!m_stream)
        return;
    LoopLock lock(m_loop);
    dropOperation(pa_stream_trigger(m_stream, nullptr, nullptr));
}

} // namespace play
} // namespace sc
