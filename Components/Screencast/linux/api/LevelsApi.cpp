// The level queries and the microphone test.
//
// The microphone test opens the device like a sound recording would and
// drains it on a thread of its own, throwing the sound away: draining
// through the mixer is what hands it to the analyser.

#include "core/EngineCore.h"

#include "ScreencastLevels.h"

#include "audio/LevelAnalyser.h"
#include "audio/AudioSource.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace sc;

namespace {

class MicTest {
public:
    explicit MicTest(std::unique_ptr<rec::PulseAudioSource> source) : m_source(std::move(source))
    {
        m_thread = startNamedThread("sr-mic-test", [this] { run(); });
    }
    ~MicTest()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
        m_source->stop();
    }

private:
    void run()
    {
        std::vector<rec::AudioChunk> chunks;
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(40), [this] { return m_stop; })) {
            chunks.clear();
            if (!m_source->take(chunks)) {
                Log(kLogModule, LogLevel::Error, "microphone test: the device went away");
                m_source->stop();   // nothing more to hear; the levels fall to silence
                return;
            }
        }
    }

    std::unique_ptr<rec::PulseAudioSource> m_source;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

std::mutex g_micMutex;
std::unique_ptr<MicTest> g_mic;   // under g_micMutex

} // namespace

double scLevelBandEdge(int band) { return levels::LevelAnalyser::bandEdge(band); }

int scGetAudioLevels(float* out, int count)
{
    return levels::LevelAnalyser::instance().levels(out, count, rec::nowUs());
}

int scStartMicLevelTest(const char* captureDeviceId)
{
    std::lock_guard<std::mutex> lock(g_micMutex);
    g_mic.reset();   // one device at a time
    std::unique_ptr<rec::PulseAudioSource> source(new rec::PulseAudioSource(false, true, captureDeviceId));
    std::string error;
    if (!source->start(error)) {
        Log(kLogModule, LogLevel::Error, "microphone test: %s", error.c_str());
        return -1;
    }
    Log(kLogModule, LogLevel::Info, "microphone test on \"%s\"", captureDeviceId ? captureDeviceId : "");
    g_mic.reset(new MicTest(std::move(source)));
    return 0;
}

void scStopMicLevelTest()
{
    std::lock_guard<std::mutex> lock(g_micMutex);
    g_mic.reset();
}
