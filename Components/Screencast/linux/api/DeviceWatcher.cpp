#include "api/DeviceWatcher.h"

#include "audio/AudioDevices.h"
#include "cam/Cameras.h"
#include "core/EngineCore.h"
#include "core/XConnection.h"
#include "core/XcbThread.h"

#include "ScreencastObjects.h"

#include "platform/log/Log.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace sc {

namespace {

// How often the watcher tries to reach a sound server that was not there.
constexpr std::chrono::milliseconds kSoundRetryInterval(2000);

std::recursive_mutex g_callbackMutex;
CDeviceNotifies* g_listener = nullptr;      // guarded by g_callbackMutex
std::atomic<bool> g_hasListener{false};

thread_local bool t_onWatcherThread = false;

class Watcher : public std::enable_shared_from_this<Watcher> {
public:
    Watcher(std::string display, std::string cameraFolder)
        : m_display(std::move(display)), m_cameraFolder(std::move(cameraFolder))
    {
    }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    ~Watcher()
    {
        m_thread.join();
        // Still open when the thread never ran.
        closeX();
        if (m_inotifyFd >= 0)
            close(m_inotifyFd);
    }

    // Opens what is watched before the thread starts, so that every change
    // after this returns is seen.
    bool start()
    {
        if (!m_thread.open())
            return false;
        openX();
        openInotify();
        // The thread keeps the watcher alive, so that one let go from its
        // own thread can still finish.
        m_thread.start([self = shared_from_this()] { self->run(); });
        return true;
    }

    void stop() { m_thread.stop(); }

    void post(unsigned events)
    {
        m_pending.fetch_or(events);
        m_thread.wake();
    }

private:
    void run()
    {
        t_onWatcherThread = true;
        auto lastTick = std::chrono::steady_clock::now();

        for (;;) {
            // Every source is read without blocking on every pass: xcb may
            // hold events in its queue that no longer show on the socket.
            m_thread.clearWake();
            unsigned events = m_pending.exchange(0);
            if (m_inotifyFd >= 0)
                events |= readInotify();
            if (m_x.conn())
                events |= readX();
            const auto now = std::chrono::steady_clock::now();
            if (now - lastTick >= kSoundRetryInterval) {
                lastTick = now;
                pulseWatchTick();
            }
            if (events)
                dispatch(events);
            if (m_thread.stopping())
                break;

            pollfd fds[3];
            nfds_t n = 0;
            fds[n++] = pollfd{m_thread.wakeFd(), POLLIN, 0};
            if (m_inotifyFd >= 0)
                fds[n++] = pollfd{m_inotifyFd, POLLIN, 0};
            if (m_x.conn())
                fds[n++] = pollfd{xcb_get_file_descriptor(m_x.conn()), POLLIN, 0};
            if (poll(fds, n, int(kSoundRetryInterval.count())) < 0 && errno != EINTR) {
                Log(kLogModule, LogLevel::Error, "device watcher: poll failed (errno %d)", errno);
                break;
            }
            if (m_thread.stopping())
                break;
        }
        closeX();
        if (m_inotifyFd >= 0) {
            close(m_inotifyFd);
            m_inotifyFd = -1;
        }
    }

    void dispatch(unsigned events)
    {
        static const struct {
            unsigned event;
            void (CDeviceNotifies::*call)();
        } kCalls[] = {
            {kDisplayEvent, &CDeviceNotifies::OnDisplayChanged},
            {kAudioRenderEvent, &CDeviceNotifies::OnAudioRenderChanged},
            {kAudioCaptureEvent, &CDeviceNotifies::OnAudioCaptureChanged},
            {kVideoCaptureEvent, &CDeviceNotifies::OnVideoCaptureChanged},
        };
        for (const auto& c : kCalls) {
            if (!(events & c.event))
                continue;
            // Taken per call: a listener that unregisters from another
            // thread waits here for this call only, and the next one sees
            // that it is gone.
            std::lock_guard<std::recursive_mutex> lock(g_callbackMutex);
            if (m_thread.stopping() || !g_listener)
                return;
            (g_listener->*c.call)();
        }
    }

    // --- displays -----------------------------------------------------------

    void openX()
    {
        XConnection x(m_display);
        if (!x.ok()) {
            Log(kLogModule, LogLevel::Error, "device watcher: cannot connect to the X display; no display events");
            return;
        }
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(x.conn(), &xcb_randr_id);
        if (!ext || !ext->present) {
            Log(kLogModule, LogLevel::Info, "device watcher: no RandR; no display events");
            return;
        }
        // The server only sends the events of the version a client asked for.
        free(xcb_randr_query_version_reply(x.conn(), xcb_randr_query_version(x.conn(), 1, 5), nullptr));
        const uint16_t mask = XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE
                              | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE;
        xcb_generic_error_t* error =
            xcb_request_check(x.conn(), xcb_randr_select_input_checked(x.conn(), x.root(), mask));
        if (error) {
            Log(kLogModule, LogLevel::Error, "device watcher: RandR refused the event mask (error %d)", error->error_code);
            free(error);
            return;
        }
        // Monitors set or deleted by a client (RandR 1.5) come as a
        // ConfigureNotify of the root window, not as a RandR event.
        const uint32_t rootMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        error = xcb_request_check(x.conn(),
                                  xcb_change_window_attributes_checked(x.conn(), x.root(), XCB_CW_EVENT_MASK, &rootMask));
        if (error) {
            Log(kLogModule, LogLevel::Error, "device watcher: cannot watch the root window (error %d)", error->error_code);
            free(error);
        }
        m_x = std::move(x);
        m_randrEventBase = ext->first_event;
    }

    void closeX() { m_x.close(); }

    unsigned readX()
    {
        unsigned events = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_x.conn())) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == m_randrEventBase + XCB_RANDR_SCREEN_CHANGE_NOTIFY
                || type == m_randrEventBase + XCB_RANDR_NOTIFY)
                events |= kDisplayEvent;
            else if (type == XCB_CONFIGURE_NOTIFY
                     && reinterpret_cast<xcb_configure_notify_event_t*>(event)->window == m_x.root())
                events |= kDisplayEvent;
            free(event);
        }
        if (xcb_connection_has_error(m_x.conn())) {
            Log(kLogModule, LogLevel::Error, "device watcher: the X connection was lost; no more display events");
            closeX();
        }
        return events;
    }

    // --- cameras ------------------------------------------------------------

    void openInotify()
    {
        m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotifyFd < 0) {
            Log(kLogModule, LogLevel::Warning, "device watcher: inotify unavailable (errno %d); no camera events", errno);
            return;
        }
        // Attribute changes count too: a node becomes usable when its
        // permissions are set, after it was created.
        const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
        if (inotify_add_watch(m_inotifyFd, m_cameraFolder.c_str(), mask) < 0) {
            Log(kLogModule, LogLevel::Warning, "device watcher: cannot watch %s (errno %d); no camera events",
                m_cameraFolder.c_str(), errno);
            close(m_inotifyFd);
            m_inotifyFd = -1;
        }
    }

    unsigned readInotify()
    {
        unsigned events = 0;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = read(m_inotifyFd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (char* p = buffer; p < buffer + got;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->mask & IN_Q_OVERFLOW)
                    events |= kVideoCaptureEvent;   // something was missed: ask again
                else if (e->len > 0 && isCameraNodeName(e->name))
                    events |= kVideoCaptureEvent;
                if (e->mask & IN_IGNORED) {
                    // The folder itself went away.
                    close(m_inotifyFd);
                    m_inotifyFd = -1;
                    return events | kVideoCaptureEvent;
                }
                p += sizeof(inotify_event) + e->len;
            }
        }
        return events;
    }

    const std::string m_display;
    const std::string m_cameraFolder;
    XcbThread m_thread{"device watcher", "sr-devices"};
    std::atomic<unsigned> m_pending{0};
    int m_inotifyFd = -1;
    XConnection m_x;
    uint8_t m_randrEventBase = 0;
};

std::mutex g_watcherMutex;
std::shared_ptr<Watcher> g_watcher;     // guarded by g_watcherMutex

} // namespace

void setDeviceListener(CDeviceNotifies* listener)
{
    std::lock_guard<std::recursive_mutex> lock(g_callbackMutex);
    g_listener = listener;
    g_hasListener = listener != nullptr;
}

bool hasDeviceListener() { return g_hasListener; }

void startDeviceWatcher(const std::string& display)
{
    {
        std::lock_guard<std::mutex> lock(g_watcherMutex);
        if (g_watcher)
            return;
        auto watcher = std::make_shared<Watcher>(display, cameraDirectory());
        if (!watcher->start())
            return;
        g_watcher = std::move(watcher);
    }
    // The sound server's events, subscribed before this returns. Outside
    // the lock: the connection posts to the watcher.
    pulseWatchTick();
}

void stopDeviceWatcher()
{
    std::shared_ptr<Watcher> watcher;
    {
        std::lock_guard<std::mutex> lock(g_watcherMutex);
        watcher = std::move(g_watcher);
    }
    // Outside the lock: the thread may be posting while it ends.
    if (watcher)
        watcher->stop();
}

bool isDeviceWatcherThread() { return t_onWatcherThread; }

void postDeviceEvents(unsigned events)
{
    std::lock_guard<std::mutex> lock(g_watcherMutex);
    if (g_watcher)
        g_watcher->post(events);
}

} // namespace sc
