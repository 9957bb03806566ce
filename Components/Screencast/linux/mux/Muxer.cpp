#include "mux/Muxer.h"

#include "core/EngineCore.h"
#include "core/FfmpegUtil.h"
#include "core/LastError.h"

#include "platform/log/Log.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace sc {
namespace rec {

namespace {

// The longest a fragment of a movie gathers before it goes to the file.
const char* const kFragmentUs = "250000";

} // namespace

Muxer::~Muxer()
{
    close();
    closeKeeper();
}

const char* Muxer::formatName(OutputVideoFileType type)
{
    switch (type) {
    case kOutputMp4:
    case kOutputM4v: // FFmpeg's "m4v" muxer writes a raw stream, not a movie
        return "mp4";
    case kOutputMov:
        return "mov";
    case kOutputGif:
        return "gif";
    }
    return nullptr;
}

bool Muxer::open(const std::string& path, OutputVideoFileType type, std::string& error)
{
    close();
    closeKeeper();
    const char* name = formatName(type);
    if (!name) {
        error = "unknown container";
        return false;
    }
    int rc = avformat_alloc_output_context2(&m_ctx, nullptr, name, path.c_str());
    if (rc < 0 || !m_ctx) {
        error = "no muxer: " + avError(rc);
        m_ctx = nullptr;
        return false;
    }
    // Read as well as written: the handle also notices a deleted name and
    // copies the contents out again.
    m_keeper = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_keeper < 0)
        rc = AVERROR(errno);
    else if (!(m_ctx->pb = openWriter()))
        rc = AVERROR(ENOMEM);
    if (rc < 0) {
        error = "cannot write '" + path + "': " + avError(rc);
        setLastError(avFailureText(rc, path));
        closeKeeper();
        avformat_free_context(m_ctx);
        m_ctx = nullptr;
        return false;
    }
    m_path = path;
    m_failed = false;
    m_writeError = 0;
    m_headerWritten = false;
    m_pending.clear();
    m_fileBytes = 0;
    m_goodBytes = 0;
    return true;
}

// The muxer's bytes gather in memory until commit() hands them to the
// file in one write: a process killed in between leaves the file as it
// was, not with half a fragment.
AVIOContext* Muxer::openWriter()
{
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        return nullptr;
    AVIOContext* pb = avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, &Muxer::gather, &Muxer::seek);
    if (!pb)
        av_free(buffer);
    return pb;
}

int Muxer::gather(void* opaque, uint8_t* data, int size)
{
    auto* self = static_cast<Muxer*>(opaque);
    self->m_pending.insert(self->m_pending.end(), data, data + size);
    return size;
}

// Only the end of a movie that is not fragmented seeks back; what gathered
// goes out before the position moves.
int64_t Muxer::seek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<Muxer*>(opaque);
    struct stat st {};
    if (whence == AVSEEK_SIZE)
        return ::fstat(self->m_keeper, &st) == 0 ? int64_t(st.st_size) + int64_t(self->m_pending.size()) : -1;
    if (!self->writePending())
        return AVERROR(EIO);
    const off_t at = ::lseek(self->m_keeper, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

bool Muxer::writePending()
{
    if (m_pending.empty())
        return true;
    errno = 0;
    const bool ok = m_keeper >= 0 && writeAll(m_keeper, m_pending.data(), m_pending.size());
    if (!ok && m_writeError == 0)
        m_writeError = errno ? errno : EIO;   // a write that took nothing sets none
    m_fileBytes += int64_t(m_pending.size());
    m_pending.clear();
    return ok;
}

bool Muxer::needsGlobalHeader() const
{
    return m_ctx && (m_ctx->oformat->flags & AVFMT_GLOBALHEADER);
}

AVStream* Muxer::addStream(const AVCodecContext* encoder, uint32_t tag)
{
    if (!m_ctx)
        return nullptr;
    AVStream* stream = avformat_new_stream(m_ctx, nullptr);
    if (!stream)
        return nullptr;
    if (avcodec_parameters_from_context(stream->codecpar, encoder) < 0)
        return nullptr;
    if (tag)
        stream->codecpar->codec_tag = tag;
    stream->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        stream->avg_frame_rate = encoder->framerate;
        stream->r_frame_rate = encoder->framerate;
    }
    return stream;
}

bool Muxer::writeHeader(std::string& error)
{
    if (!m_ctx) {
        error = "no file";
        return false;
    }
    AVDictionary* options = nullptr;
    const std::string format = m_ctx->oformat->name;
    if (format == "mp4" || format == "mov") {
        // Short fragments: a killed recording loses only the one being
        // gathered (plus what the encoders hold), and the first bytes reach
        // the disk soon after the start. A fragment costs about a hundred
        // bytes of index. The index goes out with the first fragment
        // (delay_moov), when the start offsets of the streams (B-frame
        // delay, AAC priming) are known and can be written as edit lists;
        // the colour description goes with it.
        av_dict_set(&options, "movflags",
                    "frag_keyframe+empty_moov+default_base_moof+delay_moov+write_colr", 0);
        av_dict_set(&options, "frag_duration", kFragmentUs, 0);
    } else if (format == "gif") {
        av_dict_set(&options, "loop", "0", 0);
    }
    const int rc = avformat_write_header(m_ctx, &options);
    av_dict_free(&options);
    if (rc < 0) {
        error = "cannot start the file: " + avError(rc);
        m_failed = true;
        return false;
    }
    m_headerWritten = true;
    // A file that cannot be written shows now, not a second later.
    if (!commit()) {
        error = "cannot write the file";
        return false;
    }
    return true;
}

bool Muxer::write(AVPacket* packet, const AVCodecContext* encoder, AVStream* stream)
{
    return write(packet, encoder->time_base, stream);
}

bool Muxer::write(AVPacket* packet, AVRational timeBase, AVStream* stream)
{
    if (!m_ctx || !m_headerWritten || m_failed) {
        av_packet_unref(packet);
        return false;
    }
    av_packet_rescale_ts(packet, timeBase, stream->time_base);
    packet->stream_index = stream->index;
    const int rc = av_interleaved_write_frame(m_ctx, packet);
    if (rc < 0 || (m_ctx->pb && m_ctx->pb->error < 0)) {
        m_failed = true;
        return false;
    }
    return true;
}

bool Muxer::commit()
{
    if (!m_ctx || !m_ctx->pb || m_failed)
        return false;
    avio_flush(m_ctx->pb);
    if (m_ctx->pb->error < 0 || !writePending()) {
        m_failed = true;
        return false;
    }
    m_goodBytes = m_fileBytes;
    return true;
}

bool Muxer::finish()
{
    if (!m_ctx)
        return false;
    bool ok = !m_failed;
    if (m_headerWritten) {
        // Even after a write error the trailer is tried: whatever reaches the
        // disk makes more of the file readable.
        if (av_write_trailer(m_ctx) < 0)
            ok = false;
    }
    if (m_ctx->pb) {
        avio_flush(m_ctx->pb);
        if (m_ctx->pb->error < 0 || !writePending())
            ok = false;
        freeWriter();
    }
    avformat_free_context(m_ctx);
    m_ctx = nullptr;
    m_failed = m_failed || !ok;
    if (!ok)
        cutBack();
    return ok;
}

// A write that failed half-way leaves a torn fragment at the end, which
// decoders reject; what came before it is whole.
void Muxer::cutBack()
{
    struct stat st {};
    if (m_keeper < 0 || ::fstat(m_keeper, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= m_goodBytes)
        return;
    if (::ftruncate(m_keeper, m_goodBytes) != 0)
        Log(kLogModule, LogLevel::Error, "screen recording: the torn end of the file cannot be cut off");
}

void Muxer::discard()
{
    closeKeeper();
    if (!m_ctx)
        return;
    close();
    std::remove(m_path.c_str());
}

bool Muxer::nameLost() const
{
    struct stat st {};
    return m_keeper >= 0 && ::fstat(m_keeper, &st) == 0 && st.st_nlink == 0;
}

bool Muxer::restoreName()
{
    if (!nameLost())
        return true;
    // An unlinked file cannot be linked again: its contents are copied.
    const QString folder = QFileInfo(QString::fromStdString(m_path)).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    return copyOpenFile(m_keeper, m_path);
}

void Muxer::closeKeeper()
{
    if (m_keeper >= 0)
        ::close(m_keeper);
    m_keeper = -1;
}

void Muxer::freeWriter()
{
    if (!m_ctx->pb)
        return;
    av_freep(&m_ctx->pb->buffer);
    avio_context_free(&m_ctx->pb);
    m_pending.clear();
    m_pending.shrink_to_fit();
}

void Muxer::close()
{
    if (!m_ctx)
        return;
    freeWriter();
    avformat_free_context(m_ctx);
    m_ctx = nullptr;
}

} // namespace rec
} // namespace sc
