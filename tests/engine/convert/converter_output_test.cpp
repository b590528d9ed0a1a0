// What a task leaves in its output folder: a whole file under its final name or nothing, a
// free name when the requested one is taken, and no debris from cancelled or killed runs.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "converter_test_support.h"
#include "engine_test_support.h"
#include "held_lock.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

extern char** environ;

using namespace MediaBased;
namespace fs = std::filesystem;
using namespace converter_test;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TemporaryOf(const fs::path& target) {
    return (target.parent_path() / ("." + target.filename().string() + ".vantrel.part")).string();
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// Waits until path holds at least size bytes: the task is well into its frames.
void WaitForBytes(const fs::path& path, uintmax_t size) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    std::error_code error;
    while (!fs::exists(path) || fs::file_size(path, error) < size) {
        ASSERT_LT(Clock::now(), deadline) << path << " never grew to " << size << " bytes";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A child process running converter_task_helper, its standard output in a file.
struct Child {
    pid_t pid = -1;
    fs::path output;
};

Child SpawnHelper(const std::string& source, const std::string& target, const char* container,
                  const fs::path& output) {
    Child child;
    child.output = output;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {CONVERTER_TASK_HELPER, source, target, container};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&child.pid, CONVERTER_TASK_HELPER, &actions, nullptr,
                                    argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << "cannot start " << CONVERTER_TASK_HELPER;
    if (error != 0)
        child.pid = -1;
    return child;
}

// The child's exit code, or -1 when it did not exit by itself in time (it is killed then).
int WaitForExit(const Child& child, std::chrono::seconds limit = std::chrono::seconds(180)) {
    // kill(-1) or kill(0) would reach far more than the child.
    if (child.pid <= 0)
        return -1;
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (::waitpid(child.pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ConverterOutputTest : public converter_test::EngineFolderTest {
protected:
    ConverterOutputTest() : EngineFolderTest("corvane-converter-output") {}

    void SetUp() override {
        EngineFolderTest::SetUp();
        fs::create_directories(dir_ / "out");
        out_ = dir_ / "out";
    }

    Owned<IMediaTaskConfig> Config(const std::string& source, const fs::path& target,
                                   const char* container = "matroska") {
        return MakeConfig(*manager_, source, target.string(), {320, 180, container});
    }

    fs::path out_;  // the output folder, apart from the inputs
};

}  // namespace

// Stop, RemoveTask and Release each cancel a task in the middle of its frames: nothing stays
// under the final name and the temporary file goes too.
TEST_F(ConverterOutputTest, CancelledTasksLeaveNoFile) {
    const std::string input = LongInput(dir_);
    for (const char* how : {"stop", "remove", "release"}) {
        SCOPED_TRACE(how);
        const fs::path target = out_ / (std::string(how) + ".mkv");
        const fs::path next = out_ / (std::string(how) + "-next.mkv");
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        converter->SetMaxParallelTasks(1);
        converter->AddTask(Config(input, target).get());
        converter->AddTask(Config(TestMedia("h264_aac.mkv"), next).get());
        converter->Start();
        WaitForBytes(TemporaryOf(target), 64 * 1024);
        EXPECT_FALSE(fs::exists(target)) << "the final name appears only when the file is whole";
        EXPECT_TRUE(IsLocked(TemporaryOf(target))) << "a writing task holds its file's lock";
        ASSERT_EQ(StateOf(converter.get(), 0), TaskRunning);

        if (std::string(how) == "stop") {
            EXPECT_TRUE(converter->Stop());
        } else if (std::string(how) == "remove") {
            EXPECT_TRUE(converter->RemoveTask(0));
            EXPECT_FALSE(fs::exists(target)) << "RemoveTask returned before the worker cleaned up";
            EXPECT_FALSE(fs::exists(TemporaryOf(target)));
            WaitUntilDone(converter.get());
            EXPECT_EQ(StateOf(converter.get(), 0), TaskFinished) << "the next task still runs";
            std::string errors;
            EXPECT_TRUE(DecodesCleanly(next.string(), &errors)) << errors;
            fs::remove(next);
        }
        converter.reset();
        EXPECT_TRUE(Entries(out_).empty()) << "left behind: " << *Entries(out_).begin();
    }
}

// A finished task leaves its final file and nothing else; the muxer is the one the target
// names (or, with none named, the one the final file name suggests), not one guessed from
// the temporary name.
TEST_F(ConverterOutputTest, FinishedTasksLeaveOnlyTheirFinalFiles) {
    struct Case {
        const char* name;
        const char* container;
        const char* probedFormat;
    };
    const Case cases[] = {{"Show.mp4", "mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
                          {"Show.mkv", "matroska", "matroska,webm"},
                          {"Guessed.mkv", "", "matroska,webm"},
                          {"Show.avi", "avi", "avi"}};
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    for (const Case& c : cases)
        converter->AddTask(Config(TestMedia("h264_aac.mkv"), out_ / c.name, c.container).get());
    converter->Start();
    WaitUntilDone(converter.get());
    std::set<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        expected.insert(cases[i].name);
        const fs::path target = out_ / cases[i].name;
        ASSERT_EQ(StateOf(converter.get(), static_cast<uint32_t>(i)), TaskFinished);
        EXPECT_STREQ(converter->GetTask(static_cast<uint32_t>(i))->config->GetTargetPath(),
                     target.c_str());
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target.string(), &errors)) << errors;
        EXPECT_EQ(ProbeValue(target.string(), "", "format=format_name"), cases[i].probedFormat);
    }
    EXPECT_EQ(Entries(out_), expected);
}

// Another program writes the final name while the task runs: the task's file takes the next
// free name, the other file stays as it was, and the client learns the new name.
TEST_F(ConverterOutputTest, ANameWrittenDuringTheTaskIsKeptAndTheTaskRenamed) {
    const std::string input = LongInput(dir_);
    const fs::path target = out_ / "a.mkv", renamed = out_ / "a(1).mkv";
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    converter->AddTask(Config(input, target).get());
    converter->Start();
    WaitForBytes(TemporaryOf(target), 16 * 1024);
    { std::ofstream(target) << "written by someone else"; }
    WaitUntilDone(converter.get());

    ConvertTask* task = converter->GetTask(0);
    ASSERT_EQ(task->state.load(std::memory_order_acquire), TaskFinished);
    EXPECT_STREQ(task->config->GetTargetPath(), renamed.c_str());
    EXPECT_EQ(ReadAll(target), "written by someone else");
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(renamed.string(), &errors)) << errors;
    EXPECT_EQ(Entries(out_), (std::set<std::string>{"a.mkv", "a(1).mkv"}));
    const std::string log = GetSystemLogger()->GetText();
    EXPECT_NE(log.find("],output renamed: " + renamed.string() + ",64\n"), std::string::npos) << log;
}

// Two processes convert into the same name at the same time: two whole files under two names.
TEST_F(ConverterOutputTest, TwoProcessesWritingOneNameMakeTwoWholeFiles) {
    const std::string input = LongInput(dir_);
    const fs::path target = out_ / "a.mp4";
    const Child first = SpawnHelper(input, target.string(), "mp4", dir_ / "first.txt");
    const Child second = SpawnHelper(input, target.string(), "mp4", dir_ / "second.txt");
    ASSERT_GT(first.pid, 0);
    ASSERT_GT(second.pid, 0);
    EXPECT_EQ(WaitForExit(first), 0) << ReadAll(first.output);
    EXPECT_EQ(WaitForExit(second), 0) << ReadAll(second.output);

    const std::string a = target.string(), a1 = (out_ / "a(1).mp4").string();
    const std::set<std::string> reported = {ReadAll(first.output), ReadAll(second.output)};
    EXPECT_EQ(reported, (std::set<std::string>{"state=4\npath=" + a + "\n", "state=4\npath=" + a1 + "\n"}))
        << "each process reports the name its file has";
    EXPECT_EQ(Entries(out_), (std::set<std::string>{"a.mp4", "a(1).mp4"}));
    for (const std::string& path : {a, a1}) {
        SCOPED_TRACE(path);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;
        const double seconds = std::atof(ProbeValue(path, "", "format=duration").c_str());
        EXPECT_GT(seconds, 19.0) << "the whole 20 s input";
    }
}

// A converting process killed outright leaves its temporary file and nothing under the final
// name; the next task that writes into the folder removes that file, but not one a live
// process holds.
TEST_F(ConverterOutputTest, AKilledConverterLeavesNoFinalFileAndItsDebrisIsSwept) {
    const std::string input = LongInput(dir_);
    const fs::path target = out_ / "killed.mkv";
    const Child child = SpawnHelper(input, target.string(), "matroska", dir_ / "child.txt");
    ASSERT_GT(child.pid, 0);
    WaitForBytes(TemporaryOf(target), 64 * 1024);
    ASSERT_EQ(::kill(child.pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(fs::exists(target));
    ASSERT_TRUE(fs::exists(TemporaryOf(target))) << "the killed process could not clean up";
    EXPECT_FALSE(IsLocked(TemporaryOf(target))) << "its lock died with it";

    const fs::path held = out_ / ".live.mkv.vantrel.part";
    HeldLock live(held);
    const fs::path next = out_ / "next.mkv";
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), next).get());
    converter->Start();
    WaitUntilDone(converter.get());
    EXPECT_EQ(StateOf(converter.get(), 0), TaskFinished);
    EXPECT_EQ(Entries(out_), (std::set<std::string>{".live.mkv.vantrel.part", "next.mkv"}))
        << "the dead process's file is swept, the live one kept";
    EXPECT_TRUE(DecodesCleanly(next.string()));
}
