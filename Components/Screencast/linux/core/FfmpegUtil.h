#pragma once

// What the recorder's encoders, muxer and sound converter share in their
// use of FFmpeg.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <sys/types.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace sc {
namespace rec {

// Receives each encoded packet (timestamps in the encoder's time base);
// false stops the encoding (the file cannot be written).
using PacketSink = std::function<bool(AVPacket*)>;

// FFmpeg's text for an error code.
std::string avError(int code);

// Sends `frame` (null: the end of the stream) to `encoder` and hands every
// packet that comes out to `sink`, through `packet`. A packet without a
// duration gets `defaultDuration` when that is positive. False when the
// encoder fails or the sink refuses a packet.
bool encodeFrame(AVCodecContext* encoder, AVFrame* frame, AVPacket* packet, const PacketSink& sink,
                 int64_t defaultDuration = 0);

// Files that appear only once complete: written under a hidden name beside
// their target, then moved there without replacing anything.
//
// Creates that hidden file (with the user's umask, for it becomes the
// user's file) and returns its path; empty, with `error`, when the target's
// folder cannot be written.
std::string createHiddenFileBeside(const std::string& target, std::string& error);
// Moves `from` to `to` unless something is there already: 0, or the errno
// (EEXIST when the place is taken).
int moveWithoutReplacing(const std::string& from, const std::string& to);

// Writes all of `data` through short writes and signals, at `offset` when it
// is not negative (the file position stays where it was), else at the file
// position. False on an error; `written`, when given, then says how much of
// `data` did reach the file, so that a caller can keep that part.
bool writeAll(int fd, const void* data, std::size_t size, off_t offset = -1, std::size_t* written = nullptr);
// Copies everything the open file `from` holds (read by position, so a file
// whose name was deleted can still be kept) into a new file at `path`,
// flushed to the disk; false, with nothing left at `path`, on an error.
bool copyOpenFile(int from, const std::string& path);

} // namespace rec
} // namespace sc
