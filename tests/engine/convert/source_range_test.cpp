// A task limited to part of its source ("source_range" on the first target stream), as the
// size trials of constant-quality profiles encode: the output holds that part only, starts
// at 0, and the task ends as a finished one.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "converter_test_support.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;
using namespace converter_test;

namespace {

class SourceRangeTest : public EngineFolderTest {
protected:
    SourceRangeTest() : EngineFolderTest("corvane-source-range") {}

    void SetUp() override {
        EngineFolderTest::SetUp();
        // 6 s: red, then green, then blue for 2 s each, with a tone; key frames every second.
        source_ = dir_ / "thirds.mkv";
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -filter_complex "
            "\"color=c=red:s=320x180:r=25:d=2[r];color=c=0x00ff00:s=320x180:r=25:d=2[g];"
            "color=c=blue:s=320x180:r=25:d=2[b];[r][g][b]concat=n=3:v=1:a=0[v]\" "
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=6 -map \"[v]\" -map 0:a "
            "-c:v libx264 -preset ultrafast -g 25 -c:a aac -ac 2 " + ShellQuote(source_.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }

    // Converts [startMs, startMs + lengthMs) of the source; the task's final state.
    int32_t Convert(const fs::path& target, int64_t startMs, int64_t lengthMs) {
        Owned<IMediaTaskConfig> config =
            MakeConfig(*manager_, source_.string(), target.string(), {320, 180, "matroska"});
        int64_t range[2] = {startMs, lengthMs};
        PropertyBlob blob{range, sizeof range};
        EXPECT_TRUE(config->GetTargetInfo()->GetStreamInfo(0)->SetProperty("source_range", &blob));
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        converter->AddTask(config.get());
        converter->Start();
        WaitUntilDone(converter.get());
        return StateOf(converter.get(), 0);
    }

    // Each decoded picture's mean colour, as "r g b" bytes in a row.
    static std::string MeanColours(const fs::path& path) {
        const CommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path.string()) +
                                           " -vf scale=1:1,format=rgb24 -f rawvideo -");
        EXPECT_EQ(r.exitCode, 0);
        return r.output;
    }

    static double Seconds(const std::string& text) { return text.empty() ? -1.0 : std::stod(text); }

    fs::path source_;
};

}  // namespace

TEST_F(SourceRangeTest, TheMiddleOfTheFileBecomesAnOutputOfItsOwnStartingAtZero) {
    const fs::path target = dir_ / "middle.mkv";
    ASSERT_EQ(Convert(target, 2000, 2000), TaskFinished);
    ASSERT_TRUE(fs::exists(target));
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target.string(), &errors)) << errors;

    const double duration = Seconds(ProbeValue(target.string(), "", "format=duration"));
    EXPECT_NEAR(duration, 2.0, 0.15);
    EXPECT_LT(Seconds(ProbeValue(target.string(), "v:0", "stream=start_time")), 0.1);
    EXPECT_LT(Seconds(ProbeValue(target.string(), "a:0", "stream=start_time")), 0.1);

    // Every picture is from the green third: neither the red before it nor the blue after.
    const std::string colours = MeanColours(target);
    ASSERT_EQ(colours.size() % 3, 0u);
    const size_t pictures = colours.size() / 3;
    EXPECT_GE(pictures, 48u);
    EXPECT_LE(pictures, 52u);
    for (size_t i = 0; i < pictures; ++i) {
        const auto r = static_cast<unsigned char>(colours[3 * i]);
        const auto g = static_cast<unsigned char>(colours[3 * i + 1]);
        const auto b = static_cast<unsigned char>(colours[3 * i + 2]);
        EXPECT_TRUE(g > 150 && r < 80 && b < 80) << "picture " << i << ": " << int(r) << " " << int(g)
                                                 << " " << int(b);
    }
}

TEST_F(SourceRangeTest, ARangeRunningPastTheEndStopsWithTheFileAndStillFinishes) {
    const fs::path target = dir_ / "tail.mkv";
    ASSERT_EQ(Convert(target, 5000, 2000), TaskFinished);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target.string(), &errors)) << errors;
    EXPECT_NEAR(Seconds(ProbeValue(target.string(), "", "format=duration")), 1.0, 0.15);
    const std::string colours = MeanColours(target);
    ASSERT_GE(colours.size(), 3u);
    EXPECT_GT(static_cast<unsigned char>(colours[2]), 150);  // blue, the last third
}
