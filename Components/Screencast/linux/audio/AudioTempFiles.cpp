#include "audio/AudioTempFiles.h"

#include "core/Pipeline.h"

#include "core/EngineCore.h"
#include "core/FfmpegUtil.h"
#include "core/LastError.h"

#include "platform/log/Log.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sc {
namespace rec {

namespace {

constexpr const char* kPartSuffix = ".part.wav";
constexpr const char* kLastName = "last.wav";

void put16(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(unsigned char* p, uint32_t v)
{
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

uint32_t get16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t get32(const unsigned char* p) { return get16(p) | get16(p + 2) << 16; }

// Sizes past 4 GiB do not fit a WAV header: it then says "as much as
// there is", and readers are told to go by the file's length.
uint32_t clamp32(int64_t v) { return v > int64_t(0xffffffffu) ? 0xffffffffu : uint32_t(v); }

void makeHeader(unsigned char* h, int channels, int64_t frames)
{
    const int64_t data = frames * 2 * channels;
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, clamp32(data + kWavHeaderBytes - 8));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);                                  // PCM
    put16(h + 22, uint32_t(channels));
    put32(h + 24, uint32_t(kAudioRate));
    put32(h + 28, uint32_t(kAudioRate * 2 * channels)); // bytes per second
    put16(h + 32, uint32_t(2 * channels));              // bytes per frame
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, clamp32(data));
}

// Writes all of `data` through short writes and signals: at the file's
// position, or at `offset` when that is not negative.
// The channel count of a header this engine wrote; 0 when it is not one.
int headerChannels(int fd)
{
    unsigned char h[kWavHeaderBytes];
    if (::pread(fd, h, sizeof h, 0) != ssize_t(sizeof h))
        return 0;
    if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVEfmt ", 8) != 0
        || std::memcmp(h + 36, "data", 4) != 0)
        return 0;
    const uint32_t channels = get16(h + 22);
    if (get32(h + 16) != 16 || get16(h + 20) != 1 || get32(h + 24) != uint32_t(kAudioRate)
        || get16(h + 34) != 16 || (channels != 1 && channels != 2))
        return 0;
    return int(channels);
}

int64_t framesInFile(int fd, int channels)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < kWavHeaderBytes)
        return 0;
    return (int64_t(st.st_size) - kWavHeaderBytes) / (2 * channels);
}

std::string joinPath(const std::string& folder, const std::string& name) { return folder + "/" + name; }

} // namespace

double WavFacts::seconds() const { return double(frames) / kAudioRate; }

std::string audioTempFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = base + QStringLiteral("/ScreenRecorder/engine-audio");
    QDir().mkpath(folder);
    return folder.toStdString();
}

std::string lastAudioRecordingPath() { return joinPath(audioTempFolder(), kLastName); }

// ---- WavTempFile ------------------------------------------------------------

WavTempFile::~WavTempFile()
{
    if (m_fd >= 0) {
        writeHeader();
        ::close(m_fd);
    }
}

bool WavTempFile::create(int channels, std::string& error)
{
    m_channels = channels == 1 ? 1 : 2;
    const std::string folder = audioTempFolder();
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        char name[96];
        std::snprintf(name, sizeof name, "rec-%lld%03ld-%d-%d%s", static_cast<long long>(now.tv_sec),
                      now.tv_nsec / 1000000, int(::getpid()), attempt, kPartSuffix);
        m_path = joinPath(folder, name);
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        error = "cannot create a sound file in " + folder + ": " + std::strerror(errno);
        setLastError(fileFailureText(errno, folder, true));
        return false;
    }
    // The lock tells a recording in progress from one whose process died.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || !writeHeader()) {
        error = "cannot prepare " + m_path + ": " + std::strerror(errno);
        setLastError(fileFailureText(errno, m_path));
        ::close(m_fd);
        ::unlink(m_path.c_str());
        m_fd = -1;
        return false;
    }
    return true;
}

bool WavTempFile::writeHeader()
{
    unsigned char h[kWavHeaderBytes];
    makeHeader(h, m_channels, m_frames);
    if (!writeAll(m_fd, h, sizeof h, 0))
        return false;
    m_framesAtHeader = m_frames;
    return true;
}

bool WavTempFile::append(const int16_t* samples, int64_t frames)
{
    if (m_fd < 0)
        return false;
    if (frames <= 0)
        return true;
    // The data goes at the end of what is known good, so that the torn
    // end of a write that failed half way is written over by the next one.
    errno = 0;
    const std::size_t frameBytes = 2 * std::size_t(m_channels);
    std::size_t written = 0;
    bool ok = writeAll(m_fd, samples, std::size_t(frames) * frameBytes, off_t(bytes()), &written);
    // On a disk that fills half way through, the whole frames that went in
    // are sound the user recorded: they are kept.
    m_frames += ok ? frames : int64_t(written / frameBytes);
    // About once a second, so that a file left by a crash is nearly right
    // even before it is restored.
    if (ok && m_frames - m_framesAtHeader >= kAudioRate)
        ok = writeHeader();
    if (!ok)
        m_writeError = errno ? errno : EIO;   // a write that took nothing sets none
    return ok;
}

bool WavTempFile::finish(std::string& error)
{
    if (m_fd < 0) {
        error = "no sound file";
        return false;
    }
    bool ok = ::ftruncate(m_fd, off_t(bytes())) == 0 && writeHeader();
    if (!ok)
        error = "cannot complete " + m_path + ": " + std::strerror(errno);
    if (ok && nameLost()) {
        // The file or the folder was deleted while recording: the open
        // file still holds every sample, and is written out again.
        const std::string last = lastAudioRecordingPath();
        ok = copyOpenFile(m_fd, last);
        Log(kLogModule, ok ? LogLevel::Info : LogLevel::Error, "sound recording: its file was deleted, %s %s",
            ok ? "written out again as" : "cannot be written out again as", last.c_str());
        if (!ok)
            error = "cannot write " + last + ": " + std::strerror(errno);
    } else if (ok && ::rename(m_path.c_str(), lastAudioRecordingPath().c_str()) != 0) {
        // Renamed while still locked, so that nobody takes it for interrupted.
        error = "cannot keep " + m_path + ": " + std::strerror(errno);
        ok = false;
    }
    ::close(m_fd);
    m_fd = -1;
    if (ok)
        m_path = lastAudioRecordingPath();
    return ok;
}

bool WavTempFile::nameLost() const
{
    struct stat st {};
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 && st.st_nlink == 0;
}

void WavTempFile::discard()
{
    if (m_fd < 0)
        return;
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
}

// ---- reading and restoring --------------------------------------------------

bool readWavFacts(const std::string& path, WavFacts& facts)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    facts.channels = headerChannels(fd);
    facts.frames = facts.channels ? framesInFile(fd, facts.channels) : 0;
    ::close(fd);
    return facts.channels != 0;
}

bool restoreInterruptedRecording(WavFacts& facts)
{
    struct Candidate {
        std::string path;
        int fd = -1;
        int64_t mtimeNs = 0;
    };
    std::vector<Candidate> found;
    const std::string folder = audioTempFolder();
    if (DIR* dir = ::opendir(folder.c_str())) {
        const std::size_t suffixLength = std::strlen(kPartSuffix);
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() <= suffixLength || name.compare(name.size() - suffixLength, suffixLength, kPartSuffix) != 0)
                continue;
            Candidate c;
            c.path = joinPath(folder, name);
            c.fd = ::open(c.path.c_str(), O_RDWR | O_CLOEXEC);
            if (c.fd < 0)
                continue;
            // Held: a recording in progress, here or in another process.
            struct stat st {};
            if (::flock(c.fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(c.fd, &st) != 0) {
                ::close(c.fd);
                continue;
            }
            c.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            found.push_back(c);
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(),
              [](const Candidate& a, const Candidate& b) { return a.mtimeNs > b.mtimeNs; });

    bool restored = false;
    for (Candidate& c : found) {
        const int channels = headerChannels(c.fd);
        const int64_t frames = channels ? framesInFile(c.fd, channels) : 0;
        if (restored || frames == 0) {
            // Older, empty or broken leftovers: only the newest recording
            // with sound can be offered.
            ::unlink(c.path.c_str());
        } else {
            unsigned char h[kWavHeaderBytes];
            makeHeader(h, channels, frames);
            if (::ftruncate(c.fd, off_t(kWavHeaderBytes + frames * 2 * channels)) == 0
                && writeAll(c.fd, h, sizeof h, 0)
                && ::rename(c.path.c_str(), lastAudioRecordingPath().c_str()) == 0) {
                restored = true;
                facts.channels = channels;
                facts.frames = frames;
                Log(kLogModule, LogLevel::Info, "restored an interrupted sound recording of %.1f s", facts.seconds());
            } else {
                // Left as it is: perhaps it can be restored another time.
                Log(kLogModule, LogLevel::Error, "cannot restore %s: %s", c.path.c_str(), std::strerror(errno));
            }
        }
        ::close(c.fd);
    }
    return restored;
}

} // namespace rec
} // namespace sc
