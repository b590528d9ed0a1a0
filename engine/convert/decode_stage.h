// The first stage of a task: reads and decodes the source on a thread of its own and hands
// owned frames to the encoding stage through a bounded queue, so decoding one picture
// overlaps scaling and encoding the one before. It ends the queue with the reason it stopped.
#pragma once

#include <atomic>
#include <memory>

#include "convert/frame_queue.h"
#include "system/base_thread.h"
#include "system/task_log.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class DecodeStage final : private SystemBased::CBaseThread {
public:
    // source, queue, stop and log are borrowed and must outlive the stage. After
    // maxFailedReads reads in a row that give nothing, the source counts as failed.
    DecodeStage(IMediaSource& source, FrameQueue& queue, const std::atomic<bool>& stop,
                int maxFailedReads, SystemBased::TaskLog* log, int threadBudget);
    ~DecodeStage() override;

    // False when no thread could be made.
    bool Start() { return TryStart(); }
    // Closes the queue and waits for the thread: the source is free again afterwards.
    void Stop();

private:
    void Run() override;
    void Decode();

    IMediaSource& source_;
    FrameQueue& queue_;
    const std::atomic<bool>& stop_;
    const int maxFailedReads_;
    SystemBased::TaskLog* const log_;
    const int threadBudget_;
};

// An owned copy of a frame the source lends: decoded frames share the decoder's buffers,
// compressed ones the packet's (or copy the bytes of a frame without a packet). Null when
// memory runs out.
IMediaFrame* OwnedCopyOf(IMediaFrame& frame);

}  // namespace MediaBased
