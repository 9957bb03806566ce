#pragma once

#include <QStandardPaths>
#include <QString>

// Puts the task daemon in place for this user and takes it away again, with
// no administrator rights: a systemd user unit when a user manager runs, an
// autostart entry plus a start right now otherwise.
class TaskServiceSetup
{
public:
    static constexpr const char* kUnitName = "screenrecorder-tasks.service";

    // The daemon's executable: beside the program unless SR_TASK_SERVICE_BIN
    // names another.
    static QString daemonPath();
    static QString unitPath();
    static QString autostartPath();
    // The daemon's own files (tasks and log) in the user's config folder; the
    // daemon finds them here too, so uninstalling misses none.
    static QString dataFolder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/ScreenRecorder");
    }
    static constexpr const char* kTaskFile = "tasks.json";
    static constexpr const char* kLogFile = "task-service.log";

    // Installs and starts the daemon; true once it answers on its socket.
    static bool install();
    // Stops the daemon and removes everything install() and the daemon
    // wrote.
    static bool uninstall();

private:
    // False when no user manager answers (or SR_TASK_NO_SYSTEMD is set, so
    // that tests never reach the real user's systemd).
    static bool userSystemdRuns();
    static bool systemctl(const QStringList& args);
    static bool waitForDaemon(int ms);
};
