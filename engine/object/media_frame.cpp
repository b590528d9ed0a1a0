#include "object/media_frame.h"

#include <memory>
#include <new>

#include "object/media_formats.h"
#include "vantrel/owned.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace MediaBased {

CVideoFrame::CVideoFrame(int32_t pixelFormat, int32_t width, int32_t height, bool topDown)
    : CMediaFrameBase(FrameKindVideo),
      pixelFormat_(pixelFormat),
      width_(width),
      height_(height),
      topDown_(topDown) {}

void CVideoFrame::Release() {
    delete this;
}

IMediaFrame* CVideoFrame::Clone() {
    try {
        std::unique_ptr<CVideoFrame> copy(new CVideoFrame(pixelFormat_, width_, height_, topDown_));
        copy->CopyCommonFrom(*this);
        copy->interlaced_ = interlaced_;
        copy->userFlag_ = userFlag_;
        return copy.release();
    } catch (...) {
        return nullptr;
    }
}

// Two engine formats may share one FFmpeg format, so the frame keeps the id it was made with
// as long as the held picture still has that format.
int32_t CVideoFrame::GetPixelFormat() {
    const AVFrame* frame = heldFrame();
    if (frame == nullptr || frame->format == FindPixelFormatById(pixelFormat_).ffmpegFormat)
        return pixelFormat_;
    return FindPixelFormatByFfmpeg(frame->format).id;
}

int32_t CVideoFrame::GetPlaneCount() {
    return FindPixelFormatById(GetPixelFormat()).planeCount;
}

// The geometry is FFmpeg's for the held picture: a decoder may change the size or format
// mid-stream, and any other size would send readers past the end of the planes.
uint8_t* CVideoFrame::GetPlane(int32_t plane, int32_t* rowBytes, int32_t* lineSize,
                               int32_t* rows) {
    const AVFrame* frame = heldFrame();
    if (frame == nullptr || plane < 0 || plane >= GetPlaneCount() || plane >= AV_NUM_DATA_POINTERS)
        return nullptr;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int bytes = av_image_get_linesize(format, frame->width, plane);
    if (descriptor == nullptr || bytes < 0 || frame->data[plane] == nullptr)
        return nullptr;
    const bool chroma = plane == 1 || plane == 2;
    if (rowBytes)
        *rowBytes = bytes;
    if (lineSize)
        *lineSize = frame->linesize[plane];
    if (rows)
        *rows = chroma ? AV_CEIL_RSHIFT(frame->height, descriptor->log2_chroma_h) : frame->height;
    return frame->data[plane];
}

bool CVideoFrame::IsTopDown() {
    const AVFrame* frame = heldFrame();
    return frame ? frame->linesize[0] >= 0 : topDown_;
}

void CVideoFrame::GetSize(int32_t* width, int32_t* height) {
    const AVFrame* frame = heldFrame();
    if (width)
        *width = frame ? frame->width : width_;
    if (height)
        *height = frame ? frame->height : height_;
}

IVideoFrame* CVideoFrame::SetInterlaced(bool interlaced) {
    interlaced_ = interlaced;
    return this;
}

IVideoFrame* CVideoFrame::SetUserFlag(bool flag) {
    userFlag_ = flag;
    return this;
}

CAudioFrame::CAudioFrame(int32_t sampleFormat, bool creationFlag, int32_t sampleRate,
                         int32_t channels, int64_t channelLayout)
    : CMediaFrameBase(FrameKindAudio),
      sampleFormat_(sampleFormat),
      creationFlag_(creationFlag),
      channelLayout_(channelLayout),
      sampleRate_(sampleRate),
      channels_(channels),
      interleaved_(IsInterleavedSampleFormat(sampleFormat)) {}

void CAudioFrame::Release() {
    delete this;
}

IMediaFrame* CAudioFrame::Clone() {
    try {
        std::unique_ptr<CAudioFrame> copy(
            new CAudioFrame(sampleFormat_, creationFlag_, sampleRate_, channels_, channelLayout_));
        copy->CopyCommonFrom(*this);
        return copy.release();
    } catch (...) {
        return nullptr;
    }
}

uint8_t* CAudioFrame::GetPlane(int32_t plane, int32_t* byteCount) {
    const AVFrame* frame = heldFrame();
    if (frame == nullptr)
        return nullptr;
    const int frameChannels = frame->ch_layout.nb_channels;
    const int planes = interleaved_ ? 1 : channels_;
    if (plane < 0 || plane >= planes)
        return nullptr;
    // The held frame decides what its planes really hold.
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int framePlanes = av_sample_fmt_is_planar(format) ? frameChannels : 1;
    if (plane >= framePlanes)
        return nullptr;
    if (byteCount) {
        const int samplesPerPlane =
            frame->nb_samples * (av_sample_fmt_is_planar(format) ? 1 : frameChannels);
        *byteCount = av_get_bytes_per_sample(format) * samplesPerPlane;
    }
    return frame->extended_data[plane];
}

int32_t CAudioFrame::GetSampleCount() {
    const AVFrame* frame = heldFrame();
    return frame ? frame->nb_samples : 0;
}

CCompressedFrame::CCompressedFrame() : CMediaFrameBase(FrameKindCompressed) {}

void CCompressedFrame::Release() {
    delete this;
}

uint8_t* CCompressedFrame::GetBuffer() {
    return packet_ ? packet_->data : CMediaFrameBase::GetBuffer();
}

int32_t CCompressedFrame::GetBufferSize() {
    return packet_ ? packet_->size : CMediaFrameBase::GetBufferSize();
}

int32_t CCompressedFrame::GetDataSize() {
    return packet_ ? packet_->size : CMediaFrameBase::GetDataSize();
}

void CCompressedFrame::AttachPacket(const AVPacket& packet) {
    if (!packet_) {
        packet_.reset(av_packet_alloc());
        if (!packet_)
            throw std::bad_alloc();
    }
    av_packet_unref(packet_.get());
    if (av_packet_ref(packet_.get(), &packet) < 0)
        throw std::bad_alloc();
}

CCompressedFrame* CCompressedFrame::Copy() {
    std::unique_ptr<CCompressedFrame, ReleaseDeleter> copy(new CCompressedFrame());
    copy->CopyCommonFrom(*this);
    if (packet_)
        copy->AttachPacket(*packet_);
    return copy.release();
}

AVPacket* HeldPacketOf(IMediaFrame* frame) {
    if (frame == nullptr || frame->GetKind() != FrameKindCompressed)
        return nullptr;
    auto* compressed = dynamic_cast<CCompressedFrame*>(frame);
    return compressed ? compressed->heldPacket() : nullptr;
}

AVFrame* HeldFrameOf(IMediaFrame* frame) {
    if (frame == nullptr || frame->GetKind() == FrameKindCompressed)
        return nullptr;
    return HeldFrameIn(frame->GetBuffer(), frame->GetBufferSize());
}

}  // namespace MediaBased
