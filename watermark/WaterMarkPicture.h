#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Reading a watermark's picture file, which the user may point at anything:
// the read runs on the GUI thread, so it must neither block nor decode
// without bounds.
namespace WaterMarkPicture {

// A larger file is refused unread.
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
// A picture declaring more pixels is refused before decoding: about 160 MB
// as 32-bit pixels for a format that cannot be scaled while it is read.
constexpr qint64 kMaxPixels = 40LL * 1000 * 1000;

// The picture at `path` (a file or a ":/" resource), read only from a
// regular file and scaled down while reading to fit in `bound` when it is
// larger. A null image on failure, with `error` (when given) saying why in
// words for the user.
QImage read(const QString& path, const QSize& bound, QString* error = nullptr);

} // namespace WaterMarkPicture
