#include "rec/VideoRecorder.h"

#include "audio/AudioSource.h"
#include "encode/CaptureRate.h"
#include "encode/EncoderAudio.h"
#include "encode/EncoderVideo.h"
#include "core/EngineCore.h"
#include "core/Guarded.h"
#include "core/LastError.h"
#include "core/ThreadOwned.h"
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

// The capture loop's own: from the moment the loop starts on its thread
// until it ends, no other thread touches it.
struct CaptureState
{
    std::unique_ptr<IFrameSource> source;
    std::vector<std::unique_ptr<IFrameDecorator>> decorators;
    AreaController areaController;
    QRect current;                // where it grabs
    int64_t grabs = 0;
    MissedSlots missedQueued;     // the clock's count when the last frame was queued
};

// The encoder loop's own, likewise.
struct EncodeState
{
    explicit EncodeState(const PauseSpans& timeline) : cutter(timeline, kAudioRate) {}

    std::unique_ptr<IAudioSource> audio;
    std::unique_ptr<VideoEncoder> video = std::make_unique<VideoEncoder>();
    AudioEncoder audioEncoder;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    std::unique_ptr<PacketWriter> writer;
    SoundCutter cutter;
    int64_t nextIndex = 0;
    MissedSlots pending;          // reasons the frames since the last encoded one brought
    MissedSlots skipped;          // slots filled with the previous picture, by why
    int64_t encodedSequence = -1; // VideoFrame::sequence of the last picture encoded
    bool writeFailed = false;
    bool soundStopped = false;

    // Once only: the source hands out what it still held back.
    void stopSound()
    {
        if (audio && !soundStopped)
            audio->stop();
        soundStopped = true;
    }
};

// Whether the loops run; the capture loop sleeps on its changes.
struct RunState
{
    bool paused = false;
    bool stop = false;
};

struct VideoRecorder::Impl
{
    // Set before the threads start and only read while they run.
    RecorderOptions opt;
    int64_t startUs = 0;
    bool started = false;         // the caller's thread only
    std::unique_ptr<IRecordingOverlay> overlay;   // takes calls from any thread
    std::unique_ptr<IRecordingCanvas> canvas;     // the caller's thread only
    std::atomic<IRecordingCanvas*> liveCanvas{nullptr};

    // Safe to share as they are: each guards itself.
    Muxer muxer;
    std::unique_ptr<FrameQueue> queue;
    PauseSpans timeline;

    ThreadOwned<CaptureState> capture;
    ThreadOwned<EncodeState> encode{timeline};
    std::thread captureThread;
    std::thread encoderThread;

    // Shared between the loops and the caller's thread.
    Guarded<RunState> run;
    std::condition_variable runChanged;
    Guarded<QRect> area;          // where the capture is now
    Guarded<QImage> last;         // the newest composed frame
    std::atomic<int> error{0};
    std::atomic<int> errorCause{SR_CauseNone};   // written before the error is reported
    FailureText reason;                          // likewise
    std::atomic<int64_t> frames{0};

    // `text`: the reason for the user; empty gives the code's own.
    void fail(int code, int cause = SR_CauseNone, const std::string& text = std::string());
    void setStop();
    int setPaused(bool on);
    void captureLoop();
    bool waitForTick(CaptureRate& clock);
    void followArea(CaptureState& c);
    bool grabFrame(CaptureState& c, VideoFrame& frame);
    bool queueFrame(CaptureState& c, VideoFrame&& frame, CaptureRate& clock);
    void encoderLoop();
    void encoderRun(EncodeState& e);
    bool handleFrame(EncodeState& e, const VideoFrame& frame);
    bool pumpAudio(EncodeState& e);
    static bool writeVideo(EncodeState& e, AVPacket* packet);
    static bool writeAudio(EncodeState& e, AVPacket* packet);
};

void VideoRecorder::Impl::fail(int code, int cause, const std::string& text)
{
    int expected = 0;
    if (!error.compare_exchange_strong(expected, code))
        return;
    errorCause = cause;
    reason.set(text.empty() ? recordingFailureText(code, cause) : text);
    Log(kLogModule, LogLevel::Error, "screen recording stopped: error %d (cause %d): %s", code, cause, reason.get());
    setStop();
    if (opt.setup.callback)
        opt.setup.callback->OnError(SRErrorCode(code));
}

// Pausing stops the grabs and cuts the span out of the recording's time;
// both change together, under the lock the capture loop sleeps on.
int VideoRecorder::Impl::setPaused(bool on)
{
    {
        auto state = run.lock();
        if (!started || state->stop)
            return -1;
        if (state->paused == on)
            return 0;
        state->paused = on;
        if (on)
            timeline.pause(nowUs());
        else
            timeline.resume(nowUs());
    }
    runChanged.notify_all();
    if (overlay)
        overlay->setPaused(on);
    return 0;
}

void VideoRecorder::Impl::setStop()
{
    run.lock()->stop = true;
    runChanged.notify_all();
}

bool VideoRecorder::Impl::writeVideo(EncodeState& e, AVPacket* packet)
{
    if (!e.writer->push(packet, e.video->context()->time_base, e.videoStream)) {
        e.writeFailed = true;
        return false;
    }
    return true;
}

bool VideoRecorder::Impl::writeAudio(EncodeState& e, AVPacket* packet)
{
    if (!e.writer->push(packet, e.audioEncoder.context()->time_base, e.audioStream)) {
        e.writeFailed = true;
        return false;
    }
    return true;
}

// Sleeps until the next tick is due; a pause starts the ticks afresh.
// False once the recording stops.
bool VideoRecorder::Impl::waitForTick(CaptureRate& clock)
{
    auto state = run.lock();
    while (!state->stop) {
        const int64_t when = clock.due(clock.tick());
        while (!state->stop && !state->paused) {
            const int64_t now = nowUs();
            if (now >= when)
                break;
            runChanged.wait_for(state.lock(), std::chrono::microseconds(when - now));
        }
        if (state->stop)
            break;
        if (!state->paused)
            return true;
        // Nothing is grabbed while paused; the ticks start afresh.
        runChanged.wait(state.lock(), [&state] { return state->stop || !state->paused; });
        clock.restart(timeline.nextSlotMoment(nowUs(), clock.fps()));
    }
    return false;
}

// An area that follows the pointer or a drag moves the capture, the
// border and the drawing canvas with it.
void VideoRecorder::Impl::followArea(CaptureState& c)
{
    if (!c.areaController)
        return;
    const QRect moved = c.areaController(c.current);
    if (moved == c.current || moved.size() != c.current.size())
        return;
    c.current = moved;
    c.source->setArea(moved);
    area.set(moved);
    if (overlay)
        overlay->setArea(moved);
    if (IRecordingCanvas* canvasNow = liveCanvas.load())
        canvasNow->setArea(moved);
}

// One picture with the pointer, watermark and drawing on it, also kept as
// the newest for snapshots. False (after fail()) when the source failed.
bool VideoRecorder::Impl::grabFrame(CaptureState& c, VideoFrame& frame)
{
    const int64_t askedUs = nowUs();
    const int rc = c.source->grab(frame);
    if (rc != SR_Success) {
        fail(rc, c.source->failureCause());
        return false;
    }
    if (frame.captureUs == 0)
        frame.captureUs = askedUs;
    frame.sequence = ++c.grabs;
    for (auto& decorator : c.decorators)
        decorator->decorate(frame);
    if (IRecordingCanvas* canvasNow = liveCanvas.load()) {
        if (IFrameDecorator* d = canvasNow->decorator())
            d->decorate(frame);
    }
    last.set(frame.image);
    return true;
}

// Hands the frame to the encoder and moves to the next tick it grabs. An
// encoder that stays behind gets fewer frames (it repeats pictures in the
// slots between, so the file keeps its frame rate and length), and more
// again once it keeps up. False (after fail()) when even the lowest rate
// is too much.
bool VideoRecorder::Impl::queueFrame(CaptureState& c, VideoFrame&& frame, CaptureRate& clock)
{
    const int64_t now = nowUs();
    const MissedSlots missed = clock.missed();
    MissedSlots& before = frame.missedBefore;
    before.encoderBehind = missed.encoderBehind - c.missedQueued.encoderBehind;
    before.captureLate = missed.captureLate - c.missedQueued.captureLate;
    before.rateLowered = missed.rateLowered - c.missedQueued.rateLowered;
    const bool queued = queue->tryPush(std::move(frame));
    if (queued)
        c.missedQueued = missed;
    const CaptureRate::Change change =
        queued ? clock.queued(now, queue->depth(), queue->capacity()) : clock.dropped(now);
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
    CaptureState& c = capture.get();
    CaptureRate clock(opt.setup.fps, startUs);
    c.current = area.get();
    while (waitForTick(clock)) {
        followArea(c);
        VideoFrame frame;
        if (!grabFrame(c, frame) || !queueFrame(c, std::move(frame), clock))
            break;
    }
    queue->close();
    Log(kLogModule, LogLevel::Info, "screen capture ended: %lld ticks missed, %lld frames not queued (encoder busy)",
        static_cast<long long>(clock.skipped()), static_cast<long long>(clock.dropped()));
}

bool VideoRecorder::Impl::handleFrame(EncodeState& e, const VideoFrame& frame)
{
    e.pending += frame.missedBefore;
    int64_t recordUs = 0;
    if (!timeline.map(frame.captureUs, recordUs))
        return true; // taken during a pause (or before the start)
    const int fps = opt.setup.fps;
    const int64_t index = (recordUs * fps + 500000) / 1000000;
    auto sink = [&e](AVPacket* p) { return writeVideo(e, p); };
    // What changed since the frame before is only known to apply when that
    // frame was the last one encoded.
    const bool follows = !frame.allChanged && frame.sequence == e.encodedSequence + 1;
    const VideoEncoder::RowSpans* changed = follows ? &frame.changedRows : nullptr;
    if (!e.video->hasPicture()) {
        // The first picture also fills the slots before it.
        if (!e.video->encode(frame.image, 0, sink))
            return false;
        e.encodedSequence = frame.sequence;
        for (int64_t i = 1; i <= index; ++i) {
            if (!e.video->repeat(i, sink))
                return false;
        }
        e.nextIndex = index + 1;
    } else {
        if (index < e.nextIndex)
            return true; // its slot is taken: two frames within one period
        e.skipped += attributeGap(index - e.nextIndex, e.pending);
        for (int64_t i = e.nextIndex; i < index; ++i) {
            if (!e.video->repeat(i, sink))
                return false;
        }
        if (!e.video->encode(frame.image, index, sink, changed))
            return false;
        e.encodedSequence = frame.sequence;
        e.nextIndex = index + 1;
    }
    e.pending = MissedSlots();
    frames = e.nextIndex;
    return true;
}

bool VideoRecorder::Impl::pumpAudio(EncodeState& e)
{
    if (!e.audio)
        return true;
    std::vector<AudioChunk> chunks;
    const bool sourceOk = e.audio->take(chunks);
    auto sink = [&e](AVPacket* p) { return writeAudio(e, p); };
    for (const AudioChunk& chunk : chunks) {
        const int64_t count = int64_t(chunk.samples.size()) / kAudioChannels;
        for (const PauseSpans::Run& part : e.cutter.cut(chunk.firstSampleUs, count)) {
            if (!e.audioEncoder.write(part.position, chunk.samples.data() + part.offset * kAudioChannels, part.count,
                                      sink))
                return false;
        }
    }
    if (!sourceOk)
        fail(SR_MicInterrupted, e.audio->failureCause());
    return true;
}

void VideoRecorder::Impl::encoderRun(EncodeState& e)
{
    std::string why;
    if (!muxer.writeHeader(why) || !muxer.commit() || !e.writer->start()) {
        Log(kLogModule, LogLevel::Error, "screen recording: %s", why.empty() ? "cannot write the file" : why.c_str());
        fail(SR_FileWriteFailed, SR_CauseNone, e.writer->failureText(opt.path));
        queue->clear();
        muxer.finish();
        return;
    }
    bool encodeFailed = false;
    while (true) {
        VideoFrame frame;
        const FrameQueue::Pop got = queue->pop(frame, std::chrono::milliseconds(20));
        if (!pumpAudio(e)) {
            encodeFailed = true;
            break;
        }
        if (got == FrameQueue::Pop::Frame && !handleFrame(e, frame)) {
            encodeFailed = true;
            break;
        }
        if (got == FrameQueue::Pop::Closed)
            break;
        if (e.writer->failed()) {
            e.writeFailed = true;
            encodeFailed = true;
            break;
        }
    }
    if (encodeFailed) {
        if (e.writeFailed)
            fail(SR_FileWriteFailed, SR_CauseNone, e.writer->failureText(opt.path));
        else
            fail(SR_UnknownError);
        // The capture thread ends on the error; what it queued is not needed.
        queue->clear();
    } else {
        // The sound the source holds back for the server's latency belongs
        // to the recording's last moments: stopped first, it comes out now.
        e.stopSound();
        pumpAudio(e);
    }

    // Finish what was written, even after an error: the part recorded so
    // far stays playable.
    bool ok = e.video->flush([&e](AVPacket* p) { return writeVideo(e, p); });
    if (e.audio) {
        const int64_t end = e.nextIndex * kAudioRate / opt.setup.fps;
        ok = e.audioEncoder.finish(end, [&e](AVPacket* p) { return writeAudio(e, p); }) && ok;
    }
    if (!e.writer->finish()) {
        e.writeFailed = true;
        ok = false;
    }
    ok = muxer.finish() && ok;
    if (!ok && (e.writeFailed || !encodeFailed))
        fail(SR_FileWriteFailed, SR_CauseNone, e.writer->failureText(opt.path));
    else if (!ok)
        fail(SR_UnknownError);
    Log(kLogModule, LogLevel::Info, "screen recording stopped: %s", describeSkips(e.nextIndex, e.skipped).c_str());
}

void VideoRecorder::Impl::encoderLoop()
{
    try {
        encoderRun(encode.get());
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
    CaptureState& c = impl->capture.get();
    EncodeState& e = impl->encode.get();
    c.source = std::move(source);
    e.audio = std::move(audio);
    impl->area.set(impl->opt.setup.area);

    const QSize size = c.source->frameSize();
    if (size.isEmpty()) {
        error = "empty picture";
        return nullptr;
    }
    if (!impl->muxer.open(options.path, options.type, error))
        return nullptr;
    const bool global = impl->muxer.needsGlobalHeader();
    if (!e.video->open(options.videoCodec, options.quality, impl->opt.setup.fps, size, options.hevc10Bit, global,
                       error)) {
        // 10-bit HEVC needs a libx265 built for it; 8 bits is the fallback.
        if (!(options.videoCodec == kVideoCodecHevc && options.hevc10Bit)) {
            impl->muxer.discard();
            return nullptr;
        }
        e.video = std::make_unique<VideoEncoder>();
        if (!e.video->open(options.videoCodec, options.quality, impl->opt.setup.fps, size, false, global, error)) {
            impl->muxer.discard();
            return nullptr;
        }
    }
    e.videoStream = impl->muxer.addStream(e.video->context(), e.video->tag());
    if (!e.videoStream) {
        error = "cannot add the picture stream";
        impl->muxer.discard();
        return nullptr;
    }
    if (e.audio) {
        if (!e.audioEncoder.open(options.audioCodec, options.audioQuality, options.audioChannels, global, error)) {
            impl->muxer.discard();
            return nullptr;
        }
        e.audioStream = impl->muxer.addStream(e.audioEncoder.context());
        if (!e.audioStream) {
            error = "cannot add the sound stream";
            impl->muxer.discard();
            return nullptr;
        }
    }
    impl->queue = std::make_unique<FrameQueue>(queueCapacity(size, impl->opt.setup.fps));
    e.writer = std::make_unique<PacketWriter>(impl->muxer, kWriteQueueBytes, kWriteStallUs);
    c.decorators = makeDecorators(impl->opt.setup);
    c.areaController = makeAreaController(impl->opt.setup);
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
    // Read before the encoder owns it.
    const QSize size = d->encode->video->size();
    try {
        d->encoderThread = startNamedThread("sr-encode", [this] {
            d->encode.claim();
            d->encoderLoop();
            d->encode.letGo();
        });
        d->captureThread = startNamedThread("sr-capture", [this] {
            d->capture.claim();
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
            d->capture.letGo();
        });
    } catch (const std::exception& e) {
        Log(kLogModule, LogLevel::Error, "screen recording: cannot start threads: %s", e.what());
        d->setStop();
        d->queue->close();
        return -1;
    }
    Log(kLogModule, LogLevel::Info, "screen recording started: %dx%d at %d fps", size.width(), size.height(),
        d->opt.setup.fps);
    return 0;
}

int VideoRecorder::pause()
{
    return d->setPaused(true);
}

int VideoRecorder::resume()
{
    return d->setPaused(false);
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
            d->canvas->setArea(d->area.get());
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
    const QImage image = d->last.get();
    if (image.isNull())
        return -1;
    return saveSnapshot(image, path, imageFormat) ? 0 : -1;
}

void VideoRecorder::release()
{
    d->setStop();
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
    // Both loops ended: their state is the caller's again.
    d->encode->stopSound();
    d->liveCanvas = nullptr;
    d->canvas.reset();
    d->overlay.reset();
    d->capture->decorators.clear();
    d->capture->areaController = nullptr;
    d->capture->source.reset();
    d->last.set(QImage());
    delete this;
}

} // namespace rec
} // namespace sc
