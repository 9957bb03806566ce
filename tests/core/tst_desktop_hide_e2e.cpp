// Hiding other programs' windows and panels while recording, over the real
// X server with openbox: X clients of their own (xlogo) and a panel
// (trayer) go out of sight and come back in their stacking order; a window
// opened meanwhile and this program's own window are never touched; after
// a hiding process is killed, the program's next start brings all back.
#include <QApplication>
#include <QProcess>
#include <QWidget>
#include <QtTest>

#include <csignal>
#include <cstdio>

#include "Screencast.h"
#include "core/DesktopHider.h"
#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestHelpers.h"

using et::XConn;
using et::XReply;

namespace {

const int kWait = 30000;
const char* const kHideAndWait = "--hide-and-wait";

std::vector<uint32_t> longs(XConn& x, xcb_window_t w, const char* property)
{
    XReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(x.conn, xcb_get_property(x.conn, 0, w, x.atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
                               nullptr),
        &std::free);
    if (!r || r->format != 32)
        return {};
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
    return std::vector<uint32_t>(data, data + xcb_get_property_value_length(r.get()) / 4);
}

// The window manager's clients, bottom of the stack first.
QVector<uint32_t> stacking(XConn& x)
{
    QVector<uint32_t> ids;
    for (uint32_t id : longs(x, x.root(), "_NET_CLIENT_LIST_STACKING"))
        ids << id;
    return ids;
}

QByteArray wmName(XConn& x, xcb_window_t w)
{
    XReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(x.conn, xcb_get_property(x.conn, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                               nullptr),
        &std::free);
    return r ? QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())),
                          xcb_get_property_value_length(r.get()))
             : QByteArray();
}

uint32_t clientNamed(XConn& x, const QByteArray& name)
{
    for (uint32_t id : stacking(x)) {
        if (wmName(x, id) == name)
            return id;
    }
    return 0;
}

// Iconified by the window manager (ICCCM WM_STATE IconicState).
bool iconic(XConn& x, xcb_window_t w)
{
    const std::vector<uint32_t> state = longs(x, w, "WM_STATE");
    return !state.empty() && state[0] == 3;
}

bool viewable(XConn& x, xcb_window_t w)
{
    XReply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(x.conn, xcb_get_window_attributes(x.conn, w), nullptr), &std::free);
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool shown(XConn& x, xcb_window_t w) { return viewable(x, w) && !iconic(x, w); }

// Where the ids stand in the stack, bottom first; -1 for one not there.
QVector<int> places(XConn& x, const QVector<uint32_t>& ids)
{
    const QVector<uint32_t> stack = stacking(x);
    QVector<int> at;
    for (uint32_t id : ids)
        at << stack.indexOf(id);
    return at;
}

bool ascending(const QVector<int>& at)
{
    for (int i = 0; i < at.size(); ++i) {
        if (at[i] < 0 || (i > 0 && at[i] <= at[i - 1]))
            return false;
    }
    return true;
}

QByteArray note() { return testsupport::readFile(DesktopHider::notePath()); }

// The program's own name, so that the note lies where the program looks.
void nameAsTheProgram()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ScreenRecorder"));
    QCoreApplication::setApplicationName(QStringLiteral("ScreenRecorder"));
}

} // namespace

class TstDesktopHideE2E : public QObject
{
    Q_OBJECT

private:
    XConn m_x;
    QList<QProcess*> m_clients;
    QProcess* m_panel = nullptr;

    // An X client of its own, managed by the window manager, on top.
    uint32_t openClient(const QByteArray& name, int slot)
    {
        auto* p = new QProcess(this);
        p->start(QStringLiteral("xlogo"), {QStringLiteral("-title"), QString::fromLatin1(name), QStringLiteral("-geometry"),
                                           QStringLiteral("160x120+%1+200").arg(100 + slot * 180)});
        m_clients << p;
        uint32_t id = 0;
        const bool up = et::waitUntil([&] { return (id = clientNamed(m_x, name)) != 0 && shown(m_x, id); }, kWait);
        return up ? id : 0;
    }

    uint32_t panelWindow()
    {
        for (uint32_t id : stacking(m_x)) {
            for (uint32_t type : longs(m_x, id, "_NET_WM_WINDOW_TYPE"))
                if (type == m_x.atom("_NET_WM_WINDOW_TYPE_DOCK"))
                    return id;
        }
        return 0;
    }

    // The program itself, with `settings` added to those that keep its
    // reminders from asking.
    void startProgram(QProcess& program, const QByteArray& settings)
    {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + "/.config");
        QVERIFY(QDir().mkpath(config + "/ScreenRecorder"));
        QVERIFY(testsupport::writeFile(config + "/ScreenRecorder/ScreenRecorder.ini",
                                       "[General]\nHotkeyRemind=true\nCountDown=false\nRemindClose=true\n"
                                           + settings));
        program.start(QStringLiteral(SR_PROGRAM), QStringList());
        QVERIFY(program.waitForStarted());
    }

    static void endProgram(QProcess& program)
    {
        program.terminate();
        if (!program.waitForFinished(kWait)) {
            program.kill();
            program.waitForFinished(kWait);
        }
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); // inside scripts/with-test-env.sh
        QVERIFY(m_x.ok() && m_x.windowManagerRuns());
        QVERIFY(initScreencast());
        m_panel = new QProcess(this);
        m_panel->start(QStringLiteral("trayer"), {"--edge", "bottom", "--heighttype", "pixel", "--height", "32"});
        QVERIFY2(m_panel->waitForStarted(), "trayer is missing: run scripts/install-deps.sh");
        QTRY_VERIFY_WITH_TIMEOUT(panelWindow() != 0 && viewable(m_x, panelWindow()), kWait);
    }

    void cleanupTestCase()
    {
        for (QProcess* p : m_clients + QList<QProcess*>{m_panel}) {
            if (p) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        uninitScreencast();
    }

    void appWindowsComeBackInTheirOrder()
    {
        QWidget own;
        own.setWindowTitle(QStringLiteral("own"));
        own.resize(200, 100);
        own.show();
        QVERIFY(QTest::qWaitForWindowExposed(&own));
        const uint32_t a = openClient("hide-a", 0), b = openClient("hide-b", 1), c = openClient("hide-c", 2);
        QVERIFY(a && b && c);
        // An order unlike the order of opening: a goes on top.
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_x.conn, a, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        m_x.sync();
        QTRY_VERIFY_WITH_TIMEOUT(ascending(places(m_x, {b, c, a})), kWait);

        OSServiceUtils::setHideDesktopIcon(false);
        // Written down bottom first, before anything was hidden.
        QCOMPARE(note(), QByteArray("1 %1\n1 %2\n1 %3\n").replace("%1", QByteArray::number(b))
                             .replace("%2", QByteArray::number(c)).replace("%3", QByteArray::number(a)));
        QTRY_VERIFY_WITH_TIMEOUT(iconic(m_x, a) && iconic(m_x, b) && iconic(m_x, c), kWait);
        QVERIFY(shown(m_x, xcb_window_t(own.winId())));
        QVERIFY(shown(m_x, panelWindow()));   // panels are a setting of their own

        const uint32_t d = openClient("hide-d", 3);   // opened while hidden
        QVERIFY(d);
        OSServiceUtils::setHideDesktopIcon(true);
        QTRY_VERIFY_WITH_TIMEOUT(shown(m_x, a) && shown(m_x, b) && shown(m_x, c), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(ascending(places(m_x, {b, c, a})), kWait);
        QVERIFY(shown(m_x, d));
        QVERIFY(!QFile::exists(DesktopHider::notePath()));

        // Nothing written down: a second restore touches nothing.
        OSServiceUtils::setHideDesktopIcon(true);
        QVERIFY(shown(m_x, d) && ascending(places(m_x, {b, c, a})));
    }

    void panelsHideAndComeBack()
    {
        const uint32_t panel = panelWindow();
        QVERIFY(panel);
        OSServiceUtils::setDockHide(false);
        QVERIFY(!OSServiceUtils::dockIsHide());
        QTRY_VERIFY_WITH_TIMEOUT(!viewable(m_x, panel), kWait);
        QCOMPARE(note(), "2 " + QByteArray::number(panel) + "\n");
        OSServiceUtils::setDockHide(true);
        QVERIFY(OSServiceUtils::dockIsHide());
        QTRY_VERIFY_WITH_TIMEOUT(viewable(m_x, panel) && stacking(m_x).contains(panel), kWait);
        QCOMPARE(m_panel->state(), QProcess::Running);
        QVERIFY(!QFile::exists(DesktopHider::notePath()));
    }

    // A hiding process killed outright leaves its note; the program's next
    // start brings back what it hid.
    void nextStartBringsBackWhatAKilledRunHid()
    {
        const QVector<uint32_t> apps = {clientNamed(m_x, "hide-a"), clientNamed(m_x, "hide-b")};
        const uint32_t panel = panelWindow();
        QVERIFY(apps[0] && apps[1] && panel);

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kHideAndWait)});
        QVERIFY(child.waitForStarted());
        const auto killChild = qScopeGuard([&] {
            child.kill();   // SIGKILL: no chance to bring anything back
            child.waitForFinished(kWait);
        });
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).contains("hidden"), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(iconic(m_x, apps[0]) && iconic(m_x, apps[1]) && !viewable(m_x, panel), kWait);
        child.kill();
        QVERIFY(child.waitForFinished(kWait));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(iconic(m_x, apps[0]) && !viewable(m_x, panel));
        QVERIFY(note().contains("2 " + QByteArray::number(panel)));

        QProcess program;
        startProgram(program, "");
        QTRY_VERIFY_WITH_TIMEOUT(shown(m_x, apps[0]) && shown(m_x, apps[1]) && viewable(m_x, panel), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(DesktopHider::notePath()), kWait);
        endProgram(program);
    }

    // The settings of the Recording page at work: the start hotkey hides,
    // and quitting in the middle of the recording brings all back.
    void recordingHidesAndQuittingBringsBack()
    {
        const QVector<uint32_t> apps = {clientNamed(m_x, "hide-a"), clientNamed(m_x, "hide-b")};
        const uint32_t panel = panelWindow();
        QVERIFY(apps[0] && apps[1] && panel);
        QProcess program;
        startProgram(program, "HideDesktop=true\nHideTaskbar=true\n");
        QTRY_VERIFY_WITH_TIMEOUT(clientNamed(m_x, "Screen Recorder") != 0, kWait);
        QVERIFY(shown(m_x, apps[0]) && viewable(m_x, panel));

        QVERIFY(et::xdotool({"key", "ctrl+shift+F9"}));
        QTRY_VERIFY_WITH_TIMEOUT(iconic(m_x, apps[0]) && iconic(m_x, apps[1]) && !viewable(m_x, panel), kWait);
        endProgram(program);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QTRY_VERIFY_WITH_TIMEOUT(shown(m_x, apps[0]) && shown(m_x, apps[1]) && viewable(m_x, panel), kWait);
        QVERIFY(!QFile::exists(DesktopHider::notePath()));
    }
};

// The child of the crash case: hides windows and panels, says so, and waits
// to be killed.
static int hideAndWait(int argc, char** argv)
{
    QApplication app(argc, argv);
    nameAsTheProgram();
    if (!initScreencast())
        return 1;
    OSServiceUtils::setHideDesktopIcon(false);
    OSServiceUtils::setDockHide(false);
    std::printf("hidden\n");
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], kHideAndWait) == 0)
        return hideAndWait(argc, argv);
    QApplication app(argc, argv);
    nameAsTheProgram();
    TstDesktopHideE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop_hide_e2e.moc"
