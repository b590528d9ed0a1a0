#include "object/media_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "system/ffmpeg_handles.h"
#include "vantrel/owned.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

using namespace MediaBased;
using SystemBased::FramePtr;

namespace {

// A real decoded-style picture with every byte of plane p set to fill + p.
FramePtr MakePicture(AVPixelFormat format, int width, int height, uint8_t fill) {
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    for (int p = 0; p < av_pix_fmt_count_planes(format); ++p) {
        const int rows = p == 0 ? height : AV_CEIL_RSHIFT(height, desc->log2_chroma_h);
        std::memset(frame->data[p], fill + p, static_cast<size_t>(frame->linesize[p]) * rows);
    }
    return frame;
}

FramePtr MakeSound(AVSampleFormat format, int channels, int samples) {
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->nb_samples = samples;
    frame->sample_rate = 48000;
    av_channel_layout_default(&frame->ch_layout, channels);
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    return frame;
}

struct PlaneGeometry {
    int32_t rowBytes = -1, lineSize = -1, rows = -1;
    uint8_t* data = nullptr;
};

PlaneGeometry PlaneOf(IVideoFrame* frame, int plane) {
    PlaneGeometry g;
    g.data = frame->GetPlane(plane, &g.rowBytes, &g.lineSize, &g.rows);
    return g;
}


}  // namespace

TEST(VideoFrame, PlaneGeometryFollowsThePixelFormat) {
    struct Case {
        int32_t engineFormat;
        AVPixelFormat ffmpegFormat;
        int width, height, planes;
        int rowBytes[3], rows[3];
    } cases[] = {
        {PixelYUV420P, AV_PIX_FMT_YUV420P, 640, 360, 3, {640, 320, 320}, {360, 180, 180}},
        {PixelNV12, AV_PIX_FMT_NV12, 640, 360, 2, {640, 640, 0}, {360, 180, 0}},
        {PixelRGB24, AV_PIX_FMT_RGB24, 640, 360, 1, {1920, 0, 0}, {360, 0, 0}},
        {PixelYUV411P, AV_PIX_FMT_YUV411P, 720, 480, 3, {720, 180, 180}, {480, 480, 480}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.engineFormat);
        FramePtr picture = MakePicture(c.ffmpegFormat, c.width, c.height, 10);
        Owned<CVideoFrame> frame(new CVideoFrame(c.engineFormat, c.width, c.height, true));
        EXPECT_EQ(PlaneOf(frame.get(), 0).data, nullptr) << "an empty frame has no planes";
        frame->Attach(picture.get());
        EXPECT_EQ(frame->GetPlaneCount(), c.planes);
        for (int p = 0; p < c.planes; ++p) {
            const PlaneGeometry g = PlaneOf(frame.get(), p);
            EXPECT_EQ(g.data, picture->data[p]) << "plane " << p;
            EXPECT_EQ(g.rowBytes, c.rowBytes[p]) << "plane " << p;
            EXPECT_EQ(g.rows, c.rows[p]) << "plane " << p;
            EXPECT_EQ(g.lineSize, picture->linesize[p]) << "plane " << p;
            EXPECT_GE(g.lineSize, g.rowBytes);
        }
        EXPECT_EQ(PlaneOf(frame.get(), c.planes).data, nullptr);
        EXPECT_EQ(PlaneOf(frame.get(), -1).data, nullptr);
    }
}

// A decoder's frame object is made for its first picture and then holds whatever the decoder
// produces. Every byte GetPlane promises is read, so under AddressSanitizer a geometry taken
// from an earlier, larger picture is a heap-buffer-overflow rather than a silent misread.
TEST(VideoFrame, PlanesDescribeThePictureHeldNowNotTheFirstOne) {
    struct Picture {
        AVPixelFormat format;
        int32_t engineFormat;
        int width, height;
    };
    const Picture small{AV_PIX_FMT_YUV420P, PixelYUV420P, 160, 90};
    const Picture large{AV_PIX_FMT_YUV420P, PixelYUV420P, 1280, 720};
    const Picture odd{AV_PIX_FMT_YUV420P, PixelYUV420P, 641, 359};
    const Picture wider{AV_PIX_FMT_YUV422P, PixelYUV422P, 320, 180};
    const std::vector<std::vector<Picture>> sequences = {
        {small, large}, {large, small}, {large, odd, small}, {small, wider, large}};
    for (const auto& sequence : sequences) {
        const Picture& first = sequence.front();
        Owned<CVideoFrame> frame(
            new CVideoFrame(first.engineFormat, first.width, first.height, true));
        uint8_t fill = 20;
        for (const Picture& held : sequence) {
            SCOPED_TRACE(testing::Message() << "held " << held.width << "x" << held.height);
            FramePtr picture = MakePicture(held.format, held.width, held.height, fill);
            frame->Attach(picture.get());
            picture.reset();  // only the frame's reference is left: its exact allocation

            int32_t width = 0, height = 0;
            frame->GetSize(&width, &height);
            EXPECT_EQ(width, held.width);
            EXPECT_EQ(height, held.height);
            EXPECT_EQ(frame->GetPixelFormat(), held.engineFormat);
            const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(held.format);
            ASSERT_EQ(frame->GetPlaneCount(), 3);
            for (int p = 0; p < 3; ++p) {
                const PlaneGeometry g = PlaneOf(frame.get(), p);
                ASSERT_NE(g.data, nullptr);
                const int shiftW = p ? desc->log2_chroma_w : 0;
                const int shiftH = p ? desc->log2_chroma_h : 0;
                EXPECT_EQ(g.rowBytes, AV_CEIL_RSHIFT(held.width, shiftW)) << "plane " << p;
                EXPECT_EQ(g.rows, AV_CEIL_RSHIFT(held.height, shiftH)) << "plane " << p;
                EXPECT_GE(g.lineSize, g.rowBytes);
                size_t wrong = 0;
                for (int y = 0; y < g.rows; ++y)
                    for (int x = 0; x < g.rowBytes; ++x)
                        wrong += g.data[static_cast<ptrdiff_t>(y) * g.lineSize + x] != fill + p;
                EXPECT_EQ(wrong, 0u) << "plane " << p;
            }
            fill += 40;
        }
        // Without a picture the frame falls back on what it was made with.
        Owned<CVideoFrame> empty(
            new CVideoFrame(first.engineFormat, first.width, first.height, true));
        int32_t width = 0, height = 0;
        empty->GetSize(&width, &height);
        EXPECT_EQ(width, first.width);
        EXPECT_EQ(height, first.height);
    }
}

// BGR32 and ABGR are one FFmpeg format: a picture of that format keeps the id the frame was
// made with.
TEST(VideoFrame, KeepsItsOwnIdForAPictureOfTheSameFfmpegFormat) {
    FramePtr picture = MakePicture(AV_PIX_FMT_ABGR, 64, 36, 5);
    Owned<CVideoFrame> frame(new CVideoFrame(PixelBGR32, 64, 36, true));
    frame->Attach(picture.get());
    EXPECT_EQ(frame->GetPixelFormat(), PixelBGR32);
    const PlaneGeometry g = PlaneOf(frame.get(), 0);
    EXPECT_EQ(g.rowBytes, 64 * 4);
    EXPECT_EQ(g.rows, 36);
    EXPECT_TRUE(frame->IsTopDown());
}

TEST(VideoFrame, CloneKeepsItsPictureWhenTheOriginalMovesOn) {
    FramePtr first = MakePicture(AV_PIX_FMT_YUV420P, 64, 36, 40);
    FramePtr second = MakePicture(AV_PIX_FMT_YUV420P, 64, 36, 90);
    Owned<CVideoFrame> frame(new CVideoFrame(PixelYUV420P, 64, 36, true));
    frame->Attach(first.get());
    frame->SetTimes(400000, 800000)->SetKeyFrame(true);
    frame->SetInterlaced(true);
    first.reset();  // the frame's own reference keeps the picture alive

    Owned<IMediaFrame> clone(frame->Clone());
    ASSERT_NE(clone, nullptr);
    frame->Attach(second.get());

    auto* video = static_cast<IVideoFrame*>(clone.get());
    for (int p = 0; p < 3; ++p) {
        const PlaneGeometry g = PlaneOf(video, p);
        ASSERT_NE(g.data, nullptr);
        EXPECT_EQ(g.data[0], 40 + p);
        EXPECT_EQ(g.data[g.rowBytes - 1], 40 + p);
    }
    EXPECT_EQ(PlaneOf(frame.get(), 0).data[0], 90);
    int64_t start = 0, end = 0;
    clone->GetTimes(&start, &end);
    EXPECT_EQ(start, 400000);
    EXPECT_EQ(end, 800000);
    EXPECT_TRUE(clone->IsKeyFrame());
    EXPECT_TRUE(video->IsInterlaced());
    EXPECT_EQ(clone->GetKind(), FrameKindVideo);
    EXPECT_NE(clone->GetBuffer(), frame->GetBuffer());
}

TEST(AudioFrame, InterleavingAndPlanesFollowTheSampleFormat) {
    Owned<CAudioFrame> planar(new CAudioFrame(FLTP, true, 48000, 2, AV_CH_LAYOUT_STEREO));
    Owned<CAudioFrame> packed(new CAudioFrame(S16, true, 48000, 2, AV_CH_LAYOUT_STEREO));
    EXPECT_FALSE(planar->IsInterleaved());
    EXPECT_TRUE(packed->IsInterleaved());
    EXPECT_EQ(planar->GetKind(), FrameKindAudio);
    EXPECT_EQ(planar->GetSampleCount(), 0);

    FramePtr fltp = MakeSound(AV_SAMPLE_FMT_FLTP, 2, 1024);
    FramePtr s16 = MakeSound(AV_SAMPLE_FMT_S16, 2, 1024);
    planar->Attach(fltp.get());
    packed->Attach(s16.get());
    EXPECT_EQ(planar->GetSampleCount(), 1024);

    int32_t bytes = 0;
    EXPECT_EQ(planar->GetPlane(1, &bytes), fltp->extended_data[1]);
    EXPECT_EQ(bytes, 1024 * 4) << "one planar channel holds its own samples only";
    EXPECT_EQ(planar->GetPlane(2, &bytes), nullptr);
    EXPECT_EQ(packed->GetPlane(0, &bytes), s16->extended_data[0]);
    EXPECT_EQ(bytes, 1024 * 2 * 2);
    EXPECT_EQ(packed->GetPlane(1, &bytes), nullptr);

    Owned<IMediaFrame> clone(planar->Clone());
    ASSERT_NE(clone, nullptr);
    auto* audio = static_cast<IAudioFrame*>(clone.get());
    EXPECT_EQ(audio->GetSampleCount(), 1024);
    EXPECT_EQ(audio->GetChannelLayout(), static_cast<int64_t>(AV_CH_LAYOUT_STEREO));
    EXPECT_TRUE(audio->GetCreationFlag());
}

TEST(CompressedFrame, IsNeverTakenForADecodedFrame) {
    Owned<CCompressedFrame> frame(new CCompressedFrame());
    EXPECT_EQ(frame->GetKind(), FrameKindCompressed);
    EXPECT_EQ(frame->Clone(), nullptr);

    // Holder tags in a 15-byte payload are just bytes.
    frame->payload().Reallocate(15);
    std::memcpy(frame->GetBuffer(), &kFrameHolderTag, 4);
    std::memcpy(frame->GetBuffer() + 4, &kHolderSecondTag, 4);
    EXPECT_EQ(HeldFrameOf(frame.get()), nullptr);
    EXPECT_EQ(frame->GetBufferSize(), 15);

    // Nor in a large one: packet bytes may begin with the tags by chance, and releasing the
    // frame must not take them for a reference.
    frame->payload().Reallocate(64);
    AVFrame* bogus = reinterpret_cast<AVFrame*>(0x1234);
    std::memcpy(frame->GetBuffer(), &kFrameHolderTag, 4);
    std::memcpy(frame->GetBuffer() + 4, &kHolderSecondTag, 4);
    std::memcpy(frame->GetBuffer() + 8, &bogus, sizeof bogus);
    EXPECT_EQ(HeldFrameOf(frame.get()), nullptr);
    EXPECT_EQ(frame->payload().heldFrame(), nullptr);

    frame->SetDataSize(12);
    EXPECT_EQ(frame->GetDataSize(), 12);
}

TEST(FramePayload, CopiesPacketHoldersAsNewReferences) {
    FramePayload original;
    SystemBased::PacketPtr packet(av_packet_alloc());
    ASSERT_EQ(av_new_packet(packet.get(), 100), 0);
    std::memset(packet->data, 7, 100);
    original.Reallocate(kHolderSize);
    AVPacket* raw = av_packet_clone(packet.get());
    std::memcpy(original.data(), &kPacketHolderTag, 4);
    std::memcpy(original.data() + 4, &kHolderSecondTag, 4);
    std::memcpy(original.data() + 8, &raw, sizeof raw);

    FramePayload copy;
    copy.CopyFrom(original);
    ASSERT_NE(copy.heldPacket(), nullptr);
    EXPECT_NE(copy.heldPacket(), original.heldPacket());
    EXPECT_EQ(copy.heldPacket()->size, 100);
    EXPECT_EQ(copy.heldPacket()->data[99], 7);
    EXPECT_EQ(copy.heldFrame(), nullptr);
}

TEST(CompressedFrame, HoldsAPacketReferenceAndCopiesShareIt) {
    SystemBased::PacketPtr packet(av_packet_alloc());
    ASSERT_EQ(av_new_packet(packet.get(), 100), 0);
    std::memset(packet->data, 5, 100);
    packet->pts = 3000;
    packet->dts = 1000;
    packet->duration = 40;
    packet->flags = AV_PKT_FLAG_KEY;
    packet->time_base = AVRational{1, 1000};
    ASSERT_NE(av_packet_new_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, 10), nullptr);

    Owned<CCompressedFrame> frame(new CCompressedFrame());
    EXPECT_EQ(HeldPacketOf(frame.get()), nullptr);
    frame->AttachPacket(*packet);
    frame->SetTimes(30000000, 30400000);
    frame->SetKeyFrame(true);
    ASSERT_NE(HeldPacketOf(frame.get()), nullptr);
    EXPECT_EQ(frame->GetBuffer(), packet->data) << "the bytes are the packet's, not a copy";
    EXPECT_EQ(frame->GetBufferSize(), 100);
    EXPECT_EQ(frame->GetDataSize(), 100);
    EXPECT_EQ(HeldFrameOf(frame.get()), nullptr);

    Owned<CCompressedFrame> copy(frame->Copy());
    ASSERT_NE(copy, nullptr);
    const AVPacket* held = HeldPacketOf(copy.get());
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, HeldPacketOf(frame.get()));
    EXPECT_EQ(held->data, packet->data);
    EXPECT_EQ(held->pts, 3000);
    EXPECT_EQ(held->dts, 1000);
    EXPECT_EQ(held->duration, 40);
    EXPECT_EQ(held->flags, AV_PKT_FLAG_KEY);
    EXPECT_EQ(held->time_base.den, 1000);
    EXPECT_EQ(held->side_data_elems, 1);
    int64_t start = 0, end = 0;
    copy->GetTimes(&start, &end);
    EXPECT_EQ(start, 30000000);
    EXPECT_EQ(end, 30400000);
    EXPECT_TRUE(copy->IsKeyFrame());

    // The frame takes the next packet; the copy keeps its own.
    SystemBased::PacketPtr next(av_packet_alloc());
    ASSERT_EQ(av_new_packet(next.get(), 8), 0);
    frame->AttachPacket(*next);
    packet.reset();
    EXPECT_EQ(frame->GetBufferSize(), 8);
    EXPECT_EQ(copy->GetBufferSize(), 100);
    EXPECT_EQ(copy->GetBuffer()[99], 5);

    // A frame made from plain bytes copies them.
    Owned<CCompressedFrame> bytes(new CCompressedFrame());
    bytes->payload().Reallocate(4);
    std::memcpy(bytes->GetBuffer(), "abcd", 4);
    bytes->SetDataSize(4);
    Owned<CCompressedFrame> bytesCopy(bytes->Copy());
    EXPECT_NE(bytesCopy->GetBuffer(), bytes->GetBuffer());
    EXPECT_EQ(std::memcmp(bytesCopy->GetBuffer(), "abcd", 4), 0);
    EXPECT_EQ(bytesCopy->GetDataSize(), 4);
    EXPECT_EQ(HeldPacketOf(bytesCopy.get()), nullptr);
}
