#include "app/main_entry.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFont>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <cstdio>

#include "core/CEIPWrapper.h"
#include "platform/framework/Framework.h"
#include "platform/log/Log.h"
#include "app/InstanceChannel.h"
#include "app/MainWindowBase.h"
#include "app/SingleInstanceGuard.h"
#include "app/SystemStatusBar.h"
#include "schedule/TaskManage.h"
#include "schedule/TaskServiceSetup.h"
#include "core/Utils.h"
#include "platform/framework/VXGA.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"

void FrameworkCallBackLog(char* text)
{
    // The framework's text may contain '%': it is data, never a format.
    Log("Framework", LogLevel::Info, "%s", text ? text : "");
}

void myMessageOutput(QtMsgType /*type*/, const QMessageLogContext& /*context*/, const QString& message)
{
    const QByteArray bytes = message.toLocal8Bit();
    if (bytes.isNull())
        return;
    const QString text = QString::fromLocal8Bit(bytes.constData());
    if (text.contains(QLatin1String("libpng warning:")) || text.contains(QLatin1String("Unknown property columns")))
        return;
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

namespace {

void openProductUrl(const char* key)
{
    const QString url = VxProductInfo::instance()->extendParam(key, "").trimmed();
    if (!url.isEmpty())
        QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

void setApplicationFont(const QString& language)
{
    QString family = MainWindowBase::appFontConf(language);
    if (family.isEmpty() || !MainWindowBase::fontExist(family)) {
        family = MainWindowBase::appFontConf("en");
        if (!MainWindowBase::fontExist(family)) {
            Log("MAIN", LogLevel::Info, "config font not exit, use sys font!!!");
            return;
        }
    }
    QFont font(family);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void sayAlreadyRunning()
{
    const QString name = VxProductInfo::instance()->productName("");
    QMessageBox::warning(nullptr, name, QCoreApplication::translate("FrameworkExt", "%1 is running").arg(name),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

// False when an update that must be installed first was found: the run
// ends before any window.
bool passStartUpGates()
{
    VxProductInfo* product = VxProductInfo::instance();
    Framework::m_pLog = FrameworkCallBackLog;
    const QString aboutIcon = product->extendParam("isAboutIconShow", "");
    if (!aboutIcon.isEmpty() && aboutIcon.toInt() == 0)
        Framework::setAboutIcnShow(false);
    const QString lang = VxSettings::instance()->currentLanguage(product->defaultLanguage());
    VxResourceMgr::instance()->setCurrentLanguage(lang);
    if (!Framework::forceUpdatedCheck(nullptr))
        return false;
    setApplicationFont(lang);
    return true;
}

void startLogging()
{
    qInstallMessageHandler(myMessageOutput);
    const QString logPath = QDir::toNativeSeparators(Utils::getAppLogPath());
    SetLogfile(logPath.toLocal8Bit().constData());
    SetLogLevel(LogLevel::Info);
    VxSettings* settings = VxSettings::instance();
    settings->appendLogPath(logPath);
    settings->appendLogPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Log Files/");
    // The task service keeps its own log beside its task file.
    settings->appendLogPath(TaskServiceSetup::dataFolder() + QLatin1Char('/') + QLatin1String(TaskServiceSetup::kLogFile));
    VxProductInfo* product = VxProductInfo::instance();
    Log("MAIN", LogLevel::Info, "version %s-%s", product->productVersion("").toUtf8().constData(),
        product->programVersion().toUtf8().constData());
    Log("MAIN", LogLevel::Info, "Qt version Qt5");
}

void startServicesAndSkin()
{
    TaskManage::instance()->connectXPCServer();
    VXGA::instance()->startService();
    VXGA::instance()->startOneceTimeCheck();
    Log("MAIN", LogLevel::Info, "bFollowTheme = [%d]",
        VxSettings::instance()->applicationParam("FollowSystemTheme", true).toBool() ? 1 : 0);
    Log("MAIN", LogLevel::Info, "isInDarkMode = [%d]", Utils::applicationIsInDarkMode() ? 1 : 0);
    const QString skin = VxSettings::instance()->currentSkin(VxProductInfo::instance()->defaultSkin());
    Log("MAIN", LogLevel::Info, "setCurrentSkin = [%s]", skin.toUtf8().constData());
    VxResourceMgr::instance()->setCurrentSkin(skin);
    CEIPWrapper::instance()->MakeEvent_CEIP_Version();
}

// The frame window and the event loop; the loop's exit code.
int runFrame(InstanceChannel& channel)
{
    void* pool = Utils::createAutoreleasePool();
    MainWindowBase frame(nullptr);
    frame.setLargeIcon(VxResourceMgr::instance()->applicationLargeIconPath());
    Framework::startService();
    frame.loadDefaultWindowPos(0, 0, true);
    frame.adjustSize();
    frame.show();
    QObject::connect(&channel, &InstanceChannel::raiseRequested, SystemStatusBar::instance(),
                     [] { SystemStatusBar::instance()->onActivated(QSystemTrayIcon::DoubleClick); });
    QObject::connect(&channel, &InstanceChannel::terminationRequested, &frame, &MainWindowBase::endForSession);
    // From here on a logout or kill ends the run the ordinary way.
    channel.watchTerminationSignals();
    channel.listen();
    VXGA::instance()->CEIP("main_entry", "main_window_show", 2, "", 0);
    openProductUrl("previewPostUrl");

    frame.setAppEventLoopStarted();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    CEIPWrapper::instance()->MakeEvent(3000);
    // Once the loop runs, so the question stands over a frame already shown.
    QTimer::singleShot(0, &frame, &MainWindowBase::checkUnSaveFile);

    const int rc = QApplication::exec();

    openProductUrl("previewPostUrlEx");
    Utils::releaseAutoreleasePool(pool);
    return rc;
}

} // namespace

extern "C" int main_entry(int argc, char** argv)
{
    Framework::init(0, argc, argv);
    if (Framework::isAppUsedToPopUrl())
        return 0;
    // Held until the run ends: the next launch sees this one by it.
    const QString key = VxProductInfo::instance()->productNativeName("");
    SingleInstanceGuard guard(key);
    if (guard.check() == SingleInstanceGuard::AnotherInstance) {
        // The running one comes forward; the box still says why this one ends.
        if (!InstanceChannel::askToRaise(key))
            Log("MAIN", LogLevel::Info, "the running instance did not answer");
        sayAlreadyRunning();
        Framework::uninit();
        return 0;
    }
    InstanceChannel channel(key);
    if (!passStartUpGates()) {
        Framework::uninit();
        return 0;
    }
    startLogging();
    startServicesAndSkin();
    const int rc = runFrame(channel);

    // The status-bar item must go while the application object still exists.
    SystemStatusBar::release();
    CEIPWrapper::instance()->MakeEvent(3999);
    VXGA::instance()->stopService();
    CEIPWrapper::instance()->Submit();
    Framework::uninit();
    CEIPWrapper::release();
    return rc;
}
