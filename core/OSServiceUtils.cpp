#include "core/OSServiceUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "Screencast.h"
#include "core/DesktopHider.h"
#include "platform/log/Log.h"

#define U8(s) ((s).toUtf8().constData())

namespace {

std::atomic<bool> g_menuBarVisible{true};

OSServiceUtils::Runner& privilegedRunner()
{
    static OSServiceUtils::Runner runner;
    return runner;
}

int runPkexec(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, args);
    // The password prompt may stay open as long as the user likes.
    if (!process.waitForStarted() || !process.waitForFinished(-1)
        || process.exitStatus() == QProcess::CrashExit)
        return -1;
    return process.exitCode();
}

// Quotes one argument for a POSIX shell: the text stays one word, nothing in
// it is expanded.
QString shellQuote(const QString& arg)
{
    QString quoted = arg;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return "'" + quoted + "'";
}

void openFolder(const QString& folder)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        Log("OSServiceUtils", LogLevel::Error, "open folder failed: %s", U8(folder));
}

// Asks the session's file manager to show `file` selected. False when no
// file manager offers that on the bus; `fallback` runs when the request
// fails later.
bool showItemInFileManager(const QString& file, const std::function<void()>& fallback)
{
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon)
        return false;
    if (!daemon->isServiceRegistered(service).value()
        && !daemon->activatableServiceNames().value().contains(service))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                      service, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    // Not waited for: a file manager that is started for the call may take
    // a while, and the window must not freeze meanwhile.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, fallback] {
        if (watcher->isError()) {
            Log("OSServiceUtils", LogLevel::Error, "file manager cannot show the file: %s", U8(watcher->error().message()));
            fallback();
        }
        watcher->deleteLater();
    });
    return true;
}

} // namespace

void OSServiceUtils::executeFile(const QString& path)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        Log("OSServiceUtils", LogLevel::Error, "open file failed: %s", U8(path));
}

void OSServiceUtils::openFileFolder(const QString& path, bool select, bool mustExist)
{
    if (mustExist && !QFileInfo::exists(path))
        return;
    const QFileInfo info(path);
    if (select) {
        // The file manager selects the file where it offers that; otherwise
        // (or when it fails) its folder is the next best thing.
        const QString folder = info.absolutePath();
        const auto openHolder = [folder] { openFolder(folder); };
        if (!showItemInFileManager(info.absoluteFilePath(), openHolder))
            openHolder();
        return;
    }
    openFolder(info.absoluteFilePath());
}

void OSServiceUtils::shutdown()
{
    if (!QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")}))
        Log("OSServiceUtils", LogLevel::Error, "shutdown failed: systemctl could not be started");
}

void OSServiceUtils::beep()
{
    QApplication::beep();
}

void OSServiceUtils::setDockHide(bool visible)
{
    g_menuBarVisible = visible;
    if (visible)
        DesktopHider::show(kDesktopPanels);
    else
        DesktopHider::hide(kDesktopPanels);
}

bool OSServiceUtils::dockIsHide()
{
    return g_menuBarVisible;
}

void OSServiceUtils::setHideDesktopIcon(bool show, const QList<int>& keep)
{
    if (show)
        DesktopHider::show(kDesktopApps);
    else
        DesktopHider::hide(kDesktopApps, keep);
}

bool OSServiceUtils::moveFile(const QString& src, const QString& dst)
{
    // A bare file name goes to the current folder, not into a new folder
    // named after it.
    const QString folder = QFileInfo(dst).absolutePath();
    if (!QDir(folder).exists())
        QDir().mkpath(folder);
    Log("OSServiceUtils", LogLevel::Info, "mv: %s to %s", U8(src), U8(dst));
    QProcess process;
    // "--" ends the options so that a name starting with "-" stays a name;
    // "-T" moves onto dst itself, never into a folder of that name.
    process.start(QStringLiteral("mv"), {QStringLiteral("-T"), QStringLiteral("--"), src, dst});
    if (!process.waitForStarted() || !process.waitForFinished(-1)) {
        Log("OSServiceUtils", LogLevel::Error, "mv command error, error code: %d", -1);
        return false;
    }
    const int code = process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
    if (code != 0) {
        Log("OSServiceUtils", LogLevel::Error, "mv command error, error code: %d", code);
        return false;
    }
    return true;
}

QString OSServiceUtils::languageCodeOf(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Chinese: {
        const QLocale::Script script = locale.script();
        if (script == QLocale::TraditionalHanScript)
            return QStringLiteral("zh_TW");
        if (script == QLocale::SimplifiedHanScript)
            return QStringLiteral("zh_CN");
        const QLocale::Country c = locale.country();
        const bool traditional = c == QLocale::Taiwan || c == QLocale::HongKong || c == QLocale::Macau;
        return traditional ? QStringLiteral("zh_TW") : QStringLiteral("zh_CN");
    }
    case QLocale::English: return QStringLiteral("en");
    case QLocale::French: return QStringLiteral("fr");
    case QLocale::German: return QStringLiteral("de");
    case QLocale::Japanese: return QStringLiteral("ja");
    case QLocale::Spanish: return QStringLiteral("es");
    case QLocale::Portuguese: return QStringLiteral("pt");
    default: return QStringLiteral("en");
    }
}

QString OSServiceUtils::getLocalLanguage()
{
    return languageCodeOf(QLocale::system());
}

QString OSServiceUtils::scriptPath(int install, bool audioDriver)
{
    const char* name = audioDriver ? (install ? "install_AudioDriver.sh" : "uninstall_AudioDriver.sh")
                                   : (install ? "TaskXPC/install_TaskXPC.sh" : "TaskXPC/uninstall_TaskXPC.sh");
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../Resources/" + name);
}

void OSServiceUtils::setPrivilegedRunner(const Runner& runner)
{
    privilegedRunner() = runner;
}

int OSServiceUtils::UserExecute(const QString& dir, int install, bool audioDriver)
{
    // The script path is handed to bash as one argument: no shell ever reads
    // a command line built from paths, so no folder name can run a command.
    // Setting up system sound is the user's own business (their sound
    // server, reached through their environment): it runs as them, with no
    // password asked. Only the service scripts need administrator rights.
    const QString script = scriptPath(install, audioDriver);
    const QString program = audioDriver ? QStringLiteral("bash") : QStringLiteral("pkexec");
    const QStringList args = audioDriver ? QStringList{script} : QStringList{QStringLiteral("/bin/bash"), script};

    // For the record (and for running it by hand): the same command, quoted.
    const QString commandFile = dir + "/command.sh";
    QFile::remove(commandFile);
    QFile file(commandFile);
    if (file.open(QIODevice::WriteOnly)) {
        QStringList words{program};
        for (const QString& a : args)
            words << shellQuote(a);
        file.write("#!/bin/bash\n");
        file.write(words.join(' ').toUtf8());
        file.close();
    }

    const Runner& runner = privilegedRunner();
    const int code = runner ? runner(program, args) : runPkexec(program, args);
    // A wait status, as the callers expect: exit code 1 arrives as 256.
    const int status = code < 0 ? -1 : (code & 0xff) << 8;
    Log("OSServiceUtils", LogLevel::Info, "install:%d, osascript status code: %d", install, status);
    return status;
}

bool OSServiceUtils::isLaterThenMacOS10_15()
{
    Log("OSServiceUtils", LogLevel::Info, "ProductVersion: %s", U8(QSysInfo::prettyProductName()));
    return true;
}

QString OSServiceUtils::getProcessPathWithPid(int pid)
{
    if (pid <= 0)
        return QString();
    char buffer[4096];
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof(buffer));
    if (n <= 0 || n >= ssize_t(sizeof(buffer)))
        return QString();
    return QString::fromUtf8(buffer, int(n));
}

QString OSServiceUtils::getProcessNameWithPid(int pid)
{
    const QString path = getProcessPathWithPid(pid);
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

void OSServiceUtils::setHiddenFile(const QString& path)
{
    // Linux hides only dot files; renaming the caller's file is not wanted.
    Log("OSServiceUtils", LogLevel::Info, "no hidden flag on this system: %s", U8(path));
}

bool OSServiceUtils::isRunningProcess(const QString& name)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QList<int> pids;
    for (const QString& entry : entries) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (ok && pid > 0)
            pids << pid;
    }
    std::sort(pids.begin(), pids.end(), std::greater<int>());
    for (int pid : pids) {
        const QString path = getProcessPathWithPid(pid);
        if (path.isEmpty() || !path.contains(name, Qt::CaseSensitive))
            continue;
        Log("OSServiceUtils", LogLevel::Info, "      PID:%d  |  ProcessPath:%s  ", pid, U8(path));
        return true;
    }
    return false;
}
