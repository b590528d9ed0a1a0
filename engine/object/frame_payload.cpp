#include "object/frame_payload.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace MediaBased {
namespace {

void* HeldPointer(const uint8_t* buffer, int32_t capacity, uint32_t tag) {
    if (buffer == nullptr || capacity < kHolderSize)
        return nullptr;
    uint32_t first = 0;
    uint32_t second = 0;
    std::memcpy(&first, buffer, 4);
    std::memcpy(&second, buffer + 4, 4);
    if (first != tag || second != kHolderSecondTag)
        return nullptr;
    void* pointer = nullptr;
    std::memcpy(&pointer, buffer + 8, sizeof pointer);
    return pointer;
}

}  // namespace

static_assert(sizeof(void*) <= 8, "a holder keeps its pointer in bytes 8 to 15");

AVFrame* HeldFrameIn(const uint8_t* buffer, int32_t capacity) {
    return static_cast<AVFrame*>(HeldPointer(buffer, capacity, kFrameHolderTag));
}

AVPacket* HeldPacketIn(const uint8_t* buffer, int32_t capacity) {
    return static_cast<AVPacket*>(HeldPointer(buffer, capacity, kPacketHolderTag));
}

FramePayload::~FramePayload() {
    FreeHeld();
    std::free(buffer_);
}

void FramePayload::FreeHeld() {
    if (AVFrame* frame = heldFrame()) {
        av_frame_free(&frame);
        std::memset(buffer_ + 8, 0, 8);
    } else if (AVPacket* packet = heldPacket()) {
        av_packet_free(&packet);
        std::memset(buffer_ + 8, 0, 8);
    }
}

void FramePayload::Reallocate(int32_t capacity) {
    auto* fresh = static_cast<uint8_t*>(std::calloc(capacity > 0 ? capacity : 1, 1));
    if (fresh == nullptr)
        throw std::bad_alloc();
    FreeHeld();
    std::free(buffer_);
    buffer_ = fresh;
    capacity_ = capacity;
}

void FramePayload::WriteHolder(uint32_t tag, const void* pointer) {
    std::memcpy(buffer_, &tag, 4);
    std::memcpy(buffer_ + 4, &kHolderSecondTag, 4);
    std::memset(buffer_ + 8, 0, 8);
    std::memcpy(buffer_ + 8, &pointer, sizeof pointer);
}

void FramePayload::AttachFrame(const AVFrame* decoded) {
    AVFrame* reference = av_frame_clone(decoded);
    if (reference == nullptr)
        throw std::bad_alloc();
    if (capacity_ < kHolderSize) {
        try {
            Reallocate(kHolderSize);
        } catch (...) {
            av_frame_free(&reference);
            throw;
        }
    }
    FreeHeld();
    WriteHolder(kFrameHolderTag, reference);
}

void FramePayload::CopyFrom(const FramePayload& source) {
    if (source.buffer_ == nullptr) {
        FreeHeld();
        std::free(buffer_);
        buffer_ = nullptr;
        capacity_ = 0;
        return;
    }
    Reallocate(source.capacity_);
    std::memcpy(buffer_, source.buffer_, source.capacity_);
    if (const AVFrame* frame = source.heldFrame()) {
        std::memset(buffer_ + 8, 0, 8);  // never free the source's reference through the copy
        AVFrame* reference = av_frame_clone(frame);
        if (reference == nullptr)
            throw std::bad_alloc();
        WriteHolder(kFrameHolderTag, reference);
    } else if (const AVPacket* packet = source.heldPacket()) {
        std::memset(buffer_ + 8, 0, 8);
        AVPacket* reference = av_packet_clone(packet);
        if (reference == nullptr)
            throw std::bad_alloc();
        WriteHolder(kPacketHolderTag, reference);
    }
}

}  // namespace MediaBased
