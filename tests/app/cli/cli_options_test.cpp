// corvane-cli's rate options: what the parser takes and refuses, and how they go over the
// profile's own choices for the codec it encodes to.
#include <gtest/gtest.h>

#include "cli_options.h"
#include "output_setting.h"

namespace {

CliParseResult Parse(const QStringList& options) {
    return parseCliOptions(QStringList{"corvane-cli"} + options + QStringList{"a.mkv"});
}

OutputSetting Setting(const QString& videoCodec, const QString& rateControl = "bitrate", int quality = 0) {
    OutputSetting setting;
    setting.videoCodec = videoCodec;
    setting.rateControl = rateControl;
    setting.quality = quality;
    setting.speed = "balanced";
    return setting;
}

}  // namespace

TEST(CliRateOptions, ParsesAndRefusesWithTheOptionsName) {
    const CliParseResult plain = Parse({});
    ASSERT_TRUE(plain.options);
    EXPECT_FALSE(plain.options->quality);
    EXPECT_TRUE(plain.options->rateControl.isEmpty() && plain.options->speed.isEmpty());

    const CliParseResult all = Parse({"--quality", "0", "--rate-control", "quality", "--speed", "slowest"});
    ASSERT_TRUE(all.options) << all.message.toStdString();
    EXPECT_EQ(all.options->quality, 0);
    EXPECT_EQ(all.options->rateControl, "quality");
    EXPECT_EQ(all.options->speed, "slowest");

    const struct {
        QStringList arguments;
        const char* said;
    } bad[] = {{{"--quality", "-1"}, "--quality needs a number"},
               {{"--quality", "23.5"}, "--quality needs a number"},
               {{"--quality", ""}, "--quality needs a number"},
               {{"--speed", "Fast"}, "--speed needs fastest, fast, balanced, slow, slowest"},
               {{"--rate-control", "crf"}, "--rate-control needs quality or bitrate"},
               {{"--quality", "20", "--rate-control", "bitrate"}, "cannot go with --rate-control bitrate"}};
    for (const auto& [arguments, said] : bad) {
        const CliParseResult result = Parse(arguments);
        EXPECT_FALSE(result.options) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.message.contains(said)) << result.message.toStdString();
    }
}

TEST(CliRateOptions, GoOverTheProfilesChoicesWithinTheCodecsScale) {
    const auto apply = [](const QStringList& arguments, OutputSetting& setting) {
        const CliParseResult parsed = Parse(arguments);
        EXPECT_TRUE(parsed.options) << parsed.message.toStdString();
        return parsed.options ? applyRateOptions(*parsed.options, setting) : QString("unparsed");
    };

    // Nothing asked: nothing changes, whatever the codec.
    OutputSetting untouched = Setting("MP4V", "quality", 40);
    EXPECT_EQ(apply({}, untouched), "");
    EXPECT_EQ(untouched, Setting("MP4V", "quality", 40));

    OutputSetting h264 = Setting("H264");
    EXPECT_EQ(apply({"--quality", "51", "--speed", "slow"}, h264), "");
    EXPECT_EQ(h264.rateControl, "quality");
    EXPECT_EQ(h264.quality, 51);
    EXPECT_EQ(h264.speed, "slow");
    OutputSetting tooHigh = Setting("H264");
    EXPECT_EQ(apply({"--quality", "52"}, tooHigh), "--quality 52: H264 takes 0 to 51");
    EXPECT_EQ(tooHigh, Setting("H264")) << "a refused value changes nothing";
    OutputSetting vp9 = Setting("VP9 ");
    EXPECT_EQ(apply({"--quality", "60"}, vp9), "");
    EXPECT_EQ(vp9.quality, 60);

    // --rate-control quality alone: the encoder's usual value when the profile never chose one,
    // else the profile's, kept within the scale.
    OutputSetting never = Setting("HEVC");
    EXPECT_EQ(apply({"--rate-control", "quality"}, never), "");
    EXPECT_EQ(never.rateControl, "quality");
    EXPECT_EQ(never.quality, 28);
    OutputSetting chosen = Setting("H264", "quality", 60);
    EXPECT_EQ(apply({"--rate-control", "quality"}, chosen), "");
    EXPECT_EQ(chosen.quality, 51);
    OutputSetting toBitrate = Setting("H264", "quality", 20);
    EXPECT_EQ(apply({"--rate-control", "bitrate"}, toBitrate), "");
    EXPECT_EQ(toBitrate.rateControl, "bitrate");
    EXPECT_EQ(toBitrate.quality, 20);

    // A codec that takes a bit rate only, and a profile without video.
    OutputSetting xvid = Setting("Xvid");
    EXPECT_EQ(apply({"--rate-control", "bitrate"}, xvid), "");
    for (const QStringList& arguments :
         {QStringList{"--quality", "20"}, QStringList{"--rate-control", "quality"}, QStringList{"--speed", "fast"}}) {
        OutputSetting refused = Setting("Xvid");
        const QString said = apply(arguments, refused);
        EXPECT_TRUE(said.startsWith(arguments[0] + ": ") && said.contains("Xvid encodes to a bit rate only"))
            << said.toStdString();
        EXPECT_EQ(refused, Setting("Xvid"));
    }
    OutputSetting silent = Setting("");
    EXPECT_EQ(apply({"--speed", "fast"}, silent), "--speed: the profile has no video");
}
