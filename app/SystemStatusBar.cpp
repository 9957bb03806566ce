#include "SystemStatusBar.h"

namespace {
SystemStatusBar* g_pInstance = nullptr;
}

SystemStatusBar::SystemStatusBar()
    : QSystemTrayIcon(nullptr)
{
}

SystemStatusBar* SystemStatusBar::instance()
{
    if (!g_pInstance)
        g_pInstance = new SystemStatusBar();
    return g_pInstance;
}

void SystemStatusBar::release()
{
    delete g_pInstance;
    g_pInstance = nullptr;
}

void SystemStatusBar::setActionEnable(bool enable)
{
    m_bActionEnable = enable;
}
