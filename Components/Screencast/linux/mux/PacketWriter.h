#pragma once

// Writes a recording's packets into its Muxer on a thread of its own, so
// that a slow or stalled disk holds up only this thread: the encoders keep
// running while the queue has room. The queue is bounded in bytes; when it
// stays full longer than the stall limit the file counts as failed. Each
// packet is pushed to the disk as soon as the muxer hands out a finished
// piece of the file, so a killed process loses only what the muxer and the
// encoders still held.

#include "core/Guarded.h"
#include "mux/Muxer.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace sc {
namespace rec {

class PacketWriter
{
public:
    PacketWriter(Muxer& muxer, std::size_t maxBytes, int64_t stallLimitUs);
    ~PacketWriter();
    PacketWriter(const PacketWriter&) = delete;
    PacketWriter& operator=(const PacketWriter&) = delete;

    // The muxer's header must be written before.
    bool start();
    // Takes the packet's data (timestamps in `timeBase`), waiting while the
    // queue is full. False once writing failed or the queue stayed full too
    // long; the packet is dropped then.
    bool push(AVPacket* packet, AVRational timeBase, AVStream* stream);
    // Writes out what is queued and ends the thread. False when any write
    // failed.
    bool finish();
    bool failed() const;
    // Why the file of `path` failed, one sentence for the user: the disk's
    // own error, or a disk that stopped taking data.
    std::string failureText(const std::string& path) const;

private:
    struct Item
    {
        AVPacket* packet;
        AVRational timeBase;
        AVStream* stream;
    };

    void run();
    bool writeOne(Item& item);

    Muxer& m_muxer;
    const std::size_t m_maxBytes;
    const int64_t m_stallLimitUs;
    std::thread m_thread;
    // Shared by the encoder that pushes and the thread that writes.
    struct Queue
    {
        std::deque<Item> items;
        std::size_t bytes = 0;
        bool closed = false;
        bool failed = false;
        bool stalled = false;
    };
    mutable Guarded<Queue> m_queue;
    std::condition_variable m_changed;
};

} // namespace rec
} // namespace sc
