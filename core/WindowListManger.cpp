#include "core/WindowListManger.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/log/Log.h"
#include "Screencast.h"
#include "platform/framework/VxProductInfo.h"

namespace {

WindowListManger* g_pWindowListManger = nullptr;

const char* const kCameraWindowTitle = "Webcam Recorder";

// Whether a window's owner names this program. The engine reports the owner
// as the class of WM_CLASS, which Qt sets to the application name; without
// one it falls back to the instance part (the executable's name) and then to
// the process name. Another program whose window bears the same title does
// not match; a second copy of this program cannot run.
bool isOwnWindow(const QString& owner)
{
    if (owner.isEmpty())
        return false;
    const QString appName = QCoreApplication::applicationName();
    if (!appName.isEmpty() && owner == appName)
        return true;
    const QString exeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return !exeName.isEmpty() && owner == exeName;
}

} // namespace

WindowListManger* WindowListManger::instance()
{
    if (!g_pWindowListManger)
        g_pWindowListManger = new WindowListManger();
    return g_pWindowListManger;
}

void WindowListManger::release()
{
    if (g_pWindowListManger)
        g_pWindowListManger->m_pWindowList.reset();
    delete g_pWindowListManger;
    g_pWindowListManger = nullptr;
}

void WindowListManger::refresh(int filter)
{
    m_pWindowList = scFindWindow(filter);
}

int WindowListManger::itemCount() const
{
    return m_pWindowList ? m_pWindowList->count() : 0;
}

QList<int> WindowListManger::getWindowsList()
{
    refresh(kWindowFilterNormal);
    QList<int> ids;
    const int count = itemCount();
    for (int i = 0; i < count; ++i)
        ids << int(m_pWindowList->item(i).id);
    return ids;
}

int WindowListManger::getCameraWinId()
{
    refresh(kWindowFilterOwn);
    const int count = itemCount();
    for (int i = 0; i < count; ++i) {
        const WindowInfo info = m_pWindowList->item(i);
        if (QString::fromUtf8(info.title) != QLatin1String(kCameraWindowTitle))
            continue;
        const QString owner = QString::fromUtf8(info.owner);
        Log("WindowListManger", LogLevel::Error, "appname : %s, product name : %s", owner.toUtf8().constData(),
            VxProductInfo::instance()->productName().toUtf8().constData());
        if (isOwnWindow(owner))
            return int(info.id);
    }
    return 0;
}

void WindowListManger::getWindowsRect(int id, int& a, int& b)
{
    a = 0;
    b = 0;
    refresh(kWindowFilterNormal);
    const int count = itemCount();
    for (int i = 0; i < count; ++i) {
        const WindowInfo info = m_pWindowList->item(i);
        if (int(info.id) == id) {
            a = info.width;
            b = info.height;
            return;
        }
    }
}

QPoint WindowListManger::getWindowQPoint(int id)
{
    const CRect frame = GetWindowRect(static_cast<unsigned int>(id));
    return QPoint(int(frame.left), int(frame.top));
}

bool WindowListManger::chechWindowVisible(QList<int> ids, bool firstOnly)
{
    if (ids.isEmpty())
        return false;
    if (firstOnly)
        return IsWindowVisible(static_cast<unsigned int>(ids.first()));
    for (int id : ids) {
        if (IsWindowVisible(static_cast<unsigned int>(id)))
            return true;
    }
    return false;
}
