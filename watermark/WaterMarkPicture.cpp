#include "watermark/WaterMarkPicture.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("WaterMarkPicture", text);
}

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

// Opens `path` only when it is a regular file of a sane size. O_NONBLOCK:
// opening a pipe for reading would otherwise wait for a writer for ever;
// the type is checked on the open descriptor, so nothing can be swapped in
// between the check and the read.
bool openRegularFile(const QString& path, QFile& file, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR)
            return fail(error, tr("The picture \"%1\" does not exist.").arg(path));
        return fail(error, tr("The picture \"%1\" cannot be opened: %2.")
                               .arg(path, QString::fromLocal8Bit(std::strerror(code))));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(error, tr("\"%1\" is not a picture file but a folder, pipe, device or socket.").arg(path));
    }
    if (st.st_size > WaterMarkPicture::kMaxFileBytes) {
        ::close(fd);
        return fail(error, tr("The picture \"%1\" is too large: %2 MB (at most %3 MB).")
                               .arg(path)
                               .arg(st.st_size / (1024 * 1024))
                               .arg(WaterMarkPicture::kMaxFileBytes / (1024 * 1024)));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(error, tr("The picture \"%1\" cannot be opened: %2.").arg(path, file.errorString()));
    }
    return true;
}

bool openPicture(const QString& path, QFile& file, QString* error)
{
    if (path.isEmpty())
        return fail(error, tr("No picture file is chosen."));
    // Resources are compiled in: no file system behind them.
    if (path.startsWith(QLatin1Char(':'))) {
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(error, tr("The picture \"%1\" does not exist.").arg(path));
        return true;
    }
    return openRegularFile(path, file, error);
}

} // namespace

QImage WaterMarkPicture::read(const QString& path, const QSize& bound, QString* error)
{
    QFile file;
    if (!openPicture(path, file, error))
        return QImage();

    // The format comes from the content: a name ending in ".png" proves
    // nothing.
    QImageReader reader(&file);
    if (!reader.canRead()) {
        fail(error, tr("\"%1\" is not a picture in a format this program reads.").arg(path));
        return QImage();
    }
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        fail(error, tr("The size of the picture \"%1\" cannot be read.").arg(path));
        return QImage();
    }
    // Decided on the declared size, before a single pixel is decoded.
    if (qint64(size.width()) * size.height() > kMaxPixels) {
        fail(error, tr("The picture \"%1\" is too large: %2 x %3 pixels (at most %4 million pixels).")
                        .arg(path)
                        .arg(size.width())
                        .arg(size.height())
                        .arg(kMaxPixels / 1000000));
        return QImage();
    }
    if (bound.isValid() && !bound.isEmpty() && (size.width() > bound.width() || size.height() > bound.height()))
        reader.setScaledSize(size.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));

    QImage image = reader.read();
    if (image.isNull())
        fail(error, tr("The picture \"%1\" cannot be read: %2.").arg(path, reader.errorString()));
    return image;
}
