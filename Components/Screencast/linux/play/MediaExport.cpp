// scExportMedia: a stretch of a file written on a thread of its own.

#include "RangeWriter.h"

#include "EngineCore.h"
#include "Screencast.h"

#include "platform/log/Log.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include <sys/stat.h>

namespace sc {
namespace play {

namespace {

class MediaExport final : public CMediaExportObject
{
public:
    MediaExport(AVPlayerExportCallback* callback, std::string source, std::string target, double start, double end)
        : m_callback(callback), m_source(std::move(source)), m_target(std::move(target)), m_start(start), m_end(end)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_thread = std::thread([this] { run(); });
    }

    double progress() override { return m_progress.load(); }

    void release() override
    {
        m_cancel = true;
        // From inside OnExportCompleted: the thread cannot wait for itself;
        // it ends the object once the callback returned.
        if (std::this_thread::get_id() == m_thread.get_id()) {
            m_releasedInCallback = true;
            return;
        }
        m_thread.join();
        delete this;
    }

private:
    ~MediaExport() override = default;

    void run()
    {
        {
            // Until the constructor is done with m_thread.
            std::lock_guard<std::mutex> lock(m_mutex);
        }
        std::string error;
        const bool ok = writeRange(m_source, m_target, m_start, m_end, m_cancel, m_progress, error);
        if (ok)
            Log(kLogModule, 1, "exported %.3f-%.3f s of %s to %s", m_start, m_end, m_source.c_str(),
                m_target.c_str());
        else
            Log(kLogModule, m_cancel ? 1 : 2, "export to %s ended: %s", m_target.c_str(), error.c_str());
        if (!m_cancel.load() && m_callback)
            m_callback->OnExportCompleted(ok);
        if (m_releasedInCallback) {
            m_thread.detach();
            delete this;
        }
    }

    AVPlayerExportCallback* const m_callback;
    const std::string m_source;
    const std::string m_target;
    const double m_start;
    const double m_end;
    std::atomic<bool> m_cancel{false};
    std::atomic<double> m_progress{0.0};
    bool m_releasedInCallback = false;   // the worker thread only
    std::mutex m_mutex;
    std::thread m_thread;
};

} // namespace

} // namespace play
} // namespace sc

CBasePtr<CMediaExportObject> scExportMedia(AVPlayerExportCallback* callback, const char* source, const char* target,
                                           double start, double end)
{
    struct stat st {};
    if (!source || ::stat(source, &st) != 0 || !S_ISREG(st.st_mode)) {
        Log(sc::kLogModule, 2, "scExportMedia: no source \"%s\"", source ? source : "");
        return CBasePtr<CMediaExportObject>();
    }
    if (!target || !*target || ::lstat(target, &st) == 0) {
        Log(sc::kLogModule, 2, "scExportMedia: the target \"%s\" is empty or exists", target ? target : "");
        return CBasePtr<CMediaExportObject>();
    }
    if (!(end > start) || start < 0) {
        Log(sc::kLogModule, 2, "scExportMedia: empty stretch %.3f-%.3f", start, end);
        return CBasePtr<CMediaExportObject>();
    }
    return CBasePtr<CMediaExportObject>(new sc::play::MediaExport(callback, source, target, start, end));
}
