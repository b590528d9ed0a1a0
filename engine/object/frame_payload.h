// A frame's payload buffer. Decoded frames keep a reference to their FFmpeg frame in the first
// 16 bytes of it: two tag words, then the pointer. Only a buffer of at least 16 bytes whose two
// tags match counts as such a holder, so compressed bytes are never mistaken for one.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

namespace MediaBased {

constexpr uint32_t kFrameHolderTag = 0x01234AA0;
constexpr uint32_t kPacketHolderTag = 0x01234AA1;
constexpr uint32_t kHolderSecondTag = 0x00000FD5;
constexpr int32_t kHolderSize = 16;

// The FFmpeg frame or packet a payload holds, or null.
AVFrame* HeldFrameIn(const uint8_t* buffer, int32_t capacity);
AVPacket* HeldPacketIn(const uint8_t* buffer, int32_t capacity);

class FramePayload {
public:
    // A payload that never holds references (a compressed frame's raw packet bytes) ignores
    // holder tags, which packet data may begin with by chance.
    explicit FramePayload(bool holdsReferences = true) : holdsReferences_(holdsReferences) {}
    FramePayload(const FramePayload&) = delete;
    FramePayload& operator=(const FramePayload&) = delete;
    ~FramePayload();

    uint8_t* data() const { return buffer_; }
    int32_t capacity() const { return capacity_; }

    AVFrame* heldFrame() const { return holdsReferences_ ? HeldFrameIn(buffer_, capacity_) : nullptr; }
    AVPacket* heldPacket() const { return holdsReferences_ ? HeldPacketIn(buffer_, capacity_) : nullptr; }

    // Drops whatever is held and gives the payload a new zeroed buffer. Throws bad_alloc.
    void Reallocate(int32_t capacity);

    // Holds a new reference to decoded; the previous one is freed. Throws bad_alloc.
    void AttachFrame(const AVFrame* decoded);

    // Same bytes as source, with holders pointing at new references of their own.
    void CopyFrom(const FramePayload& source);

private:
    void FreeHeld();
    void WriteHolder(uint32_t tag, const void* pointer);

    bool holdsReferences_;
    uint8_t* buffer_ = nullptr;
    int32_t capacity_ = 0;
};

}  // namespace MediaBased
