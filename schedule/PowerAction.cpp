#include "schedule/PowerAction.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStringList>

#include "platform/log/Log.h"

namespace {

bool runSystemctl(const QString& verb)
{
    // A session without a screen (the unit tests' offscreen platform) has
    // nobody to see the countdown: it never switches the machine off.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        Log("TaskManage", LogLevel::Info, "systemctl %s refused on the offscreen platform", qPrintable(verb));
        return false;
    }
    const bool started = QProcess::startDetached(QStringLiteral("systemctl"), QStringList{verb});
    Log("TaskManage", started ? LogLevel::Info : LogLevel::Error, "systemctl %s %s", qPrintable(verb),
        started ? "started" : "could not be started");
    return started;
}

} // namespace

bool SystemPowerAction::shutdown()
{
    return runSystemctl(QStringLiteral("poweroff"));
}

bool SystemPowerAction::sleep()
{
    return runSystemctl(QStringLiteral("suspend"));
}
