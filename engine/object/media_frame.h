// Video, audio and compressed frames. Decoded frames reference the decoder's FFmpeg frame
// rather than copying pictures or samples.
#pragma once

#include <cstdint>

#include "object/frame_payload.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

// The fields and operations every frame shares; Interface is the frame's public interface.
template <class Interface>
class CMediaFrameBase : public Interface {
public:
    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }

    uint8_t* GetBuffer() override { return payload_.data(); }
    int32_t GetBufferSize() override { return payload_.capacity(); }
    void GetTimes(int64_t* start, int64_t* end) override {
        if (start)
            *start = start_;
        if (end)
            *end = end_;
    }
    IMediaFrame* SetTimes(int64_t start, int64_t end) override {
        start_ = start;
        end_ = end;
        return this;
    }
    bool IsKeyFrame() override { return keyFrame_; }
    IMediaFrame* SetKeyFrame(bool key) override {
        keyFrame_ = key;
        return this;
    }
    bool IsDiscontinuity() override { return discontinuity_; }
    IMediaFrame* SetDiscontinuity(bool discontinuity) override {
        discontinuity_ = discontinuity;
        return this;
    }
    bool GetExtraFlag() override { return extraFlag_; }
    IMediaFrame* SetExtraFlag(bool flag) override {
        extraFlag_ = flag;
        return this;
    }
    int32_t GetKind() override { return kind_; }
    IMediaFrame* SetKind(int32_t kind) override {
        kind_ = kind;
        return this;
    }

    virtual int32_t GetDataSize() { return dataSize_; }
    virtual CMediaFrameBase* SetDataSize(int32_t size) {
        dataSize_ = size;
        return this;
    }

    FramePayload& payload() { return payload_; }
    AVFrame* heldFrame() const { return payload_.heldFrame(); }

protected:
    explicit CMediaFrameBase(int32_t kind) : kind_(kind), payload_(kind != FrameKindCompressed) {}
    ~CMediaFrameBase() = default;

    // Copies the shared fields and the payload (with new references) from source.
    void CopyCommonFrom(CMediaFrameBase& source) {
        kind_ = source.kind_;
        dataSize_ = source.dataSize_;
        start_ = source.start_;
        end_ = source.end_;
        keyFrame_ = source.keyFrame_;
        discontinuity_ = source.discontinuity_;
        extraFlag_ = source.extraFlag_;
        payload_.CopyFrom(source.payload_);
    }

private:
    int32_t kind_;
    FramePayload payload_;
    int32_t dataSize_ = 0;
    int64_t start_ = 0;
    int64_t end_ = 0;
    bool keyFrame_ = false;
    bool discontinuity_ = false;
    bool extraFlag_ = false;
};

class CVideoFrame final : public CMediaFrameBase<IVideoFrame> {
public:
    CVideoFrame(int32_t pixelFormat, int32_t width, int32_t height, bool topDown);
    ~CVideoFrame() = default;

    void Release() override;
    IMediaFrame* Clone() override;

    // Format, size and plane geometry describe the picture held now, which for a decoder's
    // frame object may differ from the first one it was made for; without a picture, the
    // values it was made with.
    int32_t GetPixelFormat() override;
    int32_t GetPlaneCount() override;
    uint8_t* GetPlane(int32_t plane, int32_t* rowBytes, int32_t* lineSize, int32_t* rows) override;
    void GetSize(int32_t* width, int32_t* height) override;
    bool IsTopDown() override;
    bool GetUserFlag() override { return userFlag_; }
    bool IsInterlaced() override { return interlaced_; }
    IVideoFrame* SetInterlaced(bool interlaced) override;
    IVideoFrame* SetUserFlag(bool flag) override;

    void Attach(const AVFrame* decoded) { payload().AttachFrame(decoded); }

private:
    int32_t pixelFormat_;
    int32_t width_;
    int32_t height_;
    bool topDown_;
    bool interlaced_ = false;
    bool userFlag_ = false;
};

class CAudioFrame final : public CMediaFrameBase<IAudioFrame> {
public:
    CAudioFrame(int32_t sampleFormat, bool creationFlag, int32_t sampleRate, int32_t channels,
                int64_t channelLayout);
    ~CAudioFrame() = default;

    void Release() override;
    IMediaFrame* Clone() override;

    int32_t GetSampleFormat() override { return sampleFormat_; }
    int32_t GetChannels() override { return channels_; }
    uint8_t* GetPlane(int32_t plane, int32_t* byteCount) override;
    int32_t GetSampleRate() override { return sampleRate_; }
    int64_t GetChannelLayout() override { return channelLayout_; }
    bool GetCreationFlag() override { return creationFlag_; }
    int32_t GetSampleCount() override;
    bool IsInterleaved() override { return interleaved_; }

    void Attach(const AVFrame* decoded) { payload().AttachFrame(decoded); }

private:
    int32_t sampleFormat_;
    bool creationFlag_;
    int64_t channelLayout_;
    int32_t sampleRate_;
    int32_t channels_;
    bool interleaved_;
};

// The unchanged bytes of one packet. Its kind is -1 from the start, so nothing mistakes it
// for a decoded picture or sound. A source's frame holds a reference to the packet itself, with
// its times, flags and side data, for the exporter of a copied stream; a frame without one
// answers the bytes of its payload.
class CCompressedFrame final : public CMediaFrameBase<ICompressedFrame> {
public:
    CCompressedFrame();
    ~CCompressedFrame() = default;

    void Release() override;
    // Clients never copy packets; the engine does with Copy.
    IMediaFrame* Clone() override { return nullptr; }

    uint8_t* GetBuffer() override;
    int32_t GetBufferSize() override;
    int32_t GetDataSize() override;

    // Holds a new reference to packet in place of what the frame held. Throws bad_alloc.
    void AttachPacket(const AVPacket& packet);
    AVPacket* heldPacket() const { return packet_.get(); }

    // A frame of its own with the same fields, sharing the packet's buffer or, without a
    // packet, with a copy of the bytes. Throws bad_alloc.
    CCompressedFrame* Copy();

private:
    SystemBased::PacketPtr packet_;
};

// The decoded FFmpeg frame behind a decoded engine frame, read through its public payload;
// null for compressed frames, whatever their bytes.
AVFrame* HeldFrameOf(IMediaFrame* frame);

// The packet behind a compressed frame of a source, with its times in the time base of its
// source stream (AVPacket::time_base); null for every other frame.
AVPacket* HeldPacketOf(IMediaFrame* frame);

}  // namespace MediaBased
