#include "filters/image_converter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "filter_test_frames.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
using namespace filter_test;

namespace {

// Red on the left half, blue on the right: studio-range BT.601 at 10 bits.
FramePtr RedBlueHalves(AVPixelFormat format, int width, int height) {
    static constexpr int red[3] = {326, 360, 960}, blue[3] = {164, 960, 440};
    return MakePicture(format, width, height,
                       [width](int p, int x, int) { return x < width / 2 ? red[p] : blue[p]; });
}

// Luma falling from top to bottom, so that no row equals its mirror row.
FramePtr VerticalRamp(int width, int height) {
    return MakePicture(AV_PIX_FMT_YUV420P, width, height,
                       [height](int p, int, int y) { return p ? 128 : 235 - y * 200 / height; });
}

void ExpectRedLeftBlueRight(IVideoFrame* frame) {
    for (int y : {0, 45, 89}) {
        for (int x : {10, 70}) {
            const Bgra pixel = PixelAt(frame, x, y);
            EXPECT_TRUE(pixel.r > 200 && pixel.g < 40 && pixel.b < 40 && pixel.a == 255)
                << "not red at " << x << "," << y;
        }
        for (int x : {90, 159}) {
            const Bgra pixel = PixelAt(frame, x, y);
            EXPECT_TRUE(pixel.b > 200 && pixel.g < 40 && pixel.r < 40 && pixel.a == 255)
                << "not blue at " << x << "," << y;
        }
    }
}

}  // namespace

TEST(ImageConverter, TurnsTenBitYuv422IntoABgraThumbnailAndPassesMatchingPicturesOn) {
    Owned<IMediaManager> manager(CreateMediaManager());
    Owned<IImageConverter> converter(manager->CreateImageConverter(PixelBGRA, 160, 90, 0));
    ASSERT_NE(converter, nullptr);
    FramePtr picture = RedBlueHalves(AV_PIX_FMT_YUV422P10LE, 640, 360);
    Owned<CVideoFrame> in = WrapPicture(picture.get());
    in->SetTimes(4000000, 4400000);
    in->SetKeyFrame(true)->SetDiscontinuity(true)->SetExtraFlag(true);

    IVideoFrame* out = converter->Convert(in.get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetPixelFormat(), PixelBGRA);
    int32_t rowBytes = 0, lineSize = 0, rows = 0;
    ASSERT_NE(out->GetPlane(0, &rowBytes, &lineSize, &rows), nullptr);
    EXPECT_EQ(rowBytes, 160 * 4);
    EXPECT_EQ(rows, 90);
    const AVFrame* held = HeldFrameOf(out);
    EXPECT_EQ(held->format, AV_PIX_FMT_BGRA);
    EXPECT_EQ(held->width, 160);
    EXPECT_EQ(held->height, 90);
    ExpectRedLeftBlueRight(out);
    int64_t start = 0, end = 0;
    out->GetTimes(&start, &end);
    EXPECT_EQ(start, 4000000);
    EXPECT_EQ(end, 4400000);
    EXPECT_TRUE(out->IsKeyFrame() && out->IsDiscontinuity() && out->GetExtraFlag());
    EXPECT_EQ(converter->Convert(nullptr), nullptr) << "one picture in, one out";

    // A picture already of the target format and size comes back itself, and the converter's
    // own frame keeps what it held.
    Owned<IMediaFrame> copy(out->Clone());
    auto* matching = static_cast<IVideoFrame*>(copy.get());
    matching->SetTimes(1, 2);
    EXPECT_EQ(converter->Convert(matching), matching);
    EXPECT_EQ(HeldFrameOf(out), held);
    out->GetTimes(&start, nullptr);
    EXPECT_EQ(start, 4000000);
}

TEST(ImageConverter, FlippedPictureIsTheUprightOneUpsideDown) {
    CImageConverter upright(PixelBGRA, 160, 90, 0);
    CImageConverter flipped(PixelBGRA, 160, 90, CImageConverter::kFlipVertically);
    FramePtr picture = VerticalRamp(320, 180);
    Owned<CVideoFrame> in = WrapPicture(picture.get());
    IVideoFrame* a = upright.Convert(in.get());
    ASSERT_NE(a, nullptr);
    int32_t rowBytes = 0, lineA = 0, rows = 0;
    const uint8_t* pixelsA = a->GetPlane(0, &rowBytes, &lineA, &rows);
    ASSERT_NE(std::memcmp(pixelsA, pixelsA + (rows - 1) * lineA, rowBytes), 0);

    // The second picture already has the target format and size and still has to be turned.
    Owned<IMediaFrame> uprightCopy(a->Clone());
    for (IVideoFrame* source :
         {static_cast<IVideoFrame*>(in.get()), static_cast<IVideoFrame*>(uprightCopy.get())}) {
        IVideoFrame* b = flipped.Convert(source);
        ASSERT_NE(b, nullptr);
        ASSERT_NE(b, source);
        int32_t lineB = 0;
        const uint8_t* pixelsB = b->GetPlane(0, nullptr, &lineB, nullptr);
        EXPECT_GT(lineB, 0) << "consumers copy rows forwards from the plane start";
        for (int y = 0; y < rows; ++y)
            ASSERT_EQ(memcmp(pixelsB + y * lineB, pixelsA + (rows - 1 - y) * lineA, rowBytes), 0)
                << "row " << y;
    }
}

TEST(ImageConverter, FollowsTheHeldPictureWhenItsSizeChanges) {
    CImageConverter converter(PixelBGRA, 160, 90, 0);
    FramePtr small = RedBlueHalves(AV_PIX_FMT_YUV420P10LE, 320, 180);
    FramePtr large = RedBlueHalves(AV_PIX_FMT_YUV420P10LE, 1280, 720);
    Owned<CVideoFrame> smallFrame = WrapPicture(small.get());
    Owned<CVideoFrame> largeFrame = WrapPicture(large.get());
    ASSERT_NE(converter.Convert(smallFrame.get()), nullptr);
    ASSERT_NE(converter.Convert(smallFrame.get()), nullptr);
    EXPECT_EQ(converter.graphBuildCount(), 1) << "the same input keeps its graph";
    IVideoFrame* out = converter.Convert(largeFrame.get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(converter.graphBuildCount(), 2);
    EXPECT_EQ(HeldFrameOf(out)->width, 160);
    ExpectRedLeftBlueRight(out);

    // A decoding source keeps its first picture's size on the frame object while the stream
    // changes underneath; the picture actually held decides, also whether it already matches.
    Owned<CVideoFrame> staleSize = WrapPicture(large.get(), 320, 180);
    Owned<CVideoFrame> looksDone(new CVideoFrame(PixelBGRA, 160, 90, true));
    looksDone->Attach(large.get());
    for (CVideoFrame* stale : {staleSize.get(), looksDone.get()}) {
        out = converter.Convert(stale);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(out, stale);
        EXPECT_EQ(HeldFrameOf(out)->width, 160);
        ExpectRedLeftBlueRight(out);
    }
    EXPECT_EQ(converter.graphBuildCount(), 2);
}

TEST(ImageConverter, YieldsNothingWithoutAUsablePictureOrTarget) {
    CImageConverter converter(PixelYUV420P, 64, 36, 0);
    EXPECT_EQ(converter.Convert(nullptr), nullptr) << "no graph yet";
    Owned<CVideoFrame> empty(new CVideoFrame(PixelBGRA, 64, 36, true));
    EXPECT_EQ(converter.Convert(empty.get()), nullptr);
    // A payload with a packet holder's tag is not a picture.
    empty->payload().Reallocate(kHolderSize);
    std::memcpy(empty->GetBuffer(), &kPacketHolderTag, 4);
    std::memcpy(empty->GetBuffer() + 4, &kHolderSecondTag, 4);
    EXPECT_EQ(converter.Convert(empty.get()), nullptr);
    FramePtr picture = VerticalRamp(128, 72);
    Owned<CVideoFrame> in = WrapPicture(picture.get());
    EXPECT_NE(converter.Convert(in.get()), nullptr) << "still usable";

    Owned<IMediaManager> manager(CreateMediaManager());
    EXPECT_EQ(manager->CreateImageConverter(9, 160, 90, 0), nullptr) << "id outside the table";
    EXPECT_EQ(manager->CreateImageConverter(PixelBGRA, 0, 90, 0), nullptr);
    EXPECT_EQ(manager->CreateImageConverter(PixelBGRA, 160, -90, 0), nullptr);
}
