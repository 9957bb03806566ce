#include "audio/LevelAnalyser.h"

#include "ScreencastLevels.h"
#include "core/Pipeline.h"

#include <algorithm>
#include <cmath>

namespace sc {
namespace levels {

namespace {

constexpr double kPi = 3.14159265358979323846;
// A held peak halves every this many microseconds.
constexpr double kPeakHalfLifeUs = 300000.0;

double binHz() { return double(rec::kAudioRate) / LevelAnalyser::kWindow; }

} // namespace

void fft(std::vector<float>& re, std::vector<float>& im)
{
    const std::size_t n = re.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * kPi / double(len);
        const float wr = float(std::cos(angle)), wi = float(std::sin(angle));
        for (std::size_t start = 0; start < n; start += len) {
            float cr = 1.0f, ci = 0.0f;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::size_t a = start + k, b = a + len / 2;
                const float tr = re[b] * cr - im[b] * ci;
                const float ti = re[b] * ci + im[b] * cr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
                const float next = cr * wr - ci * wi;
                ci = cr * wi + ci * wr;
                cr = next;
            }
        }
    }
}

LevelAnalyser& LevelAnalyser::instance()
{
    static LevelAnalyser* analyser = new LevelAnalyser;   // outlives every mixer thread
    return *analyser;
}

double LevelAnalyser::bandEdge(int band)
{
    const double step = std::log(kScLevelHighHz / kScLevelLowHz) / kScLevelBands;
    return kScLevelLowHz * std::exp(step * std::min(std::max(band, 0), kScLevelBands));
}

LevelAnalyser::LevelAnalyser()
    : m_ring(kWindow, 0.0f), m_peaks(kScLevelBands, 0.0f), m_window(kWindow), m_firstBin(kScLevelBands + 1)
{
    for (int i = 0; i < kWindow; ++i) {
        m_window[std::size_t(i)] = float(0.5 - 0.5 * std::cos(2.0 * kPi * i / kWindow));
        m_windowPower += double(m_window[std::size_t(i)]) * m_window[std::size_t(i)];
    }
    for (int band = 0; band <= kScLevelBands; ++band)
        m_firstBin[std::size_t(band)] = int(std::ceil(bandEdge(band) / binHz()));
}

void LevelAnalyser::feed(const float* frames, std::size_t frameCount, int64_t nowUs)
{
    if (nowUs - m_askedUs.load(std::memory_order_relaxed) > kIdleUs) {
        m_kept.store(false, std::memory_order_relaxed);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_kept.exchange(true))
        std::fill(m_ring.begin(), m_ring.end(), 0.0f);   // what is there is old
    // Only the newest window matters.
    const std::size_t skip = frameCount > std::size_t(kWindow) ? frameCount - kWindow : 0;
    for (std::size_t i = skip; i < frameCount; ++i) {
        const float* f = frames + i * rec::kAudioChannels;
        m_ring[m_write] = 0.5f * (f[0] + f[1]);
        m_write = (m_write + 1) % m_ring.size();
    }
    m_fedUs = nowUs;
}

void LevelAnalyser::spectrum(std::vector<float>& bands)
{
    std::vector<float> re(kWindow), im(kWindow, 0.0f);
    for (std::size_t i = 0; i < std::size_t(kWindow); ++i)
        re[i] = m_ring[(m_write + i) % m_ring.size()] * m_window[i];
    fft(re, im);
    // A sine of amplitude A puts N * A^2 / 4 * sum(w^2) into the positive
    // bins around it: scale so that a band holding it reads A.
    const double scale = 4.0 / (double(kWindow) * m_windowPower);
    for (int band = 0; band < kScLevelBands; ++band) {
        int from = m_firstBin[std::size_t(band)], to = m_firstBin[std::size_t(band) + 1];
        if (to <= from) {
            // Narrower than a bin: the bin nearest the band's middle.
            from = int(std::lround(std::sqrt(bandEdge(band) * bandEdge(band + 1)) / binHz()));
            to = from + 1;
        }
        double power = 0;
        for (int b = from; b < to && b < kWindow / 2; ++b)
            power += double(re[std::size_t(b)]) * re[std::size_t(b)] + double(im[std::size_t(b)]) * im[std::size_t(b)];
        bands[std::size_t(band)] = float(std::min(1.0, std::sqrt(power * scale)));
    }
}

int LevelAnalyser::levels(float* out, int count, int64_t nowUs)
{
    m_askedUs.store(nowUs, std::memory_order_relaxed);
    if (!out || count <= 0)
        return 0;
    std::vector<float> bands(kScLevelBands, 0.0f);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_kept.load() && nowUs - m_fedUs <= kStaleUs)
        spectrum(bands);
    const float fall = float(std::exp2(-double(std::max<int64_t>(0, nowUs - m_peaksUs)) / kPeakHalfLifeUs));
    m_peaksUs = nowUs;
    const int n = std::min(count, kScLevelValues);
    for (int band = 0; band < kScLevelBands; ++band) {
        float& peak = m_peaks[std::size_t(band)];
        peak = std::max(bands[std::size_t(band)], peak * fall);
        if (2 * band < n)
            out[2 * band] = bands[std::size_t(band)];
        if (2 * band + 1 < n)
            out[2 * band + 1] = peak;
    }
    return n;
}

} // namespace levels
} // namespace sc
