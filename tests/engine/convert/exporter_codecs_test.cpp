// Every encoder the program's codec table names and this FFmpeg offers, each writing about a
// second into a container that takes it.
#include <gtest/gtest.h>

#include "exporter_test_support.h"
#include "object/media_manager.h"

using namespace exporter_test;

namespace {

struct CodecCase {
    const char* codec;      // as the program names it
    const char* format;     // muxer
    const char* file;
    const char* probedName;  // what ffprobe calls the codec
    int width = 0, height = 0;  // video when non-zero
    int rate = 0, channels = 0, bitRate = 0;
};

std::ostream& operator<<(std::ostream& out, const CodecCase& c) {
    return out << c.codec << " in " << c.format;
}

class ExporterCodecTest : public ExporterTest, public ::testing::WithParamInterface<CodecCase> {};

}  // namespace

TEST_P(ExporterCodecTest, WritesAFileThatDecodesCleanly) {
    const CodecCase& c = GetParam();
    const std::string path = PathOf(c.file);
    CMediaManager manager;
    const bool video = c.width > 0;
    const StreamRecord record = video ? VideoRecord(c.codec, c.width, c.height)
                                      : AudioRecord(c.codec, c.rate, c.channels, c.bitRate);
    Owned<IMediaExporter> exporter = OpenExporter(manager, c.format, {record}, path);
    ASSERT_NE(exporter, nullptr);
    SyntheticFeed feed;
    (video ? feed.videoSlot : feed.audioSlot) = 0;
    EXPECT_TRUE(Feed(*exporter, feed));
    EXPECT_TRUE(exporter->Close());

    const std::string stream = video ? "v:0" : "a:0";
    EXPECT_EQ(ProbeValue(path, stream, "stream=codec_name"), c.probedName);
    if (video) {
        EXPECT_EQ(ProbeValue(path, stream, "stream=width,height"),
                  std::to_string(c.width) + "\n" + std::to_string(c.height));
        EXPECT_NEAR(ProbeNumber(path, stream, "stream=nb_read_frames -count_frames"), 25, 1);
        EXPECT_EQ(ProbeValue(path, stream, "stream=r_frame_rate"), "25/1");
    } else {
        EXPECT_EQ(ProbeValue(path, stream, "stream=sample_rate,channels"),
                  std::to_string(c.rate) + "\n" + std::to_string(c.channels));
        EXPECT_NEAR(ProbeNumber(path, stream, "format=duration"), 1.0, 0.1);
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;
}

INSTANTIATE_TEST_SUITE_P(
    Video, ExporterCodecTest,
    ::testing::Values(CodecCase{"h264", "mp4", "h264.mp4", "h264", 320, 240},
                      CodecCase{"mpeg4", "mp4", "mpeg4.mp4", "mpeg4", 320, 240},
                      CodecCase{"libxvid", "avi", "xvid.avi", "mpeg4", 320, 240},
                      CodecCase{"msmpeg4v3", "avi", "msmpeg4v3.avi", "msmpeg4v3", 320, 240},
                      CodecCase{"wmv1", "asf", "wmv1.wmv", "wmv1", 320, 240},
                      CodecCase{"wmv2", "asf", "wmv2.wmv", "wmv2", 320, 240},
                      CodecCase{"mpeg1video", "mpeg", "mpeg1.mpg", "mpeg1video", 320, 240},
                      CodecCase{"mpeg2video", "vob", "mpeg2.vob", "mpeg2video", 320, 240},
                      CodecCase{"h263", "3gp", "h263.3gp", "h263", 352, 288},
                      CodecCase{"flv1", "flv", "flv1.flv", "flv1", 320, 240},
                      CodecCase{"mjpeg", "avi", "mjpeg.avi", "mjpeg", 320, 240},
                      CodecCase{"vp8", "webm", "vp8.webm", "vp8", 320, 240}));

INSTANTIATE_TEST_SUITE_P(
    Audio, ExporterCodecTest,
    ::testing::Values(
        CodecCase{"aac", "mp4", "aac.m4a", "aac", 0, 0, 44100, 2, 128000},
        CodecCase{"mp3", "mp3", "mp3.mp3", "mp3", 0, 0, 44100, 2, 128000},
        CodecCase{"ac3", "ac3", "ac3.ac3", "ac3", 0, 0, 48000, 2, 192000},
        CodecCase{"wmav1", "asf", "wmav1.wma", "wmav1", 0, 0, 44100, 2, 128000},
        CodecCase{"wmav2", "asf", "wmav2.wma", "wmav2", 0, 0, 44100, 2, 128000},
        CodecCase{"pcm_s16le", "wav", "s16le.wav", "pcm_s16le", 0, 0, 44100, 2, 0},
        CodecCase{"pcm_s16be", "aiff", "s16be.aiff", "pcm_s16be", 0, 0, 44100, 2, 0},
        CodecCase{"pcm_s24be", "aiff", "s24be.aiff", "pcm_s24be", 0, 0, 48000, 2, 0},
        CodecCase{"flac", "flac", "flac.flac", "flac", 0, 0, 44100, 2, 0},
        CodecCase{"mp2", "mp2", "mp2.mp2", "mp2", 0, 0, 44100, 2, 192000},
        CodecCase{"libvorbis", "ogg", "vorbis.ogg", "vorbis", 0, 0, 44100, 2, 128000},
        CodecCase{"adpcm_ima_wav", "wav", "adpcm.wav", "adpcm_ima_wav", 0, 0, 22050, 1, 0},
        CodecCase{"amr_nb", "amr", "amr.amr", "amr_nb", 0, 0, 8000, 1, 12200}));
