#include "codec_tables.h"

#include <gtest/gtest.h>

#include <QSet>

TEST(CodecTable, MatchesCodesExactlyAndFallsBack) {
    EXPECT_EQ(codecTableSize(), 44);
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
    EXPECT_EQ(codes.size(), 44);
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
