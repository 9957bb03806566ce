#pragma once

#include <QString>

// Two file queries the history rows use.
class FileSystemUtils
{
public:
    FileSystemUtils() = delete;

    static bool exists(const QString& path);
    // The folder part of `path`.
    static QString filePath(const QString& path);
};
