// What a task's decoding stage hands its encoding stage: owned frames with their slots.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

#include "convert/bounded_queue.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

namespace MediaBased {

struct QueuedFrame {
    Owned<IMediaFrame> frame;
    int32_t slot = -1;
    size_t bytes = 0;
};

using FrameQueue = BoundedQueue<QueuedFrame>;

// The bytes of the buffers frame references.
size_t BufferBytesOf(const AVFrame& frame);
// The bytes a frame keeps alive: the decoder's buffers it references, or its own payload.
size_t FrameBytes(IMediaFrame& frame);

}  // namespace MediaBased
