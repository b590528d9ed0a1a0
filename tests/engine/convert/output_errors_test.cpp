// Why an output could not be made or written, in the words the program shows the user: a
// missing or read-only folder, a full disk, and anything else in the system's own words,
// always about the file the user asked for and never its temporary name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "convert/output_file.h"
#include "exporter_test_support.h"
#include "object/media_manager.h"
#include "restricted_folders.h"

using namespace MediaBased;
using namespace exporter_test;
using namespace restricted_folders;
namespace fs = std::filesystem;

namespace {

// The entries of a captured log that say an output failed, without the others.
std::vector<std::string> OutputErrorLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.find("output error") != std::string::npos ||
            line.find("output file error") != std::string::npos)
            lines.push_back(line);
    return lines;
}

class OutputErrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvane-output-errors-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    std::string In(const std::string& name) const { return (dir_ / name).string(); }

    // What the claim of target says: "claimed" or its error.
    static std::string ClaimOutcome(const std::string& target) {
        OutputFile output(target);
        return output.Claim() ? std::string("claimed") : output.LastError();
    }

    fs::path dir_;
};

}  // namespace

TEST(OutputErrorWords, NameTheFolderWhenCreatingAndTheFileOtherwise) {
    const std::string path = "/videos/Holiday.mkv";
    for (int error : {EACCES, EPERM, EROFS})
        EXPECT_EQ(DescribeOutputError(error, path, OutputStep::Creating),
                  "output error: folder not writable: /videos")
            << error;
    for (int error : {ENOENT, ENOTDIR})
        EXPECT_EQ(DescribeOutputError(error, path, OutputStep::Creating),
                  "output error: folder missing: /videos")
            << error;
    for (OutputStep step : {OutputStep::Creating, OutputStep::Writing})
        for (int error : {ENOSPC, EDQUOT, EFBIG})
            EXPECT_EQ(DescribeOutputError(error, path, step), "output error: disk full: " + path) << error;
    // Once the file exists, a refusal is about the file, not its folder.
    EXPECT_EQ(DescribeOutputError(EACCES, path, OutputStep::Writing),
              "output error: cannot write " + path + " (Permission denied)");
    EXPECT_EQ(DescribeOutputError(EIO, path, OutputStep::Writing),
              "output error: cannot write " + path + " (Input/output error)");
    EXPECT_EQ(DescribeOutputError(-1, path, OutputStep::Writing, "Invalid data found"),
              "output error: cannot write " + path + " (Invalid data found)");
    EXPECT_EQ(DescribeOutputError(EACCES, "/Holiday.mkv", OutputStep::Creating),
              "output error: folder not writable: /");
    EXPECT_EQ(DescribeOutputError(ENOENT, "Holiday.mkv", OutputStep::Creating),
              "output error: folder missing: .");
}

TEST_F(OutputErrorTest, AMissingFolderIsNamed) {
    EXPECT_EQ(ClaimOutcome(In("gone/a.mkv")), "output error: folder missing: " + In("gone"));
    std::ofstream(In("plain")) << "a file where a folder should be";
    EXPECT_EQ(ClaimOutcome(In("plain/a.mkv")), "output error: folder missing: " + In("plain"));
    EXPECT_EQ(ClaimOutcome(dir_.string() + "/"),
              "output error: cannot write " + dir_.string() + "/ (Is a directory)");

    // The folder went away while the file was written: the rename cannot happen.
    fs::create_directories(In("sub"));
    OutputFile output(In("sub/a.mkv"));
    ASSERT_TRUE(output.Claim());
    EXPECT_EQ(output.LastError(), "");
    fs::remove_all(In("sub"));
    EXPECT_FALSE(output.Commit());
    EXPECT_EQ(output.LastError(), "output error: folder missing: " + In("sub"));
}

TEST_F(OutputErrorTest, AFolderThatCannotBeWrittenIsNamed) {
    fs::create_directories(In("locked"));
    const std::string target = In("locked/a.mkv");
    const std::string expected = "output error: folder not writable: " + In("locked");
    bool checked = false;
    if (::geteuid() != 0) {
        SCOPED_TRACE("a folder without write permission");
        fs::permissions(In("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(ClaimOutcome(target), expected);
        fs::permissions(In("locked"), fs::perms::owner_all);
        checked = true;
    } else {
        // Root writes anywhere: a read-only file system, and an unprivileged child, stand in.
        if (SmallDisk readOnly(In("locked"), 64 * 1024, true); readOnly.mounted()) {
            SCOPED_TRACE("a read-only file system");
            EXPECT_EQ(ClaimOutcome(target), expected);
            checked = true;
        }
        ::chmod(In("locked").c_str(), 0555);
        std::string outcome;
        if (RunAsNobody([&target] { return ClaimOutcome(target); }, &outcome)) {
            SCOPED_TRACE("a folder without write permission, for an unprivileged user");
            EXPECT_EQ(outcome, expected);
            checked = true;
        }
        ::chmod(In("locked").c_str(), 0755);
    }
    if (!checked)
        GTEST_SKIP() << "neither a read-only mount nor an unprivileged child is possible here";
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(OutputErrorTest, ADiskWithNoRoomForTheFileIsFullAlready) {
    fs::create_directories(In("full"));
    SmallDisk full(In("full"), 64 * 1024, false, "nr_inodes=1");
    if (!full.mounted())
        GTEST_SKIP() << "no private tmpfs can be mounted here";
    EXPECT_EQ(ClaimOutcome(In("full/a.mkv")), "output error: disk full: " + In("full/a.mkv"));
}

// The exporter is given the hidden temporary name; its message names the final one, even when
// that is too long to be read back from the temporary name.
TEST_F(OutputErrorTest, ADiskThatFillsWhileWritingIsLoggedOnceWithTheFinalName) {
    fs::create_directories(In("small"));
    const FillingFolder filling(In("small"), 256 * 1024);
    if (!filling.ready())
        GTEST_SKIP() << "neither a small tmpfs nor a file-size limit is possible here";
    SCOPED_TRACE(filling.how());
    const std::string target = In("small/" + std::string(240, 'n') + ".mkv");
    OutputFile output(target);
    ASSERT_TRUE(output.Claim());
    ASSERT_EQ(output.TemporaryPath().find(std::string(240, 'n')), std::string::npos)
        << "the temporary name is shortened";

    CapturedLog log;
    CMediaManager manager;
    Owned<IMediaExporter> exporter =
        OpenExporter(manager, "matroska", {VideoRecord("mpeg4", 640, 360, 1, 25)}, output.TemporaryPath());
    ASSERT_NE(exporter, nullptr);
    EXPECT_EQ(exporter->NamedParameter("R_ExporterParamOutputFailed", nullptr), 0);
    SyntheticFeed feed;
    feed.videoSlot = 0;
    feed.seconds = 30;  // far more than the disk holds
    EXPECT_FALSE(Feed(*exporter, feed));
    EXPECT_EQ(exporter->NamedParameter("R_ExporterParamOutputFailed", nullptr), 1);
    auto late = MakePicture(640, 360, 0, 31 * kUnitsPerSecond);
    EXPECT_FALSE(exporter->WriteFrame(late.get(), 0)) << "a failed file takes no more frames";
    EXPECT_FALSE(exporter->Close());
    EXPECT_EQ(OutputErrorLines(log.GetText()),
              std::vector<std::string>({"output error: disk full: " + target + ",63"}))
        << log.GetText();

    // The next file of the same exporter starts clean.
    output.Discard();
    ASSERT_TRUE(exporter->Open(In("small/next.mkv").c_str()));
    EXPECT_EQ(exporter->NamedParameter("R_ExporterParamOutputFailed", nullptr), 0);
    feed.seconds = 1;
    EXPECT_TRUE(Feed(*exporter, feed));
    EXPECT_TRUE(exporter->Close());
    EXPECT_EQ(OutputErrorLines(log.GetText()).size(), 1u);
}

TEST_F(OutputErrorTest, AnExporterOpenedOnAFolderThatIsNotThereSaysSo) {
    CapturedLog log;
    CMediaManager manager;
    EXPECT_EQ(OpenExporter(manager, "matroska", {VideoRecord("mpeg4", 320, 240)}, In("absent/out.mkv")),
              nullptr);
    EXPECT_EQ(OutputErrorLines(log.GetText()),
              std::vector<std::string>({"output error: folder missing: " + In("absent") + ",63"}));
}
