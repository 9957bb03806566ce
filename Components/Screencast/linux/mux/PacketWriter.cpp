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
    for (Item& item : m_items)
        av_packet_free(&item.packet);
}

bool PacketWriter::start()
{
    try {
        m_thread = startNamedThread("sr-mux", [this] { run(); });
    } catch (const std::exception& e) {
        Log(kLogModule, LogLevel::Error, "screen recording: cannot start the file writer: %s", e.what());
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = true;
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
    std::unique_lock<std::mutex> lock(m_mutex);
    // A packet larger than the whole queue still goes in once it is empty.
    const bool room = m_changed.wait_for(lock, std::chrono::microseconds(m_stallLimitUs), [&] {
        return m_failed || m_closed || m_items.empty() || m_bytes + size <= m_maxBytes;
    });
    if (!room && !m_failed) {
        Log(kLogModule, LogLevel::Error, "screen recording: the disk took nothing for %lld ms",
            static_cast<long long>(m_stallLimitUs / 1000));
        m_failed = true;
        m_stalled = true;
    }
    if (m_failed || m_closed) {
        lock.unlock();
        av_packet_free(&copy);
        m_changed.notify_all();
        return false;
    }
    m_items.push_back({copy, timeBase, stream});
    m_bytes += size;
    lock.unlock();
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
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return !m_items.empty() || m_closed; });
        if (m_items.empty())
            return; // closed and everything written
        Item item = m_items.front();
        m_items.pop_front();
        const std::size_t size = std::size_t(item.packet->size) + sizeof(AVPacket);
        const bool skip = m_failed;
        lock.unlock();
        bool ok = true;
        if (skip)
            av_packet_free(&item.packet);
        else
            ok = writeOne(item);
        lock.lock();
        m_bytes -= size;
        if (!ok)
            m_failed = true;
        m_changed.notify_all();
    }
}

bool PacketWriter::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    return !failed();
}

bool PacketWriter::failed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

std::string PacketWriter::failureText(const std::string& path) const
{
    if (const int err = m_muxer.writeError())
        return fileFailureText(err, path);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stalled)
        return "The disk is too slow to keep up with the recording.";
    return "The recording could not be written to the disk.";
}

} // namespace rec
} // namespace sc
