// The device and window model over the real engine in the test
// environment's X server: the display, a window of another process with its
// frame, this program's own webcam window told apart from another
// program's, the sound devices, and raising a window above the others
// without unmapping it.
//
// Run with "--window TITLE" the executable is that other process: it shows
// one window, prints its id and ends when its input closes.
#include <QApplication>
#include <QMainWindow>
#include <QtTest>
#include <QScreen>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

#include <sys/prctl.h>
#include <unistd.h>

#include "Screencast.h"
#include "core/DeviceManager.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "core/windowLaval.h"

namespace {

const int kWait = 30000;

int runWindowProcess(int argc, char** argv)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
    QApplication app(argc, argv);
    // Set before the first window: it becomes the class of WM_CLASS.
    QCoreApplication::setApplicationName("OtherRecorder");
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argv[2]));
    window.setGeometry(200, 150, 400, 300);
    window.show();
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    QTimer::singleShot(0, [&] {
        std::printf("id %llu\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    });
    return app.exec();
}

// The other process; the id of its window, 0 when it never came.
class OtherWindow
{
public:
    explicit OtherWindow(const QString& title)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(), {"--window", title});
        QDeadlineTimer deadline(kWait);
        while (!m_process.canReadLine() && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning)
            m_process.waitForReadyRead(200);
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        if (line.startsWith("id "))
            id = int(line.mid(3).toUInt());
    }
    ~OtherWindow()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(kWait))
            m_process.kill();
        m_process.waitForFinished(kWait);
    }
    int id = 0;

private:
    QProcess m_process;
};

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

    void displayOfTheServer()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        DeviceManager* dm = DeviceManager::instance();
        // Corner coordinates: the right edge is x + width itself.
        const QRect full = dm->getFullScreenRect(0);
        QCOMPARE(full, QRect(screen.topLeft(), screen.topLeft() + QPoint(screen.width(), screen.height())));
        QVERIFY(dm->isFullScreen(full, 0));
        dm->setUseDisplay(0);
        QCOMPARE(dm->getSelectedDisplayRect(), QRect(QPoint(0, 0), screen.size()));
    }

    void windowOfAnotherProcessIsNotOurCamera()
    {
        WindowListManger* wl = WindowListManger::instance();
        int id = 0;
        {
            // Another program's window of the camera window's title.
            OtherWindow other("Webcam Recorder");
            id = other.id;
            QVERIFY(id != 0);
            QTRY_VERIFY_WITH_TIMEOUT(wl->getWindowsList().contains(id), kWait);
            // The engine's frame holds the window and its decoration.
            int width = 0, height = 0;
            QTRY_VERIFY_WITH_TIMEOUT((wl->getWindowsRect(id, width, height), width >= 400 && height >= 300), kWait);
            QVERIFY(wl->chechWindowVisible({id}, true));
            QCOMPARE(wl->getCameraWinId(), 0);

            QWidget camera;
            camera.setWindowTitle("Webcam Recorder");
            camera.resize(320, 240);
            camera.show();
            QTRY_COMPARE_WITH_TIMEOUT(wl->getCameraWinId(), int(camera.winId()), kWait);
            // Known to the engine, and still not in the ordinary list.
            QVERIFY(!wl->getWindowsList().contains(int(camera.winId())));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!wl->getWindowsList().contains(id), kWait);
        QCOMPARE(wl->getCameraWinId(), 0);
    }

    void soundDevices()
    {
        if (qEnvironmentVariableIntValue("SR_TEST_ENV_NO_PULSE") == 1)
            QSKIP("no sound server in this run");
        DeviceManager* dm = DeviceManager::instance();
        QVERIFY2(dm->getAudioCaptureDeviceCount() >= 1, "the null sink's monitor is an input");
        QVERIFY(!dm->getAudioCaptureUID(dm->getAudioCaptureDeviceInfo(0)).isEmpty());
        QVERIFY(dm->getAudioRenderDeviceCount() >= 1);
        // The system sound comes from the null sink's monitor, shown under
        // the product's name afterwards.
        QVERIFY(dm->checkVirtualAudioDriver());
        QCOMPARE(QString::fromUtf8(GetVirtualAudioDriverName()), QString("PrelDun Recording Audio Plug-in"));
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

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--window") == 0)
        return runWindowProcess(argc, argv);
    QApplication app(argc, argv);
    TstDeviceE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device_e2e.moc"
