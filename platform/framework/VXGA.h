#pragma once

#include <QMutex>
#include <QString>

// Usage analytics. Here it records each event as a log line of its own
// module; nothing leaves the machine.
class VXGA
{
public:
    static VXGA* instance();
    static void release();

    void startService();
    void startOneceTimeCheck();
    void CEIP(const QString& category, const QString& action, int type, const QString& label, int value);
    void stopService();
    bool isRunning() const;

private:
    VXGA() = default;
    mutable QMutex m_mutex;
    bool m_bRunning = false;
};
