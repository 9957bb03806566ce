// Shows the preview window on a movie (playing, then trimming) and on a
// sound file with the real engine, and saves what the screen shows, for
// the screenshot script. Not a test. Needs an X display.
//
//   preview_demo <out-prefix>   writes <out-prefix>-playing.png,
//                               -trim.png and -sound.png
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <cstdio>

#include "tools/WindowShot.h"
#include "Screencast.h"
#include "capture/DlgVideoClip.h"
#include "core/Utils.h"
#include "tests/support/media/TestMedia.h"

namespace {

bool shoot(QWidget* window, const QString& path)
{
    return shootWindow(window, path, 300);
}

// The window on `file`, once its player answered; null when it never did.
DlgVideoClip* open(const QString& file, bool video)
{
    auto* dialog = new DlgVideoClip(file, nullptr, nullptr, video, false);
    dialog->show();
    auto* time = dialog->findChild<QLabel*>(QStringLiteral("lblTime"));
    const QString before = time ? time->text() : QString();
    if (!QTest::qWaitForWindowExposed(dialog)
        || !QTest::qWaitFor([&] { return time && time->text() != before; }, 20000)) {
        delete dialog;
        return nullptr;
    }
    return dialog;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2 || scInitialize() != kScInitOk) {
        std::fprintf(stderr, "usage: preview_demo <out-prefix> (with an X display)\n");
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    const QString movie = Utils::getRecorderTmpRoot() + QStringLiteral("/.ScreenRecorder.mp4");
    const QString sound = Utils::getRecorderTmpRoot() + QStringLiteral("/.ScreenRecorder.wav");
    bool ok = testmedia::makeCountingMovie(movie, 6.0, 30, QSize(640, 360)) && testmedia::makeTone(sound, 4.0);

    if (DlgVideoClip* dialog = ok ? open(movie, true) : nullptr) {
        ok = shoot(dialog, prefix + QStringLiteral("-playing.png"));
        if (auto* trim = dialog->findChild<QAbstractButton*>(QStringLiteral("btnTrim")))
            trim->click();
        ok = shoot(dialog, prefix + QStringLiteral("-trim.png")) && ok;
        delete dialog;
    } else {
        ok = false;
    }
    if (DlgVideoClip* dialog = ok ? open(sound, false) : nullptr) {
        ok = shoot(dialog, prefix + QStringLiteral("-sound.png"));
        delete dialog;
    } else {
        ok = false;
    }
    Utils::removeTempRoot();
    scUninitialize();
    return ok ? 0 : 1;
}
