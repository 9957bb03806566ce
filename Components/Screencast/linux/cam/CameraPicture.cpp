#include "cam/CameraPicture.h"

#include "play/SwsSlack.h"

#include "ScreencastTypes.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>

namespace sc {
namespace cam {

CameraPicture::~CameraPicture()
{
    av_frame_free(&m_frame);
    sws_freeContext(m_sws);
}

void CameraPicture::set(const AVFrame* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_frame && !(m_frame = av_frame_alloc()))
        return;
    av_frame_unref(m_frame);
    if (av_frame_ref(m_frame, frame) == 0)
        ++m_serial;
}

QImage CameraPicture::image(QSize size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_frame || m_serial == 0 || size.isEmpty())
        return QImage();
    if (m_convertedSerial == m_serial && m_converted.size() == size)
        return m_converted;
    m_sws = sws_getCachedContext(m_sws, m_frame->width, m_frame->height, AVPixelFormat(m_frame->format),
                                 size.width(), size.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                 nullptr);
    if (!m_sws)
        return QImage();
    // A picture of its own each time: the one handed out before may still
    // be on its way to the encoder.
    // With room behind the last row, where swscale's vector code may store.
    const int bytesPerLine = size.width() * 4;
    auto* pixels = static_cast<uchar*>(std::malloc(std::size_t(bytesPerLine) * size.height() + play::kSwsSlack));
    if (!pixels)
        return QImage();
    QImage out(pixels, size.width(), size.height(), bytesPerLine, QImage::Format_RGB32, &std::free, pixels);
    uint8_t* dst[4] = {out.bits(), nullptr, nullptr, nullptr};
    const int stride[4] = {int(out.bytesPerLine()), 0, 0, 0};
    if (sws_scale(m_sws, m_frame->data, m_frame->linesize, 0, m_frame->height, dst, stride) <= 0)
        return QImage();
    m_converted = out;
    m_convertedSerial = m_serial;
    return out;
}

int CameraFrameSource::grab(rec::VideoFrame& out)
{
    out.image = m_picture->image(m_size);
    if (out.image.isNull()) {
        // Recording began before the camera's first picture.
        out.image = QImage(m_size, QImage::Format_RGB32);
        out.image.fill(Qt::black);
    }
    out.screenRect = QRect(QPoint(0, 0), m_size);
    return SR_Success;
}

} // namespace cam
} // namespace sc
