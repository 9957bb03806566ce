#pragma once

// An open camera. One thread of its own reads the camera once and hands
// every picture to the view, the photo and the recording. A recording is
// the screen recorder's pipeline (encoders, muxer, sound) fed with the
// camera's newest picture. Finishing a recording (stopRecord, a failed
// camera, a failed recording) happens off the GUI thread, and the callback
// follows only once the file is complete.

#include "cam/CameraInput.h"
#include "cam/CameraPicture.h"

#include "ScreencastObjects.h"
#include "core/Guarded.h"

#include <xcb/xcb.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sc {
namespace rec {
class VideoRecorder;
}
namespace cam {

class CameraObject : public CCameraObject
{
public:
    // Null with a reason when the camera cannot be opened. The mode is the
    // one nearest width x height (0 x 0: the usual choice).
    static CameraObject* open(CCameraCallback* callback, xcb_window_t view, const std::string& deviceId,
                              int width, int height, std::string& error);

    void videoSize(int& width, int& height) override;
    int capture(const char* path) override;
    int record(const char* path) override;
    int stopRecord() override;
    int pause() override;
    int resume() override;
    int setMicrophone(const char* deviceId) override;
    double duration() override;
    int64_t fileSize() override;
    const char* lastErrorText() override;
    void release() override;

protected:
    ~CameraObject() override;

private:
    struct Recording;

    CameraObject(CCameraCallback* callback, xcb_window_t view);
    void readLoop();
    void endRecordingOnError();
    void deviceLost();
    // Stops the recorder, completes the file and keeps its last duration and
    // size; true when the movie is complete.
    bool finish(std::unique_ptr<Recording> recording);
    std::unique_ptr<Recording> takeRecording();
    void joinFinisher();

    CCameraCallback* const m_callback;
    const xcb_window_t m_view;
    CameraInput m_input;
    QSize m_size;
    std::shared_ptr<CameraPicture> m_picture = std::make_shared<CameraPicture>();
    std::thread m_reader;
    std::atomic<bool> m_stopping{false};

    // Shared by the caller's thread, the reading thread and the finisher.
    struct Shared {
        std::unique_ptr<Recording> recording;
        std::string microphone;               // empty: no sound
        bool lost = false;                    // the camera failed or went away
        double lastDuration = 0;
        int64_t lastSize = 0;
        std::string lastError;                // why the last movie failed
    };
    Guarded<Shared> m_shared;

    Guarded<std::thread> m_finisher;          // completes a stopped recording
};

} // namespace cam
} // namespace sc
