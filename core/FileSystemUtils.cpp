#include "core/FileSystemUtils.h"

#include <QFileInfo>

bool FileSystemUtils::exists(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString FileSystemUtils::filePath(const QString& path)
{
    return QFileInfo(path).path();
}
