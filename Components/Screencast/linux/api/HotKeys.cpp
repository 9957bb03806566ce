#include "api/HotKeys.h"

#include "core/EngineCore.h"
#include "Screencast.h"
#include "core/XConnection.h"
#include "core/XcbThread.h"

#include "platform/log/Log.h"

#include <xcb/xcb.h>

#include <bitset>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <poll.h>

namespace sc {

namespace {

// Keysyms searched for in the modifier map.
constexpr xcb_keysym_t kXkNumLock = 0xff7f;
constexpr xcb_keysym_t kXkMetaL = 0xffe7;
constexpr xcb_keysym_t kXkMetaR = 0xffe8;
constexpr xcb_keysym_t kXkAltL = 0xffe9;
constexpr xcb_keysym_t kXkAltR = 0xffea;
constexpr xcb_keysym_t kXkSuperL = 0xffeb;
constexpr xcb_keysym_t kXkSuperR = 0xffec;
// XF86Switch_VT_1 to XF86Switch_VT_12.
constexpr xcb_keysym_t kXkSwitchVtFirst = 0x1008fe01;
constexpr xcb_keysym_t kXkSwitchVtLast = 0x1008fe0c;

constexpr unsigned kAllHotKeyModifiers = kHotKeyShift | kHotKeyControl | kHotKeyAlt | kHotKeySuper;

// The modifiers a hotkey is told apart by: all but Caps Lock (and Num Lock,
// taken out once known).
constexpr uint16_t kModifierMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1
                                   | XCB_MOD_MASK_2 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

std::recursive_mutex g_callbackMutex;
CHotKeyCallback* g_callback = nullptr;      // guarded by g_callbackMutex

class HotKeyThread;
thread_local const HotKeyThread* t_current = nullptr;

// One passive grab without its lock variants.
struct KeyGrab {
    xcb_keycode_t keycode;
    uint16_t modifiers;
};

struct HotKey {
    uint32_t keysym = 0;
    unsigned modifiers = 0;     // ScHotKeyModifier bits
    std::vector<KeyGrab> grabs;
};

class HotKeyThread : public std::enable_shared_from_this<HotKeyThread> {
public:
    explicit HotKeyThread(std::string display) : m_display(std::move(display)) {}
    HotKeyThread(const HotKeyThread&) = delete;
    HotKeyThread& operator=(const HotKeyThread&) = delete;

    ~HotKeyThread()
    {
        m_thread.join();
        // Still open when the thread never ran.
        closeX();
    }

    // Connects and reads the keyboard before the thread starts; false when
    // the X server cannot be reached.
    bool start()
    {
        if (!m_thread.open())
            return false;
        if (!openX())
            return false;
        // The thread keeps the object alive, so that one let go from its own
        // thread can still finish.
        m_thread.start([self = shared_from_this()] { self->run(); });
        return true;
    }

    void stop() { m_thread.stop(); }

    // True once the thread has left its loop (stopped, or the X server went
    // away); it then takes no more work.
    bool ended()
    {
        std::lock_guard<std::mutex> lock(m_taskMutex);
        return m_ended;
    }

    // Runs `task` on the hotkey thread and returns its result: at once when
    // called on that thread (from a callback), otherwise queued and waited
    // for. kHotKeyNoDisplay when the thread has ended.
    int call(const std::function<int(HotKeyThread&)>& task)
    {
        if (t_current == this)
            return task(*this);
        auto promise = std::make_shared<std::promise<int>>();
        std::future<int> result = promise->get_future();
        {
            std::lock_guard<std::mutex> lock(m_taskMutex);
            if (m_ended)
                return kHotKeyNoDisplay;
            m_tasks.emplace_back([this, task, promise] { promise->set_value(task(*this)); });
        }
        m_thread.wake();
        return result.get();
    }

    // --- work done on the thread ---------------------------------------------

    int registerKey(int id, uint32_t keysym, unsigned modifiers)
    {
        if (!x())
            return kHotKeyNoDisplay;
        unregisterKey(id);
        if (keysym == 0 || (modifiers & ~kAllHotKeyModifiers) != 0)
            return kHotKeyInvalid;
        HotKey key;
        key.keysym = keysym;
        key.modifiers = modifiers;
        const int result = grab(id, key);
        if (result == kHotKeyOk) {
            Log(kLogModule, LogLevel::Info, "hotkeys: %d is keysym 0x%x with modifiers 0x%x (%zu key(s))", id,
                keysym, modifiers, key.grabs.size());
            m_keys[id] = std::move(key);
        }
        return result;
    }

    int unregisterKey(int id)
    {
        auto it = m_keys.find(id);
        if (it == m_keys.end() || !x())
            return 0;
        ungrab(it->second.grabs, lockVariants());
        xcb_flush(x());
        m_keys.erase(it);
        // The release of a key held now goes elsewhere.
        m_down.reset();
        return 0;
    }

private:
    void run()
    {
        t_current = this;
        for (;;) {
            m_thread.clearWake();
            runTasks();
            // Replies waited for by the tasks may have queued events that no
            // longer show on the socket: read them on every pass.
            readX();
            if (m_thread.stopping() || !x())
                break;
            pollfd fds[2] = {{m_thread.wakeFd(), POLLIN, 0}, {xcb_get_file_descriptor(x()), POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) {
                Log(kLogModule, LogLevel::Error, "hotkeys: poll failed (errno %d)", errno);
                break;
            }
        }
        // Closing the connection releases every grab.
        closeX();
        m_keys.clear();
        std::deque<std::function<void()>> left;
        {
            std::lock_guard<std::mutex> lock(m_taskMutex);
            m_ended = true;
            left.swap(m_tasks);
        }
        // Queued before the end: they find no connection and say so.
        for (auto& task : left)
            task();
        t_current = nullptr;
    }

    // The tasks queued so far; those queued meanwhile wait for the next
    // pass, after the events read now. So a call made after another one
    // returned runs after every event that reached the engine before the
    // first call's answer from the X server.
    void runTasks()
    {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard<std::mutex> lock(m_taskMutex);
            tasks.swap(m_tasks);
        }
        for (auto& task : tasks)
            task();
    }

    // --- the X connection ----------------------------------------------------

    bool openX()
    {
        m_xConn = XConnection(m_display);
        if (!m_xConn.ok()) {
            Log(kLogModule, LogLevel::Error, "hotkeys: cannot connect to the X display");
            return false;
        }
        readKeyboard();
        return true;
    }

    void closeX() { m_xConn.close(); }

    void readX()
    {
        if (!x())
            return;
        while (xcb_generic_event_t* event = xcb_poll_for_event(x())) {
            switch (event->response_type & 0x7f) {
            case XCB_KEY_PRESS:
                keyPressed(*reinterpret_cast<xcb_key_press_event_t*>(event));
                break;
            case XCB_KEY_RELEASE: {
                const auto* e = reinterpret_cast<xcb_key_release_event_t*>(event);
                m_down.reset(e->detail);
                m_lastRelease = e->detail;
                m_lastReleaseTime = e->time;
                break;
            }
            case XCB_MAPPING_NOTIFY: {
                const auto* e = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
                if (e->request != XCB_MAPPING_POINTER)
                    keyboardChanged();
                break;
            }
            default:
                break;
            }
            free(event);
            if (!x())
                return;     // a callback stopped the engine
        }
        if (xcb_connection_has_error(x())) {
            Log(kLogModule, LogLevel::Error, "hotkeys: the X connection was lost; no more hotkeys");
            closeX();
        }
    }

    // A held key repeats. X reports each repeat as a release and a press
    // with one time stamp (or, for clients that asked for detectable
    // repeat, as a press while the key is down); both are left out so that
    // a hotkey fires once per press.
    void keyPressed(const xcb_key_press_event_t& e)
    {
        const bool repeat = m_down.test(e.detail)
                            || (m_lastRelease == e.detail && m_lastReleaseTime == e.time);
        m_down.set(e.detail);
        if (repeat)
            return;
        const uint16_t modifiers = e.state & kModifierMask & ~m_numLockMask;
        for (const auto& entry : m_keys) {
            for (const KeyGrab& g : entry.second.grabs) {
                if (g.keycode == e.detail && g.modifiers == modifiers) {
                    fire(entry.first);
                    return;
                }
            }
        }
    }

    void fire(int id)
    {
        std::lock_guard<std::recursive_mutex> lock(g_callbackMutex);
        if (m_thread.stopping() || !g_callback)
            return;
        g_callback->OnHotKey(id);
    }

    // --- keyboard mapping and grabs ------------------------------------------

    void readKeyboard()
    {
        const xcb_setup_t* setup = xcb_get_setup(x());
        m_minKeycode = setup->min_keycode;
        m_keysyms.clear();
        m_keysymsPerKeycode = 0;
        xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            x(), xcb_get_keyboard_mapping(x(), setup->min_keycode, uint8_t(setup->max_keycode - setup->min_keycode + 1)),
            nullptr);
        if (map) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
            m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
            m_keysymsPerKeycode = map->keysyms_per_keycode;
            free(map);
        }

        m_numLockMask = 0;
        m_altMask = 0;
        m_superMask = 0;
        xcb_get_modifier_mapping_reply_t* mods =
            xcb_get_modifier_mapping_reply(x(), xcb_get_modifier_mapping(x()), nullptr);
        if (mods) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods);
            const int perModifier = mods->keycodes_per_modifier;
            // Shift, Lock and Control are fixed; Mod1 to Mod5 are looked up.
            for (int m = 3; m < 8; ++m) {
                const uint16_t mask = uint16_t(1u << m);
                for (int k = 0; k < perModifier; ++k) {
                    const xcb_keycode_t code = codes[m * perModifier + k];
                    if (code == 0)
                        continue;
                    if (!m_numLockMask && keycodeMakes(code, kXkNumLock))
                        m_numLockMask = mask;
                    if (!m_altMask && (keycodeMakes(code, kXkAltL) || keycodeMakes(code, kXkAltR)))
                        m_altMask = mask;
                    if (!m_superMask && (keycodeMakes(code, kXkSuperL) || keycodeMakes(code, kXkSuperR)))
                        m_superMask = mask;
                }
            }
            // A map with Meta but no Alt key.
            for (int m = 3; m < 8 && !m_altMask; ++m) {
                for (int k = 0; k < perModifier; ++k) {
                    const xcb_keycode_t code = codes[m * perModifier + k];
                    if (code && (keycodeMakes(code, kXkMetaL) || keycodeMakes(code, kXkMetaR)))
                        m_altMask = uint16_t(1u << m);
                }
            }
            free(mods);
        }
        if (!m_altMask)
            m_altMask = XCB_MOD_MASK_1;
        if (!m_superMask)
            m_superMask = XCB_MOD_MASK_4;
    }

    bool keycodeMakes(xcb_keycode_t code, xcb_keysym_t keysym) const
    {
        if (code < m_minKeycode || m_keysymsPerKeycode == 0)
            return false;
        const std::size_t first = std::size_t(code - m_minKeycode) * m_keysymsPerKeycode;
        for (std::size_t i = first; i < first + m_keysymsPerKeycode && i < m_keysyms.size(); ++i) {
            if (m_keysyms[i] == keysym)
                return true;
        }
        return false;
    }

    bool switchesTerminal(xcb_keycode_t code) const
    {
        for (xcb_keysym_t sym = kXkSwitchVtFirst; sym <= kXkSwitchVtLast; ++sym) {
            if (keycodeMakes(code, sym))
                return true;
        }
        return false;
    }

    std::vector<xcb_keycode_t> keycodesOf(xcb_keysym_t keysym) const
    {
        std::vector<xcb_keycode_t> codes;
        if (m_keysymsPerKeycode == 0)
            return codes;
        const std::size_t count = m_keysyms.size() / m_keysymsPerKeycode;
        for (std::size_t k = 0; k < count; ++k) {
            const xcb_keycode_t code = xcb_keycode_t(m_minKeycode + k);
            if (keycodeMakes(code, keysym))
                codes.push_back(code);
        }
        return codes;
    }

    // Caps Lock and Num Lock in every combination, so that the hotkey works
    // whatever their state.
    std::vector<uint16_t> lockVariants() const
    {
        std::vector<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
        if (m_numLockMask) {
            variants.push_back(m_numLockMask);
            variants.push_back(uint16_t(XCB_MOD_MASK_LOCK | m_numLockMask));
        }
        return variants;
    }

    uint16_t xModifiers(unsigned modifiers) const
    {
        uint16_t mask = 0;
        if (modifiers & kHotKeyShift)
            mask |= XCB_MOD_MASK_SHIFT;
        if (modifiers & kHotKeyControl)
            mask |= XCB_MOD_MASK_CONTROL;
        if (modifiers & kHotKeyAlt)
            mask |= m_altMask;
        if (modifiers & kHotKeySuper)
            mask |= m_superMask;
        return mask;
    }

    // Grabs every key that makes the hotkey's keysym; fills key.grabs on
    // success and leaves nothing grabbed on failure.
    int grab(int id, HotKey& key)
    {
        key.grabs.clear();
        const std::vector<xcb_keycode_t> codes = keycodesOf(key.keysym);
        if (codes.empty()) {
            Log(kLogModule, LogLevel::Error, "hotkeys: no key makes keysym 0x%x (hotkey %d)", key.keysym, id);
            return kHotKeyInvalid;
        }
        const uint16_t modifiers = xModifiers(key.modifiers);
        // On keys that switch virtual terminals with Ctrl+Alt (the
        // F-keys of the usual keymaps) the X server acts on that chord
        // itself and never passes it on, whatever the grabs.
        if (modifiers == (XCB_MOD_MASK_CONTROL | m_altMask)) {
            for (xcb_keycode_t code : codes) {
                if (switchesTerminal(code)) {
                    Log(kLogModule, LogLevel::Error, "hotkeys: Ctrl+Alt with keysym 0x%x switches virtual terminals (hotkey %d)",
                        key.keysym, id);
                    return kHotKeyTaken;
                }
            }
        }
        std::vector<KeyGrab> grabs;
        for (xcb_keycode_t code : codes)
            grabs.push_back(KeyGrab{code, modifiers});

        // Two hotkeys of ours on one key would share the grab, and
        // releasing one would silently end the other.
        for (const auto& other : m_keys) {
            if (other.first == id)
                continue;
            for (const KeyGrab& a : other.second.grabs) {
                for (const KeyGrab& b : grabs) {
                    if (a.keycode == b.keycode && a.modifiers == b.modifiers) {
                        Log(kLogModule, LogLevel::Error, "hotkeys: hotkey %d uses the key of hotkey %d", id, other.first);
                        return kHotKeyTaken;
                    }
                }
            }
        }

        const std::vector<uint16_t> variants = lockVariants();
        std::vector<xcb_void_cookie_t> cookies;
        for (const KeyGrab& g : grabs) {
            for (uint16_t v : variants)
                cookies.push_back(xcb_grab_key_checked(x(), 0, m_xConn.root(), uint16_t(g.modifiers | v), g.keycode,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        // Every answer is read, so that no error is left for the event loop.
        int result = kHotKeyOk;
        for (xcb_void_cookie_t cookie : cookies) {
            xcb_generic_error_t* error = xcb_request_check(x(), cookie);
            if (!error)
                continue;
            if (error->error_code == XCB_ACCESS)
                result = kHotKeyTaken;
            else if (result == kHotKeyOk)
                result = kHotKeyInvalid;
            free(error);
        }
        if (xcb_connection_has_error(x()))
            return kHotKeyNoDisplay;
        if (result != kHotKeyOk) {
            // Ungrabbing touches only this client's grabs, so the ones
            // another program holds stay as they are.
            ungrab(grabs, variants);
            xcb_flush(x());
            Log(kLogModule, LogLevel::Error, "hotkeys: keysym 0x%x with modifiers 0x%x %s (hotkey %d)", key.keysym,
                key.modifiers, result == kHotKeyTaken ? "is held by another program" : "was refused", id);
            return result;
        }
        key.grabs = std::move(grabs);
        return kHotKeyOk;
    }

    void ungrab(const std::vector<KeyGrab>& grabs, const std::vector<uint16_t>& variants)
    {
        for (const KeyGrab& g : grabs) {
            for (uint16_t v : variants)
                xcb_ungrab_key(x(), g.keycode, m_xConn.root(), uint16_t(g.modifiers | v));
        }
    }

    // The keyboard mapping or the modifier map changed: keys may make other
    // keysyms now, and Num Lock, Alt or Super may sit on other modifiers.
    void keyboardChanged()
    {
        const std::vector<uint16_t> oldVariants = lockVariants();
        for (auto& entry : m_keys) {
            ungrab(entry.second.grabs, oldVariants);
            entry.second.grabs.clear();
        }
        readKeyboard();
        m_down.reset();
        for (auto it = m_keys.begin(); it != m_keys.end();) {
            const int result = grab(it->first, it->second);
            if (result == kHotKeyOk) {
                ++it;
            } else {
                Log(kLogModule, LogLevel::Error, "hotkeys: hotkey %d was lost with the new keyboard mapping (%d)", it->first,
                    result);
                it = m_keys.erase(it);
            }
        }
        xcb_flush(x());
    }

    const std::string m_display;
    XcbThread m_thread{"hotkeys", "sr-hotkeys"};

    std::mutex m_taskMutex;
    std::deque<std::function<void()>> m_tasks;  // guarded by m_taskMutex
    bool m_ended = false;                       // guarded by m_taskMutex

    // Only the hotkey thread touches these (before it starts: start()).
    xcb_connection_t* x() const { return m_xConn.conn(); }

    XConnection m_xConn;
    xcb_keycode_t m_minKeycode = 8;
    uint8_t m_keysymsPerKeycode = 0;
    std::vector<xcb_keysym_t> m_keysyms;
    uint16_t m_numLockMask = 0;
    uint16_t m_altMask = XCB_MOD_MASK_1;
    uint16_t m_superMask = XCB_MOD_MASK_4;
    std::map<int, HotKey> m_keys;
    std::bitset<256> m_down;
    xcb_keycode_t m_lastRelease = 0;
    xcb_timestamp_t m_lastReleaseTime = 0;
};

std::mutex g_threadMutex;
std::shared_ptr<HotKeyThread> g_thread;     // guarded by g_threadMutex

// The running hotkey thread; with `start`, one is started when none runs
// (or the last one lost its X server) and the engine is initialised.
std::shared_ptr<HotKeyThread> hotKeyThread(bool start)
{
    std::lock_guard<std::mutex> lock(g_threadMutex);
    if (g_thread && g_thread->ended())
        g_thread.reset();
    if (g_thread || !start)
        return g_thread;
    {
        XLock x;
        if (!x)
            return nullptr;
    }
    auto thread = std::make_shared<HotKeyThread>(engineDisplayName());
    if (!thread->start())
        return nullptr;
    g_thread = thread;
    return thread;
}

} // namespace

void stopHotKeys()
{
    {
        std::lock_guard<std::recursive_mutex> lock(g_callbackMutex);
        g_callback = nullptr;
    }
    std::shared_ptr<HotKeyThread> thread;
    {
        std::lock_guard<std::mutex> lock(g_threadMutex);
        thread = std::move(g_thread);
    }
    if (thread)
        thread->stop();
}

} // namespace sc

using namespace sc;

int scRegisterHotKey(int id, unsigned int keysym, unsigned int modifiers)
{
    std::shared_ptr<HotKeyThread> thread = hotKeyThread(true);
    if (!thread)
        return kHotKeyNoDisplay;
    return thread->call([=](HotKeyThread& t) { return t.registerKey(id, keysym, modifiers); });
}

void scUnregisterHotKey(int id)
{
    if (std::shared_ptr<HotKeyThread> thread = hotKeyThread(false))
        thread->call([=](HotKeyThread& t) { return t.unregisterKey(id); });
}

void scSetHotKeyCallback(CHotKeyCallback* callback)
{
    std::lock_guard<std::recursive_mutex> lock(g_callbackMutex);
    g_callback = callback;
}
