#include "app/SingleInstanceGuard.h"

#include "core/UserRuntime.h"
#include "platform/log/Log.h"

SingleInstanceGuard::SingleInstanceGuard(const QString& key)
    : m_strKey(key)
{
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

QString SingleInstanceGuard::lockPath(const QString& key)
{
    QString problem;
    const QString folder = UserRuntime::folder(&problem);
    if (folder.isEmpty()) {
        Log("MAIN", LogLevel::Error, "no private place for the single-instance lock: %s", qPrintable(problem));
        return QString();
    }
    return folder + QLatin1Char('/') + QString(key).replace(QLatin1Char('/'), QLatin1Char('_'))
        + QStringLiteral(".instance.lock");
}

SingleInstanceGuard::Result SingleInstanceGuard::check()
{
    const QString path = lockPath(m_strKey);
    if (path.isEmpty())
        return Unguarded;
    m_lock.reset(new FileLock(path));
    switch (m_lock->state()) {
    case FileLock::Held:
        return OnlyInstance;
    case FileLock::HeldElsewhere:
        return AnotherInstance;
    case FileLock::Failed:
        break;
    }
    Log("MAIN", LogLevel::Error, "single-instance lock unusable: %s", qPrintable(m_lock->problem()));
    return Unguarded;
}
