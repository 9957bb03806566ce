#pragma once

// The engine's own files of a sound-only recording.
//
// A recording is written into "rec-<time>-<pid>.part.wav" in the engine's
// audio folder ($XDG_DATA_HOME/ScreenRecorder/engine-audio): 16-bit PCM WAV
// at kAudioRate, whose header is brought up to date about once a second,
// held under an advisory lock (flock) while its recorder lives. A finished
// recording becomes "last.wav" (replacing the one before). A ".part.wav"
// that nobody holds was interrupted: its process died. Restoring it fixes
// the header from the file's length and makes it the last recording.

#include <cstdint>
#include <string>

namespace sc {
namespace rec {

constexpr int kWavHeaderBytes = 44;

// The folder, created when missing.
std::string audioTempFolder();
// The last finished (or restored) recording; it may not exist.
std::string lastAudioRecordingPath();

// One recording being written. Not thread-safe: one writer thread.
class WavTempFile
{
public:
    WavTempFile() = default;
    // Without finish() the file stays behind as an interrupted recording.
    ~WavTempFile();
    WavTempFile(const WavTempFile&) = delete;
    WavTempFile& operator=(const WavTempFile&) = delete;

    // A new locked ".part.wav" with `channels` (1 or 2) channels. On
    // failure the calling thread's last error says why (core/LastError.h).
    bool create(int channels, std::string& error);
    // Appends interleaved frames; false when the disk refused them (the
    // file keeps what was written before; writeError() tells why).
    bool append(const int16_t* samples, int64_t frames);
    // The system's error (errno) of the last append that failed; 0 before.
    int writeError() const { return m_writeError; }
    // Final header, then the file becomes the last recording (written out
    // again when its name was lost meanwhile).
    bool finish(std::string& error);
    // The file or its folder was deleted: the open file still takes the
    // sound, but only finish() gives it a name again. Any thread.
    bool nameLost() const;
    // Nothing was recorded: the file goes, the last recording stays.
    void discard();

    const std::string& path() const { return m_path; }
    int channels() const { return m_channels; }
    int64_t frames() const { return m_frames; }
    int64_t bytes() const { return kWavHeaderBytes + m_frames * 2 * m_channels; }

private:
    bool writeHeader();

    int m_fd = -1;
    int m_channels = 2;
    int64_t m_frames = 0;
    int64_t m_framesAtHeader = 0;
    int m_writeError = 0;
    std::string m_path;
};

struct WavFacts {
    int channels = 0;
    int64_t frames = 0;     // from the file's length, not the header
    double seconds() const;
};
// Facts of a file this engine wrote; false when it is not one.
bool readWavFacts(const std::string& path, WavFacts& facts);

// Makes the newest interrupted recording the last recording (header
// repaired, a torn last frame cut off) and removes older interrupted ones
// and empty ones. True when one with sound was restored; `facts` then
// describes it.
bool restoreInterruptedRecording(WavFacts& facts);

} // namespace rec
} // namespace sc
