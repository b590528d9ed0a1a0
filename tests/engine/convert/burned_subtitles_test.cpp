// A text subtitle track of the source burned into the encoded picture: the cue shows exactly
// while it is due on the source's own time line, the track is found among several by its
// container index, awkward file names reach the filter intact, and a track that cannot be
// burned fails the task when it starts, leaving nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "media_suite_test.h"
#include "../tagged_media.h"
#include "process_helpers.h"
#include "stream_records.h"
#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

// Container streams of the source: the picture, a decoy track whose cue is due early, and the
// track to burn.
enum SourceStream { kVideo = 0, kDecoySrt = 1, kBurnedSrt = 2 };
constexpr int kNoBurning = -1;

// Pixels of a black picture brighter than this are drawn text.
constexpr unsigned char kBright = 160;
// A line of capitals covers far more of a 320x240 picture than this; encoder noise on black
// never reaches it.
constexpr int kTextPixels = 200;

class BurnedSubtitles : public MediaSuiteTest<BurnedSubtitles> {
public:
    static constexpr const char* kFolder = "burned-subtitles";

protected:
    // 4 s of black H.264 at 320x240 with two SubRip tracks: the decoy's cue from 0.2 to 0.8 s,
    // the burned one's from 1.0 to 2.0 s, both counted from the file's start, which lies
    // startSeconds into its time line.
    static std::string Source(const fs::path& path, int startSeconds = 0) {
        tagged::WriteText(media_ / "decoy.srt", "1\n00:00:00,200 --> 00:00:00,800\nDECOY TRACK SHOWN BY MISTAKE\n\n");
        tagged::WriteText(media_ / "burned.srt",
                          "1\n00:00:01,000 --> 00:00:02,000\nTHE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n\n");
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i color=c=black:s=320x240:r=25:d=4 -i " +
            ShellQuote((media_ / "decoy.srt").string()) + " -i " + ShellQuote((media_ / "burned.srt").string()) +
            " -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:s srt" +
            (startSeconds != 0 ? " -output_ts_offset " + std::to_string(startSeconds) : std::string()) + " " +
            ShellQuote(path.string()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return path.string();
    }

    // H.264 at the source's size into MP4, burning the container stream burnIndex unless it is
    // kNoBurning; the task's final state and its log.
    int32_t Convert(const std::string& source, const std::string& target, int32_t burnIndex, std::string* log) {
        Owned<IMediaTaskConfig> config(manager_->CreateTaskConfig());
        Owned<IMediaInfo> info(manager_->CreateMediaInfo());
        info->SetFormatName("mp4");
        const StreamRecord record = VideoRecord("libx264", 320, 240, 1, 25);
        info->AddStream(&record);
        if (burnIndex != kNoBurning) {
            const PropertyBlob blob{&burnIndex, sizeof burnIndex};
            info->GetStreamInfo(0)->SetProperty("burn_subtitles", &blob);
        }
        const StreamSelection selection{kVideo, 0};
        config->AddStreamSelection(&selection);
        config->SetTargetInfo(info.get());
        config->SetSourcePath(source.c_str());
        config->SetTargetPath(target.c_str());

        return RunAlone(config.get(), log);
    }

    // How many pixels of the picture shown at seconds are bright.
    int BrightPixelsAt(const std::string& video, double seconds) {
        const fs::path gray = out_ / "picture.gray";
        const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y -ss " + std::to_string(seconds) + " -i " +
                                           ShellQuote(video) + " -frames:v 1 -f rawvideo -pix_fmt gray " +
                                           ShellQuote(gray.string()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        const std::string pixels = tagged::ReadBytes(gray);
        EXPECT_EQ(pixels.size(), 320u * 240u);
        int bright = 0;
        for (char pixel : pixels)
            bright += static_cast<unsigned char>(pixel) > kBright ? 1 : 0;
        return bright;
    }

    // The cue is on the 1.5 s picture only, and there as text the plain conversion lacks.
    void ExpectCueOnlyWhileDue(const std::string& burned, const std::string& plain) {
        const int plainAtCue = BrightPixelsAt(plain, 1.5);
        EXPECT_LT(plainAtCue, kTextPixels / 10) << "the source is black";
        EXPECT_GT(BrightPixelsAt(burned, 1.5), plainAtCue + kTextPixels) << "the cue is drawn while due";
        EXPECT_LT(BrightPixelsAt(burned, 0.5), kTextPixels / 10) << "neither cue is drawn before it is due";
        EXPECT_LT(BrightPixelsAt(burned, 3.0), kTextPixels / 10) << "the cue is gone after its end";
    }

};

}  // namespace

TEST_F(BurnedSubtitles, TheChosenTrackShowsOnlyWhileItsCueIsDue) {
    const std::string source = Source(out_ / "source.mkv");
    std::string log;
    const std::string plain = (out_ / "plain.mp4").string();
    ASSERT_EQ(Convert(source, plain, kNoBurning, &log), TaskFinished) << log;
    const std::string burned = (out_ / "burned.mp4").string();
    ASSERT_EQ(Convert(source, burned, kBurnedSrt, &log), TaskFinished) << log;
    EXPECT_EQ(ProbeValue(burned, "v", "stream=codec_name,width,height"), "h264\n320\n240");
    EXPECT_EQ(ProbeValue(burned, "", "stream=index"), "0") << "the subtitles are in the picture, not a track";
    ExpectCueOnlyWhileDue(burned, plain);
}

// The engine's frames start at 0 while the file's time line starts 10 s in, where its cues are.
TEST_F(BurnedSubtitles, ASourceStartingLateShowsItsCueAtTheSameMoment) {
    const std::string source = Source(out_ / "late.mkv", 10);
    ASSERT_EQ(ProbeValue(source, "", "format=start_time"), "10.000000");
    std::string log;
    const std::string plain = (out_ / "plain.mp4").string();
    ASSERT_EQ(Convert(source, plain, kNoBurning, &log), TaskFinished) << log;
    const std::string burned = (out_ / "burned.mp4").string();
    ASSERT_EQ(Convert(source, burned, kBurnedSrt, &log), TaskFinished) << log;
    ExpectCueOnlyWhileDue(burned, plain);
}

TEST_F(BurnedSubtitles, FileNamesWithSpacesQuotesAndFilterSeparatorsWork) {
    const fs::path folder = out_ / "it's a folder";
    fs::create_directories(folder);
    const std::string source = Source(folder / "a: b, [c]; d\\e=f.mkv");
    std::string log;
    const std::string plain = (folder / "plain's.mp4").string();
    ASSERT_EQ(Convert(source, plain, kNoBurning, &log), TaskFinished) << log;
    const std::string burned = (folder / "burned's.mp4").string();
    ASSERT_EQ(Convert(source, burned, kBurnedSrt, &log), TaskFinished) << log;
    ExpectCueOnlyWhileDue(burned, plain);
}

TEST_F(BurnedSubtitles, AStreamThatCannotBeBurnedFailsTheTaskSayingWhyAndLeavesNothing) {
    const std::string source = Source(out_ / "source.mkv");
    const struct {
        int32_t index;
        const char* said;
    } cases[] = {{kVideo, "it is not a subtitle track"}, {7, "there is no such stream"}, {-2, "there is no such stream"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("stream " + std::to_string(c.index));
        const fs::path folder = out_ / ("stream " + std::to_string(c.index));
        fs::create_directories(folder);
        std::string log;
        EXPECT_EQ(Convert(source, (folder / "out.mp4").string(), c.index, &log), TaskFailed);
        EXPECT_NE(log.find("subtitle error: cannot burn stream " + std::to_string(c.index) + " of " + source + ": " +
                           c.said),
                  std::string::npos)
            << log;
        EXPECT_TRUE(fs::is_empty(folder)) << "a failed task leaves no file";
    }
}
