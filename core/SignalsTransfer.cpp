#include "core/SignalsTransfer.h"

#include <QFileInfo>

namespace {
SignalsTransfer* g_pInstance = nullptr;
// Guards g_pInstance against engine threads that emit through existing().
// Recursive: a slot connected directly on the emitting thread may reach the
// hub again.
std::recursive_mutex g_instanceMutex;
}

SignalsTransfer::SignalsTransfer()
    : QObject(nullptr)
{
    // The history record crosses threads in queued connections.
    qRegisterMetaType<HistoryFileUtils::HistoryFile>("HistoryFileUtils::HistoryFile");
}

SignalsTransfer* SignalsTransfer::instance()
{
    std::lock_guard<std::recursive_mutex> lock(g_instanceMutex);
    if (!g_pInstance)
        g_pInstance = new SignalsTransfer();
    return g_pInstance;
}

void SignalsTransfer::release()
{
    SignalsTransfer* hub;
    {
        std::lock_guard<std::recursive_mutex> lock(g_instanceMutex);
        hub = g_pInstance;
        g_pInstance = nullptr;
    }
    // Nobody can reach the hub any more: deleted outside the lock so that
    // its destruction never waits on an engine thread.
    delete hub;
}

SignalsTransfer::Existing SignalsTransfer::existing()
{
    std::unique_lock<std::recursive_mutex> lock(g_instanceMutex);
    SignalsTransfer* hub = g_pInstance;
    return Existing(std::move(lock), hub);
}

void SignalsTransfer::addHistoryFile(const QString& path, int type, const QString& resolution,
                                     const QString& duration, const QString& size)
{
    HistoryFileUtils::addSavefileHistroy(path, type, resolution, duration, size);
    HistoryFileUtils::HistoryFile record;
    record.fileName = QFileInfo(path).fileName();
    record.path = path;
    record.type = type;
    record.resolution = resolution;
    record.duration = duration;
    record.size = size;
    emit onAddHistoryFile(record);
}

void SignalsTransfer::showHistoryThen(QObject* context, std::function<void()> then)
{
    m_historyWaiters.append({context, std::move(then)});
    // The window opens inside the emission (a direct connection); when
    // none did, whoever waits goes on.
    emit showHistory();
    if (!m_bHistoryOpen)
        releaseHistoryWaiters();
}

void SignalsTransfer::setHistoryOpen(bool open)
{
    m_bHistoryOpen = open;
    if (!open)
        releaseHistoryWaiters();
}

void SignalsTransfer::releaseHistoryWaiters()
{
    const QList<HistoryWaiter> waiters = std::move(m_historyWaiters);
    m_historyWaiters.clear();
    for (const HistoryWaiter& waiter : waiters)
        if (waiter.context)
            QMetaObject::invokeMethod(waiter.context, waiter.then, Qt::QueuedConnection);
}
