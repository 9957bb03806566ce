#include "audio/AudioSource.h"

#include "audio/AudioMixer.h"
#include "audio/DriftCorrector.h"

#include "core/EngineCore.h"
#include "core/Guarded.h"
#include "core/LastError.h"

#include "platform/log/Log.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace sc {
namespace rec {

namespace {

// Bounds of the waits for the sound server: connecting, asking for the
// devices and opening the streams each get this long, so start() cannot
// hang on a server that does not answer.
constexpr int kWaitMs = 2000;
// Small fragments keep the sound close behind the clock.
constexpr int64_t kFragmentUs = 20000;

const pa_sample_spec kSpec = {PA_SAMPLE_FLOAT32LE, uint32_t(kAudioRate), uint8_t(kAudioChannels)};
constexpr std::size_t kFrameBytes = sizeof(float) * kAudioChannels;

std::string paError(pa_context* context)
{
    return context ? pa_strerror(pa_context_errno(context)) : "no sound server";
}

} // namespace

struct PulseAudioSource::Impl {
    struct Stream {
        Impl* owner = nullptr;
        int input = 0;
        std::string source;        // the server's name of the device
        std::string what;          // "system sound" or "microphone", for messages
        int cause = SR_CauseNone;  // the SRErrorCause when it goes away
        pa_stream* stream = nullptr;
        DeviceClock clock;         // when its sound was heard
    };

    bool render;
    bool capture;
    std::string captureId;

    // Touched by start()/stop() and, with the loop's lock held, by the
    // libpulse thread.
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool loopRunning = false;
    bool closing = false;
    bool timerFired = false;
    std::vector<std::unique_ptr<Stream>> streams;
    bool started = false;

    // Shared between the libpulse thread and take().
    struct Captured {
        std::unique_ptr<AudioMixer> mixer;
        bool failed = false;
        int cause = SR_CauseNone;      // why it failed
        bool ended = false;            // stopped: drain what is buffered
        int64_t origin = 0;
        int64_t endUs = 0;             // when the sound ended (stop or failure)

        void markEnded()
        {
            if (endUs == 0)
                endUs = nowUs();
        }
    };
    mutable Guarded<Captured> captured;

    // ---- waits (loop lock held) ---------------------------------------------

    static void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data)
    {
        auto* self = static_cast<Impl*>(data);
        self->timerFired = true;
        pa_threaded_mainloop_signal(self->loop, 0);
    }

    // Waits until `done` or kWaitMs passed; true when done.
    bool waitLocked(const std::function<bool()>& done)
    {
        timerFired = false;
        pa_time_event* timer = pa_context_rttime_new(
            context, pa_rtclock_now() + pa_usec_t(kWaitMs) * PA_USEC_PER_MSEC, &Impl::onTimer, this);
        if (!timer)
            return done();
        while (!done() && !timerFired)
            pa_threaded_mainloop_wait(loop);
        pa_threaded_mainloop_get_api(loop)->time_free(timer);
        return done();
    }

    // ---- callbacks (libpulse thread, loop lock held) -----------------------

    void fail(const std::string& why, int reason)
    {
        auto c = captured.lock();
        if (!c->failed) {
            Log(kLogModule, LogLevel::Error, "sound capture failed: %s", why.c_str());
            c->cause = reason;
        }
        c->failed = true;
        c->markEnded();
    }

    // A stream also fails when the whole server goes; that is the cause then.
    int streamCause(const Stream* st) const
    {
        return PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ? st->cause : SR_CauseSoundServerLost;
    }

    static void onContextState(pa_context* c, void* data)
    {
        auto* self = static_cast<Impl*>(data);
        const pa_context_state_t state = pa_context_get_state(c);
        if (!PA_CONTEXT_IS_GOOD(state) && self->started && !self->closing)
            self->fail("the sound server went away (" + paError(c) + ")", SR_CauseSoundServerLost);
        pa_threaded_mainloop_signal(self->loop, 0);
    }

    static void onStreamState(pa_stream* s, void* data)
    {
        auto* st = static_cast<Stream*>(data);
        Impl* self = st->owner;
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (!PA_STREAM_IS_GOOD(state) && self->started && !self->closing)
            self->fail("the " + st->what + " device \"" + st->source + "\" went away ("
                           + paError(self->context) + ")",
                       self->streamCause(st));
        pa_threaded_mainloop_signal(self->loop, 0);
    }

    static void onRead(pa_stream* s, size_t, void* data)
    {
        auto* st = static_cast<Stream*>(data);
        Impl* self = st->owner;
        while (pa_stream_readable_size(s) > 0) {
            const void* bytes = nullptr;
            size_t length = 0;
            if (pa_stream_peek(s, &bytes, &length) < 0) {
                self->fail("reading the " + st->what + " failed (" + paError(self->context) + ")",
                           self->streamCause(st));
                return;
            }
            if (length == 0)
                break;
            const std::size_t frames = length / kFrameBytes;
            // When was the first frame of this fragment heard? The newest
            // frame in our buffer arrived just now (this callback runs on
            // arrival); the frames before it are older by their length, and
            // the server adds what its device still held (source latency)
            // and the transport. The server's own latency figure is not
            // used: it is interpolated from its last timing report, and on
            // monitor sources it was seen to be off by most of a second
            // until the device had settled.
            const int64_t now = nowUs();
            const int64_t duration = int64_t(frames) * 1000000 / kAudioRate;
            const int64_t queued =
                int64_t(pa_stream_readable_size(s) / kFrameBytes) * 1000000 / kAudioRate;
            int64_t serverUs = 0;
            if (const pa_timing_info* timing = pa_stream_get_timing_info(s))
                serverUs = int64_t(timing->source_usec) + int64_t(timing->transport_usec);
            const int64_t measured = now - std::max(queued, duration) - serverUs;

            const int64_t first = st->clock.place(int64_t(frames), measured, kAudioRate);

            if (frames > 0) {
                auto c = self->captured.lock();
                if (c->mixer) {
                    if (bytes) {
                        c->mixer->push(st->input, static_cast<const float*>(bytes), frames, first, now);
                    } else {
                        // A hole in the stream: silence of its length.
                        const std::vector<float> silence(frames * kAudioChannels, 0.0f);
                        c->mixer->push(st->input, silence.data(), frames, first, now);
                    }
                }
            }
            pa_stream_drop(s);
        }
    }

    // ---- device lookup (loop lock held) ------------------------------------

    struct Lookup {
        Impl* self = nullptr;
        bool done = false;
        bool found = false;
        std::string a;
        std::string b;
    };

    static void onServerInfo(pa_context*, const pa_server_info* info, void* data)
    {
        auto* q = static_cast<Lookup*>(data);
        if (info) {
            q->found = true;
            q->a = info->default_sink_name ? info->default_sink_name : "";
            q->b = info->default_source_name ? info->default_source_name : "";
        }
        q->done = true;
        pa_threaded_mainloop_signal(q->self->loop, 0);
    }

    static void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data)
    {
        auto* q = static_cast<Lookup*>(data);
        if (eol == 0 && info) {
            q->found = true;
            q->a = info->monitor_source_name ? info->monitor_source_name : "";
            return;
        }
        q->done = true;
        pa_threaded_mainloop_signal(q->self->loop, 0);
    }

    // Runs one query and waits for it; false on a time-out or a broken
    // connection.
    bool runLocked(pa_operation* op, Lookup& q)
    {
        if (!op)
            return false;
        pa_context* c = context;
        const bool settled = waitLocked([&q, c] { return q.done || !PA_CONTEXT_IS_GOOD(pa_context_get_state(c)); });
        // A cancelled operation never calls back into `q`.
        if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_operation_cancel(op);
        pa_operation_unref(op);
        return settled && q.done;
    }

    // The monitor source of the system-sound output, "" when there is none.
    bool monitorOf(const std::string& sink, std::string& monitor, std::string& error)
    {
        Lookup q;
        q.self = this;
        if (!runLocked(pa_context_get_sink_info_by_name(context, sink.c_str(), &Impl::onSinkInfo, &q), q)) {
            error = "the sound server did not describe the output \"" + sink + "\"";
            return false;
        }
        monitor = q.found ? q.a : std::string();
        return true;
    }

    bool findSources(std::string& renderSource, std::string& captureSource, std::string& error)
    {
        Lookup server;
        server.self = this;
        if (!runLocked(pa_context_get_server_info(context, &Impl::onServerInfo, &server), server)
            || !server.found) {
            error = "the sound server did not answer";
            return false;
        }
        if (render) {
            // The output chosen by the user while it exists, else the default.
            const std::string chosen = settings().systemOutputDevice;
            if (!chosen.empty() && !monitorOf(chosen, renderSource, error))
                return false;
            if (renderSource.empty() && !monitorOf(server.a, renderSource, error))
                return false;
            if (renderSource.empty()) {
                error = "there is no output device whose sound can be recorded";
                setLastError("There is no sound output whose sound can be recorded.");
                return false;
            }
        }
        if (capture) {
            captureSource = captureId.empty() ? server.b : captureId;
            if (captureSource.empty()) {
                error = "there is no input device";
                setLastError("There is no microphone.");
                return false;
            }
        }
        return true;
    }

    bool openStream(int input, const std::string& source, const std::string& what, int cause, std::string& error)
    {
        std::unique_ptr<Stream> st(new Stream);
        st->owner = this;
        st->input = input;
        st->source = source;
        st->what = what;
        st->cause = cause;
        pa_channel_map map;
        pa_channel_map_init_stereo(&map);
        st->stream = pa_stream_new(context, what.c_str(), &kSpec, &map);
        if (!st->stream) {
            error = "cannot make a stream for the " + what + " (" + paError(context) + ")";
            return false;
        }
        pa_stream_set_state_callback(st->stream, &Impl::onStreamState, st.get());
        pa_stream_set_read_callback(st->stream, &Impl::onRead, st.get());
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(pa_usec_t(kFragmentUs), &kSpec));
        // A device that goes away ends the recording instead of the stream
        // moving silently to another device.
        const auto flags =
            pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
        pa_stream* s = st->stream;
        streams.push_back(std::move(st));
        if (pa_stream_connect_record(s, source.c_str(), &attr, flags) < 0) {
            error = "cannot open the " + what + " \"" + source + "\" (" + paError(context) + ")";
            return false;
        }
        return true;
    }

    // ---- life -------------------------------------------------------------

    bool startStreams(std::string& error)
    {
        loop = pa_threaded_mainloop_new();
        if (!loop) {
            error = "out of memory";
            return false;
        }
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "ScreenRecorder");
        if (!context) {
            error = "cannot make a sound server connection";
            return false;
        }
        pa_context_set_state_callback(context, &Impl::onContextState, this);
        // Never start a server: the one the user runs is the one we record.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            error = "no sound server (" + paError(context) + ")";
            setLastError(soundServerFailureText(pa_context_errno(context)));
            return false;
        }
        if (pa_threaded_mainloop_start(loop) < 0) {
            error = "cannot start the sound thread";
            return false;
        }
        loopRunning = true;

        pa_threaded_mainloop_lock(loop);
        bool ok = startLocked(error);
        if (ok) {
            started = true;
            // A failure between the streams' start and now was not reported
            // by the callbacks yet.
            for (const auto& st : streams) {
                if (!PA_STREAM_IS_GOOD(pa_stream_get_state(st->stream))) {
                    error = "the " + st->what + " device \"" + st->source + "\" went away";
                    ok = false;
                }
            }
        }
        pa_threaded_mainloop_unlock(loop);
        return ok;
    }

    bool startLocked(std::string& error)
    {
        pa_context* c = context;
        const bool settled = waitLocked([c] {
            const pa_context_state_t state = pa_context_get_state(c);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (pa_context_get_state(c) != PA_CONTEXT_READY) {
            error = settled ? "no sound server (" + paError(c) + ")" : "the sound server does not answer";
            setLastError(soundServerFailureText(settled ? pa_context_errno(c) : int(PA_ERR_TIMEOUT)));
            return false;
        }

        std::string renderSource;
        std::string captureSource;
        if (!findSources(renderSource, captureSource, error))
            return false;
        // The input chosen may be that very monitor (a machine without a
        // microphone): read it once, or it would sound twice as loud.
        if (render && capture && captureSource == renderSource)
            captureSource.clear();

        const int inputs = int(!renderSource.empty()) + int(!captureSource.empty());
        {
            auto c = captured.lock();
            c->origin = nowUs();
            c->mixer.reset(new AudioMixer(inputs, c->origin));
        }
        int input = 0;
        if (!renderSource.empty() && !openStream(input++, renderSource, "system sound", SR_CauseSystemSoundLost, error))
            return false;
        if (!captureSource.empty() && !openStream(input++, captureSource, "microphone", SR_CauseMicrophoneLost, error))
            return false;

        const bool ready = waitLocked([this] {
            for (const auto& st : streams) {
                const pa_stream_state_t state = pa_stream_get_state(st->stream);
                if (!PA_STREAM_IS_GOOD(state))
                    return true;
                if (state != PA_STREAM_READY)
                    return false;
            }
            return true;
        });
        for (const auto& st : streams) {
            if (pa_stream_get_state(st->stream) != PA_STREAM_READY) {
                error = ready ? "cannot open the " + st->what + " \"" + st->source + "\" (" + paError(c) + ")"
                              : "the sound server does not open the " + st->what;
                return false;
            }
        }
        Log(kLogModule, LogLevel::Info, "sound capture started: system sound \"%s\", microphone \"%s\"",
            renderSource.c_str(), captureSource.c_str());
        return true;
    }

    void shutdown()
    {
        if (loopRunning) {
            pa_threaded_mainloop_lock(loop);
            closing = true;
            for (const auto& st : streams)
                pa_stream_disconnect(st->stream);
            pa_context_disconnect(context);
            pa_threaded_mainloop_unlock(loop);
            // Joins the libpulse thread: no callback runs after this.
            pa_threaded_mainloop_stop(loop);
            loopRunning = false;
        } else if (context) {
            pa_context_disconnect(context);
        }
        for (const auto& st : streams) {
            pa_stream_set_state_callback(st->stream, nullptr, nullptr);
            pa_stream_set_read_callback(st->stream, nullptr, nullptr);
            pa_stream_unref(st->stream);
        }
        streams.clear();
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_unref(context);
            context = nullptr;
        }
        if (loop) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
        }
        auto c = captured.lock();
        c->ended = true;
        c->markEnded();
    }
};

PulseAudioSource::PulseAudioSource(bool render, bool capture, const char* captureDeviceId)
    : d(new Impl)
{
    d->render = render;
    d->capture = capture;
    d->captureId = captureDeviceId ? captureDeviceId : "";
}

PulseAudioSource::~PulseAudioSource() { stop(); }

bool PulseAudioSource::start(std::string& error)
{
    if (d->started || d->loop) {
        error = "the sound capture was started before";
        return false;
    }
    if (!d->render && !d->capture) {
        error = "neither system sound nor microphone was chosen";
        return false;
    }
    if (d->startStreams(error))
        return true;
    Log(kLogModule, LogLevel::Error, "sound capture cannot start: %s", error.c_str());
    setLastError("The sound could not be recorded.");
    {
        // Nothing was captured: no sound (not even silence) comes out.
        auto c = d->captured.lock();
        c->failed = true;
        c->endUs = c->origin;
        c->mixer.reset();
    }
    d->shutdown();
    return false;
}

bool PulseAudioSource::take(std::vector<AudioChunk>& out)
{
    auto c = d->captured.lock();
    if (c->mixer) {
        if (c->ended || c->failed)
            c->mixer->drain(c->endUs, out);
        else
            c->mixer->pull(nowUs(), out);
    }
    return !c->failed;
}

void PulseAudioSource::stop() { d->shutdown(); }

int PulseAudioSource::failureCause() const
{
    return d->captured.lock()->cause;
}

int64_t PulseAudioSource::originUs() const
{
    return d->captured.lock()->origin;
}

} // namespace rec
} // namespace sc
