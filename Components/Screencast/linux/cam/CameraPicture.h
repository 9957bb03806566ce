#pragma once

// The newest picture of an open camera, shared by the thread that reads the
// camera and those that want it as a QImage (the photo, the recording's
// capture thread). Each picture is converted once, on first demand.

#include "core/Pipeline.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>
#include <mutex>

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;

namespace sc {
namespace cam {

class CameraPicture
{
public:
    CameraPicture() = default;
    ~CameraPicture();
    CameraPicture(const CameraPicture&) = delete;
    CameraPicture& operator=(const CameraPicture&) = delete;

    // Keeps a reference of `frame` as the newest picture.
    void set(const AVFrame* frame);
    // The newest picture as Format_RGB32 of `size`; null before the first.
    QImage image(QSize size);

private:
    std::mutex m_mutex;
    AVFrame* m_frame = nullptr;
    int64_t m_serial = 0;
    int64_t m_convertedSerial = -1;
    QImage m_converted;
    SwsContext* m_sws = nullptr;
};

// The camera as the recorder's frame source: every tick takes the newest
// picture (the recorder repeats or skips pictures to keep its frame rate).
class CameraFrameSource : public rec::IFrameSource
{
public:
    CameraFrameSource(std::shared_ptr<CameraPicture> picture, QSize size)
        : m_picture(std::move(picture)), m_size(size) {}
    int grab(rec::VideoFrame& out) override;
    QSize frameSize() const override { return m_size; }

private:
    std::shared_ptr<CameraPicture> m_picture;
    QSize m_size;
};

} // namespace cam
} // namespace sc
