#pragma once

// Turns a sound file into one of the audio formats the user saves in.

#include <atomic>
#include <string>

namespace sc {
namespace rec {

// Results (AudioConvertCallback::OnComplete). Cancelled never reaches a
// callback: only release() cancels.
enum AudioConvertResult : int {
    kConvertOk = 0,
    kConvertFailed = 1,        // the source cannot be read or the sound encoded
    kConvertWriteFailed = 2,   // the target cannot be written
    kConvertTargetExists = 3,  // something appeared at the target meanwhile
    kConvertCancelled = 4,
};

// The audio formats by their settings numbers: 4 M4A (AAC), 5 CAF (ALAC),
// 6 MP3, 7 OGG (Vorbis), 8 OPUS, 9 FLAC, 10 WMA (WMA v2).
bool isAudioFormat(int format);

// Converts `source` (any file FFmpeg reads; `engineFile` for a recording of
// this engine, read to its end whatever its header says) into `target`.
// The sound is written into a hidden file beside the target and moved into
// place only when complete, without replacing anything: a failure or a
// cancel leaves no file behind. `cancel` is polled between packets.
int convertAudioFile(const std::string& source, bool engineFile, const std::string& target, int format,
                     const std::atomic<bool>& cancel, std::string& error);

} // namespace rec
} // namespace sc
