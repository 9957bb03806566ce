#include "platform/framework/VxFileUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

bool VxFileUtils::isFolderPathWritable(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    // Permission bits say little (root, read-only mounts, ACLs): only a file
    // really created tells. The probe removes itself.
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".vxprobe_XXXXXX")));
    return probe.open();
}

QString VxFileUtils::makeOSLikePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}
