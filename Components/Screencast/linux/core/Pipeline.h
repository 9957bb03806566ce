#pragma once

// The seams of the recording pipeline. A screen recording is one capture
// thread that grabs frames from an IFrameSource, runs them through the
// IFrameDecorators (pointer, click effects, drawing, watermark) and hands
// them to the encoder thread over a bounded queue; sound comes from an
// IAudioSource on its own thread. Everything is timed on one clock,
// CLOCK_MONOTONIC in microseconds (nowUs()), so picture and sound line up.

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ScreencastTypes.h"

namespace sc {
namespace rec {

// CLOCK_MONOTONIC in microseconds: the one time base of every source.
int64_t nowUs();

// One captured picture: 32-bit BGRA (QImage::Format_ARGB32 or RGB32) of the
// recorded area, and the moment it was taken.
// Picture slots of the recording that got no picture of their own (the
// encoder repeats the one before), by why.
struct MissedSlots
{
    int64_t encoderBehind = 0;   // grabbed, but the queue to the encoder was full
    int64_t captureLate = 0;     // a grab took so long that the tick passed
    int64_t rateLowered = 0;     // not grabbed: the capture rate was lowered
    int64_t other = 0;           // timing: the picture landed a slot further on

    int64_t total() const { return encoderBehind + captureLate + rateLowered + other; }
    MissedSlots& operator+=(const MissedSlots& o)
    {
        encoderBehind += o.encoderBehind;
        captureLate += o.captureLate;
        rateLowered += o.rateLowered;
        other += o.other;
        return *this;
    }
};

struct VideoFrame
{
    QImage image;
    int64_t captureUs = 0;
    // Where the picture lies on the root window (global screen pixels);
    // decorators draw screen-positioned things (pointer, strokes) from it.
    QRect screenRect;
    // Numbered by the capture thread, one up per grab: the encoder can tell
    // that it saw the grab before this one, so that `changedRows` apply.
    int64_t sequence = 0;
    // Which rows [top, bottom) differ from the previous grab, in order, when
    // the source knows (`allChanged` false; none at all: the very same
    // picture). The encoder converts only those and encodes an unchanged
    // picture without converting it again.
    bool allChanged = true;
    std::vector<std::pair<int, int>> changedRows;
    // What the capture passed over since the frame it queued before this
    // one; the encoder tells from it why it repeats pictures.
    MissedSlots missedBefore;

    // A decorator drew over rows [top, bottom) differently than on the
    // previous frame.
    void markChanged(int top, int bottom)
    {
        top = std::max(top, 0);
        bottom = std::min(bottom, image.height());
        if (!allChanged && top < bottom)
            changedRows.emplace_back(top, bottom);
    }
};

// Where frames come from: a part of the screen, one window, or chosen
// windows composed together.
class IFrameSource
{
public:
    virtual ~IFrameSource() = default;
    // Takes one frame of the current area. Returns 0 (SR_Success) or the
    // SRErrorCode that must end the recording (a window that closed or
    // changed size, the display gone).
    virtual int grab(VideoFrame& out) = 0;
    // The size every frame has (the encoder is opened with it).
    virtual QSize frameSize() const = 0;
    // The area moved (the recording's AreaController returned a new one;
    // same size). Sources that record a part of the root window follow it
    // from the next grab on; the single-window source follows its window
    // instead and ignores this.
    virtual void setArea(const QRect& area) { (void)area; }
    // After grab() failed: the SRErrorCause behind its code.
    virtual int failureCause() const { return SR_CauseNone; }
};

// Draws into each frame before it is encoded. Called on the capture thread
// only; implementations keep their own locks for state set from elsewhere.
// What a decorator draws differently than on the previous frame it marks
// (VideoFrame::markChanged); the same drawing over unchanged rows leaves
// them unchanged.
class IFrameDecorator
{
public:
    virtual ~IFrameDecorator() = default;
    virtual void decorate(VideoFrame& frame) = 0;
};

// Interleaved float samples at the pipeline's fixed format.
constexpr int kAudioRate = 48000;
constexpr int kAudioChannels = 2;

struct AudioChunk
{
    std::vector<float> samples; // interleaved, kAudioChannels per frame
    // Moment the first sample was heard/spoken, on the nowUs() clock.
    int64_t firstSampleUs = 0;
};

// System sound and/or microphone, mixed, at kAudioRate/kAudioChannels.
class IAudioSource
{
public:
    virtual ~IAudioSource() = default;
    // Starts capturing; false (with a reason) when the sound server or the
    // device is not usable.
    virtual bool start(std::string& error) = 0;
    // Moves the captured sound out, oldest first; returns false once the
    // source failed (a device vanished: SR_MicInterrupted).
    virtual bool take(std::vector<AudioChunk>& out) = 0;
    virtual void stop() = 0;
    // After take() returned false: the SRErrorCause (which device, or the
    // whole server).
    virtual int failureCause() const { return SR_CauseNone; }
};

} // namespace rec
} // namespace sc
