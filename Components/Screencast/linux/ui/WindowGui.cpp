#include "ui/WindowGui.h"
#include "core/NamedThread.h"

#include <QApplication>
#include <QThread>

namespace sc {
namespace rec {

bool haveWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

bool onGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void runOnGui(const std::function<void()>& job)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (onGuiThread())
        job();
    else
        QMetaObject::invokeMethod(app, job, Qt::BlockingQueuedConnection);
}

void postTo(QObject* context, const std::function<void()>& job)
{
    if (!context)
        return;
    if (QThread::currentThread() == context->thread())
        job();
    else
        QMetaObject::invokeMethod(context, job, Qt::QueuedConnection);
}

CallbackThread::CallbackThread() : m_thread(startNamedThread("sr-callbacks", [this] { run(); })) {}

CallbackThread::~CallbackThread()
{
    stop();
}

void CallbackThread::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    std::lock_guard<std::mutex> join(m_joinMutex);
    if (m_thread.joinable())
        m_thread.join();
}

void CallbackThread::post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop)
            return;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
}

void CallbackThread::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;     // stopping, and everything queued has run
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

} // namespace rec
} // namespace sc
