#include "source/WindowSource.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"

#include <QPainter>
#include <QRegion>

#include <xcb/composite.h>
#include <xcb/shape.h>

namespace sc {
namespace rec {

WindowComposer::WindowComposer(XcbConnection& x) : m_x(x), m_reader(x) {}

WindowComposer::~WindowComposer()
{
    if (m_redirected && m_x.ok()) {
        xcb_composite_unredirect_subwindows(m_x.conn(), m_x.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        m_x.sync();
    }
}

bool WindowComposer::start(std::string& error)
{
    if (!m_x.ok()) {
        error = "no connection to the X server";
        return false;
    }
    const xcb_query_extension_reply_t* composite = xcb_get_extension_data(m_x.conn(), &xcb_composite_id);
    if (!composite || !composite->present) {
        error = "the X server has no Composite extension";
        return false;
    }
    // Naming a window's pixmap came with version 0.2.
    xcb_generic_error_t* e = nullptr;
    XReply<xcb_composite_query_version_reply_t> version(
        xcb_composite_query_version_reply(m_x.conn(), xcb_composite_query_version(m_x.conn(), 0, 4), &e));
    std::free(e);
    if (!version || (version->major_version == 0 && version->minor_version < 2)) {
        error = "the X server's Composite extension is too old";
        return false;
    }
    // Every top-level window, also those that appear later (menus, new
    // windows), keeps its picture while the recording runs.
    e = xcb_request_check(m_x.conn(), xcb_composite_redirect_subwindows_checked(
                                          m_x.conn(), m_x.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    if (e) {
        std::free(e);
        error = "the X server refused to keep the windows' pictures";
        return false;
    }
    m_redirected = true;
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(m_x.conn(), &xcb_shape_id);
    m_shape = shape && shape->present;
    m_rootPixmapAtom = m_x.atom("_XROOTPMAP_ID", true);
    return true;
}

void WindowComposer::background(const QRect& area, QImage& out)
{
    out.fill(Qt::black);
    if (m_rootPixmapAtom == XCB_ATOM_NONE)
        return;
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        m_x.conn(), xcb_get_property(m_x.conn(), 0, m_x.root(), m_rootPixmapAtom, XCB_ATOM_PIXMAP, 0, 1), &error));
    std::free(error);
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 4)
        return;
    const xcb_pixmap_t pixmap = *static_cast<const uint32_t*>(xcb_get_property_value(property.get()));
    QImage picture;
    if (pixmap != XCB_PIXMAP_NONE && m_reader.read(pixmap, area, picture)) {
        QPainter painter(&out);
        painter.drawImage(0, 0, picture);
    }
}

int WindowComposer::compose(const std::vector<StackedWindow>& stack, const std::function<bool(xcb_window_t)>& chosen,
                            const QRect& area, QImage& out, std::vector<xcb_window_t>* failed)
{
    struct Job {
        const StackedWindow* window;
        QRect part;     // root coordinates
        xcb_pixmap_t pixmap;
        xcb_void_cookie_t named;
        xcb_shape_get_rectangles_cookie_t shape;
    };
    std::vector<Job> jobs;
    for (const StackedWindow& w : stack) {
        if (!w.viewable)
            continue;
        const QRect part = w.outer & area;
        if (part.isEmpty() || !chosen(w.id))
            continue;
        Job job{&w, part, xcb_generate_id(m_x.conn()), {}, {}};
        job.named = xcb_composite_name_window_pixmap_checked(m_x.conn(), w.id, job.pixmap);
        if (m_shape)
            job.shape = xcb_shape_get_rectangles(m_x.conn(), w.id, XCB_SHAPE_SK_BOUNDING);
        jobs.push_back(job);
    }

    int drawn = 0;
    QPainter painter(&out);
    for (const Job& job : jobs) {
        const StackedWindow& w = *job.window;
        xcb_generic_error_t* error = xcb_request_check(m_x.conn(), job.named);
        XReply<xcb_shape_get_rectangles_reply_t> shape;
        if (m_shape) {
            xcb_generic_error_t* shapeError = nullptr;
            shape.reset(xcb_shape_get_rectangles_reply(m_x.conn(), job.shape, &shapeError));
            std::free(shapeError);
        }
        if (error) {
            // Unmapped or destroyed since the stacking order was read.
            std::free(error);
            if (failed)
                failed->push_back(w.id);
            continue;
        }
        QImage picture;
        const bool read = m_reader.read(job.pixmap, job.part.translated(-w.outer.topLeft()), picture);
        xcb_free_pixmap(m_x.conn(), job.pixmap);
        if (!read) {
            if (failed)
                failed->push_back(w.id);
            continue;
        }

        // A shaped window (round corners, a ring) shows only its shape.
        bool clipped = false;
        if (shape) {
            const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(shape.get());
            const int count = xcb_shape_get_rectangles_rectangles_length(shape.get());
            // Shape rectangles are relative to the inside corner of the window.
            const QPoint origin = w.outer.topLeft() + QPoint(w.border, w.border) - area.topLeft();
            QRegion region;
            for (int i = 0; i < count; ++i)
                region += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height).translated(origin);
            const QRect whole = w.outer.translated(-area.topLeft());
            if (!(count == 1 && region.boundingRect().contains(whole))) {
                painter.setClipRegion(region);
                clipped = true;
            }
        }
        painter.drawImage(job.part.topLeft() - area.topLeft(), picture);
        if (clipped)
            painter.setClipping(false);
        ++drawn;
    }
    return drawn;
}

// ---------------------------------------------------------------------------

SingleWindowSource::SingleWindowSource(uint32_t window, std::vector<uint32_t> above)
    : m_window(window), m_above(std::move(above))
{
}

bool SingleWindowSource::open(std::string& error)
{
    if (!m_x.ok()) {
        error = "no connection to the X server";
        return false;
    }
    if (m_window == XCB_WINDOW_NONE || m_window == m_x.root()) {
        error = "no window to record";
        return false;
    }
    m_extentsAtom = m_x.atom("_NET_FRAME_EXTENTS", true);
    m_wmStateAtom = m_x.atom("WM_STATE", true);
    QRect frame;
    if (query(frame) == State::Gone) {
        error = "the window to record does not exist";
        return false;
    }
    if (frame.isEmpty()) {
        error = "the window to record has no size";
        return false;
    }
    m_composer.reset(new WindowComposer(m_x));
    if (!m_composer->start(error))
        return false;
    m_size = frame.size();
    m_last = QImage(m_size, QImage::Format_RGB32);
    m_last.fill(Qt::black);
    m_lastRect = frame;
    return true;
}

SingleWindowSource::State SingleWindowSource::query(QRect& frame)
{
    xcb_connection_t* c = m_x.conn();
    const auto geometryCookie = xcb_get_geometry(c, m_window);
    const auto positionCookie = xcb_translate_coordinates(c, m_window, m_x.root(), 0, 0);
    const auto attributesCookie = xcb_get_window_attributes(c, m_window);
    xcb_get_property_cookie_t extentsCookie{}, stateCookie{};
    if (m_extentsAtom != XCB_ATOM_NONE)
        extentsCookie = xcb_get_property(c, 0, m_window, m_extentsAtom, XCB_ATOM_CARDINAL, 0, 4);
    if (m_wmStateAtom != XCB_ATOM_NONE)
        stateCookie = xcb_get_property(c, 0, m_window, m_wmStateAtom, m_wmStateAtom, 0, 2);

    bool gone = false;
    auto keep = [&gone](xcb_generic_error_t* error) {
        if (error)
            gone = true;
        std::free(error);
    };
    xcb_generic_error_t* e = nullptr;
    XReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, &e));
    keep(e);
    e = nullptr;
    XReply<xcb_translate_coordinates_reply_t> position(xcb_translate_coordinates_reply(c, positionCookie, &e));
    keep(e);
    e = nullptr;
    XReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attributesCookie, &e));
    keep(e);
    XReply<xcb_get_property_reply_t> extents, state;
    if (m_extentsAtom != XCB_ATOM_NONE) {
        e = nullptr;
        extents.reset(xcb_get_property_reply(c, extentsCookie, &e));
        keep(e);
    }
    if (m_wmStateAtom != XCB_ATOM_NONE) {
        e = nullptr;
        state.reset(xcb_get_property_reply(c, stateCookie, &e));
        keep(e);
    }
    if (gone || !geometry || !position || !attributes)
        return State::Gone;

    // The frame as the user sees it and as the window lists report it: the
    // decoration of the window manager and the X border around the inside.
    const int border = geometry->border_width;
    int left = border, right = border, top = border, bottom = border;
    if (extents && extents->format == 32 && xcb_get_property_value_length(extents.get()) >= 16) {
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(extents.get()));
        left += int(v[0]);
        right += int(v[1]);
        top += int(v[2]);
        bottom += int(v[3]);
    }
    frame = QRect(position->dst_x - left, position->dst_y - top, geometry->width + left + right,
                  geometry->height + top + bottom);

    if (attributes->map_state == XCB_MAP_STATE_VIEWABLE)
        return State::Shown;
    if (attributes->map_state == XCB_MAP_STATE_UNVIEWABLE)
        return State::Hidden;       // on another desktop, or its frame is hidden
    // Unmapped itself: minimised (ICCCM IconicState = 3) or withdrawn.
    if (state && state->format == 32 && xcb_get_property_value_length(state.get()) >= 4
        && *static_cast<const uint32_t*>(xcb_get_property_value(state.get())) == 3)
        return State::Hidden;
    return State::Withdrawn;
}

int SingleWindowSource::grab(VideoFrame& out)
{
    const int64_t now = nowUs();
    if (!m_composer || !m_x.ok())
        return SR_UnknownError;
    m_x.drainEvents();

    QRect frame;
    const State state = query(frame);
    if (state == State::Gone)
        return SR_WindowClosed;
    // The size counts while the window is shown: a window manager that lets
    // a withdrawn window go takes its decoration away.
    if (state == State::Shown && frame.size() != m_size)
        return SR_WindowResized;
    if (state == State::Withdrawn) {
        if (m_withdrawnSinceUs == 0)
            m_withdrawnSinceUs = now;
        else if (now - m_withdrawnSinceUs >= kWithdrawnGraceUs)
            return SR_WindowClosed;
    } else {
        m_withdrawnSinceUs = 0;
    }

    if (state == State::Shown) {
        const xcb_window_t top = topLevelOf(m_x, m_window);
        std::set<xcb_window_t> chosen;
        if (top != XCB_WINDOW_NONE) {
            chosen.insert(top);
            for (uint32_t id : m_above) {
                const xcb_window_t t = topLevelOf(m_x, id);
                if (t != XCB_WINDOW_NONE)
                    chosen.insert(t);
            }
            QImage picture(m_size, QImage::Format_RGB32);
            picture.fill(Qt::black);
            std::vector<xcb_window_t> failed;
            const std::vector<StackedWindow> stack = stackedWindows(m_x);
            m_composer->compose(
                stack, [&chosen](xcb_window_t w) { return chosen.count(w) != 0; }, frame, picture, &failed);
            // A window that went away between the questions keeps its last
            // picture for this frame; the next grab tells what happened.
            bool drawnTop = false;
            for (const StackedWindow& w : stack)
                drawnTop |= w.id == top && w.viewable;
            for (xcb_window_t f : failed)
                drawnTop &= f != top;
            if (drawnTop) {
                m_last = picture;
                m_lastRect = frame;
            }
        }
    }
    if (state != State::Shown)
        m_lastRect = frame;

    out.image = m_last;
    out.captureUs = now;
    out.screenRect = m_lastRect;
    return SR_Success;
}

// ---------------------------------------------------------------------------

WindowListSource::WindowListSource(WindowListOption option, const QRect& area, std::vector<uint32_t> exclude,
                                   std::vector<uint32_t> include)
    : m_option(option), m_exclude(std::move(exclude)), m_include(std::move(include)), m_size(area.size()),
      m_area(area)
{
}

bool WindowListSource::open(std::string& error)
{
    if (m_option != kWindowListExclude && m_option != kWindowListInclude) {
        error = "not a window list option";
        return false;
    }
    if (m_area.get().isEmpty()) {
        error = "the recorded area is empty";
        return false;
    }
    if (!m_x.ok()) {
        error = "no connection to the X server";
        return false;
    }
    m_composer.reset(new WindowComposer(m_x));
    if (!m_composer->start(error))
        return false;
    m_own.reset(new OwnWindows(m_x));
    return true;
}

void WindowListSource::setArea(const QRect& area)
{
    m_area.set(QRect(area.topLeft(), m_size));
}

std::set<xcb_window_t> WindowListSource::topLevels(const std::vector<uint32_t>& ids)
{
    std::set<xcb_window_t> result;
    for (uint32_t id : ids) {
        // 0, the root and windows that are gone stand for nothing.
        const xcb_window_t top = topLevelOf(m_x, id);
        if (top != XCB_WINDOW_NONE)
            result.insert(top);
    }
    return result;
}

int WindowListSource::grab(VideoFrame& out)
{
    const int64_t now = nowUs();
    if (!m_composer || !m_x.ok())
        return SR_UnknownError;
    m_x.drainEvents();
    const QRect area = m_area.get();

    const std::vector<StackedWindow> stack = stackedWindows(m_x);
    m_own->keepOnly(stack);
    const std::set<xcb_window_t> excluded = topLevels(m_exclude);
    const std::set<xcb_window_t> included = topLevels(m_include);
    const bool everything = m_option == kWindowListExclude;

    QImage picture(m_size, QImage::Format_RGB32);
    if (everything)
        m_composer->background(area, picture);
    else
        picture.fill(Qt::black);
    m_composer->compose(
        stack,
        [&](xcb_window_t w) {
            if (included.count(w))
                return true;
            // This program's own windows (its control bar, the drawing
            // overlay) never show in a recording of the desktop.
            return everything && !excluded.count(w) && !m_own->isOwn(w);
        },
        area, picture);

    out.image = picture;
    out.captureUs = now;
    out.screenRect = area;
    return m_x.ok() ? SR_Success : SR_UnknownError;
}

} // namespace rec
} // namespace sc
