#pragma once

// Why something failed, in a sentence the user can act on.
//
// Two carriers: the calling thread's last error, which the interface's
// creating calls clear on entry and set when they fail (read with
// scGetLastErrorText), and FailureText, the reason a running recording
// stopped, kept by the recorder object beside its error code. A reason
// given deep down (the file that cannot be created, the sound server that
// is not there) is nearer to the cause than the caller's general one, so
// the first reason given wins.

#include <mutex>
#include <string>

namespace sc {

// A failed system call on `path`: the folder read-only, the disk full, the
// folder missing... `path` names a file unless `isFolder`; the folder
// named in the sentence is then its parent.
std::string fileFailureText(int err, const std::string& path, bool isFolder = false);
// The same for an FFmpeg result (AVERROR); errors of the system go through
// fileFailureText.
std::string avFailureText(int averror, const std::string& path);
// A PulseAudio error code (PA_ERR_*) met while connecting or recording.
std::string soundServerFailureText(int paError);
// The stop of a running recording (SRErrorCode and SRErrorCause), when
// nothing nearer to the cause is known.
std::string recordingFailureText(int code, int cause);

// The calling thread's last error.
void clearLastError();
// Kept only when no reason was given since the last clearLastError().
void setLastError(const std::string& text);
const std::string& lastError();

// A reason set once from any thread and read from any other; the text
// handed out stays valid for the owner's life.
class FailureText
{
public:
    // Only the first text sticks.
    void set(const std::string& text);
    const char* get() const;

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

} // namespace sc
