// Raising a window above the others over the real X server: the window
// manager is told, and the window stays mapped under the same id.
#include <QApplication>
#include <QMainWindow>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstring>
#include <functional>

#include "Screencast.h"
#include "core/DeviceManager.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "core/windowLaval.h"

namespace {

const int kWait = 30000;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

bool isAboveAndViewable(xcb_connection_t* c, xcb_window_t w)
{
    bool above = false;
    const xcb_atom_t state = atom(c, "_NET_WM_STATE_ABOVE");
    if (xcb_get_property_reply_t* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64), nullptr)) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
        for (int i = 0; i < xcb_get_property_value_length(r) / 4; ++i)
            above = above || atoms[i] == state;
        free(r);
    }
    xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    free(a);
    return above && viewable;
}

} // namespace

class TstDeviceE2E : public QObject
{
    Q_OBJECT

private:
    // The window manager must be told (_NET_WM_STATE_ABOVE) while the
    // window stays mapped under the same id.
    void checkRaised(QWidget& w, const std::function<void()>& raise)
    {
        xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
        QVERIFY(conn && !xcb_connection_has_error(conn));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const xcb_window_t id = xcb_window_t(w.winId());
        QVERIFY(!isAboveAndViewable(conn, id));
        raise();
        QTRY_VERIFY_WITH_TIMEOUT(isAboveAndViewable(conn, id), kWait);
        QCOMPARE(xcb_window_t(w.winId()), id);
        xcb_disconnect(conn);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); // inside scripts/with-test-env.sh
        QVERIFY(initScreencast());
    }

    void cleanupTestCase()
    {
        WindowListManger::release();
        DeviceManager::release();
        uninitScreencast();
    }

    void windowsGoAboveWithoutBeingHidden()
    {
        QWidget w;
        w.resize(200, 100);
        checkRaised(w, [&] { Utils::setTopWindowLevel(&w); });
        QMainWindow main;
        main.resize(300, 200);
        checkRaised(main, [&] { windowLaval().setTopMost(&main); });
    }
};

QTEST_MAIN(TstDeviceE2E)

#include "tst_device_e2e.moc"
