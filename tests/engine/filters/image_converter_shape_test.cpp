// Pictures that keep their shape inside the target size: letterboxed or pillarboxed with black.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "filter_test_frames.h"
#include "filters/image_converter.h"
#include "filters/picture_fit.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
using namespace filter_test;

namespace {

// A flat colour: easy to tell from the black bars at every pixel, and unchanged by scaling.
constexpr int kColour[3] = {150, 60, 200};
constexpr int kBlack[3] = {16, 128, 128};

FramePtr FlatPicture(int width, int height, AVRational sar = {0, 1}) {
    FramePtr picture = MakePicture(AV_PIX_FMT_YUV420P, width, height,
                                   [](int p, int, int) { return kColour[p]; });
    picture->sample_aspect_ratio = sar;
    return picture;
}

struct Yuv {
    int y, u, v;
};

Yuv YuvAt(IVideoFrame* frame, int x, int y) {
    int32_t lineSize[3] = {};
    const uint8_t* planes[3];
    for (int p = 0; p < 3; ++p)
        planes[p] = frame->GetPlane(p, nullptr, &lineSize[p], nullptr);
    return {planes[0][y * lineSize[0] + x], planes[1][y / 2 * lineSize[1] + x / 2],
            planes[2][y / 2 * lineSize[2] + x / 2]};
}

bool Near(const Yuv& pixel, const int (&expected)[3]) {
    return std::abs(pixel.y - expected[0]) <= 2 && std::abs(pixel.u - expected[1]) <= 2 &&
           std::abs(pixel.v - expected[2]) <= 2;
}

// Every pixel of the frame: black outside the box, the colour inside.
void ExpectBox(IVideoFrame* frame, const PictureBox& box) {
    int32_t width = 0, height = 0;
    frame->GetSize(&width, &height);
    int wrong = 0;
    for (int y = 0; y < height; y += 1)
        for (int x = 0; x < width; x += 1) {
            const bool inside =
                x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
            if (!Near(YuvAt(frame, x, y), inside ? kColour : kBlack) && ++wrong <= 5)
                ADD_FAILURE() << (inside ? "not the picture" : "not black") << " at " << x << ","
                              << y;
        }
    EXPECT_EQ(wrong, 0);
    const AVRational sar = HeldFrameOf(frame)->sample_aspect_ratio;
    EXPECT_EQ(sar.num, 1);
    EXPECT_EQ(sar.den, 1) << "the output's pixels are square";
}

IVideoFrame* ConvertOnce(CImageConverter& converter, const AVFrame* picture,
                         Owned<CVideoFrame>& holder) {
    holder = WrapPicture(picture);
    return converter.Convert(holder.get());
}

}  // namespace

TEST(PictureFit, LargestCentredBoxWithEvenSidesAndOffsets) {
    struct Case {
        double aspect;
        int width, height;
        PictureBox box;
    } cases[] = {
        {4.0 / 3, 1280, 720, {960, 720, 160, 0}},
        {16.0 / 9, 720, 576, {720, 404, 0, 86}},   // 405 down to even
        {720.0 / 404, 720, 576, {720, 404, 0, 86}},
        {1.7777777, 1280, 720, {1280, 720, 0, 0}},  // near enough to fill
        {2.39, 1920, 1080, {1920, 802, 0, 138}},    // offset 139 down to even
        {1.0, 721, 577, {576, 577, 72, 0}},         // the full side may stay odd
        {1000.0, 640, 480, {640, 2, 0, 238}},
        {0.0, 640, 480, {640, 480, 0, 0}},          // unknown: fill
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aspect);
        const PictureBox box = FitPicture(c.aspect, c.width, c.height);
        EXPECT_EQ(box.width, c.box.width);
        EXPECT_EQ(box.height, c.box.height);
        EXPECT_EQ(box.x, c.box.x);
        EXPECT_EQ(box.y, c.box.y);
    }
    EXPECT_DOUBLE_EQ(DisplayAspectOf(720, 576, 64, 45), 16.0 / 9);
    EXPECT_DOUBLE_EQ(DisplayAspectOf(720, 576, 0, 1), 1.25) << "0/1 means square pixels";
}

TEST(ImageConverterShape, FourThreePictureIsPillarboxedInWidescreen) {
    CImageConverter converter(PixelYUV420P, 1280, 720, ImageFitAndPad);
    EXPECT_EQ(converter.NamedParameter(CImageConverter::kDisplayAspectParameter, "1.3333333"), 1);
    FramePtr picture = FlatPicture(640, 480);
    Owned<CVideoFrame> in;
    IVideoFrame* out = ConvertOnce(converter, picture.get(), in);
    ASSERT_NE(out, nullptr);
    ExpectBox(out, {960, 720, 160, 0});

    // Black as the target format knows it: opaque black in BGRA.
    CImageConverter bgra(PixelBGRA, 1280, 720, ImageFitAndPad);
    out = ConvertOnce(bgra, picture.get(), in);
    ASSERT_NE(out, nullptr);
    for (int x : {0, 159, 1120, 1279}) {
        const Bgra bar = PixelAt(out, x, 360);
        EXPECT_TRUE(bar.r == 0 && bar.g == 0 && bar.b == 0 && bar.a == 255) << x;
    }
    for (int x : {160, 640, 1119})
        EXPECT_GT(PixelAt(out, x, 360).r, 100) << x;
}

TEST(ImageConverterShape, WidescreenPictureIsLetterboxedInPal) {
    CImageConverter converter(PixelYUV420P, 720, 576, ImageFitAndPad);
    FramePtr picture = FlatPicture(1280, 720, {1, 1});
    Owned<CVideoFrame> in;
    IVideoFrame* out = ConvertOnce(converter, picture.get(), in);
    ASSERT_NE(out, nullptr);
    ExpectBox(out, {720, 404, 0, 86});
}

// Without the parameter the picture's own pixel shape decides; the parameter overrides it.
TEST(ImageConverterShape, ShapeFollowsTheSampleAspectRatioUnlessTold) {
    FramePtr anamorphic = FlatPicture(720, 576, {64, 45});  // 16:9 PAL
    FramePtr fourThree = FlatPicture(720, 576, {16, 15});   // 4:3 PAL
    FramePtr square = FlatPicture(720, 576, {0, 1});
    Owned<CVideoFrame> in;
    {
        CImageConverter converter(PixelYUV420P, 720, 576, ImageFitAndPad);
        IVideoFrame* out = ConvertOnce(converter, anamorphic.get(), in);
        ASSERT_NE(out, nullptr);
        ExpectBox(out, {720, 404, 0, 86});
        out = ConvertOnce(converter, fourThree.get(), in);
        ASSERT_NE(out, nullptr);
        ExpectBox(out, {720, 540, 0, 18});
        EXPECT_EQ(converter.graphBuildCount(), 2) << "a new pixel shape is a new graph";
        // Square pixels of the target size need nothing done.
        IVideoFrame* same = ConvertOnce(converter, square.get(), in);
        EXPECT_EQ(same, in.get());
    }
    {
        CImageConverter told(PixelYUV420P, 720, 576, ImageFitAndPad);
        ASSERT_EQ(told.NamedParameter(CImageConverter::kDisplayAspectParameter, "1.7777778"), 1);
        IVideoFrame* out = ConvertOnce(told, fourThree.get(), in);
        ASSERT_NE(out, nullptr);
        ExpectBox(out, {720, 404, 0, 86});
        out = ConvertOnce(told, square.get(), in);
        ASSERT_NE(out, in.get()) << "square pixels, yet told to be wider";
        ExpectBox(out, {720, 404, 0, 86});
    }
}

TEST(ImageConverterShape, RefusesAspectValuesThatAreNotPositiveNumbers) {
    CImageConverter converter(PixelYUV420P, 1280, 720, ImageFitAndPad);
    const char* name = CImageConverter::kDisplayAspectParameter;
    ASSERT_EQ(converter.NamedParameter(name, "1.3333333"), 1);
    for (const char* bad : {"", "abc", "0", "0.0", "-1.5", "16:9", "1.5x", " 1.5", "inf", "nan"})
        EXPECT_EQ(converter.NamedParameter(name, bad), 0) << '"' << bad << '"';
    EXPECT_EQ(converter.NamedParameter(name, nullptr), 0);
    EXPECT_EQ(converter.NamedParameter("W_ImageConverterParamOther", "1.5"), 0);
    EXPECT_EQ(converter.NamedParameter(nullptr, "1.5"), 0);
    // What was refused changed nothing: the accepted 4:3 still holds.
    FramePtr picture = FlatPicture(1280, 720);
    Owned<CVideoFrame> in;
    IVideoFrame* out = ConvertOnce(converter, picture.get(), in);
    ASSERT_NE(out, nullptr);
    ExpectBox(out, {960, 720, 160, 0});

    Owned<IMediaManager> manager(CreateMediaManager());
    Owned<IImageConverter> plain(manager->CreateImageConverter(PixelYUV420P, 64, 36, 0));
    EXPECT_EQ(plain->NamedParameter("W_SomethingElse", "1"), 0);
}

// All three flags at once: the deinterlaced, pillarboxed picture upside down, one out per one
// in, each with its own time.
TEST(ImageConverterShape, CombinesWithDeinterlacingAndFlipping) {
    CImageConverter upright(PixelYUV420P, 128, 64, ImageFitAndPad | ImageDeinterlace);
    CImageConverter flipped(PixelYUV420P, 128, 64,
                            ImageFitAndPad | ImageDeinterlace | ImageFlipVertically);
    // Woven fields of a bar moving right; the lower half is darker so that up and down differ.
    auto picture = [](int index) {
        FramePtr woven = MakePicture(AV_PIX_FMT_YUV420P, 96, 64, [index](int p, int x, int y) {
            const int bar = (x + 96 - (8 * index + 4 * (y % 2)) % 96) % 16 < 8;
            return p ? 128 : (bar ? 235 : 16) - (y >= 32 ? 60 * bar : 0);
        });
        woven->interlaced_frame = 1;
        woven->top_field_first = 1;
        return woven;
    };
    struct Handed {
        int64_t start;
        std::vector<std::vector<uint8_t>> rows;  // luma
    };
    auto collect = [](IVideoFrame* out, std::vector<Handed>& into) {
        Handed h{};
        out->GetTimes(&h.start, nullptr);
        int32_t rowBytes = 0, lineSize = 0, rows = 0;
        const uint8_t* luma = out->GetPlane(0, &rowBytes, &lineSize, &rows);
        for (int y = 0; y < rows; ++y)
            h.rows.emplace_back(luma + y * lineSize, luma + y * lineSize + rowBytes);
        into.push_back(h);
    };
    std::vector<Handed> a, b;
    constexpr int kPictures = 5;
    for (int i = 0; i < kPictures; ++i) {
        FramePtr woven = picture(i);
        Owned<CVideoFrame> in = WrapPicture(woven.get());
        in->SetTimes(i * 400000, (i + 1) * 400000);
        for (IVideoFrame* out = upright.Convert(in.get()); out; out = upright.Convert(nullptr))
            collect(out, a);
        for (IVideoFrame* out = flipped.Convert(in.get()); out; out = flipped.Convert(nullptr))
            collect(out, b);
    }
    upright.EndOfStream();
    flipped.EndOfStream();
    for (IVideoFrame* out = upright.Convert(nullptr); out; out = upright.Convert(nullptr))
        collect(out, a);
    for (IVideoFrame* out = flipped.Convert(nullptr); out; out = flipped.Convert(nullptr))
        collect(out, b);
    ASSERT_EQ(a.size(), static_cast<size_t>(kPictures));
    ASSERT_EQ(b.size(), static_cast<size_t>(kPictures));
    for (int i = 0; i < kPictures; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a[i].start, i * 400000);
        EXPECT_EQ(b[i].start, i * 400000);
        ASSERT_EQ(a[i].rows.size(), 64u);
        ASSERT_EQ(a[i].rows[0].size(), 128u);
        for (int y = 0; y < 64; ++y) {
            ASSERT_TRUE(b[i].rows[y] == a[i].rows[63 - y]) << "row " << y << " not mirrored";
            for (int x : {0, 15, 112, 127})
                EXPECT_EQ(a[i].rows[y][x], 16) << "bar at " << x << "," << y;
        }
        // Deinterlaced: the rows of one field agree with those of the other.
        int combed = 0;
        for (int y = 0; y + 1 < 32; ++y)
            for (int x = 16; x < 112; ++x)
                combed += std::abs(a[i].rows[y][x] - a[i].rows[y + 1][x]) > 100;
        EXPECT_LT(combed, 31 * 96 / 10);
    }
}
