// Shows one of the engine's overlays so that it can be looked at or put in
// a screenshot: the region box over a sample window, the cross-hair
// selection (optionally with a band as if the user were dragging it), or a
// picture on the screen. Prints "ready" on standard output once the overlay
// is on the screen and quits after --seconds (default 20).
//
//   overlay_demo cropbox [X Y W H] [--keep-ratio] [--no-window] [--seconds N]
//   overlay_demo crosshair [--band X Y W H] [--no-window] [--seconds N]
//   overlay_demo picture PATH [--no-window] [--seconds N]
//
// Needs an X display ($DISPLAY).
#include "Screencast.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

#include "core/Utils.h"

namespace {

// The colours the program sets at start, and the snapshot's size tips.
void setProgramColours()
{
    Utils::setLineColor();
    SetZoomTipsFormat("%d x %d");
}

// Something to put the box over: a plain document-like window.
QWidget* sampleWindow(const QRect& geometry)
{
    QWidget* window = new QWidget;
    window->setWindowTitle(QStringLiteral("Sample document"));
    window->setStyleSheet(QStringLiteral("QWidget { background: #f4f4f5; color: #2b2b2e; }"
                                         "QFrame#bar { background: #3a3a3f; }"
                                         "QLabel#title { font-size: 22pt; font-weight: bold; }"));
    QVBoxLayout* layout = new QVBoxLayout(window);
    QFrame* bar = new QFrame;
    bar->setObjectName(QStringLiteral("bar"));
    bar->setFixedHeight(36);
    layout->addWidget(bar);
    QLabel* title = new QLabel(QStringLiteral("Quarterly report"));
    title->setObjectName(QStringLiteral("title"));
    layout->addWidget(title);
    QLabel* body = new QLabel(QStringLiteral(
        "The region box shows the area that will be recorded. Drag its border to move it, drag an anchor "
        "to resize it. Clicks inside the box reach this window."));
    body->setWordWrap(true);
    layout->addWidget(body);
    layout->addStretch();
    window->setGeometry(geometry);
    window->show();
    return window;
}

// Puts the selection into the state of a drag from `band`'s top-left to
// its bottom-right, as if the user held the button there.
void simulateBand(const QRect& band)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != QLatin1String("ScreenSelection") || !w->isVisible())
            continue;
        const QPoint from = band.topLeft();
        const QPoint to = band.bottomRight();
        QMouseEvent press(QEvent::MouseButtonPress, w->mapFromGlobal(from), from, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QMouseEvent move(QEvent::MouseMove, w->mapFromGlobal(to), to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }
}

int usage()
{
    std::fprintf(stderr,
                 "usage: overlay_demo cropbox [X Y W H] [--keep-ratio] [--no-window] [--seconds N]\n"
                 "       overlay_demo crosshair [--band X Y W H] [--no-window] [--seconds N]\n"
                 "       overlay_demo picture PATH [--no-window] [--seconds N]\n");
    return 2;
}

struct Options
{
    QString mode;
    int seconds = 20;
    bool keepRatio = false;
    bool window = true;
    QRect band;
    QList<int> numbers;
    QString path;
};

bool parseOptions(QStringList args, Options& o)
{
    if (args.isEmpty())
        return false;
    o.mode = args.takeFirst();
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--seconds") && !args.isEmpty()) {
            o.seconds = args.takeFirst().toInt();
        } else if (a == QLatin1String("--keep-ratio")) {
            o.keepRatio = true;
        } else if (a == QLatin1String("--no-window")) {
            o.window = false;
        } else if (a == QLatin1String("--band") && args.size() >= 4) {
            o.band = QRect(args.at(0).toInt(), args.at(1).toInt(), args.at(2).toInt(), args.at(3).toInt());
            args = args.mid(4);
        } else if (o.mode == QLatin1String("picture") && o.path.isEmpty()) {
            o.path = a;
        } else {
            bool ok = false;
            o.numbers << a.toInt(&ok);
            if (!ok)
                return false;
        }
    }
    return o.mode != QLatin1String("picture") || !o.path.isEmpty();
}

// The engine objects the demo shows; released before the engine stops.
struct Shown
{
    CBasePtr<CScreenCropBoxObject> box;
    CBasePtr<CImageCaptureObject> capture;
    CBasePtr<CPictureObject> picture;
    QWidget* sample = nullptr;
};

void showCropBox(const Options& o, Shown& shown)
{
    const QList<int>& n = o.numbers;
    const QRect area = n.size() == 4 ? QRect(n[0], n[1], n[2], n[3]) : QRect(480, 270, 960, 540);
    if (o.window)
        shown.sample = sampleWindow(area.adjusted(-120, -80, 120, 80));
    // The box comes once the window is there, so that it lies above it.
    const bool keepRatio = o.keepRatio;
    QTimer::singleShot(o.window ? 700 : 0, [&shown, area, keepRatio] {
        shown.box = scShowScreenCropBox(nullptr, CRect{double(area.left()), double(area.top()),
                                                        double(area.left() + area.width()),
                                                        double(area.top() + area.height())},
                                        keepRatio, area.width(), area.height());
    });
}

void showCrossHair(const Options& o, Shown& shown)
{
    if (o.window)
        shown.sample = sampleWindow(QRect(360, 180, 1200, 720));
    // The selection freezes the screen as it is: the window must be drawn
    // first.
    const QRect band = o.band;
    QTimer::singleShot(o.window ? 700 : 0, [&shown, band] {
        shown.capture = CreateImageCapture(nullptr);
        if (!shown.capture) {
            std::fprintf(stderr, "overlay_demo: no selection\n");
            QCoreApplication::exit(1);
            return;
        }
        if (!band.isEmpty())
            QTimer::singleShot(300, [band] { simulateBand(band); });
    });
}

void showPicture(const Options& o, Shown& shown)
{
    if (o.window)
        shown.sample = sampleWindow(QRect(360, 180, 1200, 720));
    const QString path = o.path;
    QTimer::singleShot(o.window ? 700 : 0, [&shown, path] {
        shown.picture = ShowPictureOnScreen(path.toUtf8().constData());
        if (!shown.picture) {
            std::fprintf(stderr, "overlay_demo: cannot show %s\n", qPrintable(path));
            QCoreApplication::exit(1);
        }
    });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Options o;
    if (!parseOptions(app.arguments().mid(1), o))
        return usage();
    void (*show)(const Options&, Shown&) = o.mode == QLatin1String("cropbox")     ? showCropBox
                                           : o.mode == QLatin1String("crosshair") ? showCrossHair
                                           : o.mode == QLatin1String("picture")   ? showPicture
                                                                                  : nullptr;
    if (!show)
        return usage();
    if (scInitialize() != kScInitOk) {
        std::fprintf(stderr, "overlay_demo: no X display\n");
        return 1;
    }
    setProgramColours();

    Shown shown;
    show(o, shown);
    QTimer::singleShot(1200, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(o.seconds * 1000, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    shown.box.reset();
    shown.capture.reset();
    shown.picture.reset();
    delete shown.sample;
    scUninitialize();
    return rc;
}
