// The read-ahead queue between a source's worker thread and its consumer.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>

#include "system/ffmpeg_handles.h"

namespace MediaBased {

class PacketQueue {
public:
    void Push(SystemBased::PacketPtr packet);
    // The oldest packet, or null when the queue is empty.
    SystemBased::PacketPtr Pop();
    void Clear();
    size_t Size();

private:
    std::mutex lock_;
    std::deque<SystemBased::PacketPtr> packets_;
};

}  // namespace MediaBased
