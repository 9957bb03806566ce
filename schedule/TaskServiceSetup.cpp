#include "schedule/TaskServiceSetup.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include "core/TaskInfo.h"
#include "platform/log/Log.h"
#include "schedule/TaskClientCall.h"

namespace {

const char* kLog = "TaskManage";
const int kSystemctlMs = 15000;
const int kStartWaitMs = 10000;

QString configHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

// Quotes a path for a unit's or desktop entry's command line.
QByteArray quoted(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return '"' + p.toUtf8() + '"';
}

} // namespace

QString TaskServiceSetup::daemonPath()
{
    const QString forced = qEnvironmentVariable("SR_TASK_SERVICE_BIN");
    return forced.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/sr-task-service") : forced;
}

QString TaskServiceSetup::unitPath()
{
    return configHome() + QStringLiteral("/systemd/user/") + QLatin1String(kUnitName);
}

QString TaskServiceSetup::autostartPath()
{
    return configHome() + QStringLiteral("/autostart/screenrecorder-tasks.desktop");
}

bool TaskServiceSetup::install()
{
    const QString daemon = daemonPath();
    if (!QFileInfo(daemon).isExecutable()) {
        Log(kLog, LogLevel::Error, "task daemon %s missing", qPrintable(daemon));
        return false;
    }
    if (userSystemdRuns()) {
        const QByteArray unit = "[Unit]\nDescription=Screen Recorder scheduled recordings\n\n"
                                "[Service]\nExecStart=" + quoted(daemon) + "\nRestart=on-failure\n\n"
                                "[Install]\nWantedBy=default.target\n";
        // The daemon starts the program for a task: it needs the session's
        // display, which not every desktop hands to the user manager.
        systemctl({"import-environment", "DISPLAY", "XAUTHORITY"});
        if (writeFile(unitPath(), unit) && systemctl({"daemon-reload"})
            && systemctl({"enable", "--now", QLatin1String(kUnitName)}))
            return waitForDaemon(kStartWaitMs);
        Log(kLog, LogLevel::Warning, "systemd user unit failed; falling back to an autostart entry");
        QFile::remove(unitPath());
    }
    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Screen Recorder scheduled recordings\n"
                             "Exec=" + quoted(daemon) + "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    if (!writeFile(autostartPath(), entry))
        return false;
    if (!waitForDaemon(0) && !QProcess::startDetached(daemon, {})) {
        Log(kLog, LogLevel::Error, "task daemon %s could not be started", qPrintable(daemon));
        return false;
    }
    return waitForDaemon(kStartWaitMs);
}

bool TaskServiceSetup::uninstall()
{
    if (QFileInfo::exists(unitPath()) && userSystemdRuns()) {
        systemctl({"disable", "--now", QLatin1String(kUnitName)});
        QFile::remove(unitPath());
        systemctl({"daemon-reload"});
    }
    QFile::remove(unitPath());
    QFile::remove(autostartPath());
    // A daemon started by hand or from the autostart entry ends on request.
    TaskClientCall client;
    if (client.connectToDaemon())
        client.quitDaemon();
    QDeadlineTimer deadline(kStartWaitMs);
    while (waitForDaemon(0) && !deadline.hasExpired())
        QThread::msleep(50);
    const QDir data(dataFolder());
    const QString log = QLatin1String(kLogFile);
    QFile::remove(data.filePath(QLatin1String(kTaskFile)));
    QFile::remove(data.filePath(QLatin1String(kTaskFile) + QStringLiteral(".lock")));
    QFile::remove(data.filePath(log));
    QFile::remove(data.filePath(log + QStringLiteral(".1")));
    Log(kLog, LogLevel::Info, "task daemon uninstalled");
    return !QFileInfo::exists(unitPath()) && !QFileInfo::exists(autostartPath()) && !waitForDaemon(0);
}

bool TaskServiceSetup::userSystemdRuns()
{
    if (!qEnvironmentVariableIsEmpty("SR_TASK_NO_SYSTEMD"))
        return false;
    QProcess probe;
    probe.start(QStringLiteral("systemctl"), {"--user", "show-environment"});
    return probe.waitForFinished(kSystemctlMs) && probe.exitStatus() == QProcess::NormalExit
        && probe.exitCode() == 0;
}

bool TaskServiceSetup::systemctl(const QStringList& args)
{
    QProcess run;
    run.start(QStringLiteral("systemctl"), QStringList{"--user"} + args);
    const bool ok = run.waitForFinished(kSystemctlMs) && run.exitStatus() == QProcess::NormalExit
        && run.exitCode() == 0;
    Log(kLog, ok ? LogLevel::Info : LogLevel::Error, "systemctl --user %s: %s", qPrintable(args.join(' ')),
        ok ? "done" : qPrintable(QString::fromLocal8Bit(run.readAllStandardError()).trimmed()));
    return ok;
}

bool TaskServiceSetup::waitForDaemon(int ms)
{
    QDeadlineTimer deadline(ms);
    do {
        QLocalSocket probe;
        probe.connectToServer(taskDaemonSocketName());
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}
