#include "core/LastError.h"

#include "ScreencastTypes.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}
#include <pulse/def.h>

namespace sc {

namespace {

std::string parentFolder(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

thread_local std::string t_lastError;

} // namespace

std::string fileFailureText(int err, const std::string& path, bool isFolder)
{
    const std::string folder = isFolder ? path : parentFolder(path);
    switch (err) {
    case EROFS:
    case EACCES:
    case EPERM:
        return "The folder " + folder + " is read-only.";
    case ENOSPC:
    case EDQUOT:
        return "The disk is full.";
    case EFBIG:
        return "The file has grown too large for the disk it is on.";
    case ENOENT:
    case ENOTDIR:
        return "The folder " + folder + " does not exist.";
    case ENAMETOOLONG:
        return "The file name is too long for the disk it is on.";
    case EIO:
        return "The disk reported an error while writing.";
    case ENOMEM:
        return "The computer has run out of memory.";
    case EMFILE:
    case ENFILE:
        return "Too many files are open.";
    default:
        return "The file " + path + " could not be written.";
    }
}

std::string avFailureText(int averror, const std::string& path)
{
    // FFmpeg passes the system's errors on as negative errno values.
    if (averror < 0 && -averror < 4096)
        return fileFailureText(AVUNERROR(averror), path);
    switch (averror) {
    case AVERROR_ENCODER_NOT_FOUND:
    case AVERROR_MUXER_NOT_FOUND:
        return "The chosen format cannot be written on this computer.";
    default:
        return "The file " + path + " could not be written.";
    }
}

std::string soundServerFailureText(int paError)
{
    switch (paError) {
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_INVALIDSERVER:
        return "No sound server is running.";
    case PA_ERR_CONNECTIONTERMINATED:
        return "The sound server stopped.";
    case PA_ERR_ACCESS:
        return "The sound server refused the connection.";
    case PA_ERR_TIMEOUT:
        return "The sound server does not answer.";
    case PA_ERR_NOENTITY:
        return "The sound device is gone.";
    default:
        return "The sound could not be recorded.";
    }
}

std::string recordingFailureText(int code, int cause)
{
    switch (cause) {
    case SR_CauseMicrophoneLost:
        return "The microphone was disconnected.";
    case SR_CauseSystemSoundLost:
        return "The sound output was disconnected.";
    case SR_CauseSoundServerLost:
        return "The sound server stopped.";
    case SR_CauseScreenChanged:
        return "The screen size changed.";
    default:
        break;
    }
    switch (code) {
    case SR_FileWriteFailed:
        return "The recording could not be written to the disk.";
    case SR_BufferFull:
        return "The computer cannot keep up with the recording.";
    case SR_WindowResized:
        return "The window being recorded changed its size.";
    case SR_WindowClosed:
        return "The window being recorded was closed.";
    case SR_MicInterrupted:
        return "The sound input was interrupted.";
    default:
        return "The recording stopped unexpectedly.";
    }
}

void clearLastError()
{
    t_lastError.clear();
}

void setLastError(const std::string& text)
{
    if (t_lastError.empty())
        t_lastError = text;
}

const std::string& lastError()
{
    return t_lastError;
}

void FailureText::set(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_text.empty())
        m_text = text;
}

const char* FailureText::get() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_text.c_str();
}

} // namespace sc
