#include "convert/frame_queue.h"

#include "object/media_frame.h"

namespace MediaBased {

size_t BufferBytesOf(const AVFrame& frame) {
    size_t bytes = 0;
    for (const AVBufferRef* buffer : frame.buf)
        bytes += buffer ? buffer->size : 0;
    for (int i = 0; i < frame.nb_extended_buf; ++i)
        bytes += frame.extended_buf[i] ? frame.extended_buf[i]->size : 0;
    return bytes;
}

size_t FrameBytes(IMediaFrame& frame) {
    if (const AVFrame* held = HeldFrameOf(&frame))
        return BufferBytesOf(*held);
    const int32_t size = frame.GetBufferSize();
    return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace MediaBased
