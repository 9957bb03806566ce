// Raising the recording bar's window: the window manager must be told
// (_NET_WM_STATE_ABOVE) while the window stays mapped where it was.
#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "core/Utils.h"
#include "core/windowLaval.h"

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

bool hasState(xcb_connection_t* c, xcb_window_t w, xcb_atom_t state)
{
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64), nullptr);
    bool found = false;
    if (r) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
        for (int i = 0; i < xcb_get_property_value_length(r) / 4; ++i)
            found = found || atoms[i] == state;
        free(r);
    }
    return found;
}

bool isViewable(xcb_connection_t* c, xcb_window_t w)
{
    xcb_get_window_attributes_reply_t* r =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    free(r);
    return viewable;
}

} // namespace

class TstUtilsWindow : public QObject
{
    Q_OBJECT

private:
    xcb_connection_t* m_conn = nullptr;

    void checkRaised(QWidget& w, const std::function<void()>& raise)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const xcb_window_t id = xcb_window_t(w.winId());
        const xcb_atom_t above = atom(m_conn, "_NET_WM_STATE_ABOVE");
        QVERIFY(!hasState(m_conn, id, above));
        raise();
        QTRY_VERIFY_WITH_TIMEOUT(hasState(m_conn, id, above), 5000);
        QCOMPARE(xcb_window_t(w.winId()), id);
        QVERIFY(w.isVisible());
        QVERIFY(isViewable(m_conn, id));
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_conn = xcb_connect(nullptr, nullptr);
        QVERIFY(m_conn && !xcb_connection_has_error(m_conn));
    }

    void cleanupTestCase()
    {
        if (m_conn)
            xcb_disconnect(m_conn);
    }

    void widgetGoesAboveWithoutBeingHidden()
    {
        QWidget w;
        w.resize(200, 100);
        checkRaised(w, [&] { Utils::setTopWindowLevel(&w); });
    }

    void mainWindowGoesAbove()
    {
        QMainWindow w;
        w.resize(300, 200);
        checkRaised(w, [&] { windowLaval().setTopMost(&w); });
    }
};

QTEST_MAIN(TstUtilsWindow)
#include "tst_utils_window.moc"
