#include "audio/AudioDevices.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace sc {

namespace {

std::atomic<void (*)(unsigned)> g_postEvents{nullptr};

void postSoundEvents(unsigned events)
{
    if (auto post = g_postEvents.load())
        post(events);
}

std::string text(const char* s) { return s ? validUtf8(s) : std::string(); }

// One connection to the sound server with its own libpulse thread. All
// members after m_context are touched with the loop's lock held (libpulse
// holds it while it runs a callback).
class PulseConnection {
public:
    // Null when the server cannot be reached before `deadline`
    // (pa_rtclock_now() time); `timedOut` tells a hung server from a
    // missing one. With `withEvents` the connection reports device changes
    // to the device watcher.
    static std::unique_ptr<PulseConnection> open(bool withEvents, pa_usec_t deadline, bool& timedOut)
    {
        timedOut = false;
        std::unique_ptr<PulseConnection> c(new PulseConnection);
        c->m_withEvents = withEvents;
        c->m_loop = pa_threaded_mainloop_new();
        if (!c->m_loop)
            return nullptr;
        c->m_context = pa_context_new(pa_threaded_mainloop_get_api(c->m_loop), "ScreenRecorder");
        if (!c->m_context)
            return nullptr;
        pa_context_set_state_callback(c->m_context, &PulseConnection::onState, c.get());
        if (withEvents)
            pa_context_set_subscribe_callback(c->m_context, &PulseConnection::onEvent, c.get());
        // Never start a server: the one the user runs is the one we record.
        if (pa_context_connect(c->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return nullptr;
        if (pa_threaded_mainloop_start(c->m_loop) < 0)
            return nullptr;
        c->m_started = true;

        pa_threaded_mainloop_lock(c->m_loop);
        pa_context* context = c->m_context;
        const bool settled = c->waitLocked(deadline, [context] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        const bool ready = settled && pa_context_get_state(context) == PA_CONTEXT_READY;
        timedOut = !settled;
        bool subscribed = !withEvents;
        if (ready && withEvents) {
            // The defaults as they are now, to tell later which one changed.
            if (pa_operation* op = pa_context_get_server_info(context, &PulseConnection::onDefaults, c.get()))
                pa_operation_unref(op);
            // Waits for the server to confirm, so that every change after
            // this returns is reported.
            const auto mask = pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE
                                                     | PA_SUBSCRIPTION_MASK_SERVER);
            if (pa_operation* op = pa_context_subscribe(context, mask, &PulseConnection::onSubscribed, c.get())) {
                subscribed = c->waitLocked(deadline,
                                           [op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; })
                             && c->m_subscribed;
                if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
                    pa_operation_cancel(op);
                pa_operation_unref(op);
            }
            timedOut = !subscribed && !c->m_subscribeRefused;
        }
        pa_threaded_mainloop_unlock(c->m_loop);
        if (!ready || !subscribed)
            return nullptr;
        return c;
    }

    ~PulseConnection()
    {
        if (m_started) {
            pa_threaded_mainloop_lock(m_loop);
            m_closing = true;
            pa_context_disconnect(m_context);
            pa_threaded_mainloop_unlock(m_loop);
            // Joins the libpulse thread: no callback runs after this.
            pa_threaded_mainloop_stop(m_loop);
        } else if (m_context) {
            pa_context_disconnect(m_context);
        }
        if (m_context)
            pa_context_unref(m_context);
        if (m_loop)
            pa_threaded_mainloop_free(m_loop);
    }

    bool alive()
    {
        pa_threaded_mainloop_lock(m_loop);
        const bool ready = pa_context_get_state(m_context) == PA_CONTEXT_READY;
        pa_threaded_mainloop_unlock(m_loop);
        return ready;
    }

    // The server's devices into `out`; false when the connection broke or
    // the server did not answer before `deadline` (`timedOut`).
    bool query(AudioSnapshot& out, pa_usec_t deadline, bool& timedOut)
    {
        timedOut = false;
        Query q;
        q.out = &out;
        q.loop = m_loop;
        pa_threaded_mainloop_lock(m_loop);
        if (pa_context_get_state(m_context) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_unlock(m_loop);
            return false;
        }
        pa_operation* ops[3] = {
            pa_context_get_server_info(m_context, &PulseConnection::onServerInfo, &q),
            pa_context_get_sink_info_list(m_context, &PulseConnection::onSink, &q),
            pa_context_get_source_info_list(m_context, &PulseConnection::onSource, &q),
        };
        for (pa_operation* op : ops) {
            if (!op) {
                q.failed = true;
                --q.pending;
            }
        }
        pa_context* context = m_context;
        const bool settled = waitLocked(
            deadline, [&q, context] { return q.pending == 0 || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)); });
        // Cancelled operations never call back into `q`, which dies here.
        for (pa_operation* op : ops) {
            if (!op)
                continue;
            if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
                pa_operation_cancel(op);
            pa_operation_unref(op);
        }
        const bool ok = settled && q.pending == 0 && !q.failed
                        && pa_context_get_state(m_context) == PA_CONTEXT_READY;
        pa_threaded_mainloop_unlock(m_loop);
        timedOut = !settled;
        if (ok)
            out.reachable = true;
        return ok;
    }

private:
    struct Query {
        AudioSnapshot* out = nullptr;
        pa_threaded_mainloop* loop = nullptr;
        int pending = 3;
        bool failed = false;
    };

    PulseConnection() = default;

    // Waits (lock held) until `done` or the deadline; true when done.
    bool waitLocked(pa_usec_t deadline, const std::function<bool()>& done)
    {
        m_timerFired = false;
        pa_time_event* timer = pa_context_rttime_new(m_context, deadline, &PulseConnection::onTimer, this);
        if (!timer)
            return done();
        while (!done() && !m_timerFired)
            pa_threaded_mainloop_wait(m_loop);
        pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
        return done();
    }

    static void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data)
    {
        auto* self = static_cast<PulseConnection*>(data);
        self->m_timerFired = true;
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    static void onSubscribed(pa_context*, int success, void* data)
    {
        auto* self = static_cast<PulseConnection*>(data);
        self->m_subscribed = success != 0;
        self->m_subscribeRefused = success == 0;
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    static void onState(pa_context* context, void* data)
    {
        auto* self = static_cast<PulseConnection*>(data);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) {
            self->m_wasReady = true;
        } else if (!PA_CONTEXT_IS_GOOD(state) && self->m_wasReady && !self->m_closing && self->m_withEvents) {
            // The server went away: every device with it.
            Log(kLogModule, LogLevel::Info, "sound server connection lost");
            postSoundEvents(kAudioRenderEvent | kAudioCaptureEvent);
        }
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    static void onEvent(pa_context* context, pa_subscription_event_type_t t, uint32_t, void* data)
    {
        auto* self = static_cast<PulseConnection*>(data);
        const unsigned facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const unsigned type = t & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        // Changes of a device (volume, state) happen all the time and
        // change no list.
        const bool addedOrRemoved = type == PA_SUBSCRIPTION_EVENT_NEW || type == PA_SUBSCRIPTION_EVENT_REMOVE;
        if (facility == PA_SUBSCRIPTION_EVENT_SINK && addedOrRemoved)
            postSoundEvents(kAudioRenderEvent);
        else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && addedOrRemoved)
            postSoundEvents(kAudioCaptureEvent);
        else if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            // Perhaps the default sink or source changed: look.
            if (pa_operation* op = pa_context_get_server_info(context, &PulseConnection::onDefaults, self))
                pa_operation_unref(op);
        }
    }

    static void onDefaults(pa_context*, const pa_server_info* info, void* data)
    {
        auto* self = static_cast<PulseConnection*>(data);
        if (!info)
            return;
        const std::string sink = text(info->default_sink_name);
        const std::string source = text(info->default_source_name);
        if (self->m_defaultsKnown) {
            unsigned events = 0;
            if (sink != self->m_defaultSink)
                events |= kAudioRenderEvent;
            if (source != self->m_defaultSource)
                events |= kAudioCaptureEvent;
            if (events)
                postSoundEvents(events);
        }
        self->m_defaultSink = sink;
        self->m_defaultSource = source;
        self->m_defaultsKnown = true;
    }

    static void onServerInfo(pa_context*, const pa_server_info* info, void* data)
    {
        auto* q = static_cast<Query*>(data);
        if (info) {
            q->out->defaultSink = text(info->default_sink_name);
            q->out->defaultSource = text(info->default_source_name);
        } else {
            q->failed = true;
        }
        --q->pending;
        pa_threaded_mainloop_signal(q->loop, 0);
    }

    static void onSink(pa_context*, const pa_sink_info* info, int eol, void* data)
    {
        auto* q = static_cast<Query*>(data);
        if (eol == 0 && info) {
            SoundDevice d;
            d.name = text(info->name);
            d.description = info->description && *info->description ? text(info->description) : d.name;
            d.monitorSource = text(info->monitor_source_name);
            d.unplugged = info->active_port && info->active_port->available == PA_PORT_AVAILABLE_NO;
            q->out->sinks.push_back(std::move(d));
            return;
        }
        if (eol < 0)
            q->failed = true;
        --q->pending;
        pa_threaded_mainloop_signal(q->loop, 0);
    }

    static void onSource(pa_context*, const pa_source_info* info, int eol, void* data)
    {
        auto* q = static_cast<Query*>(data);
        if (eol == 0 && info) {
            SoundDevice d;
            d.name = text(info->name);
            d.description = info->description && *info->description ? text(info->description) : d.name;
            d.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
            d.unplugged = info->active_port && info->active_port->available == PA_PORT_AVAILABLE_NO;
            q->out->sources.push_back(std::move(d));
            return;
        }
        if (eol < 0)
            q->failed = true;
        --q->pending;
        pa_threaded_mainloop_signal(q->loop, 0);
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    bool m_started = false;
    bool m_withEvents = false;
    bool m_wasReady = false;
    bool m_closing = false;
    bool m_timerFired = false;
    bool m_defaultsKnown = false;
    bool m_subscribed = false;
    bool m_subscribeRefused = false;
    std::string m_defaultSink;
    std::string m_defaultSource;
};

using Clock = std::chrono::steady_clock;

// One deadline for every wait of one call.
pa_usec_t deadlineFromNow() { return pa_rtclock_now() + pa_usec_t(kPulseTimeoutMs) * PA_USEC_PER_MSEC; }

std::mutex g_mutex;                         // guards everything below
bool g_engineRunning = false;
std::unique_ptr<PulseConnection> g_kept;    // only while the engine runs
Clock::time_point g_quietUntil{};           // no attempt before this, after a time-out
enum class Reach { Unknown, Yes, No };
Reach g_reach = Reach::Unknown;             // of the kept connection

void noteTimeout(const char* what)
{
    g_quietUntil = Clock::now() + std::chrono::milliseconds(kPulseBackoffMs);
    Log(kLogModule, LogLevel::Warning, "sound server did not answer %s within %d ms; not asking again for %d s", what,
        kPulseTimeoutMs, kPulseBackoffMs / 1000);
}

// A change between reachable and not is a change of every sound device.
void noteReach(Reach reach)
{
    if (g_reach != Reach::Unknown && g_reach != reach)
        postSoundEvents(kAudioRenderEvent | kAudioCaptureEvent);
    g_reach = reach;
}

// The kept connection, opened when there is none; null without a server.
PulseConnection* keptLocked(pa_usec_t deadline)
{
    if (g_kept && g_kept->alive())
        return g_kept.get();
    g_kept.reset();
    if (Clock::now() < g_quietUntil)
        return nullptr;
    bool timedOut = false;
    g_kept = PulseConnection::open(true, deadline, timedOut);
    if (!g_kept) {
        if (timedOut)
            noteTimeout("a connection");
        noteReach(Reach::No);
        return nullptr;
    }
    noteReach(Reach::Yes);
    return g_kept.get();
}

} // namespace

const SoundDevice* AudioSnapshot::sink(const std::string& name) const
{
    for (const SoundDevice& d : sinks) {
        if (d.name == name)
            return &d;
    }
    return nullptr;
}

const SoundDevice* AudioSnapshot::source(const std::string& name) const
{
    for (const SoundDevice& d : sources) {
        if (d.name == name)
            return &d;
    }
    return nullptr;
}

std::vector<const SoundDevice*> AudioSnapshot::captureDevices() const
{
    std::vector<const SoundDevice*> list;
    for (const SoundDevice& d : sources) {
        if (!d.isMonitor || d.name == defaultSource)
            list.push_back(&d);
    }
    return list;
}

const SoundDevice* AudioSnapshot::systemOutput(const std::string& chosen) const
{
    if (!chosen.empty()) {
        if (const SoundDevice* d = sink(chosen))
            return d;
    }
    return defaultSink.empty() ? nullptr : sink(defaultSink);
}

AudioSnapshot audioSnapshot()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    AudioSnapshot snapshot;
    if (Clock::now() < g_quietUntil)
        return snapshot;
    bool timedOut = false;
    const pa_usec_t deadline = deadlineFromNow();
    if (!g_engineRunning) {
        // Not started (or stopped): a connection for this question only,
        // closed again before returning so that no thread stays behind.
        std::unique_ptr<PulseConnection> once = PulseConnection::open(false, deadline, timedOut);
        if (!once) {
            if (timedOut)
                noteTimeout("a connection");
            return snapshot;
        }
        if (!once->query(snapshot, deadline, timedOut)) {
            if (timedOut)
                noteTimeout("a device query");
            snapshot = AudioSnapshot();
        }
        return snapshot;
    }
    PulseConnection* connection = keptLocked(deadline);
    if (!connection)
        return snapshot;
    if (!connection->query(snapshot, deadline, timedOut)) {
        if (timedOut)
            noteTimeout("a device query");
        snapshot = AudioSnapshot();
        g_kept.reset();
        noteReach(Reach::No);
    }
    return snapshot;
}

void pulseEngineStarted()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_engineRunning = true;
    g_quietUntil = Clock::time_point();
    g_reach = Reach::Unknown;
}

void pulseEngineStopped()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_engineRunning = false;
    g_kept.reset();
    g_quietUntil = Clock::time_point();
    g_reach = Reach::Unknown;
}

void pulseWatchTick()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_engineRunning || (g_kept && g_kept->alive()))
            return;
        g_kept.reset();
    }
    // Connected outside the lock, so that queries are not held up by the
    // watcher's attempt; and regardless of the pause after a time-out,
    // which only spares the callers of the queries: the watcher has time.
    bool timedOut = false;
    std::unique_ptr<PulseConnection> fresh = PulseConnection::open(true, deadlineFromNow(), timedOut);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_engineRunning || (g_kept && g_kept->alive()))
        return;     // stopped, or a query connected meanwhile: `fresh` goes
    if (!fresh) {
        noteReach(Reach::No);
        return;
    }
    g_kept = std::move(fresh);
    g_quietUntil = Clock::time_point();
    noteReach(Reach::Yes);
}

void setSoundEventSink(void (*post)(unsigned events))
{
    g_postEvents.store(post);
}

} // namespace sc
