#include "core/WindowXcb.h"

#include "core/EngineCore.h"
#include "core/Pipeline.h"

#include "platform/log/Log.h"

#include <xcb/shm.h>

#include <cstring>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

namespace sc {
namespace rec {

// The engine's display when it runs; $DISPLAY otherwise (a part used on its
// own, as the tests do).
XcbConnection::XcbConnection() : XConnection(engineDisplayName()) {}

xcb_atom_t XcbConnection::atom(const char* name, bool onlyIfExists)
{
    if (!ok())
        return XCB_ATOM_NONE;
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        conn(), xcb_intern_atom(conn(), onlyIfExists ? 1 : 0, uint16_t(std::strlen(name)), name), &error));
    std::free(error);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void XcbConnection::drainEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn()))
        std::free(event);
}

void XcbConnection::sync()
{
    xcb_generic_error_t* error = nullptr;
    std::free(xcb_get_input_focus_reply(conn(), xcb_get_input_focus(conn()), &error));
    std::free(error);
}

// ---------------------------------------------------------------------------

ImageReader::ImageReader(XcbConnection& x) : m_x(x)
{
    if (!x.ok())
        return;
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(x.conn(), xcb_shm_query_version(x.conn()), &error));
    std::free(error);
    m_shmAvailable = version != nullptr;
}

ImageReader::~ImageReader()
{
    dropShm();
}

void ImageReader::dropShm()
{
    if (m_shmSeg && m_x.ok()) {
        xcb_shm_detach(m_x.conn(), m_shmSeg);
        m_x.sync();
    }
    if (m_shmAddr)
        shmdt(m_shmAddr);
    m_shmSeg = 0;
    m_shmAddr = nullptr;
    m_shmId = -1;
    m_shmSize = 0;
}

bool ImageReader::ensureShm(std::size_t bytes)
{
    if (m_shmAddr && m_shmSize >= bytes)
        return true;
    dropShm();
    // Grown in steps, so that a slowly growing window does not cost a new
    // segment on every frame.
    const std::size_t size = ((bytes + (1u << 20) - 1) >> 20) << 20;
    m_shmId = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (m_shmId < 0)
        return false;
    m_shmAddr = shmat(m_shmId, nullptr, 0);
    if (m_shmAddr == reinterpret_cast<void*>(-1)) {
        m_shmAddr = nullptr;
        shmctl(m_shmId, IPC_RMID, nullptr);
        m_shmId = -1;
        return false;
    }
    m_shmSeg = xcb_generate_id(m_x.conn());
    xcb_generic_error_t* error = xcb_request_check(m_x.conn(), xcb_shm_attach_checked(m_x.conn(), m_shmSeg, uint32_t(m_shmId), 0));
    // Marked for removal now that both sides hold it: it goes away with the
    // last of them, also when this process is killed.
    shmctl(m_shmId, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        m_shmSeg = 0;
        shmdt(m_shmAddr);
        m_shmAddr = nullptr;
        m_shmId = -1;
        return false;
    }
    m_shmSize = size;
    return true;
}

bool ImageReader::read(xcb_drawable_t drawable, const QRect& rect, QImage& out)
{
    if (!m_x.ok() || rect.isEmpty() || rect.width() > 32767 || rect.height() > 32767)
        return false;
    const std::size_t bytes = std::size_t(rect.width()) * std::size_t(rect.height()) * 4;
    uint8_t depth = 0;
    uchar* data = nullptr;

    if (m_shmAvailable && ensureShm(bytes)) {
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            m_x.conn(),
            xcb_shm_get_image(m_x.conn(), drawable, int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                              uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_shmSeg, 0),
            &error));
        if (error || !reply) {
            std::free(error);
            return false;
        }
        depth = reply->depth;
        data = static_cast<uchar*>(m_shmAddr);
    } else {
        if (m_shmAvailable) {
            Log(kLogModule, LogLevel::Warning, "capture: shared memory refused, reading pictures through the socket");
            m_shmAvailable = false;
        }
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            m_x.conn(),
            xcb_get_image(m_x.conn(), XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(rect.x()), int16_t(rect.y()),
                          uint16_t(rect.width()), uint16_t(rect.height()), ~0u),
            &error));
        if (error || !reply) {
            std::free(error);
            return false;
        }
        if (std::size_t(xcb_get_image_data_length(reply.get())) < bytes)
            return false;
        depth = reply->depth;
        m_plain.assign(xcb_get_image_data(reply.get()), xcb_get_image_data(reply.get()) + bytes);
        data = m_plain.data();
    }

    if (depth == 32) {
        out = QImage(data, rect.width(), rect.height(), rect.width() * 4, QImage::Format_ARGB32_Premultiplied);
    } else if (depth == 24) {
        // The padding byte is undefined; the frames carry an opaque alpha.
        auto* p = reinterpret_cast<uint32_t*>(data);
        for (std::size_t i = 0, n = bytes / 4; i < n; ++i)
            p[i] |= 0xff000000u;
        out = QImage(data, rect.width(), rect.height(), rect.width() * 4, QImage::Format_RGB32);
    } else {
        return false;   // 16-bit or 30-bit visuals are not recorded
    }
    return true;
}

// ---------------------------------------------------------------------------

xcb_window_t topLevelOf(XcbConnection& x, xcb_window_t id)
{
    if (!x.ok() || id == XCB_WINDOW_NONE || id == x.root())
        return XCB_WINDOW_NONE;
    for (int depth = 0; depth < 64; ++depth) {
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.conn(), xcb_query_tree(x.conn(), id), &error));
        if (error || !tree) {
            std::free(error);
            return XCB_WINDOW_NONE;
        }
        if (tree->parent == x.root())
            return id;
        if (tree->parent == XCB_WINDOW_NONE)
            return XCB_WINDOW_NONE;
        id = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

std::vector<StackedWindow> stackedWindows(XcbConnection& x)
{
    std::vector<StackedWindow> windows;
    if (!x.ok())
        return windows;
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.conn(), xcb_query_tree(x.conn(), x.root()), &error));
    std::free(error);
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // One batch: every request out first, then every reply.
    std::vector<xcb_get_window_attributes_cookie_t> attributes(std::size_t(count > 0 ? count : 0));
    std::vector<xcb_get_geometry_cookie_t> geometry(attributes.size());
    for (int i = 0; i < count; ++i) {
        attributes[std::size_t(i)] = xcb_get_window_attributes(x.conn(), children[i]);
        geometry[std::size_t(i)] = xcb_get_geometry(x.conn(), children[i]);
    }
    windows.reserve(attributes.size());
    for (int i = 0; i < count; ++i) {
        xcb_generic_error_t* e1 = nullptr;
        xcb_generic_error_t* e2 = nullptr;
        XReply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(x.conn(), attributes[std::size_t(i)], &e1));
        XReply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x.conn(), geometry[std::size_t(i)], &e2));
        const bool gone = e1 || e2 || !a || !g;
        std::free(e1);
        std::free(e2);
        if (gone)
            continue;
        StackedWindow w;
        w.id = children[i];
        w.border = g->border_width;
        w.outer = QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
        w.depth = g->depth;
        w.viewable = a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
        windows.push_back(w);
    }
    return windows;
}

// ---------------------------------------------------------------------------

OwnWindows::OwnWindows(XcbConnection& x) : m_x(x), m_pidAtom(x.atom("_NET_WM_PID", true))
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0)
        m_host = name;
}

int OwnWindows::pidOwner(xcb_window_t window)
{
    if (m_pidAtom == XCB_ATOM_NONE)
        return -1;
    const xcb_get_property_cookie_t pidCookie =
        xcb_get_property(m_x.conn(), 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1);
    const xcb_get_property_cookie_t machineCookie =
        xcb_get_property(m_x.conn(), 0, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 0, 64);
    xcb_generic_error_t* e1 = nullptr;
    xcb_generic_error_t* e2 = nullptr;
    XReply<xcb_get_property_reply_t> pid(xcb_get_property_reply(m_x.conn(), pidCookie, &e1));
    XReply<xcb_get_property_reply_t> machine(xcb_get_property_reply(m_x.conn(), machineCookie, &e2));
    std::free(e1);
    std::free(e2);
    if (!pid || pid->format != 32 || xcb_get_property_value_length(pid.get()) < 4)
        return -1;
    const uint32_t value = *static_cast<const uint32_t*>(xcb_get_property_value(pid.get()));
    std::string host;
    if (machine && machine->format == 8) {
        host.assign(static_cast<const char*>(xcb_get_property_value(machine.get())),
                    std::size_t(xcb_get_property_value_length(machine.get())));
        host = host.substr(0, host.find('\0'));
    }
    // A process id only means something on this machine.
    return value == uint32_t(getpid()) && (host.empty() || host == m_host) ? 1 : 0;
}

bool OwnWindows::isOwn(xcb_window_t topLevel)
{
    const auto known = m_known.find(topLevel);
    if (known != m_known.end() && (known->second.recheckUs == 0 || nowUs() < known->second.recheckUs))
        return known->second.own;
    // The top-level window itself (no window manager, or an unmanaged one),
    // else the client inside the window manager's frame.
    int owner = pidOwner(topLevel);
    std::vector<xcb_window_t> level{topLevel};
    for (int depth = 0; owner < 0 && depth < 2 && !level.empty(); ++depth) {
        std::vector<xcb_window_t> next;
        for (xcb_window_t w : level) {
            xcb_generic_error_t* error = nullptr;
            XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_x.conn(), xcb_query_tree(m_x.conn(), w), &error));
            std::free(error);
            if (!tree)
                continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            next.insert(next.end(), children, children + xcb_query_tree_children_length(tree.get()));
        }
        for (xcb_window_t w : next) {
            owner = pidOwner(w);
            if (owner >= 0)
                break;
        }
        level.swap(next);
    }
    // A window without a process id (or a frame whose client is not inside
    // yet) counts as foreign and is asked again a little later.
    Known& entry = m_known[topLevel];
    entry.own = owner == 1;
    entry.recheckUs = owner >= 0 ? 0 : nowUs() + 1000000;
    return entry.own;
}

void OwnWindows::keepOnly(const std::vector<StackedWindow>& windows)
{
    if (m_known.size() <= windows.size())
        return;
    std::unordered_map<xcb_window_t, Known> kept;
    for (const StackedWindow& w : windows) {
        const auto it = m_known.find(w.id);
        if (it != m_known.end())
            kept.insert(*it);
    }
    m_known.swap(kept);
}

} // namespace rec
} // namespace sc
