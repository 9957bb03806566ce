#pragma once

// The program's logging library. One call writes one whole line, with time,
// thread and module, so lines from several threads never interleave.
//
// Levels: 1 information, 2 error. Lines below the level set with
// SetLogLevel are dropped. Until SetLogfile names a file, lines go to stderr.

#ifdef __cplusplus
extern "C" {
#endif

void Log(const char* module, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Opens (appending) the log file; a null or empty path goes back to stderr.
// A file over 5 MB is first renamed to "<path>.1", replacing an older one.
// Returns 0 on success, -1 when the file cannot be opened (stderr is used).
int SetLogfile(const char* path);

void SetLogLevel(int level);
int GetLogLevel(void);

#ifdef __cplusplus
}
#endif
