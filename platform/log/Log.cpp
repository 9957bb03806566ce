#include "platform/log/Log.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_mutex;
FILE* g_file = nullptr;
LogLevel g_level = LogLevel::Info;
// Lines logged before the first log file is named (start-up decides the
// file only after a few steps) are kept and written into it, so the file
// tells the whole run.
bool g_fileEverSet = false;
std::vector<std::string> g_early;
const size_t kMaxEarlyLines = 1000;
// A log past this size at opening becomes "<name>.1" (replacing an older
// one) and a new file starts, so two files at most ever take the space.
const off_t kRotateBytes = 5 * 1024 * 1024;

void rotateIfLarge(const char* path)
{
    struct stat info {};
    if (stat(path, &info) != 0 || info.st_size <= kRotateBytes)
        return;
    const std::string previous = std::string(path) + ".1";
    std::rename(path, previous.c_str());
}

const char* levelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug: return "DEBUG";
    case LogLevel::Info: return "INFO";
    case LogLevel::Warning: return "WARNING";
    case LogLevel::Error: return "ERROR";
    }
    return "?";
}

} // namespace

void Log(const char* module, LogLevel level, const char* format, ...)
{
    if (!format)
        return;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (level < g_level)
            return;
    }

    // Format outside the lock: a slow vsnprintf of one thread must not hold
    // up every other writer.
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int needed = std::vsnprintf(small, sizeof(small), format, args);
    va_end(args);
    std::string text;
    if (needed < 0) {
        text = "(bad log format)";
    } else if (static_cast<size_t>(needed) < sizeof(small)) {
        text.assign(small, static_cast<size_t>(needed));
    } else {
        std::vector<char> big(static_cast<size_t>(needed) + 1);
        std::vsnprintf(big.data(), big.size(), format, copy);
        text.assign(big.data(), static_cast<size_t>(needed));
    }
    va_end(copy);
    // A message never breaks the one-line-per-call rule.
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';

    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);

    char head[160];
    std::snprintf(head, sizeof(head), "%s.%03ld [%ld] [%s] %s: ", stamp,
                  ts.tv_nsec / 1000000L, static_cast<long>(syscall(SYS_gettid)),
                  module ? module : "-", levelName(level));
    std::string line = head;
    line += text;
    line += '\n';

    std::lock_guard<std::mutex> lock(g_mutex);
    FILE* out = g_file ? g_file : stderr;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
    if (!g_fileEverSet && g_early.size() < kMaxEarlyLines)
        g_early.push_back(std::move(line));
}

int SetLogfile(const char* path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_file) {
        std::fclose(g_file);
        g_file = nullptr;
    }
    if (!path || !*path)
        return 0;
    rotateIfLarge(path);
    g_file = std::fopen(path, "ae");
    if (!g_file)
        return -1;
    g_fileEverSet = true;
    for (const std::string& early : g_early)
        std::fwrite(early.data(), 1, early.size(), g_file);
    std::fflush(g_file);
    g_early.clear();
    g_early.shrink_to_fit();
    return 0;
}

void SetLogLevel(LogLevel level)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_level = level;
}

LogLevel GetLogLevel()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_level;
}
