// Sources that look fine and are not: a file with headers and no frame, and files cut short.
// The first must fail its task; a cut file still makes a valid output, with a line in the log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "converter_test_support.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;
using namespace converter_test;

namespace {

// The first bytes of source, as a download or a copy that broke off would leave them.
void CopyHead(const fs::path& source, const fs::path& target, uintmax_t bytes) {
    std::ifstream in(source, std::ios::binary);
    std::string data(bytes, '\0');
    in.read(data.data(), static_cast<std::streamsize>(bytes));
    std::ofstream(target, std::ios::binary).write(data.data(), in.gcount());
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

class ConverterSourceTest : public converter_test::EngineFolderTest {
protected:
    ConverterSourceTest() : EngineFolderTest("corvane-converter-source") {}

    void SetUp() override {
        EngineFolderTest::SetUp();
        fs::create_directories(dir_ / "out");
        out_ = dir_ / "out";
        // 5 s of H.264 + AAC; the AAC priming makes the container say 5.02 s.
        full_ = dir_ / "full.mkv";
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=5 "
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=5 -c:v libx264 "
            "-preset ultrafast -c:a aac -ac 2 " + ShellQuote(full_.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }

    // Runs one task per (source, target) pair and waits for all of them.
    Owned<IMediaConverter> RunTasks(const std::vector<std::pair<fs::path, fs::path>>& tasks,
                                    const char* container = "matroska") {
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        converter->SetMaxParallelTasks(1);
        for (const auto& [source, target] : tasks)
            converter->AddTask(MakeConfig(*manager_, source.string(), target.string(),
                                          {320, 180, container}).get());
        converter->Start();
        WaitUntilDone(converter.get());
        return converter;
    }

    fs::path out_, full_;
};

}  // namespace

// Headers and no frame: the exporter would close a valid-looking empty file. AVI and MP4 close
// such a file without complaint, so it is the converter that must refuse it.
TEST_F(ConverterSourceTest, AFileWithHeadersButNoFrameFailsAndLeavesNothing) {
    const fs::path headers = dir_ / "headers.mkv";
    CopyHead(full_, headers, 4096);
    for (const char* container : {"avi", "mp4", "matroska"}) {
        SCOPED_TRACE(container);
        const fs::path target = out_ / (std::string("headers.") + container);
        Owned<IMediaConverter> converter = RunTasks({{headers, target}}, container);
        EXPECT_EQ(StateOf(converter.get(), 0), TaskFailed);
        EXPECT_EQ(converter->GetTask(0)->progress.load(), 100.0);
    }
    EXPECT_TRUE(Entries(out_).empty()) << "left behind: " << *Entries(out_).begin();
}

// A file cut at 7 % decodes to 0.36 s of its stated 5.02 s. The output of what is there is
// valid, so the task finishes; the log says where the source ended. A whole file, and one
// whose audio outlasts its video, log nothing of the kind.
TEST_F(ConverterSourceTest, ASourceCutShortFinishesAndTheLogSaysWhereItEnded) {
    const fs::path cut = dir_ / "cut.mkv";
    CopyHead(full_, cut, fs::file_size(full_) * 7 / 100);
    const fs::path cutOut = out_ / "cut.mkv", fullOut = out_ / "full.mkv",
                   longerAudioOut = out_ / "audio_longer.mkv";
    Owned<IMediaConverter> converter = RunTasks(
        {{cut, cutOut}, {full_, fullOut}, {TestMedia("audio_longer.mkv"), longerAudioOut}});
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(StateOf(converter.get(), i), TaskFinished) << "task " << i;
    for (const fs::path& output : {cutOut, fullOut, longerAudioOut}) {
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(output.string(), &errors)) << output << ": " << errors;
    }

    const std::string log = GetSystemLogger()->GetText();
    const std::regex line("\\],source ended early at (\\d+):(\\d\\d):(\\d\\d\\.\\d) of 0:00:05\\.0: " +
                          std::regex_replace(cutOut.string(), std::regex("[.()]"), "\\$&") + ",65\n");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(log, found, line)) << log;
    const double endedAt = std::stoi(found[1]) * 3600 + std::stoi(found[2]) * 60 + std::stod(found[3]);
    EXPECT_GE(endedAt, 0.1);
    EXPECT_LE(endedAt, 1.0) << "7 % of the file holds well under a second";
    EXPECT_EQ(log.find("ended early at", found.position() + found.length()), std::string::npos)
        << "only the cut source is reported: " << log;
    EXPECT_EQ(log.find(fullOut.string() + ",65"), std::string::npos) << log;
    EXPECT_EQ(log.find(longerAudioOut.string() + ",65"), std::string::npos) << log;
}
