#pragma once

#include <QString>

class VxFileUtils
{
public:
    // True when a file can really be created in the folder (an existing
    // folder that accepts a probe file); false for files and missing paths.
    static bool isFolderPathWritable(const QString& path);
    // Why no file can be created in the folder, as an errno value (ENOSPC
    // for a full volume, ENAMETOOLONG for a name the file system refuses,
    // ENOENT, ENOTDIR, EACCES, EROFS...); 0 when one can.
    static int folderPathWriteError(const QString& path);
    // The path cleaned (no "." or "..", no doubled or trailing separator
    // except the root's) with native separators; empty stays empty.
    static QString makeOSLikePath(const QString& path);
};
