#include "convert/frame_queue.h"

#include <algorithm>

#include "object/media_frame.h"

namespace MediaBased {

bool FrameQueue::Push(Item item) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] {
        return closed_ || items_.empty() || (items_.size() < maxFrames_ && bytes_ + item.bytes <= maxBytes_);
    });
    if (closed_)
        return false;
    bytes_ += item.bytes;
    peakBytes_ = std::max(peakBytes_, bytes_);
    items_.push_back(std::move(item));
    lock.unlock();
    changed_.notify_all();
    return true;
}

void FrameQueue::End(EndReason reason) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        endReason_ = reason;
    }
    changed_.notify_all();
}

bool FrameQueue::Pop(Item& item) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] { return closed_ || endReason_ != EndReason::None || !items_.empty(); });
    if (closed_ || items_.empty())
        return false;
    item = std::move(items_.front());
    items_.pop_front();
    bytes_ -= item.bytes;
    lock.unlock();
    changed_.notify_all();
    return true;
}

FrameQueue::EndReason FrameQueue::endReason() {
    std::lock_guard<std::mutex> guard(lock_);
    return endReason_;
}

void FrameQueue::Close() {
    std::deque<Item> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
        dropped.swap(items_);
        bytes_ = 0;
    }
    changed_.notify_all();
}

size_t FrameQueue::PeakBytes() {
    std::lock_guard<std::mutex> guard(lock_);
    return peakBytes_;
}


size_t FrameBytes(IMediaFrame& frame) {
    if (const AVFrame* held = HeldFrameOf(&frame)) {
        size_t bytes = 0;
        for (const AVBufferRef* buffer : held->buf)
            bytes += buffer ? buffer->size : 0;
        for (int i = 0; i < held->nb_extended_buf; ++i)
            bytes += held->extended_buf[i] ? held->extended_buf[i]->size : 0;
        return bytes;
    }
    const int32_t size = frame.GetBufferSize();
    return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace MediaBased
