#pragma once

#include <QSystemTrayIcon>

// The program's status-bar (tray) item. For now it carries the enable flag
// that modal steps switch off so a click cannot start a second road while
// they run; the menu, icons and states join it with the control bar.
class SystemStatusBar : public QSystemTrayIcon
{
    Q_OBJECT
public:
    static SystemStatusBar* instance();
    static void release();

    void setActionEnable(bool enable);
    bool actionEnable() const { return m_bActionEnable; }

private:
    SystemStatusBar();
    ~SystemStatusBar() override = default;

    bool m_bActionEnable = true;
};
