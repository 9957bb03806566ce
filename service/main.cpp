// The per-user task daemon. Its places can be moved by the environment so
// that tests run it beside a scratch home:
//   SR_TASK_SOCKET  where it listens        SR_TASK_FILE  its task file
//   SR_TASK_PROGRAM the program it starts   SR_TASK_LOG   its log file
//   SR_TASK_POWER_LOG  end actions written there instead of reaching logind
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include "platform/log/Log.h"
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
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/ScreenRecorder");
    QDir().mkpath(home);
    SetLogfile(fromEnv("SR_TASK_LOG", home + QStringLiteral("/task-service.log")).toLocal8Bit().constData());
    SetLogLevel(1);

    TaskDaemon::Setup setup;
    setup.socketName = taskDaemonSocketName();
    setup.taskFile = fromEnv("SR_TASK_FILE", home + QStringLiteral("/tasks.json"));
    setup.program = fromEnv("SR_TASK_PROGRAM", QCoreApplication::applicationDirPath() + QStringLiteral("/screenrecorder"));
    const QString powerLog = qEnvironmentVariable("SR_TASK_POWER_LOG");
    if (powerLog.isEmpty())
        setup.power.reset(new LogindPowerAction());
    else
        setup.power.reset(new FilePowerAction(powerLog));

    TaskDaemon daemon(std::move(setup));
    if (!daemon.listen())
        return 1;
    const int rc = app.exec();
    Log("TaskDaemon", 1, "stopped");
    return rc;
}
