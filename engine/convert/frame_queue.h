// The bounded hand-over between a task's decoding stage and its encoding stage: owned frames
// with their slots, limited by count and by bytes, both sides waiting on condition variables.
// The decoding side ends the queue with the reason it stopped; Close wakes everyone for good.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

namespace MediaBased {

class FrameQueue {
public:
    struct Item {
        Owned<IMediaFrame> frame;
        int32_t slot = -1;
        size_t bytes = 0;
    };
    enum class EndReason { None, EndOfStream, ReadFailed, Stopped };

    FrameQueue(size_t maxFrames, size_t maxBytes) : maxFrames_(maxFrames), maxBytes_(maxBytes) {}

    // Waits for room (an empty queue takes any frame); false when the queue was closed.
    bool Push(Item item);
    // No more frames will come, for reason.
    void End(EndReason reason);
    // Waits for the next frame; false once the queue has ended and is empty, or was closed.
    bool Pop(Item& item);
    // Why the producer stopped; None while it goes on.
    EndReason endReason();
    // Drops what is queued and wakes both sides for good.
    void Close();

    size_t PeakBytes();

private:
    const size_t maxFrames_;
    const size_t maxBytes_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    size_t bytes_ = 0;
    size_t peakBytes_ = 0;
    EndReason endReason_ = EndReason::None;
    bool closed_ = false;
};

// The bytes a frame keeps alive: the decoder's buffers it references, or its own payload.
size_t FrameBytes(IMediaFrame& frame);

}  // namespace MediaBased
