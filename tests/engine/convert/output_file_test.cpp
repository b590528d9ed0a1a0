// Output files under temporary names: claiming a free name, locking, committing without ever
// replacing a file, and sweeping what killed processes left behind.
#include "convert/output_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "held_lock.h"

using namespace MediaBased;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvane-output-file-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string In(const std::string& name) const { return (dir_ / name).string(); }
    size_t EntryCount() const {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_))
            ++count;
        return count;
    }

    fs::path dir_;
};

}  // namespace

TEST(TemporaryName, HiddenNextToTheFinalNameAndWithinTheNameLimit) {
    EXPECT_EQ(TemporaryNameFor("Show.mp4"), ".Show.mp4.vantrel.part");
    const std::string longA(250, 'a');
    const std::string longB = std::string(249, 'a') + "b";
    const std::string a = TemporaryNameFor(longA), b = TemporaryNameFor(longB);
    EXPECT_LE(a.size(), static_cast<size_t>(NAME_MAX));
    EXPECT_EQ(a.front(), '.');
    EXPECT_EQ(a.substr(a.size() - 13), ".vantrel.part");
    EXPECT_NE(a, b) << "shortened names of different files must differ";
}

TEST_F(OutputFileTest, WritesUnderALockedTemporaryNameUntilCommitted) {
    const std::string target = In("Show.mp4");
    {
        OutputFile output(target);
        ASSERT_TRUE(output.Claim());
        EXPECT_EQ(output.FinalPath(), target);
        EXPECT_EQ(output.TemporaryPath(), In(".Show.mp4.vantrel.part"));
        EXPECT_TRUE(fs::exists(output.TemporaryPath()));
        EXPECT_FALSE(fs::exists(target)) << "nothing under the final name while writing";
        EXPECT_TRUE(IsLocked(output.TemporaryPath()));
        WriteText(output.TemporaryPath(), "whole");
        ASSERT_TRUE(output.Commit());
        EXPECT_EQ(output.FinalPath(), target);
    }
    EXPECT_EQ(ReadAll(target), "whole");
    EXPECT_EQ(EntryCount(), 1u) << "only the final file stays";
    EXPECT_FALSE(IsLocked(target));
}

TEST_F(OutputFileTest, UncommittedOutputLeavesNothing) {
    {
        OutputFile output(In("a.mkv"));
        ASSERT_TRUE(output.Claim());
        WriteText(output.TemporaryPath(), "half");
    }
    EXPECT_EQ(EntryCount(), 0u);
    OutputFile discarded(In("b.mkv"));
    ASSERT_TRUE(discarded.Claim());
    discarded.Discard();
    EXPECT_EQ(EntryCount(), 0u);
    EXPECT_FALSE(discarded.Commit()) << "a discarded file has nothing to commit";
    EXPECT_EQ(EntryCount(), 0u);
}

TEST_F(OutputFileTest, AFolderThatCannotBeWrittenFailsTheClaim) {
    OutputFile missingFolder(In("no-such-folder/a.mkv"));
    EXPECT_FALSE(missingFolder.Claim());
    OutputFile noName(dir_.string() + "/");
    EXPECT_FALSE(noName.Claim());
}

TEST_F(OutputFileTest, TakenNamesMoveOnToTheNextNumber) {
    WriteText(In("a.mp4"), "earlier");
    WriteText(In("a(1).mp4"), "earlier 1");
    OutputFile first(In("a.mp4"));
    ASSERT_TRUE(first.Claim());
    EXPECT_EQ(first.FinalPath(), In("a(2).mp4"));
    // A live task's temporary file takes its name as much as a finished file does.
    OutputFile second(In("a.mp4"));
    ASSERT_TRUE(second.Claim());
    EXPECT_EQ(second.FinalPath(), In("a(3).mp4"));
    ASSERT_TRUE(second.Commit());
    ASSERT_TRUE(first.Commit());
    EXPECT_EQ(ReadAll(In("a.mp4")), "earlier");
    EXPECT_EQ(ReadAll(In("a(1).mp4")), "earlier 1");
    EXPECT_TRUE(fs::exists(In("a(2).mp4")));
    EXPECT_TRUE(fs::exists(In("a(3).mp4")));

    WriteText(In("README"), "x");
    OutputFile bare(In("README"));
    ASSERT_TRUE(bare.Claim());
    EXPECT_EQ(bare.FinalPath(), In("README(1)"));
    WriteText(In("clip.tar.gz"), "x");
    OutputFile dotted(In("clip.tar.gz"));
    ASSERT_TRUE(dotted.Claim());
    EXPECT_EQ(dotted.FinalPath(), In("clip.tar(1).gz"));
}

TEST_F(OutputFileTest, ANameTakenDuringTheWriteIsNeverReplaced) {
    OutputFile output(In("a.mkv"));
    ASSERT_TRUE(output.Claim());
    WriteText(output.TemporaryPath(), "ours");
    // Another program writes the final name, and a live task holds the next one.
    WriteText(In("a.mkv"), "theirs");
    HeldLock live(In(".a(1).mkv.vantrel.part"));
    ASSERT_TRUE(output.Commit());
    EXPECT_EQ(output.FinalPath(), In("a(2).mkv"));
    EXPECT_EQ(ReadAll(In("a.mkv")), "theirs");
    EXPECT_EQ(ReadAll(In("a(2).mkv")), "ours");
    EXPECT_FALSE(fs::exists(In(".a.mkv.vantrel.part")));
}

TEST_F(OutputFileTest, SweepRemovesOnlyTemporaryFilesNobodyHolds) {
    WriteText(In(".killed.mkv.vantrel.part"), "left by a killed process");
    WriteText(In(".a.mkv.vantrel.part"), "stale under the requested name");
    WriteText(In(".vantrel.part"), "not a temporary name");
    WriteText(In("keep.vantrel.part"), "not hidden");
    HeldLock live(In(".live.mkv.vantrel.part"));
    OutputFile output(In("a.mkv"));
    ASSERT_TRUE(output.Claim());
    EXPECT_EQ(output.FinalPath(), In("a.mkv")) << "a stale temporary file does not take a name";
    EXPECT_FALSE(fs::exists(In(".killed.mkv.vantrel.part")));
    EXPECT_TRUE(fs::exists(In(".live.mkv.vantrel.part")));
    EXPECT_TRUE(fs::exists(In(".vantrel.part")));
    EXPECT_TRUE(fs::exists(In("keep.vantrel.part")));
    EXPECT_EQ(fs::file_size(output.TemporaryPath()), 0u) << "the stale file was not reused";

    fs::create_symlink(In("keep.vantrel.part"), In(".link.mkv.vantrel.part"));
    RemoveStaleTemporaries(dir_.string());
    EXPECT_TRUE(fs::is_symlink(In(".link.mkv.vantrel.part"))) << "only plain files are swept";
    EXPECT_TRUE(fs::exists(output.TemporaryPath())) << "a live task's own file is kept";
}

TEST_F(OutputFileTest, MovingWithoutReplacingKeepsAnExistingFile) {
    WriteText(In("from"), "new");
    WriteText(In("to"), "old");
    EXPECT_EQ(MoveWithoutReplacing(In("from"), In("to")), EEXIST);
    EXPECT_EQ(LinkWithoutReplacing(In("from"), In("to")), EEXIST);
    EXPECT_EQ(ReadAll(In("to")), "old");
    EXPECT_EQ(ReadAll(In("from")), "new");

    EXPECT_EQ(LinkWithoutReplacing(In("from"), In("linked")), 0);
    EXPECT_FALSE(fs::exists(In("from")));
    EXPECT_EQ(ReadAll(In("linked")), "new");
    EXPECT_EQ(MoveWithoutReplacing(In("linked"), In("moved")), 0);
    EXPECT_FALSE(fs::exists(In("linked")));
    EXPECT_EQ(ReadAll(In("moved")), "new");
    EXPECT_EQ(MoveWithoutReplacing(In("absent"), In("x")), ENOENT);
}
