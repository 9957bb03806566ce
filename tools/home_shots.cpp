// Runs the program (main_entry, real engine) and saves pictures of the frame
// window on each page, for looking at: the home tiles, then the video,
// window, audio and webcam choices, each reached with a click on its tile.
// Pages that put something on the screen outside the frame (the region
// box, a message box) are also saved as the whole screen.
//
//   home_shots OUTDIR
//
// Needs an X display ($DISPLAY); run it inside scripts/with-test-env.sh.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>

#include "app/MainWindowBase.h"
#include "platform/framework/VxSettings.h"
#include "app/main_entry.h"

namespace {

QString g_outDir;
int g_failures = 0;

void save(const QPixmap& pixmap, const QString& name)
{
    const QString path = QDir(g_outDir).filePath(name + ".png");
    if (pixmap.isNull() || !pixmap.save(path)) {
        std::fprintf(stderr, "home_shots: could not save %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

// The frame as the user sees it, decoration included, from the screen.
void shootFrame(MainWindowBase* frame, const QString& name)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = frame->frameGeometry().adjusted(-8, -8, 8, 8);
    if (QWidget* popup = QApplication::activePopupWidget())
        area = area.united(popup->frameGeometry().adjusted(-8, -8, 8, 8));
    area = area.intersected(screen->geometry());
    save(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), name);
}

void shootScreen(const QString& name)
{
    save(QGuiApplication::primaryScreen()->grabWindow(0), name);
}

void clickChild(MainWindowBase* frame, const char* objectName)
{
    QWidget* target = frame->findChild<QWidget*>(QString::fromLatin1(objectName));
    if (!target) {
        std::fprintf(stderr, "home_shots: no widget %s\n", objectName);
        ++g_failures;
        return;
    }
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->rect().center());
}

void popupShot(MainWindowBase* frame, const char* button, const char* name)
{
    const QString shot = QString::fromLatin1(name);
    QTimer::singleShot(700, [frame, shot] {
        shootFrame(frame, shot);
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    clickChild(frame, button);
    QTest::qWait(300);
}

// Settles paints, the page animation and the engine's overlays.
void settle(int ms = 900)
{
    QTest::qWait(ms);
}

void tour(MainWindowBase* frame)
{
    settle(1200);
    shootFrame(frame, "home-tiles");

    clickChild(frame, "frmChoseVideo");
    settle();
    shootFrame(frame, "page-video");
    shootScreen("page-video-screen");

    // The two drop-downs of the video page, photographed while they are
    // open (their menus run their own loop).
    popupShot(frame, "btnPresetMenu", "page-video-presets");
    popupShot(frame, "btnCustom", "page-video-sizes");

    clickChild(frame, "btnHome");
    settle();
    clickChild(frame, "frmChoseWindow");
    settle();
    // Window mode opens the window picker over the frame: the screen shows
    // both, and the picker goes again before the next page.
    shootScreen("page-window");
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->inherits("DlgLockWindow"))
            w->close();
    }
    settle();

    clickChild(frame, "btnHome");
    settle();
    clickChild(frame, "frmChoseAudio");
    settle();
    shootFrame(frame, "page-audio");
    // With the microphone on, its level takes the picture's place.
    clickChild(frame, "btnUseMic");
    settle();
    shootFrame(frame, "page-audio-mic");
    clickChild(frame, "btnUseMic");

    clickChild(frame, "btnHome");
    settle();
    // Webcam mode opens its own window or says why it cannot: whatever
    // comes is on the screen while the click's handler still runs.
    QTimer::singleShot(1200, [] {
        shootScreen("page-webcam-screen");
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    clickChild(frame, "frmChoseWebCam");
    settle();
    shootFrame(frame, "page-webcam");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: home_shots OUTDIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);

    // No reminder or countdown gets in the way of the pictures.
    VxSettings::instance()->setApplicationParam("HotkeyRemind", true);

    bool started = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (started)
            return;
        // Before the frame only the "is running" box can come: another
        // instance holds the single-instance lock.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            std::fprintf(stderr, "home_shots: another instance of the program runs\n");
            modal->close();
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* frame = qobject_cast<MainWindowBase*>(w);
            if (frame && frame->isVisible()) {
                started = true;
                poll.stop();
                tour(frame);
                frame->close();
                return;
            }
        }
    });
    poll.start();

    char name[] = "screenrecorder";
    char* args[] = {name, nullptr};
    const int rc = main_entry(1, args);
    if (!started) {
        std::fprintf(stderr, "home_shots: the frame never showed\n");
        return 1;
    }
    return rc != 0 ? rc : (g_failures ? 1 : 0);
}
