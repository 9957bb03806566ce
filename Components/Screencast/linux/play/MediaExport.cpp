// scExportMedia: a stretch of a file written on a thread of its own.

#include "play/RangeWriter.h"
#include "core/BackgroundJob.h"

#include "core/EngineCore.h"
#include "Screencast.h"

#include "platform/log/Log.h"

#include <atomic>
#include <string>

#include <sys/stat.h>

namespace sc {
namespace play {

namespace {

class MediaExport final : public rec::BackgroundJob<CMediaExportObject>
{
public:
    MediaExport(AVPlayerExportCallback* callback, std::string source, std::string target, double start, double end)
        : m_callback(callback), m_source(std::move(source)), m_target(std::move(target)), m_start(start), m_end(end)
    {
        BackgroundJob::start();
    }

    double progress() override { return m_progress.load(); }

private:
    void work() override
    {
        std::string error;
        const bool ok = writeRange(m_source, m_target, m_start, m_end, cancelFlag(), m_progress, error);
        if (ok)
            Log(kLogModule, LogLevel::Info, "exported %.3f-%.3f s of %s to %s", m_start, m_end, m_source.c_str(),
                m_target.c_str());
        else
            Log(kLogModule, cancelled() ? LogLevel::Info : LogLevel::Error, "export to %s ended: %s", m_target.c_str(), error.c_str());
        if (!cancelled() && m_callback)
            m_callback->OnExportCompleted(ok);
    }

    AVPlayerExportCallback* const m_callback;
    const std::string m_source;
    const std::string m_target;
    const double m_start;
    const double m_end;
    std::atomic<double> m_progress{0.0};
};

} // namespace

} // namespace play
} // namespace sc

CBasePtr<CMediaExportObject> scExportMedia(AVPlayerExportCallback* callback, const char* source, const char* target,
                                           double start, double end)
{
    struct stat st {};
    if (!source || ::stat(source, &st) != 0 || !S_ISREG(st.st_mode)) {
        Log(sc::kLogModule, LogLevel::Error, "scExportMedia: no source \"%s\"", source ? source : "");
        return CBasePtr<CMediaExportObject>();
    }
    if (!target || !*target || ::lstat(target, &st) == 0) {
        Log(sc::kLogModule, LogLevel::Error, "scExportMedia: the target \"%s\" is empty or exists", target ? target : "");
        return CBasePtr<CMediaExportObject>();
    }
    if (!(end > start) || start < 0) {
        Log(sc::kLogModule, LogLevel::Error, "scExportMedia: empty stretch %.3f-%.3f", start, end);
        return CBasePtr<CMediaExportObject>();
    }
    return CBasePtr<CMediaExportObject>(new sc::play::MediaExport(callback, source, target, start, end));
}
