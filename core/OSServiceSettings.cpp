// The desktop's own settings programs, opened where a device needs the
// user's hand.

#include "core/OSServiceUtils.h"

#include <QProcess>
#include <QStandardPaths>
#include <QVector>

#include "platform/log/Log.h"

namespace {

struct SettingsTool
{
    const char* desktop; // an XDG_CURRENT_DESKTOP entry; null: any desktop
    const char* program;
    QStringList arguments;
};

// The sound settings, the desktop's own first: they are what its user
// knows. The desktops' control centres refuse to run elsewhere (GNOME's)
// or would pull a foreign desktop in, so each is tied to its desktop; the
// mixers work everywhere.
const QVector<SettingsTool>& soundTools()
{
    static const QVector<SettingsTool> tools{
        {"GNOME", "gnome-control-center", {QStringLiteral("sound")}},
        {"Unity", "gnome-control-center", {QStringLiteral("sound")}},
        {"KDE", "systemsettings", {QStringLiteral("kcm_pulseaudio")}},
        {"KDE", "systemsettings5", {QStringLiteral("kcm_pulseaudio")}},
        {"X-Cinnamon", "cinnamon-settings", {QStringLiteral("sound")}},
        {"MATE", "mate-volume-control", {}},
        {nullptr, "pavucontrol", {QStringLiteral("--tab=4")}}, // its "Input Devices" tab
        {nullptr, "pavucontrol-qt", {}},
    };
    return tools;
}

bool onDesktop(const char* desktop)
{
    if (!desktop)
        return true;
    // A colon-separated list, e.g. "GNOME-Classic:GNOME".
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    for (const QString& entry : desktops) {
        if (entry.compare(QLatin1String(desktop), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QStringList OSServiceUtils::settingsCommand(Privacy_Setting s)
{
    // Only the microphone has settings that can help: a camera is opened
    // through its device file, whatever the desktop's camera switches (they
    // govern sandboxed applications) say, and the screen and the pointer
    // need nothing but the X server.
    if (s != Privacy_Microphone)
        return {};
    for (const SettingsTool& tool : soundTools()) {
        if (!onDesktop(tool.desktop))
            continue;
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool.program));
        if (!path.isEmpty())
            return QStringList{path} + tool.arguments;
    }
    return {};
}

bool OSServiceUtils::openSetting(Privacy_Setting s)
{
    const QStringList command = settingsCommand(s);
    if (command.isEmpty()) {
        Log("OSServiceUtils", LogLevel::Info, "no settings program for kind %d on this desktop", int(s));
        return false;
    }
    if (!QProcess::startDetached(command.first(), command.mid(1))) {
        Log("OSServiceUtils", LogLevel::Error, "cannot start the settings program %s", qUtf8Printable(command.first()));
        return false;
    }
    Log("OSServiceUtils", LogLevel::Info, "settings opened: %s", qUtf8Printable(command.join(QLatin1Char(' '))));
    return true;
}
