// Shows the preset menu and the start countdown and saves what they look
// like, for the screenshot script (the permissions guide's pages:
// guide_pages_demo). Not a test.
//
//   guide_demo presets <out.png>
//       the preset menu popped up, "Video Recorder" checked
//   guide_demo countdown <out-prefix>
//       needs an X display: runs the installed countdown through the real
//       engine and grabs the whole screen while each picture is up, into
//       <out-prefix>-1.png, -2.png, -3.png
#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include "app/PersetMenu.h"
#include "app/ShowPicture.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: guide_demo presets <out.png>\n"
                         "       guide_demo countdown <out-prefix>\n");
    return 2;
}

bool save(const QPixmap& picture, const QString& path)
{
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int presets(const QStringList& args)
{
    PersetMenu* presets = PersetMenu::instance();
    presets->getButtonByName(QObject::tr("Video Recorder"))->setChecked(true);
    QMenu menu;
    menu.addAction(presets);
    menu.popup(QPoint(100, 100));
    if (!QTest::qWaitForWindowExposed(&menu))
        return 1;
    QTest::qWait(200);
    // On X what the screen shows, the popup's own window included.
    const QPixmap picture = QGuiApplication::platformName() == QLatin1String("xcb")
                                ? QGuiApplication::primaryScreen()->grabWindow(0, menu.x(), menu.y(),
                                                                               menu.width(), menu.height())
                                : menu.grab();
    const bool ok = save(picture, args.value(0));
    menu.hide();
    PersetMenu::release();
    return ok ? 0 : 1;
}

int countdown(const QStringList& args)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "countdown needs an X display\n");
        return 1;
    }
    const QString prefix = args.value(0);
    scInitialize();
    auto* show = new ShowPicture;
    bool ended = false;
    QObject::connect(show, &ShowPicture::showPicEnd, [&] { ended = true; });
    show->start();
    // Pictures come at 600, 1200 and 1800 ms; grab in the middle of each.
    bool ok = true;
    int grabbed = 0;
    for (int at : {900, 1500, 2100}) {
        QTimer::singleShot(at, [&, at] {
            Q_UNUSED(at);
            QScreen* screen = QGuiApplication::primaryScreen();
            ok = save(screen->grabWindow(0), QString("%1-%2.png").arg(prefix).arg(++grabbed)) && ok;
        });
    }
    if (!QTest::qWaitFor([&] { return ended; }, 10000))
        std::fprintf(stderr, "the countdown did not end\n");
    delete show;
    scUninitialize();
    return ok && ended && grabbed == 3 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2)
        return usage();
    const QString mode = args.takeFirst();
    if (mode == "presets")
        return presets(args);
    if (mode == "countdown")
        return countdown(args);
    return usage();
}
