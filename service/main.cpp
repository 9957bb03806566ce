// The per-user task daemon. Its places can be moved by the environment so
// that tests run it beside a scratch home:
//   SR_TASK_SOCKET  where it listens        SR_TASK_FILE  its task file
//   SR_TASK_PROGRAM the program it starts   SR_TASK_LOG   its log file
//   SR_TASK_POWER_LOG  end actions written there instead of reaching logind
#include <QCoreApplication>
#include <QDir>

#include "platform/log/Log.h"
#include "schedule/TaskServiceSetup.h"
#include "service/DaemonPower.h"
#include "service/TaskDaemon.h"

namespace {

QString fromEnv(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString home = TaskServiceSetup::dataFolder() + QLatin1Char('/');
    QDir().mkpath(home);
    const QString log = fromEnv("SR_TASK_LOG", home + QLatin1String(TaskServiceSetup::kLogFile));
    SetLogfile(log.toLocal8Bit().constData());
    SetLogLevel(LogLevel::Info);

    TaskDaemon::Setup setup;
    QString problem;
    setup.socketName = taskDaemonSocketName(&problem);
    if (setup.socketName.isEmpty()) {
        Log("TaskDaemon", LogLevel::Error, "no private place to listen: %s", qPrintable(problem));
        return 1;
    }
    setup.taskFile = fromEnv("SR_TASK_FILE", home + QLatin1String(TaskServiceSetup::kTaskFile));
    setup.program = fromEnv("SR_TASK_PROGRAM", QCoreApplication::applicationDirPath() + QStringLiteral("/screenrecorder"));
    const QString powerLog = qEnvironmentVariable("SR_TASK_POWER_LOG");
    if (powerLog.isEmpty())
        setup.power.reset(new LogindPowerAction());
    else
        setup.power.reset(new FilePowerAction(powerLog));

    TaskDaemon daemon(std::move(setup));
    if (!daemon.listen())
        return daemon.isDuplicate() ? 0 : 1;
    const int rc = app.exec();
    Log("TaskDaemon", LogLevel::Info, "stopped");
    return rc;
}
