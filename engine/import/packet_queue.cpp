#include "import/packet_queue.h"

namespace MediaBased {

void PacketQueue::Push(SystemBased::PacketPtr packet) {
    std::lock_guard<std::mutex> guard(lock_);
    packets_.push_back(std::move(packet));
}

SystemBased::PacketPtr PacketQueue::Pop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (packets_.empty())
        return nullptr;
    SystemBased::PacketPtr first = std::move(packets_.front());
    packets_.pop_front();
    return first;
}

void PacketQueue::Clear() {
    std::deque<SystemBased::PacketPtr> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        dropped.swap(packets_);
    }
}

size_t PacketQueue::Size() {
    std::lock_guard<std::mutex> guard(lock_);
    return packets_.size();
}

}  // namespace MediaBased
