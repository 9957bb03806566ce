#include "core/FfmpegUtil.h"

extern "C" {
#include <libavutil/error.h>
}

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace sc {
namespace rec {

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool encodeFrame(AVCodecContext* encoder, AVFrame* frame, AVPacket* packet, const PacketSink& sink,
                 int64_t defaultDuration)
{
    int rc = avcodec_send_frame(encoder, frame);
    if (rc < 0 && rc != AVERROR_EOF)
        return false;
    while (true) {
        rc = avcodec_receive_packet(encoder, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return false;
        if (defaultDuration > 0 && packet->duration <= 0)
            packet->duration = defaultDuration;
        const bool ok = sink(packet);
        av_packet_unref(packet);
        if (!ok)
            return false;
    }
}

std::string createHiddenFileBeside(const std::string& target, std::string& error)
{
    static std::atomic<unsigned> serial{0};
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + "/." + name + "." + std::to_string(::getpid()) + "-"
                                 + std::to_string(serial++) + ".part";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    error = "cannot write in " + folder + ": " + std::strerror(errno);
    return std::string();
}

bool writeAll(int fd, const void* data, std::size_t size, off_t offset, std::size_t* written)
{
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (done < size) {
        const ssize_t n = offset < 0 ? ::write(fd, p + done, size - done)
                                     : ::pwrite(fd, p + done, size - done, offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += std::size_t(n);
    }
    if (written)
        *written = done;
    return ok;
}

bool copyOpenFile(int from, const std::string& path)
{
    const int to = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (to < 0)
        return false;
    std::vector<char> buffer(1 << 20);
    off_t offset = 0;
    bool ok = true;
    while (ok) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(to, buffer.data(), std::size_t(n));
        offset += n;
    }
    ok = ::fsync(to) == 0 && ok;
    ok = ::close(to) == 0 && ok;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

int moveWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // Not every file system knows RENAME_NOREPLACE; a hard link refuses a
    // taken name just as well.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
}

} // namespace rec
} // namespace sc
