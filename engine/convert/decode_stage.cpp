#include "convert/decode_stage.h"

#include <memory>

#include "object/media_frame.h"
#include "system/thread_budget.h"

namespace MediaBased {

IMediaFrame* OwnedCopyOf(IMediaFrame& frame) {
    if (frame.GetKind() != FrameKindCompressed) {
        IMediaFrame* copy = frame.Clone();
#if defined(__SANITIZE_THREAD__)
        // Shared buffers are released through FFmpeg's reference counts, atomics in
        // uninstrumented libavutil that ThreadSanitizer cannot see. Its builds give the copy
        // buffers of its own, so what it checks is the hand-over through the queue.
        if (AVFrame* held = copy ? HeldFrameOf(copy) : nullptr; held && av_frame_make_writable(held) < 0) {
            copy->Release();
            return nullptr;
        }
#endif
        return copy;
    }
    // The copy holds its own reference to the packet: the source's frame takes the next one.
    auto* packet = dynamic_cast<CCompressedFrame*>(&frame);
    if (packet == nullptr)
        return nullptr;
    try {
        std::unique_ptr<CCompressedFrame, ReleaseDeleter> copy(packet->Copy());
#if defined(__SANITIZE_THREAD__)
        // As for pictures above: a buffer of its own keeps FFmpeg's hidden atomics out of it.
        if (AVPacket* held = copy->heldPacket(); held && av_packet_make_writable(held) < 0)
            return nullptr;
#endif
        return copy.release();
    } catch (...) {
        return nullptr;
    }
}

DecodeStage::DecodeStage(IMediaSource& source, FrameQueue& queue, const std::atomic<bool>& stop,
                         int maxFailedReads, SystemBased::TaskLog* log, int threadBudget)
    : CBaseThread("vt-decode"),
      source_(source),
      queue_(queue),
      stop_(stop),
      maxFailedReads_(maxFailedReads),
      log_(log),
      threadBudget_(threadBudget) {}

DecodeStage::~DecodeStage() {
    Stop();
}

void DecodeStage::Stop() {
    queue_.Close();
    Join();
}

void DecodeStage::Run() {
    // What the source reports while decoding belongs to this task, as on the task's thread.
    const SystemBased::TaskLogScope intoTaskLog(log_);
    const SystemBased::ThreadBudgetScope threads(threadBudget_);
    try {
        Decode();
    } catch (...) {
        queue_.End(FrameQueue::EndReason::ReadFailed);
    }
}

void DecodeStage::Decode() {
    int failedReads = 0;
    while (!source_.IsEndOfStream()) {
        if (stop_.load(std::memory_order_relaxed)) {
            queue_.End(FrameQueue::EndReason::Stopped);
            return;
        }
        IMediaFrame* frame = nullptr;
        int32_t slot = -1;
        if (!source_.ReadFrame(&frame, &slot, nullptr) || frame == nullptr) {
            if (++failedReads >= maxFailedReads_) {
                queue_.End(FrameQueue::EndReason::ReadFailed);
                return;
            }
            continue;
        }
        failedReads = 0;
        FrameQueue::Item item;
        item.frame.reset(OwnedCopyOf(*frame));
        if (!item.frame) {
            queue_.End(FrameQueue::EndReason::ReadFailed);
            return;
        }
        item.slot = slot;
        item.bytes = FrameBytes(*item.frame);
        if (!queue_.Push(std::move(item)))
            return;  // closed: the task is ending
    }
    queue_.End(FrameQueue::EndReason::EndOfStream);
}

}  // namespace MediaBased
