#include "cam/CameraObject.h"

#include "core/EngineCore.h"
#include "core/LastError.h"
#include "play/ViewPainter.h"
#include "rec/VideoRecorder.h"

#include "Screencast.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

#include <QImage>
#include <QString>

#include <algorithm>

namespace sc {
namespace cam {

namespace {

// The movie's frame rate: what cameras deliver at the mode they are opened in.
constexpr int kFps = 30;

// The engine's own file size, with 0 for a file not there yet.
int64_t sizeOf(const std::string& path)
{
    return std::max<int64_t>(0, GetFileSize(path.c_str()));
}

} // namespace

// One movie: the recorder and what it reported. The recorder's errors come
// on its own threads, which must not stop it; the camera's reading thread
// sees the error and ends the recording.
struct CameraObject::Recording : CRecoderCallback
{
    rec::VideoRecorder* recorder = nullptr;
    std::string path;
    std::atomic<int> error{0};

    void OnError(SRErrorCode code) override
    {
        int none = 0;
        error.compare_exchange_strong(none, int(code));
    }
    void OnRecordingRegionBeginDrag() override {}
    void OnRecordingRegionEndDrag(CRect) override {}
};

CameraObject::CameraObject(CCameraCallback* callback, xcb_window_t view) : m_callback(callback), m_view(view) {}

CameraObject::~CameraObject() = default;

CameraObject* CameraObject::open(CCameraCallback* callback, xcb_window_t view, const std::string& deviceId,
                                 int width, int height, std::string& error)
{
    auto* camera = new CameraObject(callback, view);
    if (!camera->m_input.open(deviceId, error, width, height)) {
        delete camera;
        return nullptr;
    }
    camera->m_size = camera->m_input.size();
    camera->m_reader = startNamedThread("sr-camera", [camera] { camera->readLoop(); });
    Log(kLogModule, LogLevel::Info, "camera %s open: %dx%d", deviceId.c_str(), camera->m_size.width(),
        camera->m_size.height());
    return camera;
}

void CameraObject::readLoop()
{
    play::ViewPainter painter;
    if (m_view)
        painter.open(m_view);
    AVFrame* frame = av_frame_alloc();
    while (frame && !m_stopping && m_input.next(frame)) {
        painter.show(frame);
        painter.poll();
        m_picture->set(frame);
        av_frame_unref(frame);
        endRecordingOnError();
    }
    av_frame_free(&frame);
    if (!m_stopping)
        deviceLost();
}

std::unique_ptr<CameraObject::Recording> CameraObject::takeRecording()
{
    return std::move(m_shared.lock()->recording);
}

bool CameraObject::finish(std::unique_ptr<Recording> recording)
{
    const double seconds = double(recording->recorder->frameCount()) / kFps;
    const int error = recording->error.load();
    // Asked before the release, which ends the recorder.
    std::string reason = error ? recording->recorder->lastErrorText() : "";
    recording->recorder->release();   // completes the file
    const int64_t bytes = sizeOf(recording->path);
    if (!error && bytes <= 0)
        reason = recordingFailureText(SR_FileWriteFailed, SR_CauseNone);
    {
        auto shared = m_shared.lock();
        shared->lastDuration = seconds;
        shared->lastSize = bytes;
        shared->lastError = reason;
    }
    Log(kLogModule, error ? LogLevel::Error : LogLevel::Info, "camera recording finished: %.2f s, %lld bytes, error %d", seconds,
        static_cast<long long>(bytes), error);
    return error == 0 && bytes > 0;
}

void CameraObject::endRecordingOnError()
{
    std::unique_ptr<Recording> failed;
    {
        auto shared = m_shared.lock();
        if (shared->recording && shared->recording->error.load() != 0)
            failed = std::move(shared->recording);
    }
    if (!failed)
        return;
    finish(std::move(failed));
    if (m_callback)
        m_callback->OnRecordingErrorOccurred();
}

void CameraObject::deviceLost()
{
    std::unique_ptr<Recording> recording;
    {
        auto shared = m_shared.lock();
        shared->lost = true;
        recording = std::move(shared->recording);
    }
    Log(kLogModule, LogLevel::Error, "camera: no more pictures%s", recording ? " while recording" : "");
    if (recording) {
        // What was recorded stays a playable movie.
        finish(std::move(recording));
        m_shared.lock()->lastError = "The camera stopped sending pictures.";
        if (m_callback)
            m_callback->OnRecordingErrorOccurred();
    } else if (m_callback) {
        m_callback->OnErrorOccurred();
    }
}

void CameraObject::joinFinisher()
{
    auto finisher = m_finisher.lock();
    if (finisher->joinable())
        finisher->join();
}

void CameraObject::videoSize(int& width, int& height)
{
    width = m_size.width();
    height = m_size.height();
}

int CameraObject::capture(const char* path)
{
    if (!path || !*path)
        return -1;
    const QImage picture = m_picture->image(m_size);
    if (picture.isNull())
        return -1;
    return picture.save(QString::fromLocal8Bit(path), "JPG", 90) ? 0 : -1;
}

int CameraObject::setMicrophone(const char* deviceId)
{
    m_shared.lock()->microphone = deviceId ? deviceId : "";
    return 0;
}

int CameraObject::record(const char* path)
{
    if (!path || !*path) {
        m_shared.lock()->lastError = "No file was named for the movie.";
        return -1;
    }
    joinFinisher();   // the movie before is complete first
    std::string microphone;
    {
        auto shared = m_shared.lock();
        shared->lastError.clear();
        if (shared->lost || shared->recording) {
            shared->lastError = shared->lost ? "The camera stopped sending pictures." : "The camera records already.";
            return -1;
        }
        microphone = shared->microphone;
    }
    std::unique_ptr<rec::IAudioSource> audio;
    if (!microphone.empty()) {
        audio = rec::makeAudioSource(false, true, microphone.c_str());
        std::string why;
        if (!audio->start(why)) {
            Log(kLogModule, LogLevel::Warning, "camera recording without sound: %s", why.c_str());
            audio.reset();
        }
    }
    auto recording = std::make_unique<Recording>();
    recording->path = path;
    rec::RecorderOptions options;
    options.setup.displayRect = options.setup.area = QRect(QPoint(0, 0), m_size);
    options.setup.fps = kFps;
    // The watermark belongs to screen recordings, set before each of them.
    options.setup.watermark = false;
    options.setup.callback = recording.get();
    options.type = kOutputMov;
    options.path = path;
    options.videoCodec = kVideoCodecH264;
    options.audioCodec = kAudioCodecAac;
    options.sound = audio != nullptr;
    std::string error;
    clearLastError();
    recording->recorder = rec::VideoRecorder::create(
        options, std::make_unique<CameraFrameSource>(m_picture, m_size), std::move(audio), error);
    if (!recording->recorder) {
        Log(kLogModule, LogLevel::Error, "camera recording: %s", error.c_str());
        setLastError("The movie cannot be started.");
        m_shared.lock()->lastError = lastError();
        return -1;
    }
    if (recording->recorder->start() != 0) {
        recording->recorder->release();
        m_shared.lock()->lastError = "The movie cannot be started.";
        return -1;
    }
    auto shared = m_shared.lock();
    if (shared->lost) {
        recording->recorder->release();
        shared->lastError = "The camera stopped sending pictures.";
        return -1;
    }
    shared->recording = std::move(recording);
    shared->lastDuration = 0;
    shared->lastSize = 0;
    return 0;
}

const char* CameraObject::lastErrorText()
{
    // A copy: the recording's threads may set the next reason meanwhile.
    thread_local std::string text;
    text = m_shared.lock()->lastError;
    return text.c_str();
}

int CameraObject::stopRecord()
{
    std::unique_ptr<Recording> recording = takeRecording();
    if (!recording)
        return -1;
    auto finisher = m_finisher.lock();
    if (finisher->joinable())
        finisher->join();
    *finisher = startNamedThread("sr-cam-finish", [this, stopped = recording.release()] {
        const bool complete = finish(std::unique_ptr<Recording>(stopped));
        if (m_callback)
            m_callback->OnFinishRecording(complete ? 0 : 1);
    });
    return 0;
}

int CameraObject::pause()
{
    auto shared = m_shared.lock();
    return shared->recording ? shared->recording->recorder->pause() : -1;
}

int CameraObject::resume()
{
    auto shared = m_shared.lock();
    return shared->recording ? shared->recording->recorder->resume() : -1;
}

double CameraObject::duration()
{
    auto shared = m_shared.lock();
    return shared->recording ? double(shared->recording->recorder->frameCount()) / kFps : shared->lastDuration;
}

int64_t CameraObject::fileSize()
{
    auto shared = m_shared.lock();
    return shared->recording ? sizeOf(shared->recording->path) : shared->lastSize;
}

void CameraObject::release()
{
    m_stopping = true;
    m_input.interrupt();
    if (m_reader.joinable())
        m_reader.join();
    if (std::unique_ptr<Recording> recording = takeRecording())
        finish(std::move(recording));
    joinFinisher();
    delete this;
}

} // namespace cam
} // namespace sc

CBasePtr<CCameraObject> OpenCameraInMode(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                         bool onlyCamera, int width, int height)
{
    (void)onlyCamera;   // the picture is drawn the same way into either view
    sc::clearLastError();
    if (!deviceId || !*deviceId) {
        Log(sc::kLogModule, LogLevel::Error, "OpenCamera: no camera given");
        sc::setLastError("No camera was chosen.");
        return CBasePtr<CCameraObject>();
    }
    if (!sc::XLock()) {
        Log(sc::kLogModule, LogLevel::Error, "OpenCamera: the engine is not initialised");
        sc::setLastError("The screen cannot be reached.");
        return CBasePtr<CCameraObject>();
    }
    std::string error;
    sc::cam::CameraObject* camera =
        sc::cam::CameraObject::open(callback, xcb_window_t(view), deviceId, width, height, error);
    if (!camera) {
        Log(sc::kLogModule, LogLevel::Error, "OpenCamera: %s", error.c_str());
        sc::setLastError("The camera cannot be opened.");
    }
    return CBasePtr<CCameraObject>(camera);
}

CBasePtr<CCameraObject> OpenCamera(CCameraCallback* callback, ScNativeView view, const char* deviceId,
                                   bool onlyCamera, void* reserved)
{
    if (reserved) {
        Log(sc::kLogModule, LogLevel::Error, "OpenCamera: no camera given");
        sc::clearLastError();
        sc::setLastError("No camera was chosen.");
        return CBasePtr<CCameraObject>();
    }
    return OpenCameraInMode(callback, view, deviceId, onlyCamera, 0, 0);
}

int GetCameraModes(const char* deviceId, CameraModeInfo* modes, int capacity)
{
    if (!deviceId || !*deviceId)
        return 0;
    const std::vector<sc::cam::V4l2Mode> offered = sc::cam::cameraModes(deviceId);
    for (int i = 0; modes && i < capacity && i < int(offered.size()); ++i)
        modes[i] = CameraModeInfo{offered[i].width, offered[i].height, offered[i].fps};
    return int(offered.size());
}
