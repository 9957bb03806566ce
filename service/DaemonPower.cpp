#include "service/DaemonPower.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>

#include "platform/log/Log.h"

bool LogindPowerAction::shutdown()
{
    return call("PowerOff");
}

bool LogindPowerAction::sleep()
{
    return call("Suspend");
}

bool LogindPowerAction::call(const char* method)
{
    QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (!manager.isValid()) {
        Log("TaskDaemon", LogLevel::Error, "logind not reachable: %s", qPrintable(manager.lastError().message()));
        return false;
    }
    // false: no interactive authentication; a user at the seat needs none.
    const QDBusMessage reply = manager.call(QString::fromLatin1(method), false);
    const bool ok = reply.type() != QDBusMessage::ErrorMessage;
    Log("TaskDaemon", ok ? LogLevel::Info : LogLevel::Error, "logind %s %s %s", method, ok ? "accepted" : "refused",
        qPrintable(reply.errorMessage()));
    return ok;
}

bool FilePowerAction::write(const char* word)
{
    QFile file(m_path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return false;
    file.write(word);
    file.write("\n");
    return true;
}
