// The real engine on the test X server (a window manager unless
// SR_TEST_ENV_NO_WM=1): start and stop, the display, the window list, and
// the engine parts' own connections.

#include "EngineTestSupport.h"

#include "Screencast.h"
#include "core/XConnection.h"

#include <QtTest>

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
    bool hasRootOrZero = false;
};

Listed find(int filter, xcb_window_t id, xcb_window_t root)
{
    Listed result;
    CBasePtr<CWindowListObject> list = scFindWindow(filter);
    for (int i = 0; list && i < list->count(); ++i) {
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
    // A part's own connection: to $DISPLAY's screen, or nothing left open with the reason
    // (no server, no such screen); moved, it has one owner.
    void connectionsOfItsOwn_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("failure");
        const QString server = QString::fromLocal8Bit(std::getenv("DISPLAY")).section('.', 0, 0);
        QTest::newRow("$DISPLAY") << QString() << int(sc::XConnection::Failure::None);
        QTest::newRow("its screen") << server + ".0" << int(sc::XConnection::Failure::None);
        QTest::newRow("no such screen") << server + ".7" << int(sc::XConnection::Failure::NoScreen);
        QTest::newRow("no server") << ":99999" << int(sc::XConnection::Failure::NoServer);
    }
    void connectionsOfItsOwn()
    {
        QFETCH(QString, display);
        QFETCH(int, failure);
        sc::XConnection x(display.toStdString());
        QCOMPARE(int(x.failure()), failure);
        if (failure != int(sc::XConnection::Failure::None)) {
            QVERIFY(!x.ok() && !x.conn() && !x.screen());
            return;
        }
        QVERIFY(x.ok());
        QCOMPARE(x.root(), m_x->root());
        sc::XConnection moved(std::move(x));
        QVERIFY(moved.ok() && !x.conn());
        QCOMPARE(moved.root(), m_x->root());
        moved.close();
        QVERIFY(!moved.ok());
    }
    // Another program's UTF-8 titled window: listed on top with title, owner and frame, gone
    // once destroyed; 0, the root and ids that never existed are no windows.
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
    // This process's windows only come when asked for, their owner the
    // process's name.
    void ownWindowOnlyWhenAskedFor()
    {
        const xcb_window_t own = m_x->window(QRect(600, 300, 320, 240), 0, XConn::Managed | XConn::Unmapped);
        m_x->setTitle(own, "Webcam Recorder");
        const uint32_t pid = uint32_t(getpid());
        m_x->setProperty(own, m_x->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        m_x->setText(own, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, host);
        m_x->map(own);
        QVERIFY(et::waitUntil([&] { return listed(own, kWindowFilterOwn); }));
        QVERIFY(!listed(own) && !listed(own, kWindowFilterSingle));
        QFile comm("/proc/self/comm");
        QVERIFY(comm.open(QIODevice::ReadOnly));
        QCOMPARE(QByteArray(find(kWindowFilterOwn, own, m_x->root()).info.owner), comm.readAll().trimmed());
        m_x->destroy(own);
    }
};

QTEST_GUILESS_MAIN(TstEngineDisplay)
#include "tst_engine_display.moc"
