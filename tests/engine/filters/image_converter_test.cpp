#include "filters/image_converter.h"
#include "system/thread_budget.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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

// Vertical white bars on black that move 4 pixels per field, woven into one picture: the top
// field (even rows) shows the bars where they were first, the bottom field where they moved.
FramePtr MovingBarsWoven(int index, int width = 96, int height = 64, bool interlaced = true) {
    FramePtr picture = MakePicture(AV_PIX_FMT_YUV420P, width, height, [index](int p, int x, int y) {
        const int shift = 8 * index + 4 * (y % 2);
        return p ? 128 : ((x + 64 - shift % 64) % 16 < 8 ? 235 : 16);
    });
    picture->interlaced_frame = interlaced;
    picture->top_field_first = 1;
    return picture;
}

// How strongly neighbouring rows disagree: large for woven fields of a moving scene, small
// once the picture is one moment again.
double Combing(IVideoFrame* frame) {
    int32_t rowBytes = 0, lineSize = 0, rows = 0;
    const uint8_t* luma = frame->GetPlane(0, &rowBytes, &lineSize, &rows);
    double sum = 0;
    for (int y = 0; y + 1 < rows; ++y)
        for (int x = 0; x < rowBytes; ++x)
            sum += std::abs(luma[y * lineSize + x] - luma[(y + 1) * lineSize + x]);
    return sum / (static_cast<double>(rows - 1) * rowBytes);
}

// Every visible byte of every plane, row after row.
std::vector<uint8_t> PlaneBytes(IVideoFrame* frame) {
    std::vector<uint8_t> bytes;
    for (int p = 0; p < frame->GetPlaneCount(); ++p) {
        int32_t rowBytes = 0, lineSize = 0, rows = 0;
        const uint8_t* plane = frame->GetPlane(p, &rowBytes, &lineSize, &rows);
        for (int y = 0; y < rows; ++y)
            bytes.insert(bytes.end(), plane + y * lineSize, plane + y * lineSize + rowBytes);
    }
    return bytes;
}

// What the caller sees of one picture handed out.
struct Output {
    int64_t start, end;
    bool keyFrame, discontinuity, extraFlag, interlaced;
    double combing;
    std::vector<uint8_t> bytes;
    bool itself;  // the input frame handed back
};

Output Describe(IVideoFrame* out, IVideoFrame* in) {
    Output o{};
    out->GetTimes(&o.start, &o.end);
    o.keyFrame = out->IsKeyFrame();
    o.discontinuity = out->IsDiscontinuity();
    o.extraFlag = out->GetExtraFlag();
    o.interlaced = out->IsInterlaced();
    o.combing = Combing(out);
    o.bytes = PlaneBytes(out);
    o.itself = out == in;
    return o;
}

// The caller's loop: one picture in, then whatever is ready.
std::vector<Output> Feed(IImageConverter& converter, IVideoFrame* in) {
    std::vector<Output> outputs;
    for (IVideoFrame* out = converter.Convert(in); out != nullptr; out = converter.Convert(nullptr))
        outputs.push_back(Describe(out, in));
    return outputs;
}

std::vector<Output> Finish(IImageConverter& converter) {
    converter.EndOfStream();
    return Feed(converter, nullptr);
}

void Append(std::vector<Output>& all, const std::vector<Output>& more) {
    all.insert(all.end(), more.begin(), more.end());
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

    // A frame object made for another size or format (a decoding source makes its own for the
    // first picture): the picture actually held decides, also whether it already matches.
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

TEST(ImageConverterDeinterlacing, EveryPictureComesOutOnceWithItsOwnTimesAndFlags) {
    CImageConverter converter(PixelYUV420P, 96, 64, ImageDeinterlace);
    constexpr int kPictures = 10;
    std::vector<Output> outputs;
    double inputCombing = 0;
    for (int i = 0; i < kPictures; ++i) {
        FramePtr picture = MovingBarsWoven(i);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        in->SetTimes(1000000 + i * 400000, 1000000 + i * 400000 + 400000 - i);
        in->SetKeyFrame(i % 5 == 0)->SetDiscontinuity(i == 3)->SetExtraFlag(i == 7);
        inputCombing = Combing(in.get());
        const std::vector<Output> ready = Feed(converter, in.get());
        EXPECT_EQ(ready.size(), i == 0 ? 0u : 1u) << "one picture held back, picture " << i;
        EXPECT_EQ(converter.NamedParameter(CImageConverter::kHeldPicturesParameter, nullptr), 1)
            << "the caller can tell a held picture from a lost one";
        Append(outputs, ready);
    }
    EXPECT_TRUE(converter.deinterlacing());
    Append(outputs, Finish(converter));
    ASSERT_EQ(outputs.size(), static_cast<size_t>(kPictures))
        << "the held picture comes out at the end";
    EXPECT_EQ(converter.NamedParameter(CImageConverter::kHeldPicturesParameter, nullptr), 0);
    EXPECT_EQ(converter.Convert(nullptr), nullptr);
    EXPECT_GT(inputCombing, 40);
    for (int i = 0; i < kPictures; ++i) {
        SCOPED_TRACE(i);
        const Output& o = outputs[i];
        EXPECT_EQ(o.start, 1000000 + i * 400000);
        EXPECT_EQ(o.end, 1000000 + i * 400000 + 400000 - i) << "the picture's own duration";
        EXPECT_EQ(o.keyFrame, i % 5 == 0);
        EXPECT_EQ(o.discontinuity, i == 3);
        EXPECT_EQ(o.extraFlag, i == 7);
        EXPECT_FALSE(o.interlaced);
        EXPECT_LT(o.combing, inputCombing / 4) << "fields still woven";
    }

    // EndOfStream closed the stream; the next picture starts another one, held back again.
    std::vector<Output> again;
    for (int i = 0; i < 3; ++i) {
        FramePtr picture = MovingBarsWoven(i);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        in->SetTimes(i * 400000, (i + 1) * 400000);
        Append(again, Feed(converter, in.get()));
    }
    EXPECT_EQ(again.size(), 2u);
    Append(again, Finish(converter));
    ASSERT_EQ(again.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(again[i].start, i * 400000);
}

// Progressive pictures gain nothing from the deinterlacer: no delay, no change, no graph when
// they already have the target shape.
TEST(ImageConverterDeinterlacing, ProgressivePicturesPassUntouchedAndUndelayed) {
    CImageConverter asIs(PixelYUV420P, 96, 64, ImageDeinterlace);
    CImageConverter scaled(PixelYUV420P, 48, 32, ImageDeinterlace);
    CImageConverter plainScaled(PixelYUV420P, 48, 32, 0);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        FramePtr picture = MovingBarsWoven(i, 96, 64, false);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        in->SetTimes(i * 400000, (i + 1) * 400000);
        const std::vector<Output> same = Feed(asIs, in.get());
        ASSERT_EQ(same.size(), 1u);
        EXPECT_TRUE(same[0].itself);

        const std::vector<Output> small = Feed(scaled, in.get());
        const std::vector<Output> reference = Feed(plainScaled, in.get());
        ASSERT_EQ(small.size(), 1u) << "no picture held back";
        ASSERT_EQ(reference.size(), 1u);
        EXPECT_TRUE(small[0].bytes == reference[0].bytes) << "not what plain scaling gives";
        EXPECT_EQ(small[0].start, i * 400000);
    }
    EXPECT_EQ(asIs.graphBuildCount(), 0);
    EXPECT_FALSE(scaled.deinterlacing());
    EXPECT_TRUE(Finish(scaled).empty());
}

// A stream that turns interlaced keeps the deinterlacer from then on. A picture of the target
// shape must then wait its turn behind the held one, and progressive pictures still come out
// as they went in.
TEST(ImageConverterDeinterlacing, MixedStreamKeepsItsOrderAndItsProgressivePictures) {
    CImageConverter converter(PixelYUV420P, 96, 64, ImageDeinterlace);
    const bool interlaced[] = {false, false, true, false, true, true, false, false};
    constexpr int kPictures = sizeof interlaced / sizeof interlaced[0];
    std::vector<std::vector<uint8_t>> inputs;
    std::vector<Output> outputs;
    for (int i = 0; i < kPictures; ++i) {
        FramePtr picture = MovingBarsWoven(i, 96, 64, interlaced[i]);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        in->SetTimes(i * 400000, (i + 1) * 400000);
        inputs.push_back(PlaneBytes(in.get()));
        const std::vector<Output> ready = Feed(converter, in.get());
        for (const Output& o : ready)
            EXPECT_TRUE(!o.itself || i < 2) << "picture " << i << " overtook a held one";
        Append(outputs, ready);
    }
    Append(outputs, Finish(converter));
    ASSERT_EQ(outputs.size(), static_cast<size_t>(kPictures));
    for (int i = 0; i < kPictures; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(outputs[i].start, i * 400000);
        EXPECT_EQ(outputs[i].bytes == inputs[i], !interlaced[i]);
        EXPECT_FALSE(outputs[i].interlaced);
    }
}

// A graph rebuilt for a new picture size first gives up the picture its deinterlacer holds.
TEST(ImageConverterDeinterlacing, SizeChangeLosesNoHeldPicture) {
    CImageConverter converter(PixelYUV420P, 96, 64, ImageDeinterlace);
    std::vector<Output> outputs;
    for (int i = 0; i < 6; ++i) {
        FramePtr picture = i < 3 ? MovingBarsWoven(i) : MovingBarsWoven(i, 192, 128);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        in->SetTimes(i * 400000, (i + 1) * 400000);
        Append(outputs, Feed(converter, in.get()));
    }
    EXPECT_EQ(converter.graphBuildCount(), 2);
    Append(outputs, Finish(converter));
    ASSERT_EQ(outputs.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(outputs[i].start, i * 400000) << i;
}

// The engine frame's flag counts as much as FFmpeg's; a picture too small for the deinterlacer
// passes without it rather than being lost.
TEST(ImageConverterDeinterlacing, EitherFlagCountsAndTinyPicturesStillPass) {
    CImageConverter converter(PixelYUV420P, 96, 64, ImageDeinterlace);
    std::vector<Output> outputs;
    double inputCombing = 0;
    for (int i = 0; i < 4; ++i) {
        FramePtr picture = MovingBarsWoven(i, 96, 64, false);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        in->SetInterlaced(true);
        inputCombing = Combing(in.get());
        Append(outputs, Feed(converter, in.get()));
    }
    Append(outputs, Finish(converter));
    ASSERT_EQ(outputs.size(), 4u);
    for (const Output& o : outputs)
        EXPECT_LT(o.combing, inputCombing / 4);

    CImageConverter tiny(PixelYUV420P, 8, 6, ImageDeinterlace);
    std::vector<Output> small;
    for (int i = 0; i < 3; ++i) {
        FramePtr picture = MovingBarsWoven(i, 8, 6);
        Owned<CVideoFrame> in = WrapPicture(picture.get());
        Append(small, Feed(tiny, in.get()));
    }
    Append(small, Finish(tiny));
    EXPECT_EQ(small.size(), 3u);
}

TEST(ImageConverter, ALargePictureScaledInSlicesIsTheSameBitForBit) {
    // Detail everywhere, so that a slice boundary scaled differently shows.
    FramePtr picture = MakePicture(AV_PIX_FMT_YUV420P, 1920, 1080, [](int p, int x, int y) {
        return p ? (x * 7 + y * 3) % 224 + 16 : (x * x + y * 5) % 220 + 16;
    });
    Owned<CVideoFrame> in = WrapPicture(picture.get());
    std::vector<std::vector<uint8_t>> results;
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        const SystemBased::ThreadBudgetScope budget(threads);
        CImageConverter converter(PixelYUV420P, 854, 480, 0);
        IVideoFrame* out = converter.Convert(in.get());
        ASSERT_NE(out, nullptr);
        ASSERT_NE(out, in.get());
        results.push_back(PlaneBytes(out));
    }
    ASSERT_EQ(results[0].size(), 854u * 480u * 3u / 2u);
    EXPECT_TRUE(results[0] == results[1]);
    EXPECT_TRUE(results[0] == results[2]);
}
