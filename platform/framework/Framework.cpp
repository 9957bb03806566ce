#include "platform/framework/Framework.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <string>
#include <vector>

#include "platform/framework/FrameworkPrivate.h"
#include "platform/log/Log.h"
#include "platform/framework/VxResourceMgr.h"

namespace Framework {
LogCallback m_pLog = nullptr;
}

namespace {

// Everything init() sets up; uninit() puts it back to this state so a host
// can bring the framework up again in the same process.
struct State
{
    bool initialized = false;
    // QApplication keeps a reference to argc and the argv pointers for its
    // whole life, so they live here rather than on the caller's stack.
    int argc = 0;
    std::vector<std::string> argStorage;
    std::vector<char*> argv;
    QStringList arguments;
    QPointer<QApplication> app;
    bool ownsApp = false;
    bool aboutIcon = true;
    int popUrlState = -1; // -1 not checked yet, else 0/1
};

State g_state;

void logf(const QString& text)
{
    frameworkLog(text.toUtf8().constData());
}

} // namespace

void frameworkLog(const char* text)
{
    if (!text)
        return;
    if (Framework::m_pLog) {
        // The hook takes a mutable buffer; hand it a copy of our own.
        std::string copy(text);
        Framework::m_pLog(&copy[0]);
    } else {
        Log("Framework", LogLevel::Info, "%s", text);
    }
}

namespace Framework {

bool init(int flags, int argc, char** argv)
{
    Q_UNUSED(flags);
    if (g_state.initialized) {
        frameworkLog("init: already initialised");
        return true;
    }

    State& s = g_state;
    for (int i = 0; i < argc && argv && argv[i]; ++i)
        s.argStorage.emplace_back(argv[i]);
    if (s.argStorage.empty())
        s.argStorage.emplace_back("ScreenRecorder");
    for (std::string& arg : s.argStorage) {
        s.argv.push_back(&arg[0]);
        s.arguments << QString::fromLocal8Bit(arg.c_str());
    }
    s.argv.push_back(nullptr);
    s.argc = static_cast<int>(s.argStorage.size());

    if (!QCoreApplication::instance()) {
        s.app = new QApplication(s.argc, s.argv.data());
        s.ownsApp = true;
    } else {
        s.app = qobject_cast<QApplication*>(QCoreApplication::instance());
    }
    QCoreApplication::setOrganizationName(QStringLiteral("ScreenRecorder"));
    QCoreApplication::setApplicationName(QStringLiteral("ScreenRecorder"));
    s.initialized = true;
    logf(QStringLiteral("init: %1 argument(s), %2 application object")
             .arg(s.argc)
             .arg(s.ownsApp ? QStringLiteral("own") : QStringLiteral("host's")));
    return true;
}

bool isAppUsedToPopUrl()
{
    State& s = g_state;
    if (s.popUrlState >= 0)
        return s.popUrlState == 1;
    s.popUrlState = 0;
    const int at = s.arguments.indexOf(QStringLiteral("--open-url"));
    if (at < 0)
        return false;
    const QUrl url = at + 1 < s.arguments.size() ? QUrl::fromUserInput(s.arguments.at(at + 1)) : QUrl();
    if (!url.isValid() || url.isEmpty()) {
        frameworkLog("isAppUsedToPopUrl: --open-url without a valid URL");
        return false;
    }
    // Opened once per run, however often the host asks.
    logf(QStringLiteral("isAppUsedToPopUrl: opening %1").arg(url.toString()));
    QDesktopServices::openUrl(url);
    s.popUrlState = 1;
    return true;
}

namespace {
std::atomic<bool> g_forcedUpdatePending{false};
}

void setForcedUpdatePending(bool pending)
{
    g_forcedUpdatePending = pending;
}

bool forceUpdatedCheck(UpdateCallback callback)
{
    Q_UNUSED(callback);
    if (g_forcedUpdatePending) {
        frameworkLog("forceUpdatedCheck: a mandatory update is pending");
        return false;
    }
    frameworkLog("forceUpdatedCheck: no mandatory update");
    return true;
}

void setAboutIcnShow(bool show)
{
    g_state.aboutIcon = show;
    logf(QStringLiteral("setAboutIcnShow: %1").arg(show ? 1 : 0));
}

bool aboutIcnShow()
{
    return g_state.aboutIcon;
}

void startService()
{
    frameworkLog("startService");
}

void uninit()
{
    if (!g_state.initialized)
        return;
    frameworkLog("uninit");
    // Translators and style sheets belong to the application object.
    VxResourceMgr::release();
    if (g_state.ownsApp)
        delete g_state.app.data();
    g_state = State();
    m_pLog = nullptr;
}

QApplication* application()
{
    if (g_state.app)
        return g_state.app;
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

} // namespace Framework
