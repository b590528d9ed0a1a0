#include "import/ffmpeg_importer.h"

#include <gtest/gtest.h>

#include "import_test_support.h"
#include "object/media_manager.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

using namespace MediaBased;

namespace {

Owned<IMediaImporter> Opened(const std::string& name) {
    CMediaManager manager;
    return Owned<IMediaImporter>(manager.OpenImporter(TestMedia(name).c_str()));
}

// Streams that are neither video nor audio carry only an id, a codec name and a bit rate.
void ExpectOnlyIdentity(const StreamRecord& record, const char* codecName) {
    EXPECT_EQ(record.kind, StreamKindOther);
    EXPECT_STREQ(record.codecName, codecName);
    EXPECT_EQ(record.id, 0);
    EXPECT_EQ(record.width | record.height | record.frameTimeNum | record.frameTimeDen |
                  record.sarNum | record.sarDen | record.sampleRate | record.channels,
              0);
    EXPECT_EQ(record.channelLayout, 0);
    EXPECT_EQ(record.displayAspect, 0.0);
    EXPECT_EQ(record.durationSeconds, 0.0);
}

}  // namespace

TEST(Importer, DescribesTheVideoAndAudioOfAMatroskaFile) {
    Owned<IMediaImporter> importer = Opened("h264_aac.mkv");
    ASSERT_NE(importer, nullptr);
    IMediaInfo* info = importer->GetMediaInfo(0);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->GetFormatName(), "matroska,webm");
    ASSERT_EQ(info->GetStreamCount(), 2);

    const StreamRecord& video = *info->GetStreamRecord(0);
    EXPECT_EQ(video.kind, StreamKindVideo);
    EXPECT_STREQ(video.codecName, "h264");
    EXPECT_EQ(video.width, 640);
    EXPECT_EQ(video.height, 360);
    EXPECT_EQ(video.frameTimeNum, 1);
    EXPECT_EQ(video.frameTimeDen, 25);
    EXPECT_EQ(video.sarNum, 1);
    EXPECT_EQ(video.sarDen, 1);
    EXPECT_DOUBLE_EQ(video.displayAspect, 640.0 / 360.0);
    EXPECT_NEAR(video.durationSeconds, 3.0, 0.05) << "the container's, Matroska has no other";

    const StreamRecord& audio = *info->GetStreamRecord(1);
    EXPECT_EQ(audio.kind, StreamKindAudio);
    EXPECT_STREQ(audio.codecName, "aac");
    EXPECT_EQ(audio.sampleRate, 48000);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_EQ(audio.channelLayout, static_cast<int64_t>(AV_CH_LAYOUT_STEREO));
    EXPECT_NEAR(audio.durationSeconds, 3.0, 0.05) << "audio has a length too, for the size estimate";
    EXPECT_EQ(audio.width, 0);
    EXPECT_EQ(audio.encode, 0);
}

TEST(Importer, CoverPictureIsLeftOutOfAnMp3ButListedInMatroska) {
    Owned<IMediaImporter> mp3 = Opened("with_cover.mp3");
    ASSERT_NE(mp3, nullptr);
    ASSERT_EQ(mp3->GetMediaInfo(0)->GetStreamCount(), 1);
    EXPECT_EQ(mp3->GetMediaInfo(0)->GetStreamRecord(0)->kind, StreamKindAudio);
    EXPECT_EQ(mp3->GetMediaInfo(0)->GetStreamRecord(0)->bitRate, 128000);

    Owned<IMediaImporter> mkv = Opened("attached_cover.mkv");
    ASSERT_NE(mkv, nullptr);
    IMediaInfo* info = mkv->GetMediaInfo(0);
    ASSERT_EQ(info->GetStreamCount(), 4);
    const StreamRecord& cover = *info->GetStreamRecord(2);
    EXPECT_EQ(cover.kind, StreamKindVideo);
    EXPECT_STREQ(cover.codecName, "png");
    EXPECT_EQ(cover.width, 160);
    // Without an average frame rate the frame time is the stream's time base.
    EXPECT_EQ(cover.frameTimeNum, 1);
    EXPECT_EQ(cover.frameTimeDen, 90000);
    ExpectOnlyIdentity(*info->GetStreamRecord(3), "none");
}

TEST(Importer, SubtitlesAndUnknownAspectRatios) {
    Owned<IMediaImporter> subtitles = Opened("two_audio_subs.mkv");
    ASSERT_NE(subtitles, nullptr);
    ASSERT_EQ(subtitles->GetMediaInfo(0)->GetStreamCount(), 4);
    ExpectOnlyIdentity(*subtitles->GetMediaInfo(0)->GetStreamRecord(3), "subrip");

    Owned<IMediaImporter> prores = Opened("yuv422p10.mkv");
    ASSERT_NE(prores, nullptr);
    const StreamRecord& video = *prores->GetMediaInfo(0)->GetStreamRecord(0);
    EXPECT_EQ(video.sarNum, 0);
    EXPECT_EQ(video.sarDen, 1);
    EXPECT_EQ(video.displayAspect, 0.0);
}

TEST(Importer, EachOpenReplacesTheMediaInfoAndAFailureLeavesNone) {
    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.CreateImporter("any name"));
    ASSERT_NE(importer, nullptr);
    EXPECT_EQ(importer->GetMediaCount(), 1);
    EXPECT_EQ(importer->GetMediaInfo(0), nullptr);

    ASSERT_TRUE(importer->Open(TestMedia("h264_aac.mkv").c_str()));
    IMediaInfo* first = importer->GetMediaInfo(0);
    EXPECT_EQ(importer->GetMediaInfo(1), nullptr);
    first->Release();  // lent: does nothing
    EXPECT_EQ(importer->GetMediaInfo(0)->GetStreamCount(), 2);

    ASSERT_TRUE(importer->Open(TestMedia("audio_only.mka").c_str()));
    ASSERT_EQ(importer->GetMediaInfo(0)->GetStreamCount(), 1);
    EXPECT_STREQ(importer->GetMediaInfo(0)->GetStreamRecord(0)->codecName, "vorbis");
    importer->Close();
    EXPECT_EQ(importer->GetMediaInfo(0), nullptr);
    ASSERT_TRUE(importer->Reopen(nullptr)) << "Close keeps the path";
    EXPECT_EQ(importer->GetMediaInfo(0)->GetStreamCount(), 1);

    LogCapture log;
    EXPECT_FALSE(importer->Open(TestMedia("missing.mkv").c_str()));
    EXPECT_EQ(log.entries(), std::vector<LogCapture::Entry>({{"av_open_input_file error.", "147"}}));
    EXPECT_EQ(importer->GetMediaInfo(0), nullptr);
    const StreamSelection selection{0, 0};
    EXPECT_EQ(importer->CreateSource(0, &selection, 1), nullptr);
    EXPECT_FALSE(importer->Open(nullptr));
    EXPECT_EQ(log.entries().size(), 1u) << "a null path is refused without a message";
}

TEST(Importer, NonAsciiPathOpens) {
    Owned<IMediaImporter> importer = Opened("Überraschung – видео 映画.mkv");
    ASSERT_NE(importer, nullptr);
    EXPECT_EQ(importer->GetMediaInfo(0)->GetStreamCount(), 2);
}

TEST(Importer, CreateSourceRefusesUnusableSelections) {
    Owned<IMediaImporter> importer = Opened("h264_aac.mkv");
    ASSERT_NE(importer, nullptr);
    const StreamSelection outOfRange{2, 0};
    const StreamSelection negative{-1, 1};
    EXPECT_EQ(importer->CreateSource(0, &outOfRange, 1), nullptr);
    EXPECT_EQ(importer->CreateSource(0, &negative, 1), nullptr);
    EXPECT_EQ(importer->CreateSource(0, nullptr, 1), nullptr);
    EXPECT_EQ(importer->CreateSource(0, &outOfRange, -1), nullptr);
}
