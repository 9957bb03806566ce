#pragma once

// Helpers of the tests that record through the engine's interface, the
// real engine's and the double's alike.

#include "Screencast.h"

#include <QElapsedTimer>
#include <QTest>

#include <cstdint>
#include <mutex>
#include <vector>

namespace testsupport {

// A recorder callback that keeps the errors it is told, from any thread.
class RecorderErrors : public CRecoderCallback {
public:
    void OnError(SRErrorCode code) override
    {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_errors.push_back(int(code));
    }
    void OnRecordingRegionBeginDrag() override {}
    void OnRecordingRegionEndDrag(CRect) override {}

    std::vector<int> errors()
    {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        return m_errors;
    }

private:
    std::mutex m_errorMutex;
    std::vector<int> m_errors;
};

// Waits until the recorder has written at least `frames` frames; false
// when it has not within `timeoutMs`.
inline bool waitForFrames(CScreenRecoderObject* recorder, int64_t frames, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (recorder->frameCount() < frames) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

} // namespace testsupport
