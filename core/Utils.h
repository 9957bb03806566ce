#pragma once

#include <QString>

// Static helpers for folders, files and the desktop. Never instantiated.
class Utils
{
public:
    Utils() = delete;

    // The run brackets its native start-up with an autorelease pool on the
    // original platform; Linux has none, so the handle is only a token.
    static void* createAutoreleasePool();
    static void releaseAutoreleasePool(void* pool);

    static void ensureExists(const QString& dir);
    static QString getAppDataLocation();
    static QString appDataLocation();
    static QString getAppLogPath();

    // Dark when the application palette's window colour is darker than its text.
    static bool applicationIsInDarkMode();
};
