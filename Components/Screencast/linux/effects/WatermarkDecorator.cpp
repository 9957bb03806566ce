#include "effects/WatermarkDecorator.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"

#include <QPainter>
#include <QString>

namespace sc {
namespace rec {

std::unique_ptr<WatermarkDecorator> WatermarkDecorator::create(const std::string& path, int x, int y, int width,
                                                               int height)
{
    if (path.empty())
        return nullptr;
    QImage picture(QString::fromStdString(path));
    if (picture.isNull()) {
        Log(kLogModule, LogLevel::Error, "watermark: cannot read the picture \"%s\"", path.c_str());
        return nullptr;
    }
    // Scaled once here, not on every frame.
    if (width > 0 && height > 0 && picture.size() != QSize(width, height))
        picture = picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return std::unique_ptr<WatermarkDecorator>(
        new WatermarkDecorator(picture.convertToFormat(QImage::Format_ARGB32_Premultiplied), QPoint(x, y)));
}

WatermarkDecorator::WatermarkDecorator(const QImage& picture, const QPoint& position)
    : m_picture(picture), m_position(position)
{
}

void WatermarkDecorator::decorate(VideoFrame& frame)
{
    if (frame.image.isNull())
        return;
    QPainter painter(&frame.image);
    painter.drawImage(m_position, m_picture);
}

} // namespace rec
} // namespace sc
