// How audio tracks are named and counted for the user's choice of sound.
#include "track_labels.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "engine_test_support.h"
#include "process_helpers.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

TEST(TrackLabels, LanguagesFormatsAndChannelsInTheUsersWords) {
    for (const char* code : {"jpn", "ja", "JPN"})
        EXPECT_EQ(languageName(code), "Japanese") << code;
    EXPECT_EQ(languageName("ger"), "German") << "the bibliographic code Matroska files often carry";
    EXPECT_EQ(languageName("deu"), "German");
    EXPECT_EQ(languageName("fre"), "French");
    for (const char* nothing : {"", "und", "zxx", "qqq", "xx"})
        EXPECT_TRUE(languageName(nothing).isEmpty()) << nothing;

    const std::pair<const char*, const char*> formats[] = {
        {"ac3", "AC3"},       {"aac", "AAC"},     {"dts", "DTS"},         {"eac3", "E-AC3"},
        {"opus", "Opus"},     {"vorbis", "Vorbis"}, {"flac", "FLAC"},     {"mp3", "MP3"},
        {"truehd", "TrueHD"}, {"pcm_s16le", "PCM"}, {"pcm_f32be", "PCM"}, {"mp2", "MP2"},
        {"alac", "ALAC"}};
    for (const auto& [codec, name] : formats)
        EXPECT_EQ(audioFormatName(codec), name) << codec;

    EXPECT_EQ(channelsText(1), "mono");
    EXPECT_EQ(channelsText(2), "stereo");
    EXPECT_EQ(channelsText(6), "5.1");
    EXPECT_EQ(channelsText(8), "7.1");
    EXPECT_EQ(channelsText(3), "3 ch");
    EXPECT_TRUE(channelsText(0).isEmpty());
}

class TrackLabelsFile : public ::testing::Test {
protected:
    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
    }

    // Pictures, then three sound tracks: AC3 5.1 in Japanese; stereo AAC in German titled
    // "Commentary"; mono FLAC with no language. defaultTrack (0 for none) is marked default.
    std::unique_ptr<SourceFile> Source(int defaultTrack) {
        const QString path = dir_.path() + QStringLiteral("/tracks%1.mkv").arg(defaultTrack);
        std::string dispositions;
        for (int track = 1; track <= 3; ++track)
            dispositions += " -disposition:a:" + std::to_string(track - 1) +
                            (track == defaultTrack ? " default" : " 0");
        const CommandResult made = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=1 "
            "-f lavfi -i sine=frequency=440:duration=1 -map 0 -map 1 -map 1 -map 1 "
            "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -disposition:v 0 "
            "-c:a:0 ac3 -ac:a:0 6 -c:a:1 aac -ac:a:1 2 -c:a:2 flac -ac:a:2 1 "
            "-metadata:s:a:0 language=jpn -metadata:s:a:1 language=ger -metadata:s:a:1 title=Commentary "
            "-metadata:s:a:2 language=und" + dispositions + " " + ShellQuote(path.toStdString()));
        EXPECT_EQ(made.exitCode, 0) << made.output;
        auto source = std::make_unique<SourceFile>(manager_.get());
        EXPECT_TRUE(source->probe(path));
        return source;
    }

    QTemporaryDir dir_;
    Owned<IMediaManager> manager_;
};

TEST_F(TrackLabelsFile, AudioTracksAreNumberedAndNamedInStreamOrder) {
    const auto source = Source(2);
    ASSERT_EQ(source->mediaInfo()->GetStreamCount(), 4);
    EXPECT_EQ(audioTrackCount(*source), 3);
    EXPECT_EQ(audioStreamOfTrack(*source, 1), 1);
    EXPECT_EQ(audioStreamOfTrack(*source, 3), 3);
    EXPECT_EQ(audioStreamOfTrack(*source, 4), -1);
    EXPECT_EQ(audioStreamOfTrack(*source, 0), -1);
    EXPECT_EQ(audioTrackOfStream(*source, 0), 0) << "pictures are no audio track";
    EXPECT_EQ(audioTrackOfStream(*source, 2), 2);

    EXPECT_EQ(audioTrackLabel(*source, 1), QStringLiteral("1: Japanese — AC3 5.1"));
    EXPECT_EQ(audioTrackLabel(*source, 2), QStringLiteral("2: German, Commentary — AAC stereo"));
    EXPECT_EQ(audioTrackLabel(*source, 3), QStringLiteral("3: FLAC mono"));
    EXPECT_TRUE(audioTrackLabel(*source, 0).isEmpty());
    EXPECT_TRUE(audioTrackLabel(*source, 7).isEmpty());

    const TrackTags tags = trackTags(*source, 2);
    EXPECT_EQ(tags.language, "ger");
    EXPECT_EQ(tags.title, "Commentary");
    EXPECT_TRUE(tags.isDefault);
    EXPECT_FALSE(trackTags(*source, 1).isDefault);
}

TEST_F(TrackLabelsFile, TheDefaultTrackIsTheMarkedOneElseTheFirst) {
    EXPECT_EQ(defaultAudioStream(*Source(3)), 3);
    EXPECT_EQ(defaultAudioStream(*Source(2)), 2);
    EXPECT_EQ(defaultAudioStream(*Source(0)), 1);

    SourceFile silent(manager_.get());
    ASSERT_TRUE(silent.probe(QString::fromStdString(TestMedia("yuv422p10.mkv"))));
    EXPECT_EQ(defaultAudioStream(silent), -1);
    EXPECT_EQ(audioTrackCount(silent), 0);
}
