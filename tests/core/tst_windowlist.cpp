// The window model over the engine double: ids in list order, the engine's
// sizes and positions, visibility, and finding this program's own webcam
// window among windows of the same title.
#include <QFileInfo>
#include <QtTest>

#include "tests/support/FakeScreencast.h"
#include "core/WindowListManger.h"

namespace {

FakeScreencast::Window window(unsigned int id, const QString& title, const QString& owner,
                              bool visible = true, CRect frame = CRect{}, int width = 0, int height = 0)
{
    FakeScreencast::Window w;
    w.id = id;
    w.title = title;
    w.owner = owner;
    w.visible = visible;
    w.frame = frame;
    w.width = width;
    w.height = height;
    return w;
}

QString ownName()
{
    return QCoreApplication::applicationName();
}

} // namespace

class TstWindowList : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowsListInOrderAndReleased();
    void windowsRectAndPoint();
    void visibility();
    void cameraWindowExactTitle();
    void cameraWindowOwnProcessOnly();
    void emptyEngine();
};

void TstWindowList::init()
{
    FakeScreencast::reset();
}

void TstWindowList::cleanup()
{
    WindowListManger::release();
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

void TstWindowList::windowsListInOrderAndReleased()
{
    FakeScreencast::setWindows({window(0x2a00007, "Editor", "gedit"), window(0x1c00003, "Terminal", "xterm"),
                                window(0xE0000001u, QString::fromUtf8("Größe — 録画"), "big")});
    WindowListManger* wl = WindowListManger::instance();
    QCOMPARE(wl->getWindowsList(), (QList<int>{0x2a00007, 0x1c00003, int(0xE0000001u)}));
    QCOMPARE(FakeScreencast::callsOf("scFindWindow"), QStringList{"scFindWindow(1)"});
    // Every query takes a fresh list and lets the previous one go.
    wl->getWindowsList();
    wl->getCameraWinId();
    QCOMPARE(FakeScreencast::callsOf("scFindWindow"),
             (QStringList{"scFindWindow(1)", "scFindWindow(1)", "scFindWindow(4)"}));
    QCOMPARE(FakeScreencast::liveObjectCount(), 1);
    WindowListManger::release();
    QCOMPARE(FakeScreencast::liveObjectCount(), 0);
}

void TstWindowList::windowsRectAndPoint()
{
    FakeScreencast::setWindows({window(11, "A", "a", true, CRect{100.9, 50.2, 900, 650}, 800, 600),
                                window(12, "B", "b", true, CRect{-300.7, -20.5, 10, 10}, 311, 31)});
    WindowListManger* wl = WindowListManger::instance();
    int a = -1, b = -1;
    wl->getWindowsRect(12, a, b);
    QCOMPARE(a, 311);
    QCOMPARE(b, 31);
    wl->getWindowsRect(11, a, b);
    QCOMPARE(a, 800);
    QCOMPARE(b, 600);
    wl->getWindowsRect(99, a, b);   // unknown: zeros, not the last values
    QCOMPARE(a, 0);
    QCOMPARE(b, 0);

    QCOMPARE(wl->getWindowQPoint(11), QPoint(100, 50));
    QCOMPARE(wl->getWindowQPoint(12), QPoint(-300, -20));   // truncated towards zero
    QCOMPARE(wl->getWindowQPoint(99), QPoint(0, 0));
}

void TstWindowList::visibility()
{
    FakeScreencast::setWindows({window(1, "hidden", "a", false), window(2, "shown", "b", true)});
    WindowListManger* wl = WindowListManger::instance();
    QVERIFY(!wl->chechWindowVisible({}, true));
    QVERIFY(!wl->chechWindowVisible({}, false));
    QVERIFY(wl->chechWindowVisible({1, 2}, false));
    QVERIFY(!wl->chechWindowVisible({1, 2}, true));
    QVERIFY(wl->chechWindowVisible({2, 1}, true));
    QVERIFY(!wl->chechWindowVisible({1, 77}, false));
    QVERIFY(!wl->chechWindowVisible({77}, true));
    // firstOnly asks about the first window only.
    FakeScreencast::clearCalls();
    wl->chechWindowVisible({2, 1}, true);
    QCOMPARE(FakeScreencast::callsOf("IsWindowVisible"), QStringList{"IsWindowVisible(2)"});
}

void TstWindowList::cameraWindowExactTitle()
{
    FakeScreencast::setWindowsForFilter(4, {window(5, "webcam recorder", ownName()),
                                            window(6, "Webcam Recorder ", ownName()),
                                            window(7, "Webcam Recorder", ownName()),
                                            window(8, "Webcam Recorder", ownName())});
    WindowListManger* wl = WindowListManger::instance();
    QCOMPARE(wl->getCameraWinId(), 7);

    FakeScreencast::setWindowsForFilter(4, {window(5, "WEBCAM RECORDER", ownName())});
    QCOMPARE(wl->getCameraWinId(), 0);
}

void TstWindowList::cameraWindowOwnProcessOnly()
{
    // Another program's window of the same title comes first in the stack.
    FakeScreencast::setWindowsForFilter(4, {window(21, "Webcam Recorder", "OtherRecorder"),
                                            window(22, "Webcam Recorder", QString()),
                                            window(23, "Webcam Recorder", ownName())});
    WindowListManger* wl = WindowListManger::instance();
    QCOMPARE(wl->getCameraWinId(), 23);

    FakeScreencast::setWindowsForFilter(4, {window(21, "Webcam Recorder", "OtherRecorder")});
    QCOMPARE(wl->getCameraWinId(), 0);

    // The engine names the owner by the executable when no class is set.
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString appName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("ScreenRecorder");
    FakeScreencast::setWindowsForFilter(4, {window(31, "Webcam Recorder", exe),
                                            window(32, "Webcam Recorder", "ScreenRecorder")});
    QCOMPARE(wl->getCameraWinId(), 31);
    FakeScreencast::setWindowsForFilter(4, {window(32, "Webcam Recorder", "screenrecorder"),
                                            window(33, "Webcam Recorder", "ScreenRecorder")});
    QCOMPARE(wl->getCameraWinId(), 33);
    QCoreApplication::setApplicationName(appName);
}

void TstWindowList::emptyEngine()
{
    WindowListManger* wl = WindowListManger::instance();
    QVERIFY(wl->getWindowsList().isEmpty());
    FakeScreencast::failNext("scFindWindow", 3);   // the engine is not running
    QVERIFY(wl->getWindowsList().isEmpty());
    QCOMPARE(wl->getCameraWinId(), 0);
    int a = 5, b = 5;
    wl->getWindowsRect(1, a, b);
    QCOMPARE(a, 0);
    QCOMPARE(b, 0);
}

QTEST_MAIN(TstWindowList)
#include "tst_windowlist.moc"
