#include "convert/encode_stage.h"

#include <utility>

#include "convert/frame_queue.h"

namespace MediaBased {

EncodeStage::EncodeStage(EncodeFunction encode, size_t maxFrames, size_t maxBytes)
    : CBaseThread("vt-encode"),
      encode_(std::move(encode)),
      queue_(maxFrames, maxBytes),
      log_(SystemBased::CurrentTaskLog()) {}

EncodeStage::~EncodeStage() {
    Stop();
}

bool EncodeStage::Push(SystemBased::FramePtr frame) {
    if (frame == nullptr || failed())
        return false;
    Input input;
    input.bytes = BufferBytesOf(*frame);
    input.frame = std::move(frame);
    return queue_.Push(std::move(input));
}

void EncodeStage::EndOfInput() {
    queue_.End(BoundedQueue<Input>::EndReason::EndOfStream);
}

bool EncodeStage::Finish() {
    EndOfInput();
    Join();
    return !failed();
}

void EncodeStage::Stop() {
    queue_.Close();
    Join();
}

void EncodeStage::Run() {
    const SystemBased::TaskLogScope intoTaskLog(log_);
    Input input;
    while (queue_.Pop(input)) {
        const bool encoded = encode_(input.frame.get());
        input = Input();
        if (!encoded) {
            // The producer learns it at its next Push, which the closed queue refuses.
            failed_.store(true, std::memory_order_release);
            queue_.Close();
            return;
        }
    }
    // A stopped stage leaves the encoder as it is; an ended one drains it.
    if (!queue_.closed() && !encode_(nullptr))
        failed_.store(true, std::memory_order_release);
}

}  // namespace MediaBased
