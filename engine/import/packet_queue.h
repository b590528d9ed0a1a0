// The read-ahead queue between a source's reader thread and its consumer, bounded by packets
// and by bytes. Both sides wait on condition variables: a full queue holds the reader back, an
// empty one the consumer, without polling.
//
// A seek clears the queue and starts a new generation; a packet read before it is dropped when
// it arrives, so nothing from before a seek comes out after it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "system/ffmpeg_handles.h"

namespace MediaBased {

class PacketQueue {
public:
    PacketQueue(size_t maxPackets, size_t maxBytes) : maxPackets_(maxPackets), maxBytes_(maxBytes) {}

    // Waits for room (an empty queue always takes a packet, however large). False when the
    // packet was dropped: the queue was cleared since generation, or closed.
    bool Push(SystemBased::PacketPtr packet, uint64_t generation);
    // The producer of generation has no more packets.
    void Finish(uint64_t generation);

    enum class PopResult { Packet, End, Closed };
    // Waits for the oldest packet; End once the producer finished and every packet was taken.
    PopResult Pop(SystemBased::PacketPtr& packet);

    // Drops every packet and the finished mark; returns the new generation.
    uint64_t Clear();
    uint64_t Generation();
    // After Finish: waits until a Clear starts a new generation (true) or Close (false).
    bool WaitForRestart(uint64_t generation);
    // Wakes every waiter for good; later calls return at once.
    void Close();

    size_t Size();
    size_t Bytes();
    // The most bytes the queue held at once since it was made.
    size_t PeakBytes();

private:
    const size_t maxPackets_;
    const size_t maxBytes_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<SystemBased::PacketPtr> packets_;
    size_t bytes_ = 0;
    size_t peakBytes_ = 0;
    uint64_t generation_ = 0;
    bool finished_ = false;
    bool closed_ = false;
};

}  // namespace MediaBased
