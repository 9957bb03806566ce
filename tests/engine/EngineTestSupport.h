#pragma once

// Helpers of the engine's tests: processes, decoded files, an X connection of the test's
// own with windows of one colour, the pointer through XTest, and the sound server.

#include "tests/support/TestHelpers.h"
#include "tests/support/media/TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace et {

template <class T> using XReply = std::unique_ptr<T, decltype(&std::free)>;

using testsupport::ScopedEnv;
using testsupport::writeFile;

inline int threadCount() { return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

// The names of this process's threads, as `top -H` shows them.
inline QStringList threadNames()
{
    QStringList names;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QString("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll()).trimmed();
    }
    return names;
}

// Polls (running the event loop) until `done` holds; false after `ms`.
// The bounds are generous: a busy machine is slow, not broken.
inline bool waitUntil(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// A program run to its successful end (`ok`): its standard output.
inline QByteArray run(const QString& program, const QStringList& args, bool* ok = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool ended = p.waitForFinished(120000);
    if (!ended)
        p.kill(), p.waitForFinished(5000);
    const bool success = ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = success;
    return success ? p.readAllStandardOutput() : QByteArray();
}
// What a file holds (frames counted by decoding), under the names the
// engine's tests use.
struct Probe : testmedia::Probe {
    QString format;  // libavformat's short name
    bool hasVideo() const { return !videoCodec.isEmpty(); }
    bool hasAudio() const { return !audioCodec.isEmpty(); }
};
inline Probe probe(const QString& path)
{
    Probe r;
    static_cast<testmedia::Probe&>(r) = testmedia::probe(path, true);
    r.format = r.container;
    return r;
}

// Every picture of the file of the given size (another size is no picture
// of this recording), with its transparency if `alpha`.
inline std::vector<QImage> decodeFrames(const QString& path, int width, int height, bool alpha = false)
{
    std::vector<QImage> frames;
    for (const testmedia::Picture& p : alpha ? testmedia::picturesWithAlpha(path) : testmedia::pictures(path))
        if (p.image.size() == QSize(width, height))
            frames.push_back(p.image);
    return frames;
}

// The file's sound, mixed to one channel at 48 kHz.
inline std::vector<float> decodeSound(const QString& path)
{
    std::vector<float> samples;
    for (const qint16 s : testmedia::sound(path, 48000))
        samples.push_back(s / 32768.0f);
    return samples;
}

inline double rms(const std::vector<float>& s, std::size_t from, std::size_t to)
{
    to = std::min(to, s.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

// The amplitude a sine of `frequency` would need to give what [from, to) has of it.
inline double toneLevel(const std::vector<float>& s, std::size_t from, std::size_t to, double frequency)
{
    to = std::min(to, s.size());
    const double w = 2 * M_PI * frequency / 48000;
    double re = 0, im = 0;
    for (std::size_t i = from; i < to; ++i) {
        re += s[i] * std::cos(w * double(i));
        im += s[i] * std::sin(w * double(i));
    }
    return to > from ? 2 * std::sqrt(re * re + im * im) / double(to - from) : 0.0;
}

inline bool near(QRgb a, QRgb b, int tolerance = 12)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b))
           <= tolerance;
}
inline QByteArray rgbText(QRgb c)
{
    return QString::asprintf("#%02x%02x%02x", qRed(c), qGreen(c), qBlue(c)).toLatin1();
}

// A connection of the test's own to an X server ($DISPLAY by default).
struct XConn {
    enum WindowFlag { Managed = 1, Unmapped = 2 };

    explicit XConn(const char* display = nullptr)
    {
        conn = xcb_connect(display, nullptr);
        if (!xcb_connection_has_error(conn))
            screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    }
    ~XConn() { xcb_disconnect(conn); }
    XConn(const XConn&) = delete;
    XConn& operator=(const XConn&) = delete;

    bool ok() const { return screen && !xcb_connection_has_error(conn); }
    xcb_window_t root() const { return screen->root; }
    // Waits until the server has handled everything sent so far.
    void sync() { std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr)); }

    xcb_atom_t atom(const char* name)
    {
        XReply<xcb_intern_atom_reply_t> r(
            xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name), nullptr), &std::free);
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    void setProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, int format, const void* data,
                     uint32_t count)
    {
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, w, property, type, uint8_t(format), count, data);
    }
    void setText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& bytes)
    {
        setProperty(w, property, type, 8, bytes.data(), uint32_t(bytes.size()));
    }
    void setTitle(xcb_window_t w, const std::string& utf8)
    {
        setText(w, atom("_NET_WM_NAME"), atom("UTF8_STRING"), utf8);
    }

    // A window the server fills with `rgb`: unmanaged ones sit exactly where asked, managed
    // ones get the window manager's frame (the place asked for kept as a hint).
    xcb_window_t window(const QRect& r, QRgb rgb, int flags = 0)
    {
        const xcb_window_t id = xcb_generate_id(conn);
        const uint32_t values[] = {rgb & 0xffffffu, (flags & Managed) ? 0u : 1u};
        xcb_create_window(conn, XCB_COPY_FROM_PARENT, id, root(), int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                          uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        if (flags & Managed) {
            xcb_size_hints_t hints{};
            xcb_icccm_size_hints_set_position(&hints, 1, r.x(), r.y());
            xcb_icccm_size_hints_set_size(&hints, 1, r.width(), r.height());
            xcb_icccm_set_wm_normal_hints(conn, id, &hints);
        }
        if (!(flags & Unmapped))
            map(id);
        sync();
        return id;
    }
    void map(xcb_window_t w) { xcb_map_window(conn, w); sync(); }
    void destroy(xcb_window_t w) { xcb_destroy_window(conn, w); sync(); }
    void move(xcb_window_t w, const QPoint& to)
    {
        const uint32_t values[] = {uint32_t(to.x()), uint32_t(to.y())};
        xcb_configure_window(conn, w, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        sync();
    }
    void resize(xcb_window_t w, const QSize& s)
    {
        const uint32_t values[] = {uint32_t(s.width()), uint32_t(s.height())};
        xcb_configure_window(conn, w, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
        sync();
    }
    // Withdraws a window the way a program does (ICCCM: a synthetic UnmapNotify).
    void withdraw(xcb_window_t w)
    {
        xcb_unmap_window(conn, w);
        xcb_unmap_notify_event_t event{};
        event.response_type = XCB_UNMAP_NOTIFY;
        event.event = root();
        event.window = w;
        sendToRoot(&event);
    }
    bool windowManagerRuns()
    {
        XReply<xcb_get_property_reply_t> check(
            xcb_get_property_reply(
                conn, xcb_get_property(conn, 0, root(), atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
                nullptr),
            &std::free);
        return check && xcb_get_property_value_length(check.get()) == 4;
    }

    // What the screen shows.
    QRgb screenPixel(const QPoint& p)
    {
        XReply<xcb_get_image_reply_t> reply(
            xcb_get_image_reply(conn, xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), int16_t(p.x()),
                                                    int16_t(p.y()), 1, 1, ~0u),
                                nullptr),
            &std::free);
        return reply ? reinterpret_cast<const QRgb*>(xcb_get_image_data(reply.get()))[0] | 0xff000000u : 0;
    }
    // Polls until the screen shows `rgb` at `p`.
    bool shows(const QPoint& p, QRgb rgb, int tolerance = 12)
    {
        return waitUntil([&] { return near(screenPixel(p), rgb, tolerance); });
    }

    // The top-level window that the pointer is over.
    xcb_window_t windowUnderPointer()
    {
        XReply<xcb_query_pointer_reply_t> r(xcb_query_pointer_reply(conn, xcb_query_pointer(conn, root()), nullptr),
                                           &std::free);
        return r ? r->child : xcb_window_t(XCB_WINDOW_NONE);
    }

    xcb_connection_t* conn = nullptr;
    xcb_screen_t* screen = nullptr;

private:
    void sendToRoot(const void* event)
    {
        xcb_send_event(conn, 0, root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       static_cast<const char*>(event));
        sync();
    }
};

// xdotool drives the pointer and keys through XTest, as a user's hand would.
inline bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}
// "mousemove --sync" waits a long time when the pointer is already there.
inline bool movePointer(const QPoint& p)
{
    XConn x;
    XReply<xcb_query_pointer_reply_t> at(xcb_query_pointer_reply(x.conn, xcb_query_pointer(x.conn, x.root()), nullptr),
                                         &std::free);
    if (at && at->root_x == p.x() && at->root_y == p.y())
        return true;
    return xdotool({"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())});
}
inline bool drag(const QPoint& from, const QPoint& to)
{
    const QPoint mid = (from + to) / 2;
    return movePointer(from)
        && xdotool({"mousedown", "1", "mousemove", QString::number(mid.x()), QString::number(mid.y()), "mousemove",
                    QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
}
inline bool click(const QPoint& p) { return movePointer(p) && xdotool({"click", "1"}); }

inline QString pactl(const QStringList& args) { return QString::fromUtf8(run("pactl", args)).trimmed(); }

// A null sink of its own for one scope (its monitor is "<name>.monitor").
class ScopedSink {
public:
    explicit ScopedSink(const QString& name)
        : m_name(name), m_module(pactl({"load-module", "module-null-sink", "sink_name=" + name}))
    {
    }
    ~ScopedSink() { unload(); }
    bool ok() const { return !m_module.isEmpty(); }
    QString monitor() const { return m_name + ".monitor"; }
    const QString& name() const { return m_name; }
    void unload()
    {
        if (!m_module.isEmpty())
            pactl({"unload-module", m_module});
        m_module.clear();
    }

private:
    QString m_name;
    QString m_module;
};

// A sine tone (silence for 0 Hz) played by paplay into a sink until the object ends, at a short
// latency: a null sink with only long-latency clients leaves its monitor silent for seconds.
class Tone {
public:
    Tone(int frequency, double seconds, const QString& sink = QString())
    {
        const QString wav = m_dir.filePath("tone.wav");
        if (!testmedia::makeTone(wav, seconds, frequency))
            return;
        QStringList args{"--latency-msec=20"};
        if (!sink.isEmpty())
            args << "--device=" + sink;
        m_player.start("paplay", args << wav);
        m_started = m_player.waitForStarted(10000);
    }
    ~Tone() { stop(); }
    bool ok() const { return m_started; }
    void stop()
    {
        if (m_player.state() != QProcess::NotRunning) {
            m_player.kill();   // the process's own id
            m_player.waitForFinished(5000);
        }
    }

private:
    QTemporaryDir m_dir;
    QProcess m_player;
    bool m_started = false;
};

} // namespace et
