#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

#include "core/RecordTypes.h"

// What the program needs from the operating system. Static functions only.
// Services the Linux desktop has no counterpart for (the hidden-file flag)
// log and do nothing else.
class OSServiceUtils
{
public:
    OSServiceUtils() = delete;

    // Opens the file with the desktop's default application (detached).
    static void executeFile(const QString& path);
    // Opens the folder `path` in the file manager; with `select`, the file
    // manager shows `path` selected where it offers that on the session bus
    // (org.freedesktop.FileManager1), else the folder holding `path` opens.
    // With `mustExist`, nothing happens for a missing path.
    static void openFileFolder(const QString& path, bool select, bool mustExist);
    static void shutdown();
    // Starts the desktop's settings program for a kind (detached); false
    // when this desktop has none for it or it did not start, and the caller
    // has to say in words what to do (core/OSServiceSettings.cpp).
    static bool openSetting(Privacy_Setting s);
    // That program's path on PATH, then its arguments; empty when none.
    static QStringList settingsCommand(Privacy_Setting s);
    static void beep();
    // Hides (false) or shows again (true) the other programs' panels;
    // dockIsHide() is true while they are meant to be visible.
    static void setDockHide(bool visible);
    static bool dockIsHide();
    // Hides (false) the other programs' windows but for those of `keep`,
    // or brings back (true) exactly those it hid (DesktopHider).
    static void setHideDesktopIcon(bool show, const QList<int>& keep = QList<int>());
    // Moves a file with "mv" (arguments, never a shell line); the target
    // folder is created first. False when mv fails.
    static bool moveFile(const QString& src, const QString& dst);
    // "zh_CN", "zh_TW", "en", "fr", "de", "ja", "es" or "pt" for the system
    // locale; anything else gives "en".
    static QString getLocalLanguage();
    static QString languageCodeOf(const QLocale& locale);
    // Runs the install (install non-zero) or uninstall script of the audio
    // plug-in or the task service with administrator rights through pkexec
    // and returns a wait status (exit code << 8; -1 when it could not run or
    // crashed). `dir` receives "command.sh", the command line for the record.
    static int UserExecute(const QString& dir, int install, bool audioDriver);
    // The program that UserExecute starts: program, arguments -> exit code,
    // or -1 when it could not start or crashed. Null restores pkexec.
    using Runner = std::function<int(const QString& program, const QStringList& args)>;
    static void setPrivilegedRunner(const Runner& runner);
    // The script that UserExecute runs (absolute path).
    static QString scriptPath(int install, bool audioDriver);
    // True on Linux: the system behaves as the newer systems do (permissions
    // are asked for before screen capture, which the engine grants at once).
    static bool isLaterThenMacOS10_15();
    static QString getProcessNameWithPid(int pid);
    static QString getProcessPathWithPid(int pid);
    static void setHiddenFile(const QString& path);
    // Matches `name` anywhere in the executable paths of the process table.
    static bool isRunningProcess(const QString& name);
};
