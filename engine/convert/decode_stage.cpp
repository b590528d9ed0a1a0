#include "convert/decode_stage.h"

#include <cstring>
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
    // Only this engine's sources lend frames to its tasks, so a compressed one is ours.
    auto& packet = static_cast<CCompressedFrame&>(frame);
    try {
        auto copy = std::unique_ptr<CCompressedFrame, ReleaseDeleter>(new CCompressedFrame());
        const int32_t size = packet.GetDataSize();
        if (size > 0) {
            copy->payload().Reallocate(size);
            std::memcpy(copy->GetBuffer(), packet.GetBuffer(), static_cast<size_t>(size));
        }
        copy->SetDataSize(size);
        int64_t start = 0, end = 0;
        packet.GetTimes(&start, &end);
        copy->SetTimes(start, end);
        copy->SetKeyFrame(packet.IsKeyFrame());
        copy->SetDiscontinuity(packet.IsDiscontinuity());
        copy->SetExtraFlag(packet.GetExtraFlag());
        return copy.release();
    } catch (...) {
        return nullptr;
    }
}

DecodeStage::DecodeStage(IMediaSource& source, FrameQueue& queue, const std::atomic<bool>& stop,
                         int maxFailedReads, SystemBased::TaskLog* log, int threadBudget)
    : source_(source),
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
