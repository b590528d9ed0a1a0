#include "output_setting.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <utility>

#include "app_settings.h"
#include "catalogue_fixture.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "profile_manager.h"
#include "source_file.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

TEST(LeadingNumber, TakesTheFirstRunOfDigitsDotsAndBars) {
    EXPECT_EQ(leadingNumber("1500 kbps"), "1500");
    EXPECT_EQ(leadingNumber("about 29.97fps"), "29.97");
    EXPECT_EQ(leadingNumber("1|2 x"), "1|2");
    EXPECT_TRUE(leadingNumber("none").isNull());
}

namespace {

class OutputSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        settings_ = std::make_unique<AppSettings>();
        ASSERT_TRUE(WriteCatalogue(scratch_.path(), HeaderXml(1), SampleListXml(), SampleFormatXml()));
        manager_.reset(CreateMediaManager());
    }

    std::unique_ptr<ProfileManager> Load() {
        auto profiles = std::make_unique<ProfileManager>(settings_.get());
        EXPECT_TRUE(profiles->load(scratch_.path()));
        return profiles;
    }

    std::unique_ptr<SourceFile> Probe(const std::string& name) {
        auto source = std::make_unique<SourceFile>(manager_.get());
        EXPECT_TRUE(source->probe(QString::fromStdString(TestMedia(name))));
        return source;
    }

    // Fills a fresh configuration for source; returns the target description.
    Owned<IMediaInfo> Fill(const OutputSetting& setting, const SourceFile& source,
                           Owned<IMediaTaskConfig>& config, QString* extension = nullptr) {
        config.reset(manager_->CreateTaskConfig());
        Owned<IMediaInfo> target(manager_->CreateMediaInfo());
        const QString ext = fillTaskConfiguration(config.get(), target.get(), setting, source);
        if (extension)
            *extension = ext;
        return target;
    }

    QTemporaryDir scratch_;
    std::unique_ptr<AppSettings> settings_;
    Owned<IMediaManager> manager_;
};

}  // namespace

TEST_F(OutputSettingTest, WithoutStoredValuesTheDefaultProfileApplies) {
    auto profiles = Load();
    const OutputSetting& s = *profiles->outputSetting();
    EXPECT_EQ(s.profileId, 1003);
    EXPECT_EQ(s.name, "MP4 Video");
    EXPECT_EQ(s.extension, ".mp4");
    EXPECT_EQ(s.containerCode, "MP4 ");
    EXPECT_EQ(s.videoCodec, "H264");
    EXPECT_EQ(s.videoResolution, "640*360") << "the option matching both defaults, not the first";
    EXPECT_EQ(s.videoBitrate, "1500");
    EXPECT_EQ(s.videoFrameRate, "25");
    EXPECT_EQ(s.audioCodec, "AAC ");
    EXPECT_EQ(s.audioBitrate, "128");
    EXPECT_EQ(s.audioSampleRate, "44100");
    EXPECT_EQ(s.audioChannels, "2");
}

TEST_F(OutputSettingTest, StoredValuesWinAndAreSavedBack) {
    settings_->qsettings()->setValue("OutputSet/VideoBitrate", "2000");
    {
        auto profiles = Load();
        EXPECT_EQ(profiles->outputSetting()->videoBitrate, "2000");
        EXPECT_EQ(profiles->outputSetting()->videoFrameRate, "25");
        profiles->outputSetting()->audioChannels = "1";
    }  // saved on destruction
    EXPECT_EQ(settings_->qsettings()->value("OutputSet/AudioChannels").toString(), "1");
    EXPECT_EQ(settings_->qsettings()->value("OutputSet/profile_id").toInt(), 1003);
    EXPECT_EQ(settings_->qsettings()->value("OutputSet/Name").toString(), "MP4 Video");
}

TEST_F(OutputSettingTest, UnknownStoredProfileFallsBackToTheFirstEntry) {
    settings_->qsettings()->setValue("OutputSet/profile_id", 9999);
    settings_->qsettings()->setValue("OutputSet/VideoFourCC", "VP8 ");
    auto profiles = Load();
    EXPECT_EQ(profiles->outputSetting()->profileId, 1003);
    EXPECT_EQ(profiles->outputSetting()->videoCodec, "H264") << "adjustments of a lost profile are dropped";
}

TEST_F(OutputSettingTest, SelectingTheCurrentProfileKeepsAdjustments) {
    auto profiles = Load();
    profiles->outputSetting()->videoBitrate = "999";
    profiles->selectProfile(1003);
    EXPECT_EQ(profiles->outputSetting()->videoBitrate, "999");
    profiles->selectProfile(2001);
    EXPECT_EQ(profiles->outputSetting()->extension, ".mp3");
    EXPECT_TRUE(profiles->outputSetting()->videoCodec.isEmpty());
    EXPECT_EQ(profiles->outputSetting()->audioBitrate, "192");
    profiles->selectProfile(1003);
    EXPECT_EQ(profiles->outputSetting()->videoBitrate, "1500") << "defaults are restored";
    profiles->selectProfile(4242);
    EXPECT_EQ(profiles->outputSetting()->profileId, 1003) << "an unknown id changes nothing";
}

TEST_F(OutputSettingTest, FillsVideoThenAudioFromTheSetting) {
    auto profiles = Load();
    OutputSetting setting = *profiles->outputSetting();
    setting.videoFrameRate = "23.976";
    auto source = Probe("two_audio_subs.mkv");
    PlanChoices secondTrack;
    secondTrack.audio = {2};
    source->setPlanChoices(secondTrack);
    Owned<IMediaTaskConfig> config;
    QString extension;
    Owned<IMediaInfo> target = Fill(setting, *source, config, &extension);

    EXPECT_EQ(extension, ".mp4");
    EXPECT_STREQ(target->GetFormatName(), "mp4");
    // The picture, the chosen sound track, and the subtitles converted to MP4 text.
    ASSERT_EQ(config->GetStreamSelectionCount(), 3);
    EXPECT_EQ(config->GetStreamSelection(0)->streamIndex, source->videoStream());
    EXPECT_EQ(config->GetStreamSelection(1)->streamIndex, 2);
    EXPECT_EQ(config->GetStreamSelection(1)->passThrough, 0);
    EXPECT_EQ(config->GetStreamSelection(2)->streamIndex, 3);
    EXPECT_EQ(config->GetStreamSelection(2)->passThrough, 1) << "converted subtitles arrive as packets";
    ASSERT_EQ(target->GetStreamCount(), 3);
    const StreamRecord* subtitles = target->GetStreamRecord(2);
    EXPECT_EQ(subtitles->kind, StreamKindSubtitle);
    EXPECT_EQ(subtitles->encode, 1);
    EXPECT_STREQ(subtitles->codecName, "mov_text");
    EXPECT_NE(target->GetStreamInfo(2)->GetProperty("codec_parameters"), nullptr);
    const StreamRecord* video = target->GetStreamRecord(0);
    EXPECT_EQ(video->kind, StreamKindVideo);
    EXPECT_EQ(video->encode, 1);
    EXPECT_STREQ(video->codecName, "h264");
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 360);
    EXPECT_EQ(video->bitRate, 1500000);
    EXPECT_EQ(video->frameTimeNum, 1001);
    EXPECT_EQ(video->frameTimeDen, 24000);
    EXPECT_EQ(video->profile, 66);
    EXPECT_EQ(video->level, 30) << "640x360 at 23.976 fps fits level 3.0";
    EXPECT_DOUBLE_EQ(video->displayAspect, source->videoRecord()->displayAspect);
    const StreamRecord* audio = target->GetStreamRecord(1);
    EXPECT_EQ(audio->kind, StreamKindAudio);
    EXPECT_STREQ(audio->codecName, "aac");
    EXPECT_EQ(audio->sampleRate, 44100);
    EXPECT_EQ(audio->channels, 2);
    EXPECT_EQ(audio->bitRate, 128000);
    EXPECT_EQ(audio->channelLayout, 0);
    EXPECT_EQ(audio->profile, 0);
}

TEST_F(OutputSettingTest, KeepOriginalAndSizesWithoutAStarCopyTheSource) {
    auto profiles = Load();
    profiles->selectProfile(1004);
    OutputSetting setting = *profiles->outputSetting();
    EXPECT_EQ(setting.videoFrameRate, "Keep Original");
    auto source = Probe("h264_aac.mkv");
    Owned<IMediaTaskConfig> config;
    Owned<IMediaInfo> target = Fill(setting, *source, config);
    const StreamRecord* video = target->GetStreamRecord(0);
    const StreamRecord* original = source->videoRecord();
    EXPECT_EQ(video->frameTimeNum, original->frameTimeNum);
    EXPECT_EQ(video->frameTimeDen, original->frameTimeDen);
    EXPECT_EQ(video->width, original->width);
    EXPECT_STREQ(video->codecName, "mpeg4");
    EXPECT_EQ(video->profile, 0) << "H.264's profile and level are not forced on MPEG-4";
    EXPECT_EQ(video->level, 0);

    setting.videoResolution = "720";
    target = Fill(setting, *source, config);
    EXPECT_EQ(target->GetStreamRecord(0)->width, original->width);
    EXPECT_EQ(target->GetStreamRecord(0)->height, original->height);
}

TEST_F(OutputSettingTest, MissingVideoOrEmptyCodecsLeaveStreamsOut) {
    auto profiles = Load();
    OutputSetting setting = *profiles->outputSetting();
    auto audioOnly = Probe("audio_only.mka");
    Owned<IMediaTaskConfig> config;
    Owned<IMediaInfo> target = Fill(setting, *audioOnly, config);
    ASSERT_EQ(target->GetStreamCount(), 1);
    EXPECT_EQ(target->GetStreamRecord(0)->kind, StreamKindAudio);
    EXPECT_EQ(config->GetStreamSelectionCount(), 1);

    auto movie = Probe("h264_aac.mkv");
    setting.videoCodec.clear();
    target = Fill(setting, *movie, config);
    ASSERT_EQ(target->GetStreamCount(), 1);
    EXPECT_EQ(target->GetStreamRecord(0)->kind, StreamKindAudio);

    setting.audioCodec.clear();
    target = Fill(setting, *movie, config);
    EXPECT_EQ(target->GetStreamCount(), 0);
    EXPECT_EQ(config->GetStreamSelectionCount(), 0);
}

TEST_F(OutputSettingTest, ASourceWithoutAStoredPixelShapeKeepsItsPictureShape) {
    // VP9 and FFV1 in Matroska carry no pixel aspect: players show them with square pixels.
    QTemporaryDir media;
    auto profiles = Load();
    for (const char* codec : {"libvpx-vp9 -deadline realtime -cpu-used 8", "ffv1"}) {
        SCOPED_TRACE(codec);
        const std::string path = media.filePath("square.mkv").toStdString();
        const CommandResult made =
            RunCommand(std::string("ffmpeg -nostdin -v error -y -f lavfi -i "
                                   "testsrc2=size=640x480:rate=25:duration=1 -c:v ") +
                       codec + " " + ShellQuote(path));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        SourceFile source(manager_.get());
        ASSERT_TRUE(source.probe(QString::fromStdString(path)));
        ASSERT_EQ(source.videoRecord()->displayAspect, 0.0) << "the probe reports no shape";

        for (const auto& [resolution, format] : {std::pair{"1280*720", "mp4"}, {"720*576", "dvd"}}) {
            OutputSetting setting = *profiles->outputSetting();
            setting.videoResolution = resolution;
            setting.videoCodec = std::string(format) == "dvd" ? "mp2v" : "H264";
            setting.extension = std::string(format) == "dvd" ? ".vob" : ".mp4";
            setting.audioCodec.clear();
            Owned<IMediaTaskConfig> config;
            Owned<IMediaInfo> target = Fill(setting, source, config);
            EXPECT_NEAR(target->GetStreamRecord(0)->displayAspect, 4.0 / 3.0, 1e-9);

            // And the engine writes what it was told: a 4:3 picture in a 16:9 or 5:4 frame.
            const std::string out = media.filePath(QString("out.") + format).toStdString();
            config->SetTargetInfo(target.get());
            config->SetSourcePath(path.c_str());
            config->SetTargetPath(out.c_str());
            Owned<IMediaConverter> converter(manager_->CreateConverter());
            converter->AddTask(config.get());
            converter->Start();
            for (int i = 0; i < 6000 && converter->GetUnfinishedTaskCount() > 0; ++i)
                QThread::msleep(10);
            ASSERT_EQ(converter->GetTask(0)->state.load(), TaskFinished);
            const std::string dar = ProbeValue(out, "v:0", "stream=display_aspect_ratio");
            const size_t colon = dar.find(':');
            ASSERT_NE(colon, std::string::npos) << dar;
            const double shown = std::atof(dar.c_str()) / std::atof(dar.c_str() + colon + 1);
            EXPECT_NEAR(shown, 4.0 / 3.0, 4.0 / 3.0 * 0.01) << format << ": " << dar;
            converter.reset();
            std::remove(out.c_str());
        }
    }
}
