// The layout groups of the core keyboard. libxkbcommon reads the keymap
// (which letters each group types) and xcb-xkb reads and locks the group
// itself, both over the engine's own XCB connection.

#include "Screencast.h"

#include "core/EngineCore.h"
#include "core/XConnection.h"

#include "platform/log/Log.h"

// xcb/xkb.h names a field "explicit", which C++ reserves.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};

class Xkb {
public:
    explicit Xkb(xcb_connection_t* conn) : m_conn(conn) {}

    bool open()
    {
        if (!xkb_x11_setup_xkb_extension(m_conn, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                         XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                         nullptr, nullptr))
            return false;
        m_device = xkb_x11_get_core_keyboard_device_id(m_conn);
        return m_device >= 0;
    }

    // The effective group, -1 on failure.
    int group()
    {
        xcb_xkb_get_state_cookie_t cookie = xcb_xkb_get_state(m_conn, XCB_XKB_ID_USE_CORE_KBD);
        sc::XReply<xcb_xkb_get_state_reply_t> reply(xcb_xkb_get_state_reply(m_conn, cookie, nullptr));
        return reply ? int(reply->group) : -1;
    }

    bool lockGroup(int group)
    {
        xcb_void_cookie_t cookie = xcb_xkb_latch_lock_state_checked(
            m_conn, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, uint8_t(group), 0, 0, 0);
        xcb_generic_error_t* error = xcb_request_check(m_conn, cookie);
        std::free(error);
        return error == nullptr;
    }

    // Per group, whether its first level types every letter a to z.
    std::vector<bool> latinGroups()
    {
        std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
        if (!context)
            return {};
        std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(xkb_x11_keymap_new_from_device(
            context.get(), m_conn, m_device, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!keymap)
            return {};
        std::vector<bool> latin;
        const xkb_layout_index_t groups = xkb_keymap_num_layouts(keymap.get());
        for (xkb_layout_index_t g = 0; g < groups; ++g)
            latin.push_back(typesEveryLetter(keymap.get(), g));
        return latin;
    }

private:
    static bool typesEveryLetter(xkb_keymap* keymap, xkb_layout_index_t group)
    {
        uint32_t seen = 0;
        const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= last; ++key) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, key, group, 0, &syms);
            for (int i = 0; i < count; ++i) {
                if (syms[i] >= XKB_KEY_a && syms[i] <= XKB_KEY_z)
                    seen |= 1u << (syms[i] - XKB_KEY_a);
            }
        }
        return seen == (1u << 26) - 1;
    }

    xcb_connection_t* m_conn;
    int32_t m_device = -1;
};

// Runs `use` on the core keyboard under the engine's X connection; -1
// when the engine is not running or the server has no XKB.
template <typename Use>
int withKeyboard(Use use)
{
    sc::XLock x;
    if (!x)
        return -1;
    Xkb xkb(x.conn());
    return xkb.open() ? use(xkb) : -1;
}

} // namespace

int scInputSourceIsLatin()
{
    return withKeyboard([](Xkb& xkb) {
        const int group = xkb.group();
        const std::vector<bool> latin = xkb.latinGroups();
        if (group < 0 || latin.empty())
            return -1;
        return group < int(latin.size()) && latin[std::size_t(group)] ? 1 : 0;
    });
}

int scSelectLatinInputSource()
{
    return withKeyboard([](Xkb& xkb) {
        const std::vector<bool> latin = xkb.latinGroups();
        for (std::size_t g = 0; g < latin.size(); ++g) {
            if (!latin[g])
                continue;
            if (int(g) == xkb.group())
                return 0;
            if (!xkb.lockGroup(int(g)))
                return -1;
            return xkb.group() == int(g) ? 0 : -1;
        }
        Log(sc::kLogModule, LogLevel::Error, "scSelectLatinInputSource: no layout group types Latin letters");
        return -1;
    });
}
