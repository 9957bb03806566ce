// The device and window model over the real engine, in the test
// environment's X server: the display and its size, a window of another
// process found with its UTF-8 title, frame and visibility, and this
// program's own webcam window told apart from another program's.
//
// Run with "--window TITLE" the executable is that other process: it shows
// one window and obeys commands on its standard input ("geo", "hide",
// "show"); it ends when its input closes.
#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/prctl.h>
#include <unistd.h>

#include "core/DeviceManager.h"
#include "Screencast.h"
#include "core/WindowListManger.h"

namespace {

const char* const kOtherAppName = "OtherRecorder";

// ---- the other process ------------------------------------------------------

int runWindowProcess(int argc, char** argv)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);   // never outlive the test
    QApplication app(argc, argv);
    // Set before the first window: it becomes the class of WM_CLASS.
    QCoreApplication::setApplicationName(kOtherAppName);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argv[2]));
    window.setGeometry(200, 150, 400, 300);
    window.show();

    // Read without buffering of our own beyond `pending`: the notifier only
    // fires for bytes still in the pipe.
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            app.quit();
            return;
        }
        pending.append(buffer, int(n));
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (line == "hide") {
                window.hide();
            } else if (line == "show") {
                window.show();
            } else if (line == "geo") {
                const QRect f = window.frameGeometry();
                std::printf("geo %d %d %d %d\n", f.x(), f.y(), f.width(), f.height());
                std::fflush(stdout);
            }
        }
    });
    // The window id once the window exists on the server.
    QTimer::singleShot(0, [&] {
        std::printf("id %llu\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    });
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);   // a hard limit
    return app.exec();
}

// ---- the test's side --------------------------------------------------------

class OtherWindow
{
public:
    explicit OtherWindow(const QString& title)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(), {"--window", title});
    }
    ~OtherWindow()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // One line of the other process, or empty after the time-out.
    QString readLine(int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine()) {
            if (timer.hasExpired(timeoutMs) || !m_process.waitForReadyRead(200)) {
                if (timer.hasExpired(timeoutMs) || m_process.state() == QProcess::NotRunning)
                    return QString();
            }
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    void send(const char* command)
    {
        m_process.write(command);
        m_process.write("\n");
        m_process.waitForBytesWritten(2000);
    }
    QRect frame()
    {
        send("geo");
        const QStringList f = readLine().split(' ');
        if (f.size() != 5 || f[0] != "geo")
            return QRect();
        return QRect(f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt());
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

QString engineTitle(unsigned int id)
{
    CBasePtr<CWindowListObject> list = scFindWindow(kWindowFilterNormal);
    for (int i = 0; list && i < list->count(); ++i) {
        const WindowInfo info = list->item(i);
        if (info.id == id)
            return QString::fromUtf8(info.title);
    }
    return QString();
}

} // namespace

class TstDeviceE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void displayOfTheServer();
    void windowOfAnotherProcess();
    void ownCameraWindowOnly();
    void soundDevices();
};

void TstDeviceE2E::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
    QVERIFY(initScreencast());
}

void TstDeviceE2E::cleanupTestCase()
{
    WindowListManger::release();
    DeviceManager::release();
    uninitScreencast();
}

void TstDeviceE2E::displayOfTheServer()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    DeviceManager* dm = DeviceManager::instance();
    QVERIFY(dm->getDisplayCount() >= 1);
    QVERIFY(!dm->getDisplayName(0).isEmpty());
    QCOMPARE(dm->getDisplayName(dm->getDisplayCount()), QString());

    // Corner coordinates: the right edge is x + width itself.
    const QRect full = dm->getFullScreenRect(0);
    QCOMPARE(full.topLeft(), screen.topLeft());
    QCOMPARE(full.right(), screen.x() + screen.width());
    QCOMPARE(full.bottom(), screen.y() + screen.height());
    QVERIFY(dm->isFullScreen(full, 0));
    QVERIFY(!dm->isRetinaCurrentDisplay(0));

    dm->setUseDisplay(0);
    QCOMPARE(dm->getSelectedDisplayRect(), QRect(0, 0, screen.width(), screen.height()));
}

void TstDeviceE2E::windowOfAnotherProcess()
{
    const QString title = QString::fromUtf8("Größe — 録画 ✓ %1").arg(QCoreApplication::applicationPid());
    OtherWindow other(title);
    const QString idLine = other.readLine();
    QVERIFY2(idLine.startsWith("id "), qPrintable("no window id: " + idLine));
    const int id = int(idLine.mid(3).toUInt());
    QVERIFY(id != 0);

    WindowListManger* wl = WindowListManger::instance();
    QTRY_VERIFY_WITH_TIMEOUT(wl->getWindowsList().contains(id), 10000);
    QCOMPARE(engineTitle(unsigned(id)), title);

    // The engine's frame is the window with its decoration, as the other
    // process sees its own frame once the window manager has placed it.
    int width = 0, height = 0;
    QRect frame;
    QTRY_VERIFY_WITH_TIMEOUT((frame = other.frame(), wl->getWindowsRect(id, width, height),
                              frame.isValid() && frame.size() == QSize(width, height)
                                  && wl->getWindowQPoint(id) == frame.topLeft()),
                             10000);
    QVERIFY(width >= 400 && height >= 300);

    QVERIFY(wl->chechWindowVisible({id}, true));
    other.send("hide");
    QTRY_VERIFY_WITH_TIMEOUT(!wl->chechWindowVisible({id}, true), 10000);
    QVERIFY(!wl->getWindowsList().contains(id));
    other.send("show");
    QTRY_VERIFY_WITH_TIMEOUT(wl->chechWindowVisible({id}, false), 10000);

    // This process's windows are not in the ordinary list.
    QWidget own;
    own.setWindowTitle("own window");
    own.show();
    QVERIFY(QTest::qWaitForWindowExposed(&own));
    QTest::qWait(200);
    QVERIFY(!wl->getWindowsList().contains(int(own.winId())));
}

void TstDeviceE2E::ownCameraWindowOnly()
{
    WindowListManger* wl = WindowListManger::instance();
    // Another program's window of the same title is not ours.
    OtherWindow other("Webcam Recorder");
    const QString idLine = other.readLine();
    QVERIFY2(idLine.startsWith("id "), qPrintable("no window id: " + idLine));
    const int otherId = int(idLine.mid(3).toUInt());
    QTRY_VERIFY_WITH_TIMEOUT(wl->getWindowsList().contains(otherId), 10000);
    QCOMPARE(wl->getCameraWinId(), 0);

    QWidget camera;
    camera.setWindowTitle("Webcam Recorder");
    camera.resize(320, 240);
    camera.show();
    QVERIFY(QTest::qWaitForWindowExposed(&camera));
    QTRY_COMPARE_WITH_TIMEOUT(wl->getCameraWinId(), int(camera.winId()), 10000);

    camera.hide();
    QTRY_COMPARE_WITH_TIMEOUT(wl->getCameraWinId(), 0, 10000);
}

void TstDeviceE2E::soundDevices()
{
    if (qEnvironmentVariableIntValue("SR_TEST_ENV_NO_PULSE") == 1)
        QSKIP("no sound server in this run");
    DeviceManager* dm = DeviceManager::instance();
    const int inputs = dm->getAudioCaptureDeviceCount();
    QVERIFY2(inputs >= 1, "the null sink's monitor is an input");
    for (int i = 0; i < inputs; ++i) {
        const QString name = dm->getAudioCaptureDeviceInfo(i);
        QVERIFY(!name.isEmpty());
        QVERIFY(!dm->getAudioCaptureUID(name).isEmpty());
    }
    QCOMPARE(dm->getAudioCaptureDeviceInfo(inputs), QString());
    QVERIFY(dm->getAudioRenderDeviceCount() >= 1);
    QVERIFY(dm->getAudioRenderDevUID(0).contains(" - "));

    // The system sound can be recorded from the null sink's monitor, and it
    // is shown under the product's name afterwards.
    QVERIFY(dm->checkVirtualAudioDriver());
    QCOMPARE(QString::fromUtf8(GetVirtualAudioDriverName()), QString("PrelDun Recording Audio Plug-in"));
}

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--window") == 0)
        return runWindowProcess(argc, argv);
    QApplication app(argc, argv);
    TstDeviceE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device_e2e.moc"
