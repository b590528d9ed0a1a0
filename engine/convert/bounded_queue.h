// The bounded hand-over between two stages of a task: owned items, limited by count and by
// the bytes they keep alive, both sides waiting on condition variables. The producing side
// ends the queue with the reason it stopped; Close wakes everyone for good.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace MediaBased {

// Item is movable and has a size_t member `bytes`.
template <typename QueuedItem>
class BoundedQueue {
public:
    using Item = QueuedItem;
    enum class EndReason { None, EndOfStream, ReadFailed, Stopped };

    BoundedQueue(size_t maxItems, size_t maxBytes) : maxItems_(maxItems), maxBytes_(maxBytes) {}
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Waits for room (an empty queue takes any item); false when the queue was closed or
    // ended.
    bool Push(Item item) {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [&] {
            return closed_ || endReason_ != EndReason::None || items_.empty() ||
                   (items_.size() < maxItems_ && bytes_ + item.bytes <= maxBytes_);
        });
        if (closed_ || endReason_ != EndReason::None)
            return false;
        bytes_ += item.bytes;
        peakBytes_ = std::max(peakBytes_, bytes_);
        items_.push_back(std::move(item));
        lock.unlock();
        changed_.notify_all();
        return true;
    }

    // No more items will come, for reason.
    void End(EndReason reason) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            endReason_ = reason;
        }
        changed_.notify_all();
    }

    // Waits for the next item; false once the queue has ended and is empty, or was closed.
    bool Pop(Item& item) {
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

    // Why the producer stopped; None while it goes on.
    EndReason endReason() {
        std::lock_guard<std::mutex> guard(lock_);
        return endReason_;
    }

    // Drops what is queued, outside the lock, and wakes both sides for good.
    void Close() {
        std::deque<Item> dropped;
        {
            std::lock_guard<std::mutex> guard(lock_);
            closed_ = true;
            dropped.swap(items_);
            bytes_ = 0;
        }
        changed_.notify_all();
    }

    bool closed() {
        std::lock_guard<std::mutex> guard(lock_);
        return closed_;
    }

    size_t PeakBytes() {
        std::lock_guard<std::mutex> guard(lock_);
        return peakBytes_;
    }

private:
    const size_t maxItems_;
    const size_t maxBytes_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    size_t bytes_ = 0;
    size_t peakBytes_ = 0;
    EndReason endReason_ = EndReason::None;
    bool closed_ = false;
};

}  // namespace MediaBased
