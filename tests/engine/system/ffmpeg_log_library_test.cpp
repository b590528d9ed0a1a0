// FFmpeg's own lines as a client of the shared library meets them: in the engine log, with
// FFmpeg's prefix, once each, and never on the terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "engine_test_support.h"
#include "process_helpers.h"
#include "stderr_capture.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

class FfmpegLinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
        dir_ = fs::temp_directory_path() /
               ("corvane-ffmpeg-lines-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        logBefore_ = std::string(GetSystemLogger()->GetText()).size();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // What the engine logged since the test began.
    std::string NewLog() const { return std::string(GetSystemLogger()->GetText()).substr(logBefore_); }

    // True when log holds the entry "[<context> @ 0x<address>] <message>" from FFmpeg.
    static bool HasFfmpegEntry(const std::string& log, const std::string& context,
                               const std::string& message) {
        const std::string start = "],[" + context + " @ 0x", end = "] " + message + ",ffmpeg";
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);) {
            const size_t at = line.find(start);
            if (at == std::string::npos || line.size() < end.size() ||
                line.compare(line.size() - end.size(), end.size(), end) != 0)
                continue;
            const size_t address = at + start.size(), addressEnd = line.size() - end.size();
            if (addressEnd > address &&
                line.find_first_not_of("0123456789abcdef", address) == addressEnd)
                return true;
        }
        return false;
    }

    static size_t Count(const std::string& text, const std::string& part) {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    Owned<IMediaManager> manager_;
    fs::path dir_;
    size_t logBefore_ = 0;
};

}  // namespace

// An MP4 keeps its index at the end: cut short, FFmpeg reports it as it opens the file.
TEST_F(FfmpegLinesTest, ACutShortInputIsLoggedInFfmpegsWordsAndNothingIsPrinted) {
    const fs::path whole = dir_ / "whole.mp4", cut = dir_ / "cut.mp4";
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=2 -c:v mpeg4 " +
        ShellQuote(whole.string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    fs::copy_file(whole, cut);
    fs::resize_file(cut, fs::file_size(whole) / 4);

    StderrCapture console;
    ASSERT_TRUE(console.active());
    EXPECT_EQ(manager_->OpenImporter(cut.string().c_str()), nullptr);
    const std::string printed = console.Text();
    const std::string log = NewLog();
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(HasFfmpegEntry(log, "mov,mp4,m4a,3gp,3g2,mj2", "moov atom not found")) << log;
    EXPECT_EQ(Count(log, "moov atom not found"), 1u) << log;
}

TEST_F(FfmpegLinesTest, AMuxerComplaintArrivesOnce) {
    Owned<IMediaInfo> target(manager_->CreateMediaInfo());
    target->SetFormatName("ipod");
    Owned<IMediaExporter> exporter(manager_->CreateExporter(nullptr));
    ASSERT_TRUE(exporter->SetTargetInfo(target.get()));

    StderrCapture console;
    ASSERT_TRUE(console.active());
    EXPECT_FALSE(exporter->Open((dir_ / "nothing.m4a").string().c_str()));
    const std::string printed = console.Text();
    const std::string log = NewLog();
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(HasFfmpegEntry(log, "ipod", "No streams to mux were specified")) << log;
    EXPECT_EQ(Count(log, "No streams to mux"), 1u) << log;
}
