#include "mux/PacketWriter.h"

#include "core/EngineCore.h"
#include "core/LastError.h"

#include "platform/log/Log.h"
#include "core/NamedThread.h"

#include <chrono>
#include <exception>

namespace sc {
namespace rec {

PacketWriter::PacketWriter(Muxer& muxer, std::size_t maxBytes, int64_t stallLimitUs)
    : m_muxer(muxer), m_maxBytes(maxBytes), m_stallLimitUs(stallLimitUs)
{
}

PacketWriter::~PacketWriter()
{
    finish();
    auto q = m_queue.lock();
    for (Item& item : q->items)
        av_packet_free(&item.packet);
}

bool PacketWriter::start()
{
    try {
        m_thread = startNamedThread("sr-mux", [this] { run(); });
    } catch (const std::exception& e) {
        Log(kLogModule, LogLevel::Error, "screen recording: cannot start the file writer: %s", e.what());
        m_queue.lock()->failed = true;
        return false;
    }
    return true;
}

bool PacketWriter::push(AVPacket* packet, AVRational timeBase, AVStream* stream)
{
    AVPacket* copy = av_packet_alloc();
    if (!copy) {
        av_packet_unref(packet);
        return false;
    }
    av_packet_move_ref(copy, packet);
    const std::size_t size = std::size_t(copy->size) + sizeof(AVPacket);
    auto q = m_queue.lock();
    // A packet larger than the whole queue still goes in once it is empty.
    const bool room = m_changed.wait_for(q.lock(), std::chrono::microseconds(m_stallLimitUs), [&] {
        return q->failed || q->closed || q->items.empty() || q->bytes + size <= m_maxBytes;
    });
    if (!room && !q->failed) {
        Log(kLogModule, LogLevel::Error, "screen recording: the disk took nothing for %lld ms",
            static_cast<long long>(m_stallLimitUs / 1000));
        q->failed = true;
        q->stalled = true;
    }
    if (q->failed || q->closed) {
        q.lock().unlock();
        av_packet_free(&copy);
        m_changed.notify_all();
        return false;
    }
    q->items.push_back({copy, timeBase, stream});
    q->bytes += size;
    q.lock().unlock();
    m_changed.notify_all();
    return true;
}

bool PacketWriter::writeOne(Item& item)
{
    const bool ok = m_muxer.write(item.packet, item.timeBase, item.stream) && m_muxer.commit();
    av_packet_free(&item.packet);
    return ok;
}

void PacketWriter::run()
{
    auto q = m_queue.lock();
    while (true) {
        m_changed.wait(q.lock(), [&q] { return !q->items.empty() || q->closed; });
        if (q->items.empty())
            return; // closed and everything written
        Item item = q->items.front();
        q->items.pop_front();
        const std::size_t size = std::size_t(item.packet->size) + sizeof(AVPacket);
        const bool skip = q->failed;
        // Written without the lock: the encoder goes on queueing meanwhile.
        q.lock().unlock();
        bool ok = true;
        if (skip)
            av_packet_free(&item.packet);
        else
            ok = writeOne(item);
        q.lock().lock();
        q->bytes -= size;
        if (!ok)
            q->failed = true;
        m_changed.notify_all();
    }
}

bool PacketWriter::finish()
{
    m_queue.lock()->closed = true;
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    return !failed();
}

bool PacketWriter::failed() const
{
    return m_queue.lock()->failed;
}

std::string PacketWriter::failureText(const std::string& path) const
{
    if (const int err = m_muxer.writeError())
        return fileFailureText(err, path);
    if (m_queue.lock()->stalled)
        return "The disk is too slow to keep up with the recording.";
    return "The recording could not be written to the disk.";
}

} // namespace rec
} // namespace sc
