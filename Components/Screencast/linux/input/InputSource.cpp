// The layout groups through the XKB extension, spoken directly over the
// engine's XCB connection: the three requests needed here do not warrant
// one more client library.

#include "Screencast.h"

#include "EngineCore.h"

#include "platform/log/Log.h"

#include <xcb/xcbext.h>

#include <sys/uio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Minor opcodes and masks of the XKB protocol.
constexpr uint8_t kUseExtension = 0;
constexpr uint8_t kGetState = 4;
constexpr uint8_t kLatchLockState = 5;
constexpr uint8_t kGetMap = 8;
constexpr uint16_t kUseCoreKeyboard = 0x100;
constexpr uint16_t kKeySymsPart = 1 << 1;
constexpr int kMaxGroups = 4;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Reply = std::unique_ptr<uint8_t, FreeDeleter>;

uint16_t get16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, sizeof v); }

class Xkb {
public:
    explicit Xkb(xcb_connection_t* conn) : m_conn(conn) {}

    // Finds the extension and announces the version this code speaks.
    bool open()
    {
        xcb_query_extension_cookie_t cookie = xcb_query_extension(m_conn, 9, "XKEYBOARD");
        std::unique_ptr<xcb_query_extension_reply_t, FreeDeleter> ext(
            xcb_query_extension_reply(m_conn, cookie, nullptr));
        if (!ext || !ext->present)
            return false;
        m_opcode = ext->major_opcode;
        uint8_t req[8] = {};
        put16(req + 4, 1); // version 1.0
        Reply reply = call(kUseExtension, req, sizeof req);
        return reply && reply.get()[1] != 0;
    }

    // The effective group, -1 on failure.
    int group()
    {
        uint8_t req[8] = {};
        put16(req + 4, kUseCoreKeyboard);
        Reply reply = call(kGetState, req, sizeof req);
        return reply ? reply.get()[12] : -1;
    }

    bool lockGroup(int group)
    {
        uint8_t req[16] = {};
        put16(req + 4, kUseCoreKeyboard);
        req[8] = 1; // lock the group
        req[9] = uint8_t(group);
        return send(kLatchLockState, req, sizeof req, true) != 0;
    }

    // Per group, whether its first level makes every letter a to z.
    std::vector<bool> latinGroups()
    {
        uint8_t req[28] = {};
        put16(req + 4, kUseCoreKeyboard);
        put16(req + 6, kKeySymsPart);
        const xcb_setup_t* setup = xcb_get_setup(m_conn);
        req[10] = setup->min_keycode;
        req[11] = uint8_t(setup->max_keycode - setup->min_keycode + 1);
        Reply reply = call(kGetMap, req, sizeof req);
        if (!reply)
            return {};
        return lettersPerGroup(reply.get());
    }

private:
    static std::vector<bool> lettersPerGroup(const uint8_t* reply)
    {
        const std::size_t size = 32 + std::size_t(get32(reply + 4)) * 4;
        const int keys = reply[20];
        uint32_t seen[kMaxGroups] = {};
        int groups = 0;
        std::size_t at = 40;
        for (int k = 0; k < keys && at + 8 <= size; ++k) {
            const int keyGroups = reply[at + 4] & 0x0f;
            const int width = reply[at + 5];
            const int symCount = get16(reply + at + 6);
            at += 8;
            if (at + std::size_t(symCount) * 4 > size)
                break;
            for (int g = 0; g < keyGroups && g < kMaxGroups && g * width < symCount; ++g) {
                const uint32_t sym = get32(reply + at + std::size_t(g * width) * 4);
                if (sym >= 'a' && sym <= 'z')
                    seen[g] |= 1u << (sym - 'a');
            }
            groups = std::max(groups, std::min(keyGroups, kMaxGroups));
            at += std::size_t(symCount) * 4;
        }
        std::vector<bool> latin;
        for (int g = 0; g < groups; ++g)
            latin.push_back(seen[g] == (1u << 26) - 1);
        return latin;
    }

    Reply call(uint8_t minor, uint8_t* req, std::size_t size)
    {
        const unsigned int sequence = send(minor, req, size, false);
        if (!sequence)
            return nullptr;
        xcb_generic_error_t* error = nullptr;
        Reply reply(static_cast<uint8_t*>(xcb_wait_for_reply(m_conn, sequence, &error)));
        std::free(error);
        return reply;
    }

    // 0 when the request could not be sent. A request without reply is
    // checked, so that a refusal is seen here.
    unsigned int send(uint8_t minor, uint8_t* req, std::size_t size, bool isVoid)
    {
        req[1] = minor;
        struct iovec parts[3];
        parts[2].iov_base = req;
        parts[2].iov_len = size;
        xcb_protocol_request_t request = {1, nullptr, m_opcode, uint8_t(isVoid)};
        const unsigned int sequence = xcb_send_request(m_conn, XCB_REQUEST_CHECKED, parts + 2, &request);
        if (!sequence || !isVoid)
            return sequence;
        xcb_generic_error_t* error = xcb_request_check(m_conn, xcb_void_cookie_t{sequence});
        const bool ok = !error;
        std::free(error);
        return ok ? sequence : 0;
    }

    xcb_connection_t* m_conn;
    uint8_t m_opcode = 0;
};

} // namespace

int scInputSourceIsLatin()
{
    sc::XLock x;
    if (!x)
        return -1;
    Xkb xkb(x.conn());
    if (!xkb.open())
        return -1;
    const int group = xkb.group();
    const std::vector<bool> latin = xkb.latinGroups();
    if (group < 0 || latin.empty())
        return -1;
    return group < int(latin.size()) && latin[std::size_t(group)] ? 1 : 0;
}

int scSelectLatinInputSource()
{
    sc::XLock x;
    if (!x)
        return -1;
    Xkb xkb(x.conn());
    if (!xkb.open())
        return -1;
    const std::vector<bool> latin = xkb.latinGroups();
    for (std::size_t g = 0; g < latin.size(); ++g) {
        if (latin[g]) {
            if (int(g) == xkb.group())
                return 0;
            if (!xkb.lockGroup(int(g)))
                return -1;
            return xkb.group() == int(g) ? 0 : -1;
        }
    }
    Log(sc::kLogModule, 2, "scSelectLatinInputSource: no layout group types Latin letters");
    return -1;
}
