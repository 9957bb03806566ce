#include "rec/VideoRecorder.h"

#include "audio/AudioSource.h"
#include "encode/CaptureRate.h"
#include "encode/EncoderAudio.h"
#include "encode/EncoderVideo.h"
#include "core/EngineCore.h"
#include "core/LastError.h"
#include "mux/Muxer.h"
#include "mux/PacketWriter.h"
#include "rec/PauseSpans.h"
#include "rec/VideoQueue.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>

namespace sc {
namespace rec {

namespace {

std::mutex g_factoryMutex;
AudioSourceFactory g_audioFactory;

// The queue may hold this much picture data (four full-HD frames) and at
// most a second of frames: enough to ride out a hiccup of the encoder. Each
// queued frame also holds a shared-memory segment, and an encoder that
// stays behind is met by lowering the capture rate, not by a deeper queue.
constexpr std::size_t kQueueBytes = 4u * 1920u * 1080u * 4u;
// Encoded packets waiting for the disk: several seconds of a full-HD
// recording. A disk that takes nothing for the stall limit fails the file.
constexpr std::size_t kWriteQueueBytes = 32u << 20;
constexpr int64_t kWriteStallUs = 3000000;

std::size_t queueCapacity(QSize size, int fps)
{
    const std::size_t bytes = std::max<std::size_t>(std::size_t(size.width()) * std::size_t(size.height()) * 4, 1);
    return std::clamp<std::size_t>(kQueueBytes / bytes, 3, std::size_t(std::max(fps, 3)));
}

} // namespace

void setAudioSourceFactory(AudioSourceFactory factory)
{
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    g_audioFactory = std::move(factory);
}

std::unique_ptr<IAudioSource> makeAudioSource(bool render, bool capture, const char* captureDeviceId)
{
    {
        std::lock_guard<std::mutex> lock(g_factoryMutex);
        if (g_audioFactory)
            return g_audioFactory(render, capture, captureDeviceId);
    }
    return std::make_unique<PulseAudioSource>(render, capture, captureDeviceId);
}

struct VideoRecorder::Impl
{
    RecorderOptions opt;
    std::unique_ptr<IFrameSource> source;
    std::unique_ptr<IAudioSource> audio;
    std::vector<std::unique_ptr<IFrameDecorator>> decorators;
    AreaController areaController;
    std::unique_ptr<IRecordingOverlay> overlay;
    std::unique_ptr<IRecordingCanvas> canvas;
    std::atomic<IRecordingCanvas*> liveCanvas{nullptr};

    Muxer muxer;
    std::unique_ptr<VideoEncoder> video = std::make_unique<VideoEncoder>();
    AudioEncoder audioEncoder;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    std::unique_ptr<FrameQueue> queue;
    std::unique_ptr<PacketWriter> writer;
    PauseSpans timeline;
    SoundCutter cutter{timeline, kAudioRate};   // encoder thread only

    std::thread captureThread;
    std::thread encoderThread;
    std::mutex stateMutex;
    std::condition_variable stateChanged;
    bool paused = false;          // under stateMutex
    std::atomic<bool> stop{false};
    std::atomic<int> error{0};
    std::atomic<int> errorCause{SR_CauseNone};   // written before the error is reported
    FailureText reason;                          // likewise
    std::atomic<int64_t> frames{0};
    bool started = false;         // GUI thread only
    int64_t startUs = 0;

    std::mutex areaMutex;
    QRect area;                   // where the capture is now

    std::mutex lastMutex;
    QImage last;                  // the newest composed frame
    int64_t grabs = 0;            // capture thread only

    // Encoder thread state.
    int64_t nextIndex = 0;
    int64_t repeats = 0;          // slots filled with the previous picture
    int64_t encodedSequence = -1; // VideoFrame::sequence of the last picture encoded
    bool writeFailed = false;

    // `text`: the reason for the user; empty gives the code's own.
    void fail(int code, int cause = SR_CauseNone, const std::string& text = std::string());
    void captureLoop();
    bool waitForTick(CaptureRate& clock);
    void followArea(QRect& current);
    bool grabFrame(VideoFrame& frame);
    bool queueFrame(VideoFrame&& frame, CaptureRate& clock);
    void encoderLoop();
    void encoderRun();
    bool handleFrame(const VideoFrame& frame);
    bool pumpAudio();
    bool writeVideo(AVPacket* packet);
    bool writeAudio(AVPacket* packet);
};

void VideoRecorder::Impl::fail(int code, int cause, const std::string& text)
{
    int expected = 0;
    if (!error.compare_exchange_strong(expected, code))
        return;
    errorCause = cause;
    reason.set(text.empty() ? recordingFailureText(code, cause) : text);
    Log(kLogModule, LogLevel::Error, "screen recording stopped: error %d (cause %d): %s", code, cause, reason.get());
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        stop = true;
    }
    stateChanged.notify_all();
    if (opt.setup.callback)
        opt.setup.callback->OnError(SRErrorCode(code));
}

bool VideoRecorder::Impl::writeVideo(AVPacket* packet)
{
    if (!writer->push(packet, video->context()->time_base, videoStream)) {
        writeFailed = true;
        return false;
    }
    return true;
}

bool VideoRecorder::Impl::writeAudio(AVPacket* packet)
{
    if (!writer->push(packet, audioEncoder.context()->time_base, audioStream)) {
        writeFailed = true;
        return false;
    }
    return true;
}

// Sleeps until the next tick is due; a pause starts the ticks afresh.
// False once the recording stops.
bool VideoRecorder::Impl::waitForTick(CaptureRate& clock)
{
    std::unique_lock<std::mutex> lock(stateMutex);
    while (!stop) {
        const int64_t when = clock.due(clock.tick());
        while (!stop && !paused) {
            const int64_t now = nowUs();
            if (now >= when)
                break;
            stateChanged.wait_for(lock, std::chrono::microseconds(when - now));
        }
        if (stop)
            break;
        if (!paused)
            return true;
        // Nothing is grabbed while paused; the ticks start afresh.
        stateChanged.wait(lock, [this] { return stop || !paused; });
        clock.restart(timeline.nextSlotMoment(nowUs(), clock.fps()));
    }
    return false;
}

// An area that follows the pointer or a drag moves the capture, the
// border and the drawing canvas with it.
void VideoRecorder::Impl::followArea(QRect& current)
{
    if (!areaController)
        return;
    const QRect moved = areaController(current);
    if (moved == current || moved.size() != current.size())
        return;
    current = moved;
    source->setArea(current);
    {
        std::lock_guard<std::mutex> lock(areaMutex);
        area = current;
    }
    if (overlay)
        overlay->setArea(current);
    if (IRecordingCanvas* c = liveCanvas.load())
        c->setArea(current);
}

// One picture with the pointer, watermark and drawing on it, also kept as
// the newest for snapshots. False (after fail()) when the source failed.
bool VideoRecorder::Impl::grabFrame(VideoFrame& frame)
{
    const int64_t askedUs = nowUs();
    const int rc = source->grab(frame);
    if (rc != SR_Success) {
        fail(rc, source->failureCause());
        return false;
    }
    if (frame.captureUs == 0)
        frame.captureUs = askedUs;
    frame.sequence = ++grabs;
    for (auto& decorator : decorators)
        decorator->decorate(frame);
    if (IRecordingCanvas* c = liveCanvas.load()) {
        if (IFrameDecorator* d = c->decorator())
            d->decorate(frame);
    }
    std::lock_guard<std::mutex> lock(lastMutex);
    last = frame.image;
    return true;
}

// Hands the frame to the encoder and moves to the next tick it grabs. An
// encoder that stays behind gets fewer frames (it repeats pictures in the
// slots between, so the file keeps its frame rate and length), and more
// again once it keeps up. False (after fail()) when even the lowest rate
// is too much.
bool VideoRecorder::Impl::queueFrame(VideoFrame&& frame, CaptureRate& clock)
{
    const int64_t now = nowUs();
    const CaptureRate::Change change = queue->tryPush(std::move(frame))
                                           ? clock.queued(now, queue->depth(), queue->capacity())
                                           : clock.dropped(now);
    switch (change) {
    case CaptureRate::Change::GiveUp:
        fail(SR_BufferFull);
        return false;
    case CaptureRate::Change::Slower:
        Log(kLogModule, LogLevel::Info, "screen capture slowed to %.2f fps: the encoder cannot keep up", clock.framesPerSecond());
        break;
    case CaptureRate::Change::Faster:
        Log(kLogModule, LogLevel::Info, "screen capture back up to %.2f fps: the encoder keeps up", clock.framesPerSecond());
        break;
    case CaptureRate::Change::None:
        break;
    }
    return true;
}

void VideoRecorder::Impl::captureLoop()
{
    CaptureRate clock(opt.setup.fps, startUs);
    QRect current;
    {
        std::lock_guard<std::mutex> lock(areaMutex);
        current = area;
    }
    while (waitForTick(clock)) {
        followArea(current);
        VideoFrame frame;
        if (!grabFrame(frame) || !queueFrame(std::move(frame), clock))
            break;
    }
    queue->close();
    Log(kLogModule, LogLevel::Info, "screen capture ended: %lld ticks missed, %lld frames not queued (encoder busy)",
        static_cast<long long>(clock.skipped()), static_cast<long long>(clock.dropped()));
}

bool VideoRecorder::Impl::handleFrame(const VideoFrame& frame)
{
    int64_t recordUs = 0;
    if (!timeline.map(frame.captureUs, recordUs))
        return true; // taken during a pause (or before the start)
    const int fps = opt.setup.fps;
    const int64_t index = (recordUs * fps + 500000) / 1000000;
    auto sink = [this](AVPacket* p) { return writeVideo(p); };
    // What changed since the frame before is only known to apply when that
    // frame was the last one encoded.
    const bool follows = !frame.allChanged && frame.sequence == encodedSequence + 1;
    const VideoEncoder::RowSpans* changed = follows ? &frame.changedRows : nullptr;
    if (!video->hasPicture()) {
        // The first picture also fills the slots before it.
        if (!video->encode(frame.image, 0, sink))
            return false;
        encodedSequence = frame.sequence;
        for (int64_t i = 1; i <= index; ++i) {
            if (!video->repeat(i, sink))
                return false;
        }
        nextIndex = index + 1;
    } else {
        if (index < nextIndex)
            return true; // its slot is taken: two frames within one period
        for (int64_t i = nextIndex; i < index; ++i) {
            if (!video->repeat(i, sink))
                return false;
            ++repeats;
        }
        if (!video->encode(frame.image, index, sink, changed))
            return false;
        encodedSequence = frame.sequence;
        nextIndex = index + 1;
    }
    frames = nextIndex;
    return true;
}

bool VideoRecorder::Impl::pumpAudio()
{
    if (!audio)
        return true;
    std::vector<AudioChunk> chunks;
    const bool sourceOk = audio->take(chunks);
    auto sink = [this](AVPacket* p) { return writeAudio(p); };
    for (const AudioChunk& chunk : chunks) {
        const int64_t count = int64_t(chunk.samples.size()) / kAudioChannels;
        for (const PauseSpans::Run& run : cutter.cut(chunk.firstSampleUs, count)) {
            if (!audioEncoder.write(run.position, chunk.samples.data() + run.offset * kAudioChannels, run.count,
                                    sink))
                return false;
        }
    }
    if (!sourceOk)
        fail(SR_MicInterrupted, audio->failureCause());
    return true;
}

void VideoRecorder::Impl::encoderRun()
{
    std::string why;
    if (!muxer.writeHeader(why) || !muxer.commit() || !writer->start()) {
        Log(kLogModule, LogLevel::Error, "screen recording: %s", why.empty() ? "cannot write the file" : why.c_str());
        fail(SR_FileWriteFailed, SR_CauseNone, writer->failureText(opt.path));
        queue->clear();
        muxer.finish();
        return;
    }
    bool encodeFailed = false;
    while (true) {
        VideoFrame frame;
        const FrameQueue::Pop got = queue->pop(frame, std::chrono::milliseconds(20));
        if (!pumpAudio()) {
            encodeFailed = true;
            break;
        }
        if (got == FrameQueue::Pop::Frame && !handleFrame(frame)) {
            encodeFailed = true;
            break;
        }
        if (got == FrameQueue::Pop::Closed)
            break;
        if (writer->failed()) {
            writeFailed = true;
            encodeFailed = true;
            break;
        }
    }
    if (encodeFailed) {
        if (writeFailed)
            fail(SR_FileWriteFailed, SR_CauseNone, writer->failureText(opt.path));
        else
            fail(SR_UnknownError);
        // The capture thread ends on the error; what it queued is not needed.
        queue->clear();
    } else {
        pumpAudio();
    }

    // Finish what was written, even after an error: the part recorded so
    // far stays playable.
    bool ok = video->flush([this](AVPacket* p) { return writeVideo(p); });
    if (audio) {
        const int64_t end = nextIndex * kAudioRate / opt.setup.fps;
        ok = audioEncoder.finish(end, [this](AVPacket* p) { return writeAudio(p); }) && ok;
    }
    if (!writer->finish()) {
        writeFailed = true;
        ok = false;
    }
    ok = muxer.finish() && ok;
    if (!ok && (writeFailed || !encodeFailed))
        fail(SR_FileWriteFailed, SR_CauseNone, writer->failureText(opt.path));
    else if (!ok)
        fail(SR_UnknownError);
    Log(kLogModule, LogLevel::Info, "screen recording finished: %lld frames, %lld of them repeated",
        static_cast<long long>(nextIndex), static_cast<long long>(repeats));
}

void VideoRecorder::Impl::encoderLoop()
{
    try {
        encoderRun();
    } catch (const std::exception& e) {
        Log(kLogModule, LogLevel::Error, "screen recording: encoder failed: %s", e.what());
        fail(SR_UnknownError);
    } catch (...) {
        fail(SR_UnknownError);
    }
    // Whatever happened, the capture thread must not wait on a queue that
    // nobody reads.
    queue->clear();
}

VideoRecorder::VideoRecorder(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

VideoRecorder::~VideoRecorder() = default;

VideoRecorder* VideoRecorder::create(const RecorderOptions& options, std::unique_ptr<IFrameSource> source,
                                     std::unique_ptr<IAudioSource> audio, std::string& error)
{
    if (!source) {
        error = "no frame source";
        return nullptr;
    }
    // The encoders' statistics and notices would flood the program's
    // output; errors come back through the results.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    auto impl = std::make_unique<Impl>();
    impl->opt = options;
    impl->opt.setup.fps = std::clamp(impl->opt.setup.fps, 1, 120);
    impl->source = std::move(source);
    impl->audio = std::move(audio);
    impl->area = impl->opt.setup.area;

    const QSize size = impl->source->frameSize();
    if (size.isEmpty()) {
        error = "empty picture";
        return nullptr;
    }
    if (!impl->muxer.open(options.path, options.type, error))
        return nullptr;
    const bool global = impl->muxer.needsGlobalHeader();
    if (!impl->video->open(options.videoCodec, options.quality, impl->opt.setup.fps, size, options.hevc10Bit,
                           global, error)) {
        // 10-bit HEVC needs a libx265 built for it; 8 bits is the fallback.
        if (!(options.videoCodec == kVideoCodecHevc && options.hevc10Bit)) {
            impl->muxer.discard();
            return nullptr;
        }
        impl->video = std::make_unique<VideoEncoder>();
        if (!impl->video->open(options.videoCodec, options.quality, impl->opt.setup.fps, size, false, global,
                               error)) {
            impl->muxer.discard();
            return nullptr;
        }
    }
    impl->videoStream = impl->muxer.addStream(impl->video->context(), impl->video->tag());
    if (!impl->videoStream) {
        error = "cannot add the picture stream";
        impl->muxer.discard();
        return nullptr;
    }
    if (impl->audio) {
        if (!impl->audioEncoder.open(options.audioCodec, options.audioQuality, options.audioChannels, global,
                                     error)) {
            impl->muxer.discard();
            return nullptr;
        }
        impl->audioStream = impl->muxer.addStream(impl->audioEncoder.context());
        if (!impl->audioStream) {
            error = "cannot add the sound stream";
            impl->muxer.discard();
            return nullptr;
        }
    }
    impl->queue = std::make_unique<FrameQueue>(queueCapacity(size, impl->opt.setup.fps));
    impl->writer = std::make_unique<PacketWriter>(impl->muxer, kWriteQueueBytes, kWriteStallUs);
    impl->decorators = makeDecorators(impl->opt.setup);
    impl->areaController = makeAreaController(impl->opt.setup);
    return new VideoRecorder(std::move(impl));
}

int VideoRecorder::start()
{
    if (d->started)
        return -1;
    d->started = true;
    d->overlay = makeRecordingOverlay(d->opt.setup);
    d->startUs = nowUs();
    d->timeline.start(d->startUs);
    try {
        d->encoderThread = startNamedThread("sr-encode", [this] { d->encoderLoop(); });
        d->captureThread = startNamedThread("sr-capture", [this] {
            try {
                d->captureLoop();
            } catch (const std::exception& e) {
                Log(kLogModule, LogLevel::Error, "screen recording: capture failed: %s", e.what());
                d->fail(SR_UnknownError);
                d->queue->close();
            } catch (...) {
                d->fail(SR_UnknownError);
                d->queue->close();
            }
        });
    } catch (const std::exception& e) {
        Log(kLogModule, LogLevel::Error, "screen recording: cannot start threads: %s", e.what());
        d->stop = true;
        d->queue->close();
        return -1;
    }
    Log(kLogModule, LogLevel::Info, "screen recording started: %dx%d at %d fps", d->video->size().width(),
        d->video->size().height(), d->opt.setup.fps);
    return 0;
}

int VideoRecorder::pause()
{
    if (!d->started || d->stop)
        return -1;
    {
        std::lock_guard<std::mutex> lock(d->stateMutex);
        if (d->paused)
            return 0;
        d->paused = true;
        d->timeline.pause(nowUs());
    }
    d->stateChanged.notify_all();
    if (d->overlay)
        d->overlay->setPaused(true);
    return 0;
}

int VideoRecorder::resume()
{
    if (!d->started || d->stop)
        return -1;
    {
        std::lock_guard<std::mutex> lock(d->stateMutex);
        if (!d->paused)
            return 0;
        d->paused = false;
        d->timeline.resume(nowUs());
    }
    d->stateChanged.notify_all();
    if (d->overlay)
        d->overlay->setPaused(false);
    return 0;
}

int VideoRecorder::errorCause()
{
    return d->errorCause.load();
}

const char* VideoRecorder::lastErrorText()
{
    return d->reason.get();
}

int VideoRecorder::fileNameLost()
{
    return d->muxer.nameLost() ? 1 : 0;
}

CScreenCanvasObject* VideoRecorder::createCanvas(CScreenCanvasEvent* events)
{
    if (!d->canvas) {
        d->canvas = makeCanvas(d->opt.setup, events);
        if (d->canvas) {
            {
                std::lock_guard<std::mutex> lock(d->areaMutex);
                d->canvas->setArea(d->area);
            }
            d->liveCanvas = d->canvas.get();
        }
    }
    return d->canvas.get();
}

int64_t VideoRecorder::frameCount()
{
    return d->frames.load();
}

int VideoRecorder::snapshot(const char* path, int imageFormat)
{
    if (!path || !*path)
        return -1;
    QImage image;
    {
        std::lock_guard<std::mutex> lock(d->lastMutex);
        image = d->last;
    }
    if (image.isNull())
        return -1;
    return saveSnapshot(image, path, imageFormat) ? 0 : -1;
}

void VideoRecorder::release()
{
    {
        std::lock_guard<std::mutex> lock(d->stateMutex);
        d->stop = true;
    }
    d->stateChanged.notify_all();
    if (d->captureThread.joinable())
        d->captureThread.join();
    d->queue->close();
    if (d->encoderThread.joinable())
        d->encoderThread.join();
    if (!d->started) {
        d->muxer.discard(); // prepared, never recorded: nothing worth keeping
    } else if (d->muxer.nameLost()) {
        const bool kept = d->muxer.restoreName();
        Log(kLogModule, kept ? LogLevel::Info : LogLevel::Error, "screen recording: the file's name was deleted, %s",
            kept ? "written out again" : "it cannot be written out again");
    }
    if (d->audio)
        d->audio->stop();
    d->liveCanvas = nullptr;
    d->canvas.reset();
    d->overlay.reset();
    d->decorators.clear();
    d->areaController = nullptr;
    d->source.reset();
    {
        std::lock_guard<std::mutex> lock(d->lastMutex);
        d->last = QImage();
    }
    delete this;
}

} // namespace rec
} // namespace sc
