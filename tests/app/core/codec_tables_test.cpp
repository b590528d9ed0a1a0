#include "codec_tables.h"

#include <gtest/gtest.h>

#include <QSet>

TEST(CodecTable, MatchesCodesExactlyAndFallsBack) {
    EXPECT_EQ(codecTableSize(), 55);
    EXPECT_EQ(codecInfo("AAC ").encoder, "aac");
    EXPECT_EQ(&codecInfo("AAC "), &codecTableRow(1));
    EXPECT_EQ(codecInfo("AAC").code, "ERROR") << "no blank: not the same code";
    EXPECT_EQ(codecInfo("aac ").encoder, "ERROR") << "codes are case-sensitive";
    EXPECT_EQ(codecInfo("APE ").encoder, "ERROR");
    EXPECT_EQ(codecInfo("IPAN").profile, 66);
    EXPECT_EQ(codecInfo("IPAN").level, 31);
    EXPECT_EQ(codecInfo("PS3H").profile, 100);
    EXPECT_EQ(codecInfo("HMP2").profile, 4);
    EXPECT_EQ(codecInfo("flv1").display, "FLV");
    EXPECT_EQ(codecInfo("pcmb").display, "pcm big ending");
    QSet<QString> codes;
    for (int i = 0; i < codecTableSize(); ++i) {
        EXPECT_EQ(codecTableRow(i).code.size(), 4) << i;
        codes.insert(codecTableRow(i).code);
    }
    EXPECT_EQ(codes.size(), 55);
}

TEST(MuxerTable, MapsExtensionsWithoutFoldingCase) {
    EXPECT_EQ(muxerForExtension(".mkv"), "matroska");
    EXPECT_EQ(muxerForExtension(".MKV"), "mp4");
    EXPECT_EQ(muxerForExtension(".aac"), "adts");
    EXPECT_EQ(muxerForExtension(".m4a"), "ipod");
    EXPECT_EQ(muxerForExtension(".wma"), "asf");
    EXPECT_EQ(muxerForExtension("mkv"), "mp4") << "the dot belongs to the extension";
    EXPECT_EQ(muxerForExtension(""), "mp4");
}

#include "h264_level.h"

TEST(H264Level, TheLowestLevelWhoseLimitsTheStreamKeeps) {
    EXPECT_EQ(h264LevelFor(176, 144, 15, 64), 10);
    EXPECT_EQ(h264LevelFor(352, 288, 15, 384), 12);
    EXPECT_EQ(h264LevelFor(352, 288, 30, 384), 13);
    EXPECT_EQ(h264LevelFor(720, 576, 25, 4000), 30);
    EXPECT_EQ(h264LevelFor(1280, 720, 25, 1500), 31);
    EXPECT_EQ(h264LevelFor(1280, 720, 50, 1500), 32) << "the macroblock rate decides";
    EXPECT_EQ(h264LevelFor(1920, 1080, 25, 5000), 40) << "not the 3.1 it was labelled";
    EXPECT_EQ(h264LevelFor(1920, 1080, 25, 30000), 41) << "the bit rate decides";
    EXPECT_EQ(h264LevelFor(3840, 2160, 30, 20000), 51);
    EXPECT_EQ(h264LevelFor(8192, 64, 25, 1000), 51) << "no side longer than the level allows";
    EXPECT_EQ(h264LevelFor(7680, 4320, 60, 100000), 52) << "beyond every level: the highest";
}
