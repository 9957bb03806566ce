#pragma once

// A playback stream on the sound server's default output. Every call
// returns within a bounded time, also when the server stops answering;
// writes never block (the caller waits and tries again).

#include <cstddef>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace sc {
namespace play {

class PulseOutput
{
public:
    PulseOutput() = default;
    ~PulseOutput() { close(); }
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Interleaved 32-bit float at `rate` with `channels` (1 or 2), the
    // stream paused. False when no server can be reached.
    bool open(int rate, int channels, std::string& error);
    void close();
    bool isOpen() const { return m_stream != nullptr; }
    int rate() const { return m_rate; }
    int channels() const { return m_channels; }

    // Writes as many of `frames` as the server takes now: their number, or
    // -1 when the stream failed.
    long write(const float* samples, std::size_t frames);
    // Seconds of sound written and not yet heard; negative while the
    // server has not said yet.
    double latency();
    void setPaused(bool paused);
    // Drops what was written and not yet heard.
    void flush();
    // Starts playing what was written even if it is less than the server
    // waits for (the last bit of a file).
    void trigger();

private:
    bool waitFor(bool (*ready)(PulseOutput*), int ms);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    int m_rate = 0;
    int m_channels = 0;
};

} // namespace play
} // namespace sc
