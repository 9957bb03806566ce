#include "platform/framework/VXGA.h"

#include <QMutexLocker>

#include "platform/log/Log.h"

namespace {

QMutex g_instanceMutex;
VXGA* g_instance = nullptr;

} // namespace

VXGA* VXGA::instance()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance = new VXGA;
    return g_instance;
}

void VXGA::release()
{
    QMutexLocker lock(&g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

void VXGA::startService()
{
    QMutexLocker lock(&m_mutex);
    m_bRunning = true;
    Log("VXGA", LogLevel::Info, "startService");
}

void VXGA::startOneceTimeCheck()
{
    QMutexLocker lock(&m_mutex);
    Log("VXGA", LogLevel::Info, "startOneceTimeCheck");
}

void VXGA::CEIP(const QString& category, const QString& action, int type, const QString& label, int value)
{
    QMutexLocker lock(&m_mutex);
    Log("VXGA", LogLevel::Info, "CEIP category=[%s] action=[%s] type=%d label=[%s] value=%d", qUtf8Printable(category),
        qUtf8Printable(action), type, qUtf8Printable(label), value);
}

void VXGA::stopService()
{
    QMutexLocker lock(&m_mutex);
    m_bRunning = false;
    Log("VXGA", LogLevel::Info, "stopService");
}

bool VXGA::isRunning() const
{
    QMutexLocker lock(&m_mutex);
    return m_bRunning;
}
