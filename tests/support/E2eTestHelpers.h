#pragma once

// Helpers of the end-to-end tests: programs to run, windows to record, traces.

#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QProcess>
#include <QWidget>

namespace testsupport {

// What the program printed; empty when it failed or did not end in time.
inline QByteArray runProgram(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(program, args);
    if (p.waitForFinished(timeoutMs))
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    p.kill();
    p.waitForFinished(5000);
    return QByteArray();
}

// xdotool drives pointer and keyboard through XTest, later than the event loop sees it; a
// stuck xdotool fails the step after 30 s instead of holding the test.
inline bool xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (p.waitForFinished(30000))
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    p.kill();
    p.waitForFinished(5000);
    return false;
}

// The newest entry of the saved-files history; empty without one.
inline QStringList historyHead()
{
    const QVariantList list = VxSettings::instance()->applicationParam("Path/SavefilesHistroy").toList();
    return list.isEmpty() ? QStringList() : list.first().toStringList();
}

// Whether the temporary folder has more than `bytes` free (true when that
// cannot be told): at or below its limit the program asks or refuses first.
inline bool tempSpaceAbove(qint64 bytes)
{
    bool ok = false;
    const qint64 free = Utils::freeDiskSize(Utils::getRecorderTmpRoot() + "/x", ok);
    return !ok || free > bytes;
}

// The visible top-level window of that object name, if there is one.
inline QWidget* visibleTopLevel(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible())
            return w;
    return nullptr;
}

// A window of one colour that the window manager leaves alone, so that it
// sits exactly where it is put, with no frame.
class ColourWindow : public QWidget
{
public:
    ColourWindow(const QColor& colour, const QRect& geometry)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setAutoFillBackground(true);
        setColour(colour);
        setGeometry(geometry);
    }
    void setColour(const QColor& c)
    {
        QPalette p = palette();
        p.setColor(QPalette::Window, c);
        setPalette(p);
        repaint();
    }
};

} // namespace testsupport
