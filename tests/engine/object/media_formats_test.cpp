#include "object/media_formats.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vantrel/records.h"

using namespace MediaBased;

TEST(PixelFormatTable, LookupsTakeTheFirstMatch) {
    EXPECT_STREQ(FindPixelFormatById(PixelABGR).name, "ABGR");
    EXPECT_STREQ(FindPixelFormatByFfmpeg(AV_PIX_FMT_ABGR).name, "ABGR");
    EXPECT_STREQ(FindPixelFormatById(PixelBGRA).name, "BGRA");
    EXPECT_EQ(FindPixelFormatByFfmpeg(AV_PIX_FMT_ARGB).id, PixelRGB32);
    EXPECT_EQ(FindPixelFormatByFfmpeg(AV_PIX_FMT_YUV420P10LE).id, PixelYUV420P10);
    EXPECT_EQ(FindPixelFormatById(PixelNV12).ffmpegFormat, AV_PIX_FMT_NV12);
}

TEST(PixelFormatTable, KeepsItsIrregularBitCounts) {
    EXPECT_EQ(FindPixelFormatById(PixelYUV411P).bitsPerPixel, 17);
    EXPECT_EQ(FindPixelFormatById(PixelYUV410P).bitsPerPixel, 10);
    EXPECT_EQ(FindPixelFormatById(PixelYUY2).black[0], 0x8000);
    EXPECT_EQ(FindPixelFormatById(PixelUYVY422).lumaPosition, 1);
}

TEST(PixelFormatTable, MissReportsMinusOneAndZeros) {
    for (const PixelFormatInfo& miss :
         {FindPixelFormatById(9), FindPixelFormatById(-1), FindPixelFormatByFfmpeg(AV_PIX_FMT_P010LE)}) {
        EXPECT_EQ(miss.id, -1);
        EXPECT_EQ(miss.ffmpegFormat, -1);
        EXPECT_EQ(miss.planeCount, 0);
        EXPECT_EQ(miss.bytesPerSample, 0);
        EXPECT_EQ(miss.name, nullptr);
    }
}

TEST(PixelFormatTable, HasTwentySixDistinctlyNamedEntries) {
    std::set<std::string> names;
    for (int i = 0; i < kPixelFormatCount; ++i)
        names.insert(PixelFormatAt(i).name);
    EXPECT_EQ(names.size(), 26u);
    EXPECT_STREQ(PixelFormatAt(0).name, "YUV420P");
    EXPECT_STREQ(PixelFormatAt(kPixelFormatCount - 1).name, "YUVJ420P");
}

TEST(SampleFormatMap, MapsBothWaysAndRejectsOthers) {
    EXPECT_EQ(SampleFormatFromFfmpeg(AV_SAMPLE_FMT_FLTP), FLTP);
    EXPECT_EQ(SampleFormatFromFfmpeg(AV_SAMPLE_FMT_S16), S16);
    EXPECT_EQ(SampleFormatFromFfmpeg(AV_SAMPLE_FMT_S64), SampleFormatUnknown);
    EXPECT_EQ(FfmpegSampleFormat(DBLP), AV_SAMPLE_FMT_DBLP);
    EXPECT_EQ(FfmpegSampleFormat(4), AV_SAMPLE_FMT_NONE);
    for (int32_t id : {U8, S16, S32, FLT, DBL})
        EXPECT_TRUE(IsInterleavedSampleFormat(id)) << id;
    for (int32_t id : {int32_t{U8P}, int32_t{S16P}, int32_t{S32P}, int32_t{FLTP}, int32_t{DBLP}, int32_t{-1}})
        EXPECT_FALSE(IsInterleavedSampleFormat(id)) << id;
}
