// Displays are RandR monitors, asked for afresh on every query: the list is
// small, one round trip is cheap, and a cache would need the change events
// to stay right after a monitor is plugged in or rearranged.

#include "core/EngineCore.h"
#include "core/XConnection.h"

#include "Screencast.h"

#include "platform/log/Log.h"

#include <xcb/randr.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace sc;

namespace {

struct Monitor {
    std::string name;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool primary = false;
};

std::string atomName(xcb_connection_t* conn, xcb_atom_t atom)
{
    if (atom == XCB_ATOM_NONE)
        return std::string();
    XReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(conn, xcb_get_atom_name(conn, atom), nullptr));
    if (!reply)
        return std::string();
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

bool hasMonitorRequest(xcb_connection_t* conn)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_randr_id);
    if (!ext || !ext->present)
        return false;
    XReply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        conn, xcb_randr_query_version(conn, 1, 5), nullptr));
    return version && (version->major_version > 1
                       || (version->major_version == 1 && version->minor_version >= 5));
}

// The monitors, the primary one first; the rest keep the server's order.
// Exactly one is primary.
// A server without RandR 1.5 (or with no active monitor) has one display:
// its whole screen.
std::vector<Monitor> queryMonitors()
{
    std::vector<Monitor> monitors;
    XLock x;
    if (!x)
        return monitors;

    if (hasMonitorRequest(x.conn())) {
        XReply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
            x.conn(), xcb_randr_get_monitors(x.conn(), x.screen()->root, 1), nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t* info = it.data;
                if (info->width == 0 || info->height == 0)
                    continue;
                Monitor m;
                m.name = atomName(x.conn(), info->name);
                m.x = info->x;
                m.y = info->y;
                m.width = info->width;
                m.height = info->height;
                m.primary = info->primary != 0;
                monitors.push_back(std::move(m));
            }
        }
    }
    if (monitors.empty()) {
        Monitor m;
        m.name = "Screen";
        m.width = x.screen()->width_in_pixels;
        m.height = x.screen()->height_in_pixels;
        m.primary = true;
        monitors.push_back(std::move(m));
    }
    std::stable_partition(monitors.begin(), monitors.end(),
                          [](const Monitor& m) { return m.primary; });
    // A server that names no primary output (Xvfb, many single-screen
    // set-ups) still has a main display: the first one.
    monitors.front().primary = true;
    return monitors;
}

// The monitor chosen with UseDisplay, or display 0 when it has gone.
bool selectedMonitor(Monitor& out)
{
    std::vector<Monitor> monitors = queryMonitors();
    if (monitors.empty())
        return false;
    const int index = settings().selectedDisplay;
    out = (index >= 0 && index < static_cast<int>(monitors.size())) ? monitors[index]
                                                                     : monitors.front();
    return true;
}

} // namespace

int GetDisplayCount()
{
    return static_cast<int>(queryMonitors().size());
}

const DisplayInfo* GetDisplayInfo(int display)
{
    // Per thread, so that a second caller cannot change the record under the
    // first one while it copies.
    static thread_local DisplayInfo record;
    std::vector<Monitor> monitors = queryMonitors();
    if (display < 0 || display >= static_cast<int>(monitors.size()))
        return nullptr;
    const Monitor& m = monitors[display];
    record = DisplayInfo{};
    copyText(record.name, sizeof record.name, m.name);
    record.frame = CRect{double(m.x), double(m.y), double(m.x + m.width), double(m.y + m.height)};
    record.scale = 1.0;
    record.primary = m.primary ? 1 : 0;
    return &record;
}

void UseDisplay(int display)
{
    updateSettings([display](EngineSettings& s) { s.selectedDisplay = display; });
}

int GetSelectedDisplayWidth()
{
    Monitor m;
    return selectedMonitor(m) ? m.width : 0;
}

int GetSelectedDisplayHeight()
{
    Monitor m;
    return selectedMonitor(m) ? m.height : 0;
}

CRect ConvertDisplayRectToScreen(int display, CRect displayRect)
{
    std::vector<Monitor> monitors = queryMonitors();
    if (display < 0 || display >= static_cast<int>(monitors.size()))
        return displayRect;
    const Monitor& m = monitors[display];
    return CRect{displayRect.left + m.x, displayRect.top + m.y,
                 displayRect.right + m.x, displayRect.bottom + m.y};
}

CRect ConvertCurrentScreenRectToDisplay(CRect screenRect)
{
    Monitor m;
    if (!selectedMonitor(m))
        return screenRect;
    return CRect{screenRect.left - m.x, screenRect.top - m.y,
                 screenRect.right - m.x, screenRect.bottom - m.y};
}
