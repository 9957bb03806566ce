#include "audio/AudioMixer.h"

#include "audio/LevelAnalyser.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sc {
namespace rec {

namespace {

// Two loud inputs add up past full scale. Below the knee the sum is kept as
// it is; above it the level bends smoothly towards 1 instead of being cut
// off, which sounds far less harsh than hard clipping.
float softLimit(float x)
{
    constexpr float knee = 0.8f;
    const float a = std::fabs(x);
    if (a <= knee)
        return x;
    const float bent = knee + (1.0f - knee) * std::tanh((a - knee) / (1.0f - knee));
    return x < 0 ? -bent : bent;
}

float clampUnit(float x) { return std::min(1.0f, std::max(-1.0f, x)); }

} // namespace

AudioMixer::AudioMixer(int inputs, int64_t originUs)
    : m_inputs(std::size_t(std::max(inputs, 1))), m_originUs(originUs)
{
}

int64_t AudioMixer::frameAt(int64_t us) const
{
    const int64_t d = us - m_originUs;
    // Rounded to the nearest frame, also for moments before the origin.
    const int64_t scaled = d * kAudioRate;
    return scaled >= 0 ? (scaled + 500000) / 1000000 : -((-scaled + 500000) / 1000000);
}

int64_t AudioMixer::timeOf(int64_t frame) const { return m_originUs + frame * 1000000 / kAudioRate; }

void AudioMixer::dropBefore(Input& in, int64_t frame)
{
    if (frame <= in.start)
        return;
    const int64_t drop = std::min<int64_t>(frame - in.start, int64_t(in.samples.size() / kAudioChannels));
    in.samples.erase(in.samples.begin(), in.samples.begin() + drop * kAudioChannels);
    in.start = frame;
}

void AudioMixer::push(int input, const float* frames, std::size_t frameCount, int64_t firstUs, int64_t arrivalUs)
{
    if (input < 0 || input >= int(m_inputs.size()) || frameCount == 0)
        return;
    Input& in = m_inputs[std::size_t(input)];
    in.arrivalUs = arrivalUs;
    const double expected = double(firstUs - m_originUs) * kAudioRate / 1e6;
    if (in.corrector.placed() && !in.corrector.follows(expected)) {
        // The input jumps: the frames held for its interpolation still
        // belong where they were going.
        m_placed.clear();
        store(in, in.corrector.flush(m_placed));
    }
    m_placed.clear();
    store(in, in.corrector.push(frames, frameCount, expected, m_placed));
}

void AudioMixer::store(Input& in, int64_t at)
{
    if (m_placed.empty())
        return;
    if (in.samples.empty()) {
        in.start = at;
    } else if (at > in.end()) {
        // A gap in the input (lost data): silence until its sound goes on.
        in.samples.resize(std::size_t(at - in.start) * kAudioChannels, 0.0f);
    } else if (at < in.end()) {
        // The input jumped back: its newer frames replace what was there.
        if (at <= in.start) {
            in.samples.clear();
            in.start = at;
        } else {
            in.samples.resize(std::size_t(at - in.start) * kAudioChannels);
        }
    }
    in.samples.insert(in.samples.end(), m_placed.begin(), m_placed.end());

    // Frames whose moment was already released are late: drop them.
    dropBefore(in, m_out);
    // Nobody takes the sound: keep a bounded amount, the newest.
    if (in.end() - in.start > kMaxBufferedFrames)
        dropBefore(in, in.end() - kMaxBufferedFrames);
}

void AudioMixer::drain(int64_t endUs, std::vector<AudioChunk>& out)
{
    int64_t target = frameAt(endUs);
    for (Input& in : m_inputs) {
        m_placed.clear();
        store(in, in.corrector.flush(m_placed));
        if (!in.samples.empty())
            target = std::max(target, in.end());
    }
    releaseUpTo(target, out);
}

void AudioMixer::pull(int64_t nowUs, std::vector<AudioChunk>& out)
{
    int64_t target = std::numeric_limits<int64_t>::max();
    bool anyLive = false;
    for (const Input& in : m_inputs) {
        const bool live =
            in.arrivalUs != 0 ? nowUs - in.arrivalUs <= kStallUs : nowUs - m_originUs <= kStartupUs;
        if (!live)
            continue;
        anyLive = true;
        const int64_t reached = in.corrector.placed() ? in.corrector.next() : m_out;
        target = std::min(target, in.samples.empty() ? reached : in.end());
    }
    if (!anyLive)
        target = frameAt(nowUs - kStallUs);
    releaseUpTo(target, out);
}

void AudioMixer::releaseUpTo(int64_t target, std::vector<AudioChunk>& out)
{
    if (target <= m_out)
        return;

    AudioChunk chunk;
    chunk.firstSampleUs = timeOf(m_out);
    const int64_t count = target - m_out;
    chunk.samples.assign(std::size_t(count) * kAudioChannels, 0.0f);
    int contributing = 0;
    for (Input& in : m_inputs) {
        const int64_t from = std::max(m_out, in.start);
        const int64_t to = std::min(target, in.end());
        if (to <= from)
            continue;
        ++contributing;
        const float* src = in.samples.data() + (from - in.start) * kAudioChannels;
        float* dst = chunk.samples.data() + (from - m_out) * kAudioChannels;
        const std::size_t n = std::size_t(to - from) * kAudioChannels;
        for (std::size_t i = 0; i < n; ++i)
            dst[i] += src[i];
    }
    if (contributing > 1) {
        for (float& s : chunk.samples)
            s = softLimit(s);
    } else {
        for (float& s : chunk.samples)
            s = clampUnit(s);
    }
    levels::LevelAnalyser::instance().feed(chunk.samples.data(), std::size_t(count), nowUs());
    m_out = target;
    for (Input& in : m_inputs)
        dropBefore(in, m_out);
    out.push_back(std::move(chunk));
}

} // namespace rec
} // namespace sc
