// The last stage of an encoded stream: encodes on a thread of its own the pictures or sound
// the exporter has scaled or resampled, and writes the packets. The stream's encoder then
// overlaps the filtering of the frames after it and the other streams' encoders, instead of
// adding to the task thread's work.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

#include "convert/bounded_queue.h"
#include "system/base_thread.h"
#include "system/ffmpeg_handles.h"
#include "system/task_log.h"

namespace MediaBased {

class EncodeStage final : private SystemBased::CBaseThread {
public:
    // Encodes one frame, or drains the encoder for null, and writes what it gives back; false
    // when either fails. Called on the stage's thread only.
    using EncodeFunction = std::function<bool(const AVFrame*)>;

    // At most maxFrames frames holding maxBytes wait for the encoder. What the stage reports
    // goes to the task log of the thread that makes it.
    EncodeStage(EncodeFunction encode, size_t maxFrames, size_t maxBytes);
    // Stops the stage: frames still queued are dropped.
    ~EncodeStage() override;

    // False when no thread could be made.
    bool Start() { return TryStart(); }
    // Queues frame, waiting for room; false once encoding has failed or the stage was stopped.
    bool Push(SystemBased::FramePtr frame);
    // No more frames will come: the stage encodes what is queued and drains the encoder.
    void EndOfInput();
    // EndOfInput, then waits for the thread; false when any frame failed.
    bool Finish();
    // Drops what is queued and waits for the thread.
    void Stop();
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    // The most bytes that were waiting for the encoder at once.
    size_t PeakBytes() { return queue_.PeakBytes(); }

private:
    struct Input {
        SystemBased::FramePtr frame;
        size_t bytes = 0;
    };

    void Run() override;

    const EncodeFunction encode_;
    BoundedQueue<Input> queue_;
    SystemBased::TaskLog* const log_;
    std::atomic<bool> failed_{false};
};

}  // namespace MediaBased
