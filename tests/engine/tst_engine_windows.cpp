// The real engine's window list, frames and visibility against a real X
// server: the test environment's (with a window manager) and a private
// Xvfb without one.

#include "EngineTestSupport.h"

#include "Screencast.h"

#include <QtTest>

#include <unistd.h>

using namespace enginetest;

namespace {

const char kTitle[] = "Prüfung ✓ 录制";

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
    if (!list)
        return result;
    result.count = list->count();
    for (int i = 0; i < result.count; ++i) {
        const WindowInfo info = list->item(i);
        if (info.id == 0 || info.id == root)
            result.hasRootOrZero = true;
        if (info.id == id && !result.found) {
            result.found = true;
            result.info = info;
            result.index = i;
        }
    }
    return result;
}

bool isZero(const CRect& r) { return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0; }

QByteArray text(const CRect& r)
{
    return QByteArray::number(r.left) + "," + QByteArray::number(r.top) + "," + QByteArray::number(r.right) + ","
           + QByteArray::number(r.bottom);
}

} // namespace

class TstEngineWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<XConnection> m_x;
    bool m_windowManager = false;   // SR_TEST_ENV_NO_WM=1 runs none

private slots:
    void initTestCase()
    {
        QVERIFY2(std::getenv("DISPLAY"), "DISPLAY is not set: run the e2e tests inside scripts/with-test-env.sh");
        m_x.reset(new XConnection(nullptr));
        QVERIFY(m_x->ok());
        std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> check(
            xcb_get_property_reply(m_x->conn,
                                   xcb_get_property(m_x->conn, 0, m_x->screen->root,
                                                    m_x->atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
                                   nullptr),
            &free);
        m_windowManager = check && xcb_get_property_value_length(check.get()) == 4;
    }

    void init() { QCOMPARE(scInitialize(), int(kScInitOk)); }
    void cleanup() { scUninitialize(); }

    // A window of another program with a UTF-8 title: listed with its
    // title, owner and frame, visible, and gone in every sense once it is
    // destroyed.
    void windowOfAnotherProgram()
    {
        const xcb_window_t root = m_x->screen->root;
        TestWindow w(*m_x, 200, 150, 320, 240);
        w.setUtf8Title(kTitle);
        w.setLegacyTitle("fallback title");
        w.setClass("srprobe", "SrProbe");
        w.map();

        QTRY_VERIFY_WITH_TIMEOUT(find(kWindowFilterNormal, w.id, root).found, 10000);
        // The window manager may still be busy decorating it.
        if (m_windowManager)
            QTRY_VERIFY_WITH_TIMEOUT(GetWindowRect(w.id).right - GetWindowRect(w.id).left > 320, 10000);
        const Listed listed = find(kWindowFilterNormal, w.id, root);
        QVERIFY(!listed.hasRootOrZero);
        QCOMPARE(QString::fromUtf8(listed.info.title), QString::fromUtf8(kTitle));
        QCOMPARE(QByteArray(listed.info.owner), QByteArray("SrProbe"));
        // The newest window is on top.
        QCOMPARE(listed.index, 0);

        // The frame holds the window as the test placed it, plus a
        // decoration of sane size; the trailing ints are the frame's size.
        const CRect frame = GetWindowRect(w.id);
        QVERIFY2(frame.left <= 200 && frame.top <= 150 && frame.right >= 520 && frame.bottom >= 390, text(frame));
        QVERIFY2(frame.right - frame.left <= 320 + 64 && frame.bottom - frame.top <= 240 + 96, text(frame));
        QVERIFY2(frame.left >= 200 - 64 && frame.top >= 150 - 96, text(frame));
        QCOMPARE(listed.info.width, int(frame.right - frame.left));
        QCOMPARE(listed.info.height, int(frame.bottom - frame.top));
        QVERIFY(IsWindowVisible(w.id));

        // Also listed in the list that includes this program's windows.
        QVERIFY(find(kWindowFilterOwn, w.id, root).found);
        QVERIFY(find(kWindowFilterSingle, w.id, root).found);

        const xcb_window_t id = w.id;
        w.destroy();
        QTRY_VERIFY_WITH_TIMEOUT(!find(kWindowFilterNormal, id, root).found, 10000);
        QVERIFY(!IsWindowVisible(id));
        QVERIFY2(isZero(GetWindowRect(id)), text(GetWindowRect(id)));
        // The engine's connection survived the errors.
        QCOMPARE(GetDisplayCount(), 1);
        QVERIFY(scFindWindow(kWindowFilterNormal));
    }

    // 0 and the root window are no windows of the list.
    void zeroAndRootAreNoWindows()
    {
        const xcb_window_t root = m_x->screen->root;
        QVERIFY(isZero(GetWindowRect(0)));
        QVERIFY(!IsWindowVisible(0));
        QVERIFY(isZero(GetWindowRect(root)));
        QVERIFY(!IsWindowVisible(root));
        QVERIFY(!find(kWindowFilterNormal, root, root).hasRootOrZero);
        QVERIFY(!find(kWindowFilterOwn, root, root).hasRootOrZero);
        // An id that never existed.
        QVERIFY(isZero(GetWindowRect(0x7fffff0)));
        QVERIFY(!IsWindowVisible(0x7fffff0));
    }

    void unmappedAndMinimisedWindowsAreNotVisible()
    {
        const xcb_window_t root = m_x->screen->root;
        TestWindow a(*m_x, 100, 100, 200, 100);
        a.setUtf8Title("to unmap");
        a.map();
        TestWindow b(*m_x, 400, 100, 200, 100);
        b.setUtf8Title("to minimise");
        b.map();
        QTRY_VERIFY_WITH_TIMEOUT(IsWindowVisible(a.id) && IsWindowVisible(b.id), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(find(kWindowFilterNormal, b.id, root).found, 10000);

        a.unmap();
        QTRY_VERIFY_WITH_TIMEOUT(!IsWindowVisible(a.id), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!find(kWindowFilterNormal, a.id, root).found, 10000);
        // Still there, so it still has a frame.
        QVERIFY(!isZero(GetWindowRect(a.id)));

        if (!m_windowManager)
            return;     // nobody to minimise it
        b.iconify();
        QTRY_VERIFY_WITH_TIMEOUT(!IsWindowVisible(b.id), 10000);
        QVERIFY(!find(kWindowFilterNormal, b.id, root).found);
        // Minimised, not gone.
        QVERIFY(!isZero(GetWindowRect(b.id)));
    }

    // Titles in the older encodings come out as UTF-8; an over-long title
    // is cut on a character boundary; the desktop's own windows and
    // windows with nothing to show them by are left out.
    void titlesAndKinds()
    {
        const xcb_window_t root = m_x->screen->root;
        TestWindow latin1(*m_x, 10, 10, 100, 80);
        latin1.setLegacyTitle("Gr\xFC\xDF" "e");          // ISO 8859-1
        latin1.map();
        TestWindow compound(*m_x, 120, 10, 100, 80);
        compound.setLegacyTitle("Caf\xE9 \x1b%G\xE2\x9C\x93\x1b%@", m_x->atom("COMPOUND_TEXT"));
        compound.map();
        TestWindow invalid(*m_x, 230, 10, 100, 80);
        invalid.setUtf8Title("bad \xFF\xC3 end");
        invalid.map();
        TestWindow longTitle(*m_x, 340, 10, 100, 80);
        std::string many;
        for (int i = 0; i < 300; ++i)
            many += "录";
        longTitle.setUtf8Title(many);
        longTitle.map();
        TestWindow dock(*m_x, 0, 1000, 1920, 40);
        dock.setUtf8Title("a panel");
        dock.setType("_NET_WM_WINDOW_TYPE_DOCK");
        dock.map();
        TestWindow nameless(*m_x, 450, 10, 100, 80);
        nameless.map();
        TestWindow ownerOnly(*m_x, 560, 10, 100, 80);
        ownerOnly.setClass("tool", "UntitledTool");
        ownerOnly.map();

        QTRY_VERIFY_WITH_TIMEOUT(find(kWindowFilterNormal, ownerOnly.id, root).found, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(IsWindowVisible(nameless.id) && IsWindowVisible(dock.id), 10000);

        QCOMPARE(QString::fromUtf8(find(kWindowFilterNormal, latin1.id, root).info.title),
                 QString::fromUtf8("Grüße"));
        QCOMPARE(QString::fromUtf8(find(kWindowFilterNormal, compound.id, root).info.title),
                 QString::fromUtf8("Café ✓"));
        QCOMPARE(QString::fromUtf8(find(kWindowFilterNormal, invalid.id, root).info.title),
                 QString::fromUtf8("bad \xEF\xBF\xBD\xEF\xBF\xBD end"));
        const QByteArray cut = find(kWindowFilterNormal, longTitle.id, root).info.title;
        QCOMPARE(cut.size(), 85 * 3);
        QVERIFY(cut.startsWith("录录"));
        QVERIFY(QString::fromUtf8(cut).toUtf8() == cut);

        QVERIFY(!find(kWindowFilterNormal, dock.id, root).found);
        QVERIFY(!find(kWindowFilterNormal, nameless.id, root).found);
        const Listed owner = find(kWindowFilterNormal, ownerOnly.id, root);
        QCOMPARE(QByteArray(owner.info.title), QByteArray());
        QCOMPARE(QByteArray(owner.info.owner), QByteArray("UntitledTool"));
    }

    // This process's windows (by _NET_WM_PID) only come in the list that
    // asks for them; without WM_CLASS the owner is the process name.
    void ownWindowsOnlyWhenAskedFor()
    {
        const xcb_window_t root = m_x->screen->root;
        TestWindow webcam(*m_x, 600, 300, 320, 240);
        webcam.setUtf8Title("Webcam Recorder");
        webcam.setPid(uint32_t(getpid()));
        webcam.map();
        QTRY_VERIFY_WITH_TIMEOUT(find(kWindowFilterOwn, webcam.id, root).found, 10000);
        QVERIFY(!find(kWindowFilterNormal, webcam.id, root).found);
        QVERIFY(!find(kWindowFilterSingle, webcam.id, root).found);

        QFile comm("/proc/self/comm");
        QVERIFY(comm.open(QIODevice::ReadOnly));
        const QByteArray self = comm.readAll().trimmed();
        QCOMPARE(QByteArray(find(kWindowFilterOwn, webcam.id, root).info.owner), self);
        QVERIFY(IsWindowVisible(webcam.id));
    }

    // Without a window manager the root's mapped children are the list;
    // frames are exactly the windows; override-redirect and unmapped
    // windows are left out; a check window left behind by a window
    // manager that died does not count as a running one.
    void withoutWindowManager()
    {
        scUninitialize();
        PrivateDisplay display("1024x768x24");
        QVERIFY2(display.ok(), "cannot start a private Xvfb");
        XConnection& x = display.x;
        const xcb_window_t root = x.screen->root;

        TestWindow below(x, 50, 60, 300, 200);
        below.setUtf8Title("below");
        below.map();
        TestWindow w(x, 100, 120, 400, 300);
        w.setUtf8Title(kTitle);
        w.map();
        TestWindow popup(x, 10, 10, 50, 50, true);
        popup.setUtf8Title("popup");
        popup.map();
        TestWindow hidden(x, 10, 10, 50, 50);
        hidden.setUtf8Title("never mapped");
        // A stale check window: the id of a window that is gone.
        const uint32_t stale = w.id + 1000;
        x.setProperty(root, x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 32, &stale, 1);
        x.sync();

        QCOMPARE(scInitialize(), int(kScInitOk));
        const Listed listed = find(kWindowFilterNormal, w.id, root);
        QVERIFY(listed.found);
        QVERIFY(!listed.hasRootOrZero);
        QCOMPARE(QString::fromUtf8(listed.info.title), QString::fromUtf8(kTitle));
        QCOMPARE(listed.index, 0);
        QCOMPARE(find(kWindowFilterNormal, below.id, root).index, 1);
        QCOMPARE(listed.count, 2);
        QCOMPARE(listed.info.width, 400);
        QCOMPARE(listed.info.height, 300);
        const CRect frame = GetWindowRect(w.id);
        QVERIFY2(frame.left == 100 && frame.top == 120 && frame.right == 500 && frame.bottom == 420, text(frame));
        QVERIFY(IsWindowVisible(w.id));
        QVERIFY(!IsWindowVisible(hidden.id));
        QVERIFY(!find(kWindowFilterNormal, popup.id, root).found);
        QVERIFY(!find(kWindowFilterNormal, hidden.id, root).found);

        w.unmap();
        QVERIFY(!IsWindowVisible(w.id));
        QVERIFY(!find(kWindowFilterNormal, w.id, root).found);
        const xcb_window_t id = w.id;
        w.destroy();
        QVERIFY(isZero(GetWindowRect(id)));
        QCOMPARE(find(kWindowFilterNormal, below.id, root).count, 1);
        scUninitialize();
    }

};

QTEST_GUILESS_MAIN(TstEngineWindows)
#include "tst_engine_windows.moc"
