// A conversion whose disk fills up: the task fails, says so once in words about the file the
// user asked for, and leaves nothing in the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "converter_test_support.h"
#include "restricted_folders.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
using namespace converter_test;
using namespace restricted_folders;
namespace fs = std::filesystem;

namespace {

class ConverterOutputErrorTest : public EngineFolderTest {
protected:
    ConverterOutputErrorTest() : EngineFolderTest("corvane-converter-output-errors") {}
};

std::vector<std::string> LinesAbout(const std::string& log, const std::string& part) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.find(part) != std::string::npos)
            lines.push_back(line);
    return lines;
}

}  // namespace

TEST_F(ConverterOutputErrorTest, AFullDiskFailsTheTaskWithOneMessageAndLeavesNothing) {
    const std::string input = LongInput(dir_);  // made before any limit applies
    const fs::path folder = dir_ / "small";
    fs::create_directories(folder);
    FillingFolder filling(folder.string(), 256 * 1024);
    if (!filling.ready())
        GTEST_SKIP() << "neither a small tmpfs nor a file-size limit is possible here";
    SCOPED_TRACE(filling.how());

    const std::string target = (folder / "Holiday – Urlaub.mkv").string();
    const size_t logBefore = std::string(GetSystemLogger()->GetText()).size();
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->AddTask(MakeConfig(*manager_, input, target, {640, 360}).get());
    converter->Start();
    WaitUntilDone(converter.get());
    filling.liftLimit();

    EXPECT_EQ(StateOf(converter.get(), 0), TaskFailed);
    const std::string log = std::string(GetSystemLogger()->GetText()).substr(logBefore);
    EXPECT_EQ(LinesAbout(log, "output file error"), std::vector<std::string>()) << log;
    const std::vector<std::string> failures = LinesAbout(log, "output error");
    ASSERT_EQ(failures.size(), 1u) << log;
    EXPECT_NE(failures[0].find("],output error: disk full: " + target + ",63"), std::string::npos)
        << failures[0];
    EXPECT_TRUE(fs::is_empty(folder)) << "neither the output nor its temporary file stays";
}
