#pragma once

// The program's logging library. One call writes one whole line, with time,
// thread and module, so lines from several threads never interleave.
//
// Lines below the level set with SetLogLevel are dropped. Until SetLogfile
// names a file, lines go to stderr.

// Named, never numbered: a scoped enumeration does not take an int, so a call
// cannot say "3" and mean an error while the file shows it as something else.
enum class LogLevel : int {
    Debug = 0,   // what only a developer chasing a fault needs
    Info = 1,    // the ordinary story of a run
    Warning = 2, // something went wrong and was worked around
    Error = 3,   // something the user asked for did not happen
};

void Log(const char* module, LogLevel level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Opens (appending) the log file; a null or empty path goes back to stderr.
// A file over 5 MB is first renamed to "<path>.1", replacing an older one.
// Returns 0 on success, -1 when the file cannot be opened (stderr is used).
int SetLogfile(const char* path);

void SetLogLevel(LogLevel level);
LogLevel GetLogLevel();
