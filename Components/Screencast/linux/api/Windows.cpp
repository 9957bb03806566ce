// Window lists and previews.
//
// The two trailing ints of a WindowInfo are the width and height of the
// window's frame (the same rectangle GetWindowRect reports), so that a
// caller that only has the list knows the size a single-window recording
// of it gets.

#include "api/X11Windows.h"

#include "core/EngineCore.h"
#include "core/LastError.h"
#include "core/XConnection.h"

#include "Screencast.h"
#include "api/WindowPreview.h"

#include "platform/log/Log.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include <unistd.h>

namespace sc {

namespace {

enum AtomId {
    kNetClientListStacking,
    kNetClientList,
    kNetSupportingWmCheck,
    kNetWmName,
    kUtf8String,
    kCompoundText,
    kNetWmPid,
    kNetWmState,
    kNetWmStateHidden,
    kNetFrameExtents,
    kNetWmWindowType,
    // Window types, the kept ones first.
    kTypeNormal,
    kTypeDialog,
    kTypeUtility,
    kTypeToolbar,
    kFirstSkippedType,
    kTypeDesktop = kFirstSkippedType,
    kTypeDock,
    kTypeMenu,
    kTypeDropdownMenu,
    kTypePopupMenu,
    kTypeTooltip,
    kTypeNotification,
    kTypeCombo,
    kTypeDnd,
    kTypeSplash,
    kAtomCount
};

const char* const kAtomNames[kAtomCount] = {
    "_NET_CLIENT_LIST_STACKING",
    "_NET_CLIENT_LIST",
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "COMPOUND_TEXT",
    "_NET_WM_PID",
    "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN",
    "_NET_FRAME_EXTENTS",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",
    "_NET_WM_WINDOW_TYPE_SPLASH",
};

// Atoms that no client has created yet are NONE: no window can carry them,
// and asking for them would only create them on the server.
struct Atoms {
    xcb_atom_t atom[kAtomCount] = {};

    explicit Atoms(xcb_connection_t* conn)
    {
        xcb_intern_atom_cookie_t cookies[kAtomCount];
        for (int i = 0; i < kAtomCount; ++i)
            cookies[i] = xcb_intern_atom(conn, 1, uint16_t(std::strlen(kAtomNames[i])), kAtomNames[i]);
        for (int i = 0; i < kAtomCount; ++i) {
            xcb_generic_error_t* error = nullptr;
            XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(conn, cookies[i], &error));
            std::free(error);
            atom[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
    }
    xcb_atom_t operator[](AtomId id) const { return atom[id]; }
};

// A property request sent now and read later; a NONE atom sends nothing.
class PropertyRequest {
public:
    PropertyRequest() = default;
    PropertyRequest(xcb_connection_t* conn, xcb_window_t window, xcb_atom_t property, uint32_t maxLongs)
    {
        if (property == XCB_ATOM_NONE)
            return;
        m_cookie = xcb_get_property(conn, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, maxLongs);
        m_sent = true;
    }

    // The reply; `gone` is set when the server answered with an error
    // (the window no longer exists).
    XReply<xcb_get_property_reply_t> take(xcb_connection_t* conn, bool& gone)
    {
        if (!m_sent)
            return nullptr;
        m_sent = false;
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn, m_cookie, &error));
        if (error) {
            gone = true;
            std::free(error);
        }
        return reply;
    }

private:
    xcb_get_property_cookie_t m_cookie{};
    bool m_sent = false;
};

std::string bytesOf(const xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 8)
        return std::string();
    const char* data = static_cast<const char*>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    return std::string(data, std::size_t(length > 0 ? length : 0));
}

std::vector<uint32_t> longsOf(const xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 32)
        return {};
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply) / 4;
    return std::vector<uint32_t>(data, data + (length > 0 ? length : 0));
}

// Up to the first NUL: some programs count the terminator in.
std::string untilNul(const std::string& s)
{
    const std::size_t nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
}

// A STRING property is ISO 8859-1 by the rules, but many programs put UTF-8
// there: text that is valid UTF-8 is taken as such.
std::string stringProperty(const std::string& bytes)
{
    return validUtf8(bytes) == bytes ? bytes : latin1ToUtf8(bytes);
}

// COMPOUND_TEXT as far as it can be read without Xlib's converters: the
// default ISO 8859-1 and embedded UTF-8 segments (ESC % G ... ESC % @).
// Text in any other character set gives "": no title beats a garbled one.
std::string compoundText(const std::string& bytes)
{
    std::string out;
    bool utf8 = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x1B) {
            const std::string seq = bytes.substr(i, 3);
            if (seq == "\x1b%G")
                utf8 = true;
            else if (seq == "\x1b%@" || seq == "\x1b(B" || seq == "\x1b-A")
                utf8 = false;   // back to ASCII and ISO 8859-1
            else
                return std::string();
            i += 3;
            continue;
        }
        if (c == 0x9B)      // a direction sequence
            return std::string();
        if (utf8)
            out += char(c);
        else
            out += latin1ToUtf8(std::string(1, char(c)));
        ++i;
    }
    return validUtf8(out);
}

std::string hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

std::string processName(uint32_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return validUtf8(name);
}

// Everything about one window, asked for in one batch so that a list of
// many windows costs one round trip.
class WindowRequest {
public:
    WindowRequest(xcb_connection_t* conn, xcb_window_t root, xcb_window_t id, const Atoms& atoms, bool full)
        : m_id(id), m_full(full)
    {
        m_attributes = xcb_get_window_attributes(conn, id);
        m_geometry = xcb_get_geometry(conn, id);
        m_position = xcb_translate_coordinates(conn, id, root, 0, 0);
        m_state = PropertyRequest(conn, id, atoms[kNetWmState], 64);
        m_extents = PropertyRequest(conn, id, atoms[kNetFrameExtents], 4);
        if (!full)
            return;
        // Titles longer than the record holds are cut anyway.
        m_netName = PropertyRequest(conn, id, atoms[kNetWmName], 256);
        m_name = PropertyRequest(conn, id, XCB_ATOM_WM_NAME, 256);
        m_class = PropertyRequest(conn, id, XCB_ATOM_WM_CLASS, 128);
        m_pid = PropertyRequest(conn, id, atoms[kNetWmPid], 1);
        m_machine = PropertyRequest(conn, id, XCB_ATOM_WM_CLIENT_MACHINE, 64);
        m_type = PropertyRequest(conn, id, atoms[kNetWmWindowType], 32);
    }

    // Reads every reply (also after an error, so that none is left
    // behind); false when the window does not exist.
    bool collect(xcb_connection_t* conn, const Atoms& atoms)
    {
        bool gone = false;
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(conn, m_attributes, &error));
        gone |= keep(error);
        XReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(conn, m_geometry, &error));
        gone |= keep(error);
        XReply<xcb_translate_coordinates_reply_t> position(
            xcb_translate_coordinates_reply(conn, m_position, &error));
        gone |= keep(error);
        XReply<xcb_get_property_reply_t> state = m_state.take(conn, gone);
        XReply<xcb_get_property_reply_t> extents = m_extents.take(conn, gone);
        XReply<xcb_get_property_reply_t> netName = m_netName.take(conn, gone);
        XReply<xcb_get_property_reply_t> name = m_name.take(conn, gone);
        XReply<xcb_get_property_reply_t> cls = m_class.take(conn, gone);
        XReply<xcb_get_property_reply_t> pid = m_pid.take(conn, gone);
        XReply<xcb_get_property_reply_t> machine = m_machine.take(conn, gone);
        XReply<xcb_get_property_reply_t> type = m_type.take(conn, gone);
        if (gone || !attributes || !geometry || !position)
            return false;

        readPlace(*attributes, *geometry, *position, state.get(), extents.get(), atoms);
        if (!m_full)
            return true;
        readTitle(netName.get(), name.get(), atoms);
        readOwner(cls.get(), pid.get(), machine.get());
        readType(type.get(), atoms);
        return true;
    }

    X11Window window;
    bool overrideRedirect = false;
    bool inputOnly = false;
    bool skippedType = false;
    bool dock = false;
    uint32_t processId = 0;
    std::string clientMachine;

private:
    // Visibility, and the frame: the inside of the window as placed on the
    // root, with the X border and the window manager's decoration around it.
    void readPlace(const xcb_get_window_attributes_reply_t& attributes, const xcb_get_geometry_reply_t& geometry,
                   const xcb_translate_coordinates_reply_t& position, const xcb_get_property_reply_t* state,
                   const xcb_get_property_reply_t* extents, const Atoms& atoms)
    {
        overrideRedirect = attributes.override_redirect != 0;
        inputOnly = attributes._class == XCB_WINDOW_CLASS_INPUT_ONLY;
        const bool viewable = attributes.map_state == XCB_MAP_STATE_VIEWABLE;
        bool hidden = false;
        for (uint32_t a : longsOf(state))
            hidden |= a != XCB_ATOM_NONE && a == atoms[kNetWmStateHidden];
        window.visible = viewable && !hidden;

        const double border = geometry.border_width;
        double left = border, right = border, top = border, bottom = border;
        const std::vector<uint32_t> e = longsOf(extents);
        if (e.size() == 4) {
            left += e[0];
            right += e[1];
            top += e[2];
            bottom += e[3];
        }
        window.id = m_id;
        window.frame = CRect{position.dst_x - left, position.dst_y - top, position.dst_x + geometry.width + right,
                             position.dst_y + geometry.height + bottom};
    }

    void readTitle(const xcb_get_property_reply_t* netName, const xcb_get_property_reply_t* name, const Atoms& atoms)
    {
        const std::string utf8Name = untilNul(bytesOf(netName));
        if (netName && netName->type == atoms[kUtf8String] && !utf8Name.empty()) {
            window.title = validUtf8(utf8Name);
        } else if (name) {
            const std::string bytes = untilNul(bytesOf(name));
            if (name->type == XCB_ATOM_STRING)
                window.title = stringProperty(bytes);
            else if (name->type == atoms[kUtf8String] && name->type != XCB_ATOM_NONE)
                window.title = validUtf8(bytes);
            else if (name->type == atoms[kCompoundText] && name->type != XCB_ATOM_NONE)
                window.title = compoundText(bytes);
        }
    }

    void readOwner(const xcb_get_property_reply_t* cls, const xcb_get_property_reply_t* pid,
                   const xcb_get_property_reply_t* machine)
    {
        // WM_CLASS is "instance\0class\0"; the class names the program.
        const std::string classes = bytesOf(cls);
        const std::size_t split = classes.find('\0');
        if (split != std::string::npos)
            window.owner = stringProperty(untilNul(classes.substr(split + 1)));
        if (window.owner.empty())
            window.owner = stringProperty(untilNul(classes));

        const std::vector<uint32_t> pids = longsOf(pid);
        if (!pids.empty()) {
            processId = pids[0];
            clientMachine = stringProperty(untilNul(bytesOf(machine)));
        }
    }

    void readType(const xcb_get_property_reply_t* type, const Atoms& atoms)
    {
        skippedType = false;
        for (uint32_t t : longsOf(type)) {
            // The first type this engine knows decides, as EWMH asks.
            int known = -1;
            for (int i = kTypeNormal; i < kAtomCount; ++i) {
                if (t != XCB_ATOM_NONE && t == atoms.atom[i]) {
                    known = i;
                    break;
                }
            }
            if (known >= 0) {
                skippedType = known >= kFirstSkippedType;
                dock = known == kTypeDock;
                break;
            }
        }
    }

    static bool keep(xcb_generic_error_t*& error)
    {
        const bool failed = error != nullptr;
        std::free(error);
        error = nullptr;
        return failed;
    }

    xcb_window_t m_id;
    bool m_full;
    xcb_get_window_attributes_cookie_t m_attributes;
    xcb_get_geometry_cookie_t m_geometry;
    xcb_translate_coordinates_cookie_t m_position;
    PropertyRequest m_state, m_extents, m_netName, m_name, m_class, m_pid, m_machine, m_type;
};

// A window that exists and announces itself, pointing at itself, as the
// window manager's check window: a window manager runs (a stale property
// left by one that died does not count).
bool windowManagerRuns(xcb_connection_t* conn, xcb_window_t root, const Atoms& atoms)
{
    if (atoms[kNetSupportingWmCheck] == XCB_ATOM_NONE)
        return false;
    bool gone = false;
    PropertyRequest onRoot(conn, root, atoms[kNetSupportingWmCheck], 1);
    const std::vector<uint32_t> check = longsOf(onRoot.take(conn, gone).get());
    if (gone || check.empty() || check[0] == XCB_WINDOW_NONE)
        return false;
    PropertyRequest onCheck(conn, check[0], atoms[kNetSupportingWmCheck], 1);
    const std::vector<uint32_t> self = longsOf(onCheck.take(conn, gone).get());
    return !gone && !self.empty() && self[0] == check[0];
}

// Candidate windows, top of the stack first.
std::vector<xcb_window_t> candidates(xcb_connection_t* conn, xcb_window_t root, const Atoms& atoms)
{
    if (windowManagerRuns(conn, root, atoms)) {
        for (AtomId list : {kNetClientListStacking, kNetClientList}) {
            bool gone = false;
            PropertyRequest request(conn, root, atoms[list], 1u << 16);
            XReply<xcb_get_property_reply_t> reply = request.take(conn, gone);
            if (!reply || reply->type != XCB_ATOM_WINDOW)
                continue;
            // Bottom to top (stacking) or oldest first (client list).
            std::vector<xcb_window_t> ids = longsOf(reply.get());
            std::reverse(ids.begin(), ids.end());
            return ids;
        }
    }
    // No window manager: the root's children are the application windows
    // themselves, bottom to top.
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(conn, xcb_query_tree(conn, root), &error));
    std::free(error);
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    std::vector<xcb_window_t> ids(children, children + xcb_query_tree_children_length(tree.get()));
    std::reverse(ids.begin(), ids.end());
    return ids;
}

bool validId(xcb_window_t root, uint32_t id) { return id != XCB_WINDOW_NONE && id != root; }

} // namespace

namespace {

// The windows of the stack that `keep` accepts, top first; windows of this
// process are marked `own`.
template <class Keep>
std::vector<X11Window> collectWindows(xcb_connection_t* conn, xcb_window_t root, Keep keep)
{
    const Atoms atoms(conn);
    const std::vector<xcb_window_t> ids = candidates(conn, root, atoms);

    std::vector<std::unique_ptr<WindowRequest>> requests;
    requests.reserve(ids.size());
    for (xcb_window_t id : ids) {
        if (validId(root, id))
            requests.emplace_back(new WindowRequest(conn, root, id, atoms, true));
    }

    const std::string host = hostName();
    const uint32_t self = uint32_t(getpid());
    std::vector<X11Window> windows;
    for (auto& request : requests) {
        if (!request->collect(conn, atoms))
            continue;       // gone in the meantime
        X11Window& w = request->window;
        if (request->overrideRedirect || request->inputOnly || !w.visible)
            continue;
        // A process id only means something on this machine.
        const bool local = request->clientMachine.empty() || request->clientMachine == host;
        if (request->processId != 0 && local) {
            w.own = request->processId == self;
            if (w.owner.empty())
                w.owner = processName(request->processId);
        }
        if (keep(*request))
            windows.push_back(std::move(w));
    }
    return windows;
}

} // namespace

std::vector<X11Window> listWindows(xcb_connection_t* conn, xcb_window_t root, bool withOwn)
{
    return collectWindows(conn, root, [withOwn](const WindowRequest& r) {
        if (r.skippedType || (r.window.own && !withOwn))
            return false;
        return !r.window.title.empty() || !r.window.owner.empty();   // else nothing to show it by
    });
}

std::vector<X11Window> listPanels(xcb_connection_t* conn, xcb_window_t root)
{
    return collectWindows(conn, root, [](const WindowRequest& r) { return r.dock && !r.window.own; });
}

std::vector<uint32_t> longProperty(xcb_connection_t* conn, xcb_window_t window, xcb_atom_t property,
                                   uint32_t maxLongs)
{
    bool gone = false;
    PropertyRequest request(conn, window, property, maxLongs);
    return longsOf(request.take(conn, gone).get());
}

bool windowManagerRunning(xcb_connection_t* conn, xcb_window_t root)
{
    return windowManagerRuns(conn, root, Atoms(conn));
}

bool windowFrame(xcb_connection_t* conn, xcb_window_t root, uint32_t id, CRect& frame)
{
    if (!validId(root, id))
        return false;
    const Atoms atoms(conn);
    WindowRequest request(conn, root, id, atoms, false);
    if (!request.collect(conn, atoms))
        return false;
    frame = request.window.frame;
    return true;
}

bool windowVisible(xcb_connection_t* conn, xcb_window_t root, uint32_t id)
{
    if (!validId(root, id))
        return false;
    const Atoms atoms(conn);
    WindowRequest request(conn, root, id, atoms, false);
    return request.collect(conn, atoms) && request.window.visible;
}

namespace {

class WindowList : public CWindowListObject {
public:
    explicit WindowList(std::vector<WindowInfo> items) : m_items(std::move(items)) {}
    void release() override { delete this; }
    int count() override { return static_cast<int>(m_items.size()); }
    WindowInfo item(int index) override
    {
        if (index < 0 || index >= count())
            return WindowInfo{};
        return m_items[std::size_t(index)];
    }

private:
    std::vector<WindowInfo> m_items;
};

} // namespace

CBasePtr<CWindowListObject> windowListOf(const std::vector<X11Window>& windows)
{
    std::vector<WindowInfo> items;
    for (const X11Window& w : windows) {
        WindowInfo info{};
        info.id = w.id;
        copyText(info.title, sizeof info.title, w.title);
        copyText(info.owner, sizeof info.owner, w.owner);
        info.width = int32_t(w.frame.right - w.frame.left);
        info.height = int32_t(w.frame.bottom - w.frame.top);
        items.push_back(info);
    }
    return CBasePtr<CWindowListObject>(new WindowList(std::move(items)));
}

} // namespace sc

using namespace sc;

CBasePtr<CWindowListObject> scFindWindow(int filter)
{
    XLock x;
    if (!x)
        return CBasePtr<CWindowListObject>();
    // The normal list and the single-window list are the same windows: any
    // visible application window can be recorded alone.
    const bool withOwn = (filter & kWindowFilterOwn) != 0;
    return windowListOf(listWindows(x.conn(), x.screen()->root, withOwn));
}

CRect GetWindowRect(unsigned int windowId)
{
    XLock x;
    CRect frame{};
    if (!x || !windowFrame(x.conn(), x.screen()->root, windowId, frame))
        return CRect{};
    return frame;
}

bool IsWindowVisible(unsigned int windowId)
{
    XLock x;
    return x && windowVisible(x.conn(), x.screen()->root, windowId);
}

CBasePtr<CWindowCompositedImageObject> scCreateWindowCompositedImage(ScNativeView view)
{
    clearLastError();
    win::WindowPreview* preview = win::WindowPreview::create(xcb_window_t(view));
    if (!preview)
        setLastError("The windows cannot be shown.");
    return CBasePtr<CWindowCompositedImageObject>(preview);
}
