#include "core/EngineCore.h"

#include "Screencast.h"
#include "core/XConnection.h"

#include "platform/log/Log.h"

#include <cstdlib>
#include <cstring>

namespace sc {

namespace {

// One connection per process, guarded by one lock: xcb itself is thread-safe,
// the lock only protects the connection's life.
std::mutex g_xMutex;
xcb_connection_t* g_conn = nullptr;
xcb_screen_t* g_screen = nullptr;
std::string g_displayName;

std::mutex g_settingsMutex;
EngineSettings g_settings;

} // namespace

bool engineRunning()
{
    std::lock_guard<std::mutex> lock(g_xMutex);
    return g_conn != nullptr;
}

int connectDisplay()
{
    std::lock_guard<std::mutex> lock(g_xMutex);
    if (g_conn)
        return kScInitOk;
    const char* display = std::getenv("DISPLAY");
    XConnection x{std::string()};
    if (x.failure() == XConnection::Failure::NoServer) {
        Log(kLogModule, LogLevel::Error, "scInitialize: cannot connect to X display \"%s\"",
            display ? display : "");
        return kScInitNoDisplay;
    }
    if (x.failure() == XConnection::Failure::NoScreen) {
        Log(kLogModule, LogLevel::Error, "scInitialize: X screen %d does not exist", x.screenNumber());
        return kScInitNoDisplay;
    }
    g_screen = x.screen();
    g_conn = x.release();
    g_displayName = display ? display : "";
    Log(kLogModule, LogLevel::Info, "scInitialize: connected, screen %d is %dx%d", x.screenNumber(),
        g_screen->width_in_pixels, g_screen->height_in_pixels);
    return kScInitOk;
}

void disconnectDisplay()
{
    std::lock_guard<std::mutex> lock(g_xMutex);
    if (!g_conn)
        return;
    xcb_disconnect(g_conn);
    g_conn = nullptr;
    g_screen = nullptr;
    g_displayName.clear();
    Log(kLogModule, LogLevel::Info, "scUninitialize: disconnected");
}

XLock::XLock() : m_lock(g_xMutex), m_conn(g_conn), m_screen(g_screen) {}

std::string engineDisplayName()
{
    std::lock_guard<std::mutex> lock(g_xMutex);
    return g_displayName;
}

EngineSettings settings()
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    return g_settings;
}

std::mutex& settingsMutex() { return g_settingsMutex; }
EngineSettings& settingsUnlocked() { return g_settings; }

void copyText(char* field, std::size_t size, const std::string& text)
{
    if (size == 0)
        return;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    // Step back over continuation bytes so that no character is cut in two.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

std::string validUtf8(const std::string& text)
{
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are invalid too.
        if (ok) {
            static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            ok = cp >= kMin[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        }
        if (ok) {
            out.append(text, i, len);
            i += len;
        } else {
            out.append(kReplacement);
            ++i;
        }
    }
    return out;
}

std::string latin1ToUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace sc
