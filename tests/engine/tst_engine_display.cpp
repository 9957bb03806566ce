// The real engine against a real X server: start and stop, displays, and
// the window list with frames and visibility. Most cases use the test
// environment's server (one screen, a window manager unless
// SR_TEST_ENV_NO_WM=1); cases that change monitors or need no window
// manager start a private Xvfb, so that tests beside them are not
// disturbed.

#include "EngineTestSupport.h"

#include "Screencast.h"

#include <QtTest>

#include <atomic>
#include <thread>

using et::XConn;

namespace {

const char kTitle[] = "Prüfung ✓ 录制";

QRect rectOf(const CRect& r) { return QRect(int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)); }
QByteArray text(const CRect& r)
{
    return QString::asprintf("%g,%g,%g,%g", r.left, r.top, r.right, r.bottom).toLatin1();
}
bool same(const CRect& a, const CRect& b) { return text(a) == text(b); }

struct Listed {
    bool found = false;
    WindowInfo info{};
    int index = -1;
    int count = 0;
    bool hasRootOrZero = false;
};

Listed find(int filter, xcb_window_t id, xcb_window_t root)
{
    Listed result;
    CBasePtr<CWindowListObject> list = scFindWindow(filter);
    result.count = list ? list->count() : 0;
    for (int i = 0; i < result.count; ++i) {
        const WindowInfo info = list->item(i);
        result.hasRootOrZero |= info.id == 0 || info.id == root;
        if (info.id == id && !result.found) {
            result.found = true;
            result.info = info;
            result.index = i;
        }
    }
    return result;
}

} // namespace

class TstEngineDisplay : public QObject {
    Q_OBJECT

    // An X server resets whenever its last client leaves; this connection
    // keeps the test environment's from doing so where no window manager runs.
    std::unique_ptr<XConn> m_x;
    bool m_windowManager = false;

    bool listed(xcb_window_t w, int filter = kWindowFilterNormal) { return find(filter, w, m_x->root()).found; }

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("DISPLAY"), "run the e2e tests inside scripts/with-test-env.sh");
        m_x.reset(new XConn);
        QVERIFY(m_x->ok());
        m_windowManager = m_x->windowManagerRuns();
    }
    void init() { QCOMPARE(scInitialize(), int(kScInitOk)); }
    void cleanup() { scUninitialize(); }

    // One display as large as the root window; conversions on it keep a
    // rectangle, and a display that does not exist leaves it as it is.
    void oneDisplayAsLargeAsTheScreen()
    {
        const CRect screen{0, 0, double(m_x->screen->width_in_pixels), double(m_x->screen->height_in_pixels)};
        QCOMPARE(GetDisplayCount(), 1);
        const DisplayInfo* info = GetDisplayInfo(0);
        QVERIFY(info && std::strlen(info->name) > 0 && info->primary && info->scale == 1.0);
        QVERIFY2(same(info->frame, screen), text(info->frame));
        QVERIFY(!GetDisplayInfo(1) && !GetDisplayInfo(-1));
        UseDisplay(0);
        QCOMPARE(GetSelectedDisplayWidth(), int(screen.right));
        QCOMPARE(GetSelectedDisplayHeight(), int(screen.bottom));
        const CRect r{10, 20, 110, 220};
        QVERIFY(same(ConvertDisplayRectToScreen(0, r), r) && same(ConvertCurrentScreenRectToDisplay(r), r));
        QVERIFY(same(ConvertDisplayRectToScreen(3, r), r) && same(ConvertDisplayRectToScreen(-1, r), r));
    }
    // A second start is no second connection; stopped, nothing is there
    // and nothing is made; a failed start spoils nothing.
    void startAndStop()
    {
        QCOMPARE(scInitialize(), int(kScInitOk));
        scUninitialize();
        QCOMPARE(GetDisplayCount(), 0);
        QVERIFY(!GetDisplayInfo(0) && !scFindWindow(1));
        QCOMPARE(GetSelectedDisplayWidth(), 0);
        scUninitialize();
        for (const char* display : {static_cast<const char*>(nullptr), ":99999"}) {
            et::ScopedEnv env("DISPLAY", display);
            QCOMPARE(scInitialize(), int(kScInitNoDisplay));
            QCOMPARE(GetDisplayCount(), 0);
            QVERIFY(!scFindWindow(1));
            QVERIFY(GetAVFormatCodecs(kOutputMp4));   // file facts need no display
            scUninitialize();
        }
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
        QVERIFY(scFindWindow(1));
    }
    // Start, stop and queries from several threads at once neither crash
    // nor give a half-built answer.
    void startStopAndQueriesFromManyThreads()
    {
        std::atomic<int> bad{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t)
            threads.emplace_back([&bad, t] {
                for (int i = 0; i < 40; ++i) {
                    if (t % 3 == 0) {
                        bad += scInitialize() == kScInitOk ? 0 : 1;
                        if (i % 4 == 3)
                            scUninitialize();
                    } else {
                        const int n = GetDisplayCount();
                        const DisplayInfo* d = GetDisplayInfo(0);
                        bad += (n == 0 || n == 1) && (!d || (d->frame.right > d->frame.left && d->scale == 1.0)) ? 0 : 1;
                    }
                }
            });
        for (auto& thread : threads)
            thread.join();
        QCOMPARE(bad.load(), 0);
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 1);
    }
    // The primary monitor is display 0 wherever it lies, rectangles move by
    // its origin, and the list follows monitor changes without a restart.
    void twoDisplaysOnAPrivateServer()
    {
        scUninitialize();
        et::PrivateDisplay display("1600x600x24");
        QVERIFY2(display.ok(), "cannot start a private Xvfb");
        QVERIFY(display.addMonitor("LEFT-1", QRect(0, 0, 800, 600), false, true));
        QVERIFY(display.addMonitor("RIGHT-1", QRect(800, 0, 800, 600), true));
        QCOMPARE(scInitialize(), int(kScInitOk));
        QCOMPARE(GetDisplayCount(), 2);
        QCOMPARE(QByteArray(GetDisplayInfo(0)->name), QByteArray("RIGHT-1"));
        QVERIFY(GetDisplayInfo(0)->primary && !GetDisplayInfo(1)->primary);
        QVERIFY2(same(GetDisplayInfo(0)->frame, CRect{800, 0, 1600, 600}), text(GetDisplayInfo(0)->frame));
        QVERIFY2(same(GetDisplayInfo(1)->frame, CRect{0, 0, 800, 600}), text(GetDisplayInfo(1)->frame));
        const CRect r{10, 20, 110, 220}, moved{810, 20, 910, 220};
        QVERIFY(same(ConvertDisplayRectToScreen(0, r), moved) && same(ConvertDisplayRectToScreen(1, r), r));
        UseDisplay(0);
        QCOMPARE(GetSelectedDisplayWidth(), 800);
        QVERIFY(same(ConvertCurrentScreenRectToDisplay(moved), r));

        // The primary one goes: the other becomes display 0 and the main one,
        // and a selection of display 1 falls back to it.
        UseDisplay(1);
        QVERIFY(display.deleteMonitor("RIGHT-1"));
        QCOMPARE(GetDisplayCount(), 1);
        QCOMPARE(QByteArray(GetDisplayInfo(0)->name), QByteArray("LEFT-1"));
        QVERIFY(GetDisplayInfo(0)->primary);
        QVERIFY(same(ConvertCurrentScreenRectToDisplay(r), r));
        UseDisplay(0);
        scUninitialize();
    }
    // Another program's window with a UTF-8 title: listed on top with its
    // title, owner and frame, visible, and gone in every sense once destroyed;
    // 0, the root and ids that never existed are no windows.
    void windowOfAnotherProgram()
    {
        const xcb_window_t w = m_x->window(QRect(200, 150, 320, 240), qRgb(255, 255, 255), XConn::Managed | XConn::Unmapped);
        m_x->setTitle(w, kTitle);
        m_x->setText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, "fallback title");
        m_x->setText(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, std::string("srprobe\0SrProbe\0", 16));
        m_x->map(w);
        QVERIFY(et::waitUntil([&] { return listed(w); }));
        // The window manager may still be busy decorating it.
        if (m_windowManager)
            QVERIFY(et::waitUntil([&] { return rectOf(GetWindowRect(w)).width() > 320; }));
        const Listed l = find(kWindowFilterNormal, w, m_x->root());
        QVERIFY(!l.hasRootOrZero);
        QCOMPARE(QString::fromUtf8(l.info.title), QString::fromUtf8(kTitle));
        QCOMPARE(QByteArray(l.info.owner), QByteArray("SrProbe"));
        QCOMPARE(l.index, 0);
        // The frame holds the window where the test put it, plus a decoration of sane size.
        const QRect frame = rectOf(GetWindowRect(w));
        QVERIFY2(frame.contains(QRect(200, 150, 320, 240)) && frame.width() <= 384 && frame.height() <= 336,
                 text(GetWindowRect(w)));
        QCOMPARE(QSize(l.info.width, l.info.height), frame.size());
        QVERIFY(IsWindowVisible(w) && listed(w, kWindowFilterOwn) && listed(w, kWindowFilterSingle));

        m_x->destroy(w);
        QVERIFY(et::waitUntil([&] { return !listed(w); }));
        QVERIFY(!IsWindowVisible(w));
        for (xcb_window_t none : {w, xcb_window_t(0), m_x->root(), xcb_window_t(0x7fffff0)})
            QVERIFY(rectOf(GetWindowRect(none)).isNull() && !IsWindowVisible(none));
        QVERIFY(!find(kWindowFilterOwn, 0, m_x->root()).hasRootOrZero);
        QCOMPARE(GetDisplayCount(), 1);   // the engine's connection survived the errors
    }
    void unmappedAndMinimisedWindowsAreNotVisible()
    {
        const xcb_window_t a = m_x->window(QRect(100, 100, 200, 100), 0, XConn::Managed | XConn::Unmapped);
        const xcb_window_t b = m_x->window(QRect(400, 100, 200, 100), 0, XConn::Managed | XConn::Unmapped);
        m_x->setTitle(a, "to unmap");
        m_x->setTitle(b, "to minimise");
        m_x->map(a);
        m_x->map(b);
        QVERIFY(et::waitUntil([&] { return IsWindowVisible(a) && listed(b); }));
        m_x->withdraw(a);
        QVERIFY(et::waitUntil([&] { return !IsWindowVisible(a) && !listed(a); }));
        QVERIFY(!rectOf(GetWindowRect(a)).isNull());   // still there
        if (m_windowManager) {   // nobody else minimises
            m_x->iconify(b);
            QVERIFY(et::waitUntil([&] { return !IsWindowVisible(b); }));
            QVERIFY(!listed(b) && !rectOf(GetWindowRect(b)).isNull());
        }
        m_x->destroy(a);
        m_x->destroy(b);
    }
    // Titles in older encodings come out as UTF-8, an over-long one is cut
    // on a character boundary; docks and windows with nothing to show them
    // by are left out; this process's windows only come when asked for.
    void titlesAndKinds()
    {
        std::vector<xcb_window_t> made;
        auto make = [&](const QRect& r) {
            made.push_back(m_x->window(r, 0, XConn::Managed | XConn::Unmapped));
            return made.back();
        };
        const xcb_window_t latin1 = make(QRect(10, 10, 100, 80));
        m_x->setText(latin1, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, "Gr\xFC\xDF" "e");
        const xcb_window_t compound = make(QRect(120, 10, 100, 80));
        m_x->setText(compound, XCB_ATOM_WM_NAME, m_x->atom("COMPOUND_TEXT"), "Caf\xE9 \x1b%G\xE2\x9C\x93\x1b%@");
        const xcb_window_t invalid = make(QRect(230, 10, 100, 80));
        m_x->setTitle(invalid, "bad \xFF\xC3 end");
        const xcb_window_t longTitle = make(QRect(340, 10, 100, 80));
        std::string many;
        for (int i = 0; i < 300; ++i)
            many += "录";
        m_x->setTitle(longTitle, many);
        const xcb_window_t dock = make(QRect(0, 1000, 1920, 40));
        m_x->setTitle(dock, "a panel");
        const xcb_atom_t dockType = m_x->atom("_NET_WM_WINDOW_TYPE_DOCK");
        m_x->setProperty(dock, m_x->atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, &dockType, 1);
        const xcb_window_t nameless = make(QRect(450, 10, 100, 80));
        const xcb_window_t ownerOnly = make(QRect(560, 10, 100, 80));
        m_x->setText(ownerOnly, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, std::string("tool\0UntitledTool\0", 18));
        const xcb_window_t own = make(QRect(600, 300, 320, 240));
        m_x->setTitle(own, "Webcam Recorder");
        const uint32_t pid = uint32_t(getpid());
        m_x->setProperty(own, m_x->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        m_x->setText(own, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, host);
        for (xcb_window_t w : made)
            m_x->map(w);
        QVERIFY(et::waitUntil([&] { return listed(ownerOnly) && IsWindowVisible(nameless) && IsWindowVisible(dock); }));

        auto title = [&](xcb_window_t w) { return QString::fromUtf8(find(kWindowFilterNormal, w, m_x->root()).info.title); };
        QCOMPARE(title(latin1), QString::fromUtf8("Grüße"));
        QCOMPARE(title(compound), QString::fromUtf8("Café ✓"));
        QCOMPARE(title(invalid), QString::fromUtf8("bad \xEF\xBF\xBD\xEF\xBF\xBD end"));
        const QByteArray cut = find(kWindowFilterNormal, longTitle, m_x->root()).info.title;
        QCOMPARE(cut, QByteArray(many.data(), 85 * 3));
        QVERIFY(!listed(dock) && !listed(nameless));
        QCOMPARE(title(ownerOnly), QString());
        QCOMPARE(QByteArray(find(kWindowFilterNormal, ownerOnly, m_x->root()).info.owner), QByteArray("UntitledTool"));
        // Without WM_CLASS the owner is the process's name.
        QVERIFY(et::waitUntil([&] { return listed(own, kWindowFilterOwn); }));
        QVERIFY(!listed(own) && !listed(own, kWindowFilterSingle));
        QFile comm("/proc/self/comm");
        QVERIFY(comm.open(QIODevice::ReadOnly));
        QCOMPARE(QByteArray(find(kWindowFilterOwn, own, m_x->root()).info.owner), comm.readAll().trimmed());
        for (xcb_window_t w : made)
            m_x->destroy(w);
    }
    // Without a window manager the root's mapped children are the list, in
    // stacking order; frames are exactly the windows; override-redirect and
    // unmapped windows are left out; a check window left behind by a window
    // manager that died does not count as a running one.
    void withoutWindowManager()
    {
        scUninitialize();
        et::PrivateDisplay display("1024x768x24");
        QVERIFY2(display.ok(), "cannot start a private Xvfb");
        XConn& x = *display.x;
        const xcb_window_t below = x.window(QRect(50, 60, 300, 200), 0, XConn::Managed | XConn::Unmapped);
        const xcb_window_t w = x.window(QRect(100, 120, 400, 300), 0, XConn::Managed | XConn::Unmapped);
        const xcb_window_t popup = x.window(QRect(10, 10, 50, 50), 0, XConn::Unmapped);
        const xcb_window_t hidden = x.window(QRect(10, 10, 50, 50), 0, XConn::Managed | XConn::Unmapped);
        for (xcb_window_t id : {below, w, popup, hidden})
            x.setTitle(id, id == w ? kTitle : "other");
        for (xcb_window_t id : {below, w, popup})
            x.map(id);
        const uint32_t stale = w + 1000;
        x.setProperty(x.root(), x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 32, &stale, 1);
        x.sync();

        QCOMPARE(scInitialize(), int(kScInitOk));
        const Listed l = find(kWindowFilterNormal, w, x.root());
        QVERIFY(l.found && !l.hasRootOrZero);
        QCOMPARE(QString::fromUtf8(l.info.title), QString::fromUtf8(kTitle));
        QCOMPARE(l.index, 0);
        QCOMPARE(l.count, 2);
        QCOMPARE(find(kWindowFilterNormal, below, x.root()).index, 1);
        QCOMPARE(QSize(l.info.width, l.info.height), QSize(400, 300));
        QCOMPARE(rectOf(GetWindowRect(w)), QRect(100, 120, 400, 300));
        QVERIFY(IsWindowVisible(w) && !IsWindowVisible(hidden));
        QVERIFY(!find(kWindowFilterNormal, popup, x.root()).found && !find(kWindowFilterNormal, hidden, x.root()).found);
        x.withdraw(w);
        QVERIFY(!IsWindowVisible(w) && !find(kWindowFilterNormal, w, x.root()).found);
        x.destroy(w);
        QVERIFY(rectOf(GetWindowRect(w)).isNull());
        QCOMPARE(find(kWindowFilterNormal, below, x.root()).count, 1);
        scUninitialize();
    }
};

QTEST_GUILESS_MAIN(TstEngineDisplay)
#include "tst_engine_display.moc"
