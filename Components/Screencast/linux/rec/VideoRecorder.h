#pragma once

// One screen recording: the capture thread (grab, decorate, queue; fewer
// frames while the encoder falls behind, CaptureRate), the encoder thread (constant frame
// rate, colour conversion, encoding, sound), the file writer's thread
// (PacketWriter) and the on-screen parts. Created prepared (file open,
// encoders ready, sound running); start() begins the recording; release()
// stops the threads, finishes the file and deletes the object, and no
// callback comes after it returned.

#include "rec/Factories.h"
#include "core/Pipeline.h"
#include "ScreencastObjects.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sc {
namespace rec {

// Stands in for the sound server in tests; null (the default) means
// PulseAudioSource.
using AudioSourceFactory =
    std::function<std::unique_ptr<IAudioSource>(bool render, bool capture, const char* captureDeviceId)>;
void setAudioSourceFactory(AudioSourceFactory factory);
std::unique_ptr<IAudioSource> makeAudioSource(bool render, bool capture, const char* captureDeviceId);

struct RecorderOptions
{
    RecordingSetup setup;
    OutputVideoFileType type = kOutputMp4;
    std::string path;
    int videoCodec = kVideoCodecH264;
    int quality = 3;
    bool hevc10Bit = false;
    bool sound = false;          // setup has a sound source
    int audioCodec = kAudioCodecAac;
    int audioQuality = 3;
    int audioChannels = 2;
};

class VideoRecorder : public CScreenRecoderObject
{
public:
    // Null with a reason when the file cannot be written or an encoder
    // cannot be opened. `audio` is started already (or null).
    static VideoRecorder* create(const RecorderOptions& options, std::unique_ptr<IFrameSource> source,
                                 std::unique_ptr<IAudioSource> audio, std::string& error);

    int start() override;
    int pause() override;
    int resume() override;
    int fileNameLost() override;
    CScreenCanvasObject* createCanvas(CScreenCanvasEvent* events) override;
    int64_t frameCount() override;
    int errorCause() override;
    const char* lastErrorText() override;
    int snapshot(const char* path, int imageFormat) override;
    void release() override;

protected:
    ~VideoRecorder() override;

private:
    struct Impl;
    explicit VideoRecorder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// Writes a picture in an ScImageFormat; false on failure.
bool saveSnapshot(const QImage& image, const std::string& path, int imageFormat);

} // namespace rec
} // namespace sc
