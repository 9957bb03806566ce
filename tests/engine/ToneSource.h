#pragma once

// A sound source for the recorder's tests: silence, and from a chosen
// moment on a 1 kHz tone, produced on the same clock as the frames. Its
// chunks are exact: chunk k begins where chunk k-1 ended.

#include "rec/Pipeline.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

class ToneSource : public sc::rec::IAudioSource
{
public:
    // Shared with the test, which outlives the recording.
    struct Control
    {
        std::atomic<int64_t> toneFromUs{0};   // 0: tone from the start
        std::atomic<bool> failNow{false};      // take() reports a lost device
        std::atomic<int> started{0};
        std::atomic<int> stopped{0};
    };

    explicit ToneSource(Control& control) : m_control(control) {}

    bool start(std::string&) override
    {
        m_originUs = sc::rec::nowUs();
        m_control.started++;
        return true;
    }

    bool take(std::vector<sc::rec::AudioChunk>& out) override
    {
        const int64_t now = sc::rec::nowUs();
        const int64_t upTo = (now - m_originUs) * sc::rec::kAudioRate / 1000000;
        const int64_t from = m_produced;
        if (upTo > from) {
            sc::rec::AudioChunk chunk;
            chunk.firstSampleUs = m_originUs + from * 1000000 / sc::rec::kAudioRate;
            chunk.samples.resize(size_t(upTo - from) * sc::rec::kAudioChannels);
            const int64_t toneFrom = m_control.toneFromUs.load();
            for (int64_t i = from; i < upTo; ++i) {
                const int64_t us = m_originUs + i * 1000000 / sc::rec::kAudioRate;
                float v = 0.0f;
                if (us >= toneFrom)
                    v = 0.5f * float(std::sin(2.0 * M_PI * 1000.0 * double(i) / sc::rec::kAudioRate));
                chunk.samples[size_t(i - from) * 2] = v;
                chunk.samples[size_t(i - from) * 2 + 1] = v;
            }
            m_produced = upTo;
            out.push_back(std::move(chunk));
        }
        return !m_control.failNow.load();
    }

    void stop() override { m_control.stopped++; }

private:
    Control& m_control;
    int64_t m_originUs = 0;
    int64_t m_produced = 0;
};
