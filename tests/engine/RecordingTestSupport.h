#pragma once

// Helpers of the tests that record through scVideoRecord: option records,
// a callback that notices late calls, and the wait for recorded frames.

#include "EngineTestSupport.h"

#include "Screencast.h"

#include <atomic>
#include <mutex>

namespace et {

// Remembers every call, from any thread; one after the recorder was
// released counts as late.
class Callback : public CRecoderCallback {
public:
    std::atomic<bool> released{false};
    std::atomic<int> lateCalls{0}, calls{0};

    void OnError(SRErrorCode code) override
    {
        note();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_errors.push_back(code);
    }
    void OnRecordingRegionBeginDrag() override { note(); }
    void OnRecordingRegionEndDrag(CRect) override { note(); }
    std::vector<int> errors() { std::lock_guard<std::mutex> lock(m_mutex); return m_errors; }

private:
    void note() { ++calls; lateCalls += released ? 1 : 0; }
    std::mutex m_mutex;
    std::vector<int> m_errors;
};

inline CRect corners(const QRect& r)
{
    return CRect{double(r.left()), double(r.top()), double(r.left() + r.width()), double(r.top() + r.height())};
}

// The test environment has one display at (0, 0): screen = display.
inline VideoOpt videoOpt(const QRect& area, int fps = 10, int codec = kVideoCodecH264, int quality = 3)
{
    VideoOpt v{};
    v.rect = corners(area);
    v.fps = fps;
    v.codec = codec;
    v.quality = quality;
    return v;
}

// AAC of nothing, the system sound (render = 1) or the microphone (render = 0).
inline AudioOpt sound(bool on = true, bool render = true)
{
    AudioOpt a{};
    a.codec = kAudioCodecAac;
    a.quality = 3;
    a.channels = 2;
    a.render = on && render ? 1 : 0;
    a.capture = on && !render ? 1 : 0;
    return a;
}

inline CBasePtr<CScreenRecoderObject> record(CRecoderCallback* callback, OutputVideoFileType type,
                                             const QString& path, const VideoOpt& video,
                                             const AudioOpt& audio = sound(false),
                                             WindowListOption option = kWindowListNone,
                                             std::vector<unsigned> exclude = {}, std::vector<unsigned> include = {},
                                             bool boundary = false)
{
    return scVideoRecord(callback, type, path.toUtf8().constData(), video, audio, MouseOpt{}, boundary, option,
                         exclude.data(), int(exclude.size()), include.data(), int(include.size()));
}

// Until the recording holds `frames` frames (slots of its time).
inline bool waitForFrames(CScreenRecoderObject* recorder, int64_t frames)
{
    return waitUntil([&] { return recorder->frameCount() >= frames; });
}

} // namespace et
