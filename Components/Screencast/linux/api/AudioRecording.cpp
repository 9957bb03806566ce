// Sound-only recording into the engine's own files, and conversion of a
// recording into the audio format the user saves in.
//
// A sound recorder reads the mixed sound from a PulseAudioSource on one
// writer thread, cuts out what was heard before the start, during a pause
// or after the release (the same pause spans as the screen recorder's,
// rec/PauseSpans.h), and appends the rest to a WAV file in the engine's
// audio folder (audio/AudioTempFiles.h).

#include "core/EngineCore.h"

#include "Screencast.h"

#include "audio/AudioConverter.h"
#include "audio/AudioSource.h"
#include "audio/AudioTempFiles.h"
#include "core/BackgroundJob.h"
#include "core/LastError.h"
#include "rec/PauseSpans.h"
#include "core/Pipeline.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace sc;

namespace {

// How often the writer collects sound: short enough that the file keeps
// growing smoothly, long enough to write in sizeable pieces.
constexpr auto kWriterPeriod = std::chrono::milliseconds(40);

class AudioRecorder;

// What GetAudioRecordDuration and scAudioConvert need to know across
// recorders.
struct RecordingState {
    std::mutex mutex;
    int live = 0;                       // recorders not yet released
    AudioRecorder* newest = nullptr;    // the one whose duration counts
    double lastSeconds = -1.0;          // the last one made; -1: look at the disk
};

RecordingState& state()
{
    static RecordingState* s = new RecordingState;   // outlives every recorder
    return *s;
}

class AudioRecorder final : public CAudioRecoderObject {
public:
    AudioRecorder(CRecoderCallback* callback, int channels, std::unique_ptr<rec::PulseAudioSource> source,
                  std::unique_ptr<rec::WavTempFile> file)
        : m_callback(callback), m_channels(channels), m_source(std::move(source)), m_file(std::move(file)),
          m_partPath(m_file->path())
    {
        {
            RecordingState& s = state();
            std::lock_guard<std::mutex> lock(s.mutex);
            ++s.live;
            s.newest = this;
        }
        m_bytes = m_file->bytes();
        // The source runs already: the writer drains it from now on and
        // keeps only what falls inside the recording spans.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_thread = startNamedThread("sr-audio-write", [this] { run(); });
    }

    int start() override
    {
        if (!m_spans.start(rec::nowUs()))
            return -1;
        Log(kLogModule, LogLevel::Info, "sound recording started: %s", m_partPath.c_str());
        return 0;
    }

    int pause() override
    {
        if (!m_spans.started())
            return -1;
        m_spans.pause(rec::nowUs());
        return 0;
    }

    int resume() override
    {
        if (!m_spans.started())
            return -1;
        m_spans.resume(rec::nowUs());
        return 0;
    }

    int64_t tempFileSize() override { return m_bytes.load(); }

    int errorCause() override { return m_cause.load(); }

    const char* lastErrorText() override { return m_reason.get(); }

    int fileNameLost() override { return m_file->nameLost() ? 1 : 0; }

    void release() override
    {
        // The end is a pause that never resumes: what is heard after it
        // is cut like a pause.
        m_spans.pause(rec::nowUs());
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
        {
            RecordingState& s = state();
            std::lock_guard<std::mutex> lock(s.mutex);
            --s.live;
            if (s.newest == this) {
                s.newest = nullptr;
                s.lastSeconds = m_finalSeconds;
            }
        }
        delete this;
    }

    double seconds() const { return double(m_frames.load()) / rec::kAudioRate; }

private:
    ~AudioRecorder() override = default;

    void report(SRErrorCode code, int cause, const std::string& reason)
    {
        Log(kLogModule, LogLevel::Error, "sound recording stopped with error %d (cause %d): %s", int(code), cause,
            reason.c_str());
        m_cause = cause;
        m_reason.set(reason);
        if (m_callback)
            m_callback->OnError(code);
    }

    // Appends the frames of `chunk` that belong to the recording, each at
    // its place: a gap becomes silence, an overlap is not written twice.
    bool write(const rec::AudioChunk& chunk)
    {
        const int64_t frames = int64_t(chunk.samples.size() / rec::kAudioChannels);
        for (const rec::PauseSpans::Run& run : m_cutter.cut(chunk.firstSampleUs, frames)) {
            const int64_t written = m_file->frames();
            const int64_t skip = std::max<int64_t>(0, written - run.position);
            const int64_t gap = std::max<int64_t>(0, run.position - written);
            const int64_t count = std::max<int64_t>(0, run.count - skip);
            if (count == 0)
                continue;
            m_pcm.assign(std::size_t(gap + count) * std::size_t(m_channels), 0);
            const float* src = chunk.samples.data() + (run.offset + skip) * rec::kAudioChannels;
            int16_t* dst = m_pcm.data() + gap * m_channels;
            for (int64_t i = 0; i < count; ++i, src += rec::kAudioChannels) {
                if (m_channels == 1) {
                    *dst++ = toPcm((src[0] + src[1]) * 0.5f);
                } else {
                    *dst++ = toPcm(src[0]);
                    *dst++ = toPcm(src[1]);
                }
            }
            const bool ok = m_file->append(m_pcm.data(), gap + count);
            // Also after a failure: what did go in is part of the recording.
            m_frames = m_file->frames();
            m_bytes = m_file->bytes();
            if (!ok)
                return false;
        }
        return true;
    }

    static int16_t toPcm(float v)
    {
        const float clamped = std::min(1.0f, std::max(-1.0f, v));
        return int16_t(std::lrintf(clamped * 32767.0f));
    }

    void run()
    {
        {
            // Until the constructor finished with m_thread.
            std::lock_guard<std::mutex> lock(m_mutex);
        }
        std::vector<rec::AudioChunk> chunks;
        bool failed = false;
        for (;;) {
            bool stopping;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait_for(lock, kWriterPeriod, [this] { return m_stop; });
                stopping = m_stop;
            }
            if (stopping)
                m_source->stop();   // what it captured until now still comes out below
            chunks.clear();
            const bool sourceOk = m_source->take(chunks);
            if (!failed) {
                for (const rec::AudioChunk& chunk : chunks) {
                    if (!write(chunk)) {
                        failed = true;
                        report(SR_FileWriteFailed, SR_CauseNone,
                               fileFailureText(m_file->writeError(), m_file->path()));
                        break;
                    }
                }
                if (!failed && !sourceOk) {
                    failed = true;
                    const int cause = m_source->failureCause();
                    report(SR_MicInterrupted, cause, recordingFailureText(SR_MicInterrupted, cause));
                }
            }
            if (failed)
                m_source->stop();   // the device is no longer needed
            if (stopping)
                break;
        }

        std::string error;
        if (!m_spans.started()) {
            m_file->discard();
            m_finalSeconds = -1.0;
        } else if (m_file->finish(error)) {
            m_finalSeconds = seconds();
            Log(kLogModule, LogLevel::Info, "sound recording of %.2f s kept in %s", m_finalSeconds, m_file->path().c_str());
        } else {
            // The part file stays: a later restore can still make it usable.
            m_finalSeconds = seconds();
            Log(kLogModule, LogLevel::Error, "sound recording not completed: %s", error.c_str());
        }
    }

    CRecoderCallback* const m_callback;
    const int m_channels;
    std::unique_ptr<rec::PulseAudioSource> m_source;
    std::unique_ptr<rec::WavTempFile> m_file;    // writer thread only
    const std::string m_partPath;
    std::vector<int16_t> m_pcm;                  // writer thread only
    rec::PauseSpans m_spans;
    rec::SoundCutter m_cutter{m_spans, rec::kAudioRate};   // writer thread only
    double m_finalSeconds = -1.0;                // writer thread, read after join

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;

    std::atomic<int64_t> m_bytes{0};
    std::atomic<int64_t> m_frames{0};
    std::atomic<int> m_cause{SR_CauseNone};
    FailureText m_reason;
};

// ---- conversion ---------------------------------------------------------------

class AudioConversion final : public rec::BackgroundJob<CAudioConvertObject> {
public:
    AudioConversion(AudioConvertCallback* callback, std::string source, bool engineFile, std::string target,
                    int format)
        : m_callback(callback), m_source(std::move(source)), m_engineFile(engineFile), m_target(std::move(target)),
          m_format(format)
    {
        BackgroundJob::start();
    }

private:
    void work() override
    {
        std::string error;
        const int result = rec::convertAudioFile(m_source, m_engineFile, m_target, m_format, cancelFlag(), error);
        if (result == rec::kConvertOk)
            Log(kLogModule, LogLevel::Info, "sound converted to format %d: %s", m_format, m_target.c_str());
        else
            Log(kLogModule, LogLevel::Error, "sound conversion to %s failed (%d): %s", m_target.c_str(), result, error.c_str());
        if (!cancelled() && m_callback)
            m_callback->OnComplete(result);
    }

    AudioConvertCallback* const m_callback;
    const std::string m_source;
    const bool m_engineFile;
    const std::string m_target;
    const int m_format;
};

} // namespace

CBasePtr<CAudioRecoderObject> scAudioRecord(CRecoderCallback* callback, int8_t render, int8_t capture,
                                            int channels, const char* captureDeviceId)
{
    clearLastError();
    if (!render && !capture) {
        Log(kLogModule, LogLevel::Error, "scAudioRecord: neither system sound nor microphone chosen");
        setLastError("Neither system sound nor the microphone was chosen.");
        return CBasePtr<CAudioRecoderObject>();
    }
    // Stereo unless mono is asked for: the sound is captured in stereo.
    const int fileChannels = channels == 1 ? 1 : 2;

    std::unique_ptr<rec::PulseAudioSource> source(
        new rec::PulseAudioSource(render != 0, capture != 0, captureDeviceId));
    std::string error;
    if (!source->start(error)) {
        Log(kLogModule, LogLevel::Error, "scAudioRecord: %s", error.c_str());
        return CBasePtr<CAudioRecoderObject>();
    }
    std::unique_ptr<rec::WavTempFile> file(new rec::WavTempFile);
    if (!file->create(fileChannels, error)) {
        Log(kLogModule, LogLevel::Error, "scAudioRecord: %s", error.c_str());
        setLastError("The sound recording cannot be written.");
        return CBasePtr<CAudioRecoderObject>();
    }
    Log(kLogModule, LogLevel::Info, "scAudioRecord: render %d, capture %d, channels %d, device \"%s\"", int(render),
        int(capture), fileChannels, captureDeviceId ? captureDeviceId : "");
    return CBasePtr<CAudioRecoderObject>(
        new AudioRecorder(callback, fileChannels, std::move(source), std::move(file)));
}

double GetAudioRecordDuration()
{
    RecordingState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.newest)
            return s.newest->seconds();
        if (s.lastSeconds >= 0)
            return s.lastSeconds;
    }
    // Nothing recorded by this process: the recording on disk, if any.
    rec::WavFacts facts;
    return rec::readWavFacts(rec::lastAudioRecordingPath(), facts) ? facts.seconds() : 0.0;
}

const char* GetAudioRecordFile()
{
    thread_local std::string path;
    path = rec::lastAudioRecordingPath();
    if (::access(path.c_str(), F_OK) != 0)
        path.clear();
    return path.c_str();
}

int RestoreAudioRecordTempFiles()
{
    rec::WavFacts facts;
    if (!rec::restoreInterruptedRecording(facts))
        return 0;
    RecordingState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.newest)
        s.lastSeconds = facts.seconds();
    return 1;
}

CBasePtr<CAudioConvertObject> scAudioConvert(AudioConvertCallback* callback, const char* source, const char* target,
                                             int format)
{
    clearLastError();
    if (!rec::isAudioFormat(format) || !target || !*target) {
        Log(kLogModule, LogLevel::Error, "scAudioConvert: format %d, target \"%s\" refused", format, target ? target : "");
        setLastError(target && *target ? "The chosen sound format is not supported." : "No file was named.");
        return CBasePtr<CAudioConvertObject>();
    }
    struct stat st {};
    if (::lstat(target, &st) == 0) {
        Log(kLogModule, LogLevel::Error, "scAudioConvert: %s exists; it is not overwritten", target);
        setLastError(std::string("The file ") + target + " exists already.");
        return CBasePtr<CAudioConvertObject>();
    }
    const bool engineFile = !source || !*source;
    std::string from;
    if (engineFile) {
        RecordingState& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.live > 0) {
            Log(kLogModule, LogLevel::Error, "scAudioConvert: a sound recording is still in progress");
            setLastError("A sound recording is still in progress.");
            return CBasePtr<CAudioConvertObject>();
        }
        from = rec::lastAudioRecordingPath();
        rec::WavFacts facts;
        if (!rec::readWavFacts(from, facts)) {
            Log(kLogModule, LogLevel::Error, "scAudioConvert: there is no sound recording to convert");
            setLastError("There is no sound recording to convert.");
            return CBasePtr<CAudioConvertObject>();
        }
    } else {
        from = source;
    }
    return CBasePtr<CAudioConvertObject>(new AudioConversion(callback, from, engineFile, target, format));
}
