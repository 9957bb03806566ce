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

namespace {

// The colours the program sets at start.
void setProgramColours()
{
    const LineColors lines{0xFFDE621Eu, 0xFFFFFFFFu};
    const AnchorColors anchors{0xFFFFFFFFu, 0xFFDE621Eu};
    SetScreenSelColors(lines);
    SetScreenCropBoxColors(lines, anchors);
    SetImageBoxColors(lines);
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString mode = args.takeFirst();

    int seconds = 20;
    bool keepRatio = false;
    bool window = true;
    QRect band;
    QList<int> numbers;
    QString path;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--seconds") && !args.isEmpty()) {
            seconds = args.takeFirst().toInt();
        } else if (a == QLatin1String("--keep-ratio")) {
            keepRatio = true;
        } else if (a == QLatin1String("--no-window")) {
            window = false;
        } else if (a == QLatin1String("--band") && args.size() >= 4) {
            band = QRect(args.at(0).toInt(), args.at(1).toInt(), args.at(2).toInt(), args.at(3).toInt());
            args = args.mid(4);
        } else if (mode == QLatin1String("picture") && path.isEmpty()) {
            path = a;
        } else {
            bool ok = false;
            numbers << a.toInt(&ok);
            if (!ok)
                return usage();
        }
    }

    if (scInitialize() != kScInitOk) {
        std::fprintf(stderr, "overlay_demo: no X display\n");
        return 1;
    }
    setProgramColours();

    CBasePtr<CScreenCropBoxObject> box;
    CBasePtr<CImageCaptureObject> capture;
    CBasePtr<CPictureObject> picture;
    QWidget* sample = nullptr;

    if (mode == QLatin1String("cropbox")) {
        const QRect area = numbers.size() == 4 ? QRect(numbers[0], numbers[1], numbers[2], numbers[3])
                                               : QRect(480, 270, 960, 540);
        if (window)
            sample = sampleWindow(area.adjusted(-120, -80, 120, 80));
        // The box comes once the window is there, so that it lies above it.
        QTimer::singleShot(window ? 700 : 0, [&box, area, keepRatio] {
            box = scShowScreenCropBox(nullptr, CRect{double(area.left()), double(area.top()),
                                                      double(area.left() + area.width()),
                                                      double(area.top() + area.height())},
                                      keepRatio, area.width(), area.height());
        });
    } else if (mode == QLatin1String("crosshair")) {
        if (window)
            sample = sampleWindow(QRect(360, 180, 1200, 720));
        // The selection freezes the screen as it is: the window must be
        // drawn first.
        QTimer::singleShot(window ? 700 : 0, [&capture, band] {
            capture = CreateImageCapture(nullptr);
            if (!capture) {
                std::fprintf(stderr, "overlay_demo: no selection\n");
                QCoreApplication::exit(1);
                return;
            }
            if (!band.isEmpty())
                QTimer::singleShot(300, [band] { simulateBand(band); });
        });
    } else if (mode == QLatin1String("picture")) {
        if (path.isEmpty())
            return usage();
        if (window)
            sample = sampleWindow(QRect(360, 180, 1200, 720));
        QTimer::singleShot(window ? 700 : 0, [&picture, path] {
            picture = ShowPictureOnScreen(path.toUtf8().constData());
            if (!picture) {
                std::fprintf(stderr, "overlay_demo: cannot show %s\n", qPrintable(path));
                QCoreApplication::exit(1);
            }
        });
    } else {
        return usage();
    }

    QTimer::singleShot(1200, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    box.reset();
    capture.reset();
    picture.reset();
    delete sample;
    scUninitialize();
    return rc;
}
