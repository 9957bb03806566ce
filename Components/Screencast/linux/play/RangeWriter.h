#pragma once

// Writes a stretch [start, end] of a movie or sound file into a new file:
// every picture and sound in the stretch decoded and encoded again, with
// the source's codecs where this FFmpeg can encode them, so that the cut is
// exact to the picture and to the sample. The new file starts at 0 with the
// picture seen at `start`.

#include <atomic>
#include <string>

namespace sc {
namespace play {

// Writes into a hidden file beside `target` and moves it there at the end,
// never over an existing file; a failure or `cancel` leaves nothing behind.
// `progress` goes from 0 to 1.
bool writeRange(const std::string& source, const std::string& target, double start, double end,
                const std::atomic<bool>& cancel, std::atomic<double>& progress, std::string& error);

} // namespace play
} // namespace sc
