#include "import/packet_queue.h"

#include <algorithm>

namespace MediaBased {
namespace {

size_t BytesOf(const AVPacket& packet) {
    return packet.size > 0 ? static_cast<size_t>(packet.size) : 0;
}

}  // namespace

bool PacketQueue::Push(SystemBased::PacketPtr packet, uint64_t generation) {
    const size_t size = packet ? BytesOf(*packet) : 0;
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] {
        return closed_ || generation != generation_ || packets_.empty() ||
               (packets_.size() < maxPackets_ && bytes_ + size <= maxBytes_);
    });
    if (closed_ || generation != generation_)
        return false;
    packets_.push_back(std::move(packet));
    bytes_ += size;
    peakBytes_ = std::max(peakBytes_, bytes_);
    lock.unlock();
    changed_.notify_all();
    return true;
}

void PacketQueue::Finish(uint64_t generation) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (generation != generation_)
            return;
        finished_ = true;
    }
    changed_.notify_all();
}

PacketQueue::PopResult PacketQueue::Pop(SystemBased::PacketPtr& packet) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] { return closed_ || finished_ || !packets_.empty(); });
    if (packets_.empty())
        return closed_ ? PopResult::Closed : PopResult::End;
    packet = std::move(packets_.front());
    packets_.pop_front();
    bytes_ -= packet ? BytesOf(*packet) : 0;
    lock.unlock();
    changed_.notify_all();
    return PopResult::Packet;
}

uint64_t PacketQueue::Clear() {
    std::deque<SystemBased::PacketPtr> dropped;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        dropped.swap(packets_);
        bytes_ = 0;
        finished_ = false;
        generation = ++generation_;
    }
    changed_.notify_all();
    return generation;
}

uint64_t PacketQueue::Generation() {
    std::lock_guard<std::mutex> guard(lock_);
    return generation_;
}

bool PacketQueue::WaitForRestart(uint64_t generation) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] { return closed_ || generation != generation_; });
    return !closed_;
}

void PacketQueue::Close() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
    }
    changed_.notify_all();
}

size_t PacketQueue::Size() {
    std::lock_guard<std::mutex> guard(lock_);
    return packets_.size();
}

size_t PacketQueue::Bytes() {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

size_t PacketQueue::PeakBytes() {
    std::lock_guard<std::mutex> guard(lock_);
    return peakBytes_;
}

}  // namespace MediaBased
