#pragma once

// The spectrum behind scGetAudioLevels: the mixer hands it every mixed
// chunk, a meter asks it for band levels. Sound is kept only while someone
// asks, and the transform runs only when asked, on the asking thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace sc {
namespace levels {

class LevelAnalyser
{
public:
    static constexpr int kWindow = 4096;         // frames, a power of two
    static constexpr int64_t kStaleUs = 500000;  // older sound counts as silence
    static constexpr int64_t kIdleUs = 2000000;  // unasked this long: stop keeping

    // The one the engine's mixers feed.
    static LevelAnalyser& instance();

    // Interleaved stereo frames, newest last; any thread.
    void feed(const float* frames, std::size_t frameCount, int64_t nowUs);
    // Two floats per band into `out` (see ScreencastLevels.h); any thread.
    int levels(float* out, int count, int64_t nowUs);

    static double bandEdge(int band);

    LevelAnalyser();

private:
    void spectrum(std::vector<float>& bands);

    std::atomic<int64_t> m_askedUs{0};
    std::atomic<bool> m_kept{false};

    std::mutex m_mutex;
    std::vector<float> m_ring;       // mono, kWindow frames
    std::size_t m_write = 0;         // next slot in m_ring
    int64_t m_fedUs = 0;
    std::vector<float> m_peaks;      // held peaks per band
    int64_t m_peaksUs = 0;
    std::vector<float> m_window;     // Hann
    double m_windowPower = 0;        // sum of squares of m_window
    std::vector<int> m_firstBin;     // per band, and one past the last band
};

// In-place radix-2 transform of `re`/`im`, whose length is a power of two.
void fft(std::vector<float>& re, std::vector<float>& im);

} // namespace levels
} // namespace sc
