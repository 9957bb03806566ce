#pragma once

// What the screen shows of a window, frame included, saved for the
// screenshot script; the path is printed on success.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <cstdio>

// `margin` pixels around the frame show its shadow or border against the desktop.
inline bool shootWindow(QWidget* window, const QString& path, int settleMs, int margin = 0)
{
    QTest::qWait(settleMs);   // what the window draws (or the engine into it) gets there
    const QRect frame = window->frameGeometry().adjusted(-margin, -margin, margin, margin);
    const QPixmap picture =
        QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    return true;
}
