#include "platform/framework/VxFileUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool VxFileUtils::isFolderPathWritable(const QString& path)
{
    return folderPathWriteError(path) == 0;
}

namespace {

// Creates and removes a file in `folder`: 0, or why it could not be made.
int probeError(const QString& folder)
{
    QByteArray probe = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".vxprobe_XXXXXX")));
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(probe.constData());
    return 0;
}

} // namespace

int VxFileUtils::folderPathWriteError(const QString& path)
{
    if (path.isEmpty())
        return ENOENT;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int missing = errno;
        if (missing != ENOENT)
            return missing;
        // A folder that could not be made on a full volume is missing for
        // that reason: the nearest folder that exists tells.
        for (QString up = QFileInfo(path).absolutePath(); !up.isEmpty(); up = QFileInfo(up).absolutePath()) {
            if (QFileInfo(up).isDir()) {
                const int why = probeError(up);
                return why == ENOSPC || why == EDQUOT ? why : missing;
            }
            if (up == QLatin1String("/"))
                break;
        }
        return missing;
    }
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    // Permission bits say little (root, read-only mounts, ACLs): only a file
    // really created tells.
    return probeError(path);
}

QString VxFileUtils::makeOSLikePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}
