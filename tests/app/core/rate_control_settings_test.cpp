// The rate control, quality and speed are kept in the settings file with the other
// adjustments; a file written before they existed gives the profile's own. Which codecs have a
// quality scale, and which.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "app_settings.h"
#include "catalogue_fixture.h"
#include "profile_manager.h"
#include "rate_control.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString ListXml() {
    return R"(<ProfileList><Profile><Category id="1" title="Video"/></Profile><Format>
  <Item ID="1003" Categoryid="1" Linked="true"/>
</Format></ProfileList>
)";
}

QString FormatXml() {
    return R"(<Formats>
  <Profile ID="1003" FourCC="MKV " Format=".mkv" Icon="video">
    <Name>HEVC Video</Name>
    <VideoEnc defVideoFourCC="HEVC" defResolution="1280*720" RateControl="quality" defQuality="28" defSpeed="slow">
      <Video VideoFourCC="HEVC" Resolution="1280*720" defVideoBitrate="2500" defFrameRate="25">
        <VideoBitrate>2000;2500</VideoBitrate><FrameRate>25</FrameRate>
      </Video>
    </VideoEnc>
    <AudioEnc defAudioFourCC="AAC " defChannel="2">
      <Audio AudioFourCC="AAC " Channel="2" defSampleRate="48000" defAudioBitrate="128">
        <AudioBitrate>128</AudioBitrate><SampleRate>48000</SampleRate>
      </Audio>
    </AudioEnc>
  </Profile>
</Formats>
)";
}

class RateControlSettings : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(qEnvironmentVariable("appdata")).removeRecursively();
        catalogue_ = scratch_.path() + "/shipped";
        ASSERT_TRUE(WriteCatalogue(catalogue_, HeaderXml(1), ListXml(), FormatXml()));
    }

    QTemporaryDir scratch_;
    QString catalogue_;
};

}  // namespace

TEST_F(RateControlSettings, ChoicesSurviveARestartThroughTheFile) {
    QString file;
    {
        AppSettings settings;
        file = settings.settingsFile();
        ProfileManager profiles(&settings);
        ASSERT_TRUE(profiles.load(catalogue_));
        OutputSetting changed = *profiles.outputSetting();
        changed.rateControl = "bitrate";
        changed.quality = 31;
        changed.speed = "slowest";
        profiles.setOutputSetting(changed);
    }
    const QByteArray text = ReadAll(file);
    EXPECT_TRUE(text.contains("RateControl=bitrate")) << text.toStdString();
    EXPECT_TRUE(text.contains("Quality=31")) << text.toStdString();
    EXPECT_TRUE(text.contains("Speed=slowest")) << text.toStdString();

    AppSettings settings;
    ProfileManager profiles(&settings);
    ASSERT_TRUE(profiles.load(catalogue_));
    const OutputSetting* loaded = profiles.outputSetting();
    EXPECT_EQ(loaded->rateControl, "bitrate");
    EXPECT_EQ(loaded->quality, 31);
    EXPECT_EQ(loaded->speed, "slowest");

    // An empty speed (the encoder's own) is a choice too, not a missing key.
    OutputSetting encoderDefault = *loaded;
    encoderDefault.speed = "";
    profiles.setOutputSetting(encoderDefault);
    AppSettings again;
    ProfileManager reloaded(&again);
    ASSERT_TRUE(reloaded.load(catalogue_));
    EXPECT_EQ(reloaded.outputSetting()->speed, "");
}

TEST_F(RateControlSettings, AnOlderFileGetsTheProfilesOwnChoices) {
    {
        // As an older version wrote it: adjustments, but none of the three keys.
        AppSettings settings;
        settings.qsettings()->setValue("OutputSet/profile_id", 1003);
        settings.qsettings()->setValue("OutputSet/VideoFourCC", "HEVC");
        settings.qsettings()->setValue("OutputSet/VideoBitrate", "2000");
        settings.qsettings()->sync();
    }
    {
        AppSettings settings;
        ProfileManager profiles(&settings);
        ASSERT_TRUE(profiles.load(catalogue_));
        const OutputSetting* loaded = profiles.outputSetting();
        EXPECT_EQ(loaded->videoBitrate, "2000");
        EXPECT_EQ(loaded->rateControl, "quality");
        EXPECT_EQ(loaded->quality, 28);
        EXPECT_EQ(loaded->speed, "slow");
    }
    // A quality that is no number is not read as 0, the lossless end.
    {
        AppSettings settings;
        settings.qsettings()->setValue("OutputSet/Quality", "best");
        settings.qsettings()->sync();
    }
    AppSettings settings;
    ProfileManager profiles(&settings);
    ASSERT_TRUE(profiles.load(catalogue_));
    EXPECT_EQ(profiles.outputSetting()->quality, 28);
}

TEST(QualityScale, EncodersWithACrfScaleAndThoseWithout) {
    const struct {
        const char* code;
        int lowest;
        int highest;
    } scaled[] = {{"H264", 0, 51}, {"AVCH", 0, 51}, {"PS3H", 0, 51}, {"HEVC", 0, 51}, {"HV10", 0, 51},
                  {"VP9 ", 0, 63}, {"AV1 ", 1, 63}, {"HWH4", 0, 51}, {"HWH5", 0, 51}};
    for (const auto& row : scaled) {
        SCOPED_TRACE(row.code);
        const std::optional<QualityScale> scale = qualityScaleOf(row.code);
        ASSERT_TRUE(scale.has_value());
        EXPECT_EQ(scale->lowest, row.lowest);
        EXPECT_EQ(scale->highest, row.highest);
        EXPECT_TRUE(scale->contains(scale->usual));
        EXPECT_EQ(scale->clamp(-5), row.lowest);
        EXPECT_EQ(scale->clamp(99), row.highest);
    }
    for (const char* code : {"mp2v", "HMP2", "MP4V", "Xvid", "WMV2", "APCN", "VP8 ", "AAC ", "nope"})
        EXPECT_FALSE(qualityScaleOf(code).has_value()) << code;
    EXPECT_EQ(speedNames(), QStringList({"fastest", "fast", "balanced", "slow", "slowest"}));
}
