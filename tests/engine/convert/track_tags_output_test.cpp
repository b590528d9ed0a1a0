// What a file carries beside its pictures and sound reaches the output of a task: track
// languages, titles and flags on copied and encoded streams, chapters, the title, and attached
// files, as a client that copies the probed properties onto its targets asks for them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media_suite_test.h"
#include "../tagged_media.h"
#include "copied_streams_support.h"
#include "stream_records.h"

using namespace MediaBased;
using namespace copied;
namespace fs = std::filesystem;

namespace {

std::string Probe(const std::string& path, const std::string& arguments) {
    const CommandResult r = RunCommand("ffprobe -v error " + arguments + " " + ShellQuote(path));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

constexpr char kStreamTags[] =
    "-show_entries stream=index,codec_name,codec_type:stream_tags=language,title,filename,mimetype"
    ":stream_disposition=default,forced -of compact";

class TrackTagsOutput : public MediaSuiteTest<TrackTagsOutput> {
public:
    static constexpr const char* kFolder = "track-tags";

protected:
    void SetUp() override {
        MediaSuiteTest::SetUp();
        source_ = tagged::TaggedSource(media_);
    }

    // Runs the task alone; its final state and what it reported.
    int32_t Run(IMediaTaskConfig* config, std::string* log = nullptr) { return RunAlone(config, log); }

    std::string source_;
};

// start_time,end_time,title of each chapter.
std::vector<std::string> Chapters(const std::string& path) {
    return copied::Lines(Probe(path, "-show_chapters -show_entries chapter=start_time,end_time"
                                     ":chapter_tags=title -of csv=p=0"));
}

void ExpectSameChapters(const std::string& target, const std::string& source, double tolerance) {
    const std::vector<std::string> expected = Chapters(source);
    const std::vector<std::string> written = Chapters(target);
    ASSERT_EQ(expected.size(), 2u);
    ASSERT_EQ(written.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i] + " against " + written[i]);
        const size_t endComma = expected[i].find(',', expected[i].find(',') + 1);
        const size_t writtenEndComma = written[i].find(',', written[i].find(',') + 1);
        EXPECT_NEAR(std::atof(written[i].c_str()), std::atof(expected[i].c_str()), tolerance);
        EXPECT_NEAR(std::atof(written[i].c_str() + written[i].find(',') + 1),
                    std::atof(expected[i].c_str() + expected[i].find(',') + 1), tolerance);
        EXPECT_EQ(written[i].substr(writtenEndComma), expected[i].substr(endComma));
    }
}

}  // namespace

TEST_F(TrackTagsOutput, EverythingCopiedIntoMatroskaKeepsTagsChaptersTitleAndTheFont) {
    const std::string target = Out("copied.mkv");
    std::vector<Target> targets;
    // The importer cannot tell subtitles from data; the client names them.
    for (int stream = tagged::kVideo; stream <= tagged::kFont; ++stream)
        targets.push_back(stream == tagged::kEnglishSrt || stream == tagged::kJapaneseAss ? CopySubtitle(stream)
                                                                                           : Copy(stream));
    Owned<IMediaTaskConfig> config = MakeTask(*manager_, source_, target, "matroska", targets);
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished) << log;
    // Nothing waits for frames from the attached file, and nothing says the source ended early.
    EXPECT_EQ(log.find("ended early"), std::string::npos) << log;

    EXPECT_EQ(Probe(target, kStreamTags), Probe(source_, kStreamTags));
    EXPECT_EQ(Probe(target, "-show_chapters -of compact"), Probe(source_, "-show_chapters -of compact"));
    EXPECT_EQ(ProbeValue(target, "", "format_tags=title"), tagged::kTitle);
    for (const char* stream : {"v", "a:0", "a:1", "s:0", "s:1"}) {
        const std::vector<std::string> expected = copied::PacketHashes(source_, stream);
        ASSERT_FALSE(expected.empty()) << stream;
        EXPECT_EQ(copied::PacketHashes(target, stream), expected) << stream;
    }

    const fs::path dumped = out_ / "dumped";
    fs::create_directories(dumped);
    // ffmpeg dumps the attachments, then complains that it was given no output.
    RunCommand("cd " + ShellQuote(dumped.string()) + " && ffmpeg -nostdin -v error -dump_attachment:t '' -i " +
               ShellQuote(target));
    const fs::path font = dumped / fs::path(tagged::FontPath()).filename();
    ASSERT_TRUE(fs::exists(font));
    EXPECT_EQ(tagged::ReadBytes(font), tagged::ReadBytes(tagged::FontPath()));
}

TEST_F(TrackTagsOutput, CopiedIntoMp4KeepsLanguagesDefaultFlagsChaptersAndTitle) {
    const std::string target = Out("copied.mp4");
    Owned<IMediaTaskConfig> config = MakeTask(
        *manager_, source_, target, "mp4", {Copy(tagged::kVideo), Copy(tagged::kEnglishAac), Copy(tagged::kJapaneseAc3)});
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished) << log;
    struct Expected {
        const char* stream;
        const char* language;
        const char* isDefault;
    } expected[] = {{"v:0", "und", "1"}, {"a:0", "eng", "1"}, {"a:1", "jpn", "0"}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.stream);
        EXPECT_EQ(ProbeValue(target, e.stream, "stream_tags=language"), e.language);
        EXPECT_EQ(ProbeValue(target, e.stream, "stream_disposition=default"), e.isDefault);
    }
    ExpectSameChapters(target, source_, 0.002);
    EXPECT_EQ(ProbeValue(target, "", "format_tags=title"), tagged::kTitle);
}

TEST_F(TrackTagsOutput, AnAttachedFileMp4CannotStoreFailsTheTaskSayingSo) {
    const std::string target = Out("font.mp4");
    Owned<IMediaTaskConfig> config =
        MakeTask(*manager_, source_, target, "mp4", {Copy(tagged::kEnglishAac), Copy(tagged::kFont)});
    ASSERT_NE(config, nullptr);
    std::string log;
    EXPECT_EQ(Run(config.get(), &log), TaskFailed);
    EXPECT_NE(log.find("mp4 cannot store attached files (" + fs::path(tagged::FontPath()).filename().string() + ")"),
              std::string::npos)
        << log;
    EXPECT_TRUE(fs::is_empty(out_)) << "a failed task leaves no file";
}

TEST_F(TrackTagsOutput, EncodedSoundKeepsTheTagsItIsGivenAndOnlyThose) {
    const std::string target = Out("encoded.mkv");
    Owned<IMediaTaskConfig> config = MakeTask(
        *manager_, source_, target, "matroska",
        {Copy(tagged::kVideo), Encode(tagged::kJapaneseAc3, AudioRecord("aac", 48000, 2, 128000), true),
         Encode(tagged::kEnglishAac, AudioRecord("mp2", 48000, 2, 128000), false)});
    ASSERT_NE(config, nullptr);
    // The client may set a flag the source did not have.
    uint8_t forced = 1;
    const PropertyBlob flag{&forced, 1};
    config->GetTargetInfo()->GetStreamInfo(1)->SetProperty("forced", &flag);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished) << log;

    EXPECT_EQ(ProbeValue(target, "a:0", "stream=codec_name"), "aac");
    EXPECT_EQ(ProbeValue(target, "a:0", "stream_tags=language"), "jpn");
    EXPECT_EQ(ProbeValue(target, "a:0", "stream_tags=title"), "Japanese");
    EXPECT_EQ(ProbeValue(target, "a:0", "stream_disposition=default"), "0");
    EXPECT_EQ(ProbeValue(target, "a:0", "stream_disposition=forced"), "1");
    // Without properties a stream is written as it always was: untagged, no flags.
    EXPECT_EQ(ProbeValue(target, "a:1", "stream=codec_name"), "mp2");
    EXPECT_EQ(ProbeValue(target, "a:1", "stream_tags=language:stream_tags=title"), "");
    EXPECT_EQ(ProbeValue(target, "a:1", "stream_disposition=default"), "0");
    EXPECT_EQ(ProbeValue(target, "a:1", "stream_disposition=forced"), "0");
    EXPECT_EQ(ProbeValue(target, "v:0", "stream_disposition=default"), "1");
}
