#pragma once

// The watermark burnt into every frame: the picture given with
// SetWatermark, scaled to its width and height, drawn with its alpha at its
// place in the frame.

#include "core/Pipeline.h"

#include <QImage>
#include <QPoint>

#include <memory>
#include <string>

namespace sc {
namespace rec {

class WatermarkDecorator : public IFrameDecorator {
public:
    // Null when the path is empty or the picture cannot be read. A width or
    // height of 0 or less keeps the picture's own size.
    static std::unique_ptr<WatermarkDecorator> create(const std::string& path, int x, int y, int width, int height);

    void decorate(VideoFrame& frame) override;

    const QImage& picture() const { return m_picture; }
    QPoint position() const { return m_position; }

private:
    WatermarkDecorator(const QImage& picture, const QPoint& position);

    QImage m_picture;   // premultiplied ARGB, at its final size
    QPoint m_position;  // in frame pixels
};

} // namespace rec
} // namespace sc
