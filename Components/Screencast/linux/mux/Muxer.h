#pragma once

// The output file of a screen recording. MP4, M4V and MOV are written as
// fragmented movies (the index with the first fragment, then
// self-contained fragments of a fraction of a second), so that the file
// grows while recording and everything up to the last fragment stays
// playable when the process dies. GIF goes through the GIF muxer. Calls
// come from one thread at a time; nothing here locks.

#include "ScreencastTypes.h"

#include <atomic>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace sc {
namespace rec {

class Muxer
{
public:
    Muxer() = default;
    ~Muxer();
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    // The FFmpeg muxer of a container; null for an unknown one.
    static const char* formatName(OutputVideoFileType type);

    // Creates (truncates) the file; false when it cannot be written there
    // (the calling thread's last error says why, core/LastError.h).
    bool open(const std::string& path, OutputVideoFileType type, std::string& error);
    // Encoders must put their parameter sets into extradata.
    bool needsGlobalHeader() const;
    // A stream fed by `encoder` (opened already). `tag` overrides the
    // codec tag (HEVC as hvc1); 0 keeps the muxer's choice.
    AVStream* addStream(const AVCodecContext* encoder, uint32_t tag = 0);
    bool writeHeader(std::string& error);
    // Takes the packet (timestamps in the encoder's time base) and
    // interleaves it into the file; false on a write error.
    bool write(AVPacket* packet, const AVCodecContext* encoder, AVStream* stream);
    // The same with the packet's time base given.
    bool write(AVPacket* packet, AVRational timeBase, AVStream* stream);
    // Writes what the muxer handed out since the last call (whole
    // fragments only) to the file and, when all of it got there, remembers
    // the end as the place to cut a failed file back to. False once
    // writing failed.
    bool commit();
    // Writes the index/trailer and closes; false when that failed. A
    // failed file is cut back to its last whole fragment, so that it
    // decodes to its end.
    bool finish();
    // Closes and deletes the file (nothing was recorded into it).
    void discard();

    bool headerWritten() const { return m_headerWritten; }
    // Why writing failed: the system's error (errno), 0 when none is known
    // (FFmpeg's own failure, or nothing failed). Any thread.
    int writeError() const { return m_writeError.load(); }

    // The file's name was deleted (the file itself or its folder) since
    // open(): writing goes on into a file nobody can reach any more.
    bool nameLost() const;
    // After finish(): a file whose name was lost is written out again under
    // it, its folders made anew. True when the file is there by its name.
    bool restoreName();

private:
    void close();
    void closeKeeper();
    void cutBack();
    AVIOContext* openWriter();
    void freeWriter();
    bool writePending();
    static int gather(void* opaque, uint8_t* data, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    AVFormatContext* m_ctx = nullptr;
    std::string m_path;
    // A handle on the open file from open() to discard() or the end: it
    // keeps the contents reachable after the name goes, and cuts a failed
    // file back.
    int m_keeper = -1;
    std::vector<char> m_pending; // handed out by the muxer, not yet written
    int64_t m_fileBytes = 0;     // given to the file so far
    int64_t m_goodBytes = 0;     // the file is whole up to here
    bool m_headerWritten = false;
    bool m_failed = false;
    std::atomic<int> m_writeError{0};
};

} // namespace rec
} // namespace sc
