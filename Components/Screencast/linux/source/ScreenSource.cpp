#include "source/ScreenSource.h"

#include "ScreencastTypes.h"

#include <xcb/damage.h>
#include <xcb/xfixes.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace sc {
namespace rec {

// Shared-memory segments of one frame each. A segment is busy while a
// QImage made on it lives; the pool lives until the last such image is
// gone, even when the source ended before.
class ShmPool
{
public:
    // More frames than this in flight means the queue is not draining; the
    // source then falls back to copying.
    static constexpr std::size_t kMaxSegments = 48;

    struct Segment
    {
        int id = -1;
        uint8_t* address = nullptr;
        uint32_t xid = 0;
        bool busy = false;
        // Which state of the source's kept copy it holds; -1: none known.
        int64_t generation = -1;
    };

    explicit ShmPool(std::size_t bytes) : m_bytes(bytes) {}
    ~ShmPool()
    {
        for (auto& s : m_segments)
            shmdt(s->address);
    }

    // A free segment, attached to `conn`; null when none can be had.
    Segment* acquire(xcb_connection_t* conn)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& s : m_segments) {
            if (!s->busy) {
                s->busy = true;
                return s.get();
            }
        }
        if (m_segments.size() >= kMaxSegments)
            return nullptr;
        auto s = std::make_unique<Segment>();
        s->id = shmget(IPC_PRIVATE, m_bytes, IPC_CREAT | 0600);
        if (s->id < 0)
            return nullptr;
        void* address = shmat(s->id, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(s->id, IPC_RMID, nullptr);
            return nullptr;
        }
        s->address = static_cast<uint8_t*>(address);
        s->xid = xcb_generate_id(conn);
        xcb_generic_error_t* error =
            xcb_request_check(conn, xcb_shm_attach_checked(conn, s->xid, uint32_t(s->id), 0));
        // Marked for removal at once: the segment goes with the last
        // process that detaches it, even when this one is killed.
        shmctl(s->id, IPC_RMID, nullptr);
        if (error) {
            std::free(error);
            shmdt(s->address);
            return nullptr;
        }
        s->busy = true;
        m_segments.push_back(std::move(s));
        return m_segments.back().get();
    }

    void release(Segment* segment)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        segment->busy = false;
    }

private:
    const std::size_t m_bytes;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Segment>> m_segments;
};

namespace {

struct ImageHandle
{
    std::shared_ptr<ShmPool> pool;
    ShmPool::Segment* segment;
};

void releaseImage(void* info)
{
    auto* handle = static_cast<ImageHandle*>(info);
    handle->pool->release(handle->segment);
    delete handle;
}

bool hasShm(xcb_connection_t* conn)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_shm_id);
    if (!ext || !ext->present)
        return false;
    xcb_shm_query_version_reply_t* version =
        xcb_shm_query_version_reply(conn, xcb_shm_query_version(conn), nullptr);
    const bool ok = version != nullptr;
    std::free(version);
    return ok;
}

} // namespace

std::unique_ptr<ScreenAreaSource> ScreenAreaSource::create(const std::string& display, const QRect& area,
                                                           std::string& error)
{
    std::unique_ptr<ScreenAreaSource> source(new ScreenAreaSource);
    source->m_x = XConnection(display);
    if (!source->m_x.ok()) {
        error = source->m_x.failure() == XConnection::Failure::NoScreen ? "no screen" : "cannot connect to the X server";
        return nullptr;
    }
    const xcb_setup_t* setup = xcb_get_setup(source->m_x.conn());
    const xcb_screen_t* screen = source->m_x.screen();
    // The frames are 32-bit little-endian BGRX: true of every 24- and
    // 32-bit TrueColor server on a PC.
    bool thirtyTwo = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth)
            thirtyTwo = it.data->bits_per_pixel == 32;
    }
    if (!thirtyTwo || (screen->root_depth != 24 && screen->root_depth != 32)
        || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        error = "unsupported screen depth";
        return nullptr;
    }
    source->m_root = screen->root;
    source->m_rootRect = QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    if (area.isEmpty() || !source->m_rootRect.contains(area)) {
        error = "the area is not on the screen";
        return nullptr;
    }
    source->m_area = area;
    if (hasShm(source->m_x.conn())) {
        source->m_pool = std::make_shared<ShmPool>(std::size_t(area.width()) * std::size_t(area.height()) * 4);
        source->watchDamage();
    }
    return source;
}

// Subscribes before the first grab, so that no change after it goes
// unreported. Without DAMAGE (or its copy buffer) every grab reads the
// whole area.
void ScreenAreaSource::watchDamage()
{
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_x.conn(), &xcb_damage_id);
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(m_x.conn(), &xcb_xfixes_id);
    if (!damage || !damage->present || !fixes || !fixes->present)
        return;
    auto* fixesVersion = xcb_xfixes_query_version_reply(m_x.conn(), xcb_xfixes_query_version(m_x.conn(), 2, 0), nullptr);
    auto* damageVersion = xcb_damage_query_version_reply(m_x.conn(), xcb_damage_query_version(m_x.conn(), 1, 1), nullptr);
    const bool versions = fixesVersion && damageVersion;
    std::free(fixesVersion);
    std::free(damageVersion);
    if (!versions)
        return;
    m_copyPool = std::make_shared<ShmPool>(std::size_t(m_area.width()) * std::size_t(m_area.height()) * 4);
    ShmPool::Segment* copy = m_copyPool->acquire(m_x.conn());
    if (!copy) {
        m_copyPool.reset();
        return;
    }
    m_copyBits = copy->address;
    m_copySegment = copy->xid;
    // One notice when the screen first changes after a collection, never
    // a stream of them: nothing piles up while the recording is paused.
    const uint32_t id = xcb_generate_id(m_x.conn());
    m_region = xcb_generate_id(m_x.conn());
    xcb_xfixes_create_region(m_x.conn(), m_region, 0, nullptr);
    xcb_generic_error_t* error = xcb_request_check(
        m_x.conn(), xcb_damage_create_checked(m_x.conn(), id, m_root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY));
    if (error) {
        std::free(error);
        return;
    }
    m_damage = id;
}

// Moves what changed since the last call out of the server's record; a
// change after it stays there for the next call.
void ScreenAreaSource::collectDamage()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x.conn()))
        std::free(event);
    xcb_damage_subtract(m_x.conn(), m_damage, XCB_NONE, m_region);
    xcb_xfixes_fetch_region_reply_t* reply =
        xcb_xfixes_fetch_region_reply(m_x.conn(), xcb_xfixes_fetch_region(m_x.conn(), m_region), nullptr);
    if (!reply) {
        m_changed.invalidate();
        return;
    }
    const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(reply);
    const int count = xcb_xfixes_fetch_region_rectangles_length(reply);
    for (int i = 0; i < count; ++i)
        m_changed.add(QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height));
    std::free(reply);
}

// Rows [top, bottom) of the area into `segment` at their own place.
bool ScreenAreaSource::readRows(uint32_t segment, int top, int bottom)
{
    const uint32_t offset = uint32_t(top) * uint32_t(m_area.width()) * 4u;
    const xcb_shm_get_image_cookie_t cookie =
        xcb_shm_get_image(m_x.conn(), m_root, int16_t(m_area.x()), int16_t(m_area.y() + top), uint16_t(m_area.width()),
                          uint16_t(bottom - top), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, offset);
    xcb_generic_error_t* error = nullptr;
    xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(m_x.conn(), cookie, &error);
    std::free(error);
    std::free(reply);
    return reply != nullptr;
}

// Brings the kept copy up to date when little changed, and says which rows
// did. False when much did: a whole read into the frame is then cheaper
// than a read and a copy.
bool ScreenAreaSource::refreshCopy(std::vector<DamageTracker::Span>& changed)
{
    collectDamage();
    changed = m_changed.take(m_area);
    int rows = 0;
    for (const DamageTracker::Span& band : changed)
        rows += band.second - band.first;
    if (rows * 2 > m_area.height()) {
        m_copyValid = false;
        return false;
    }
    if (!m_copyValid)
        changed.assign(1, DamageTracker::Span(0, m_area.height()));
    for (const DamageTracker::Span& band : changed) {
        if (!readRows(m_copySegment, band.first, band.second)) {
            m_copyValid = false;
            return false;
        }
    }
    m_copyValid = true;
    if (!changed.empty()) {
        ++m_generation;
        m_recent.push_back(changed);
        if (m_recent.size() > kRecentGenerations)
            m_recent.pop_front();
    }
    return true;
}

// Brings a frame's segment to the kept copy's state: only the rows that
// changed since the state it holds, when that is recent enough.
void ScreenAreaSource::copyInto(uint8_t* segment, int64_t& generation)
{
    const std::size_t rowBytes = std::size_t(m_area.width()) * 4;
    const int64_t behind = m_generation - generation;
    if (generation < 0 || behind > int64_t(m_recent.size())) {
        std::memcpy(segment, m_copyBits, rowBytes * std::size_t(m_area.height()));
    } else {
        for (auto it = m_recent.end() - behind; it != m_recent.end(); ++it) {
            for (const DamageTracker::Span& band : *it) {
                const std::size_t at = rowBytes * std::size_t(band.first);
                std::memcpy(segment + at, m_copyBits + at, rowBytes * std::size_t(band.second - band.first));
            }
        }
    }
    generation = m_generation;
}

ScreenAreaSource::~ScreenAreaSource()
{
    // The server detaches the segments of a closed connection; the pool
    // unmaps them once the last frame made on them is gone.
    m_x.close();
}

void ScreenAreaSource::setArea(const QRect& area)
{
    QRect moved(area.topLeft(), m_area.size());
    if (moved.right() > m_rootRect.right())
        moved.moveRight(m_rootRect.right());
    if (moved.bottom() > m_rootRect.bottom())
        moved.moveBottom(m_rootRect.bottom());
    if (moved.left() < 0)
        moved.moveLeft(0);
    if (moved.top() < 0)
        moved.moveTop(0);
    if (moved != m_area)
        m_copyValid = false;
    m_area = moved;
}

int ScreenAreaSource::grab(VideoFrame& out)
{
    if (xcb_connection_has_error(m_x.conn()))
        return SR_UnknownError;
    const int rc = grabArea(out);
    if (rc != SR_Success && screenResized())
        m_cause = SR_CauseScreenChanged;
    return rc;
}

bool ScreenAreaSource::screenResized() const
{
    xcb_get_geometry_reply_t* root = xcb_get_geometry_reply(m_x.conn(), xcb_get_geometry(m_x.conn(), m_root), nullptr);
    const bool resized = root && (root->width != m_rootRect.width() || root->height != m_rootRect.height());
    std::free(root);
    return resized;
}

int ScreenAreaSource::grabArea(VideoFrame& out)
{
    // The picture is of the moment it is asked for (the server answers
    // within a few milliseconds): taking the time before the request keeps
    // frames on their ticks however long the copy takes.
    const int64_t askedUs = nowUs();
    std::vector<DamageTracker::Span> changed;
    const bool tracked = m_pool && m_damage && refreshCopy(changed);
    out.captureUs = askedUs;
    out.screenRect = m_area;
    if (tracked && changed.empty() && !m_previous.isNull()) {
        // Nothing changed: the previous frame again, without a copy.
        out.image = m_previous;
        out.allChanged = false;
        out.changedRows.clear();
        return SR_Success;
    }
    m_previous = QImage();
    ShmPool::Segment* segment = m_pool ? m_pool->acquire(m_x.conn()) : nullptr;
    if (!segment)
        return grabPlain(out);
    if (tracked) {
        copyInto(segment->address, segment->generation);
    } else {
        segment->generation = -1;
        if (!readRows(segment->xid, 0, m_area.height())) {
            m_pool->release(segment);
            return SR_UnknownError;
        }
    }
    auto* handle = new ImageHandle{m_pool, segment};
    out.image = QImage(segment->address, m_area.width(), m_area.height(), m_area.width() * 4,
                       QImage::Format_RGB32, releaseImage, handle);
    out.allChanged = !tracked;
    out.changedRows = std::move(changed);
    m_previous = out.image;
    return SR_Success;
}

int ScreenAreaSource::grabPlain(VideoFrame& out)
{
    const int64_t askedUs = nowUs();
    const xcb_get_image_cookie_t cookie =
        xcb_get_image(m_x.conn(), XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(m_area.x()), int16_t(m_area.y()),
                      uint16_t(m_area.width()), uint16_t(m_area.height()), ~0u);
    xcb_generic_error_t* error = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(m_x.conn(), cookie, &error);
    std::free(error);
    if (!reply)
        return SR_UnknownError;
    const int rowBytes = m_area.width() * 4;
    const int length = xcb_get_image_data_length(reply);
    if (length < rowBytes * m_area.height()) {
        std::free(reply);
        return SR_UnknownError;
    }
    QImage image(m_area.size(), QImage::Format_RGB32);
    const uint8_t* data = xcb_get_image_data(reply);
    for (int y = 0; y < m_area.height(); ++y)
        std::memcpy(image.scanLine(y), data + std::size_t(y) * std::size_t(rowBytes), std::size_t(rowBytes));
    std::free(reply);
    out.image = image;
    out.captureUs = askedUs;
    out.screenRect = m_area;
    out.allChanged = true;
    return SR_Success;
}

} // namespace rec
} // namespace sc
