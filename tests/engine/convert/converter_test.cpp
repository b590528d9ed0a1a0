// The batch converter end to end, through the public interfaces as the program uses them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "converter_test_support.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;
using namespace converter_test;

namespace {

class ConverterTest : public converter_test::EngineFolderTest {
protected:
    ConverterTest() : EngineFolderTest("corvane-converter") {}

    // H.264 + AAC input (streams 0 and 1) to MPEG-4 Part 2 + MP2, Matroska unless told.
    Owned<IMediaTaskConfig> Config(const std::string& source, const std::string& target,
                                   int width = 320, int height = 180,
                                   const char* container = "matroska") {
        return MakeConfig(*manager_, source, target, {width, height, container});
    }

    std::string Output(int i, const char* extension = ".mkv") const {
        return (dir_ / ("out" + std::to_string(i) + extension)).string();
    }
    // Where a running task writes Output(i) until it is whole.
    std::string Temporary(int i, const char* extension = ".mkv") const {
        return (dir_ / (".out" + std::to_string(i) + extension + ".vantrel.part")).string();
    }

};

}  // namespace

TEST_F(ConverterTest, KeepsTasksInOrderAndAnswersBadIndexes) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_NE(converter, nullptr);
    EXPECT_TRUE(converter->IsPaused()) << "a new converter waits for Start";
    for (int i = 0; i < 3; ++i) {
        Owned<IMediaTaskConfig> config = Config(TestMedia("h264_aac.mkv"), Output(i));
        EXPECT_EQ(converter->AddTask(config.get()), i + 1);
    }
    EXPECT_EQ(converter->AddTask(nullptr), -1);
    EXPECT_EQ(converter->GetTaskCount(), 3);
    EXPECT_EQ(converter->GetUnfinishedTaskCount(), 3) << "waiting tasks are unfinished";
    EXPECT_EQ(converter->GetTask(3), nullptr);
    EXPECT_FALSE(converter->RemoveTask(3));
    ConvertTask* third = converter->GetTask(2);
    EXPECT_EQ(third->state.load(), TaskWaiting);
    EXPECT_EQ(third->progress.load(), 0.0);
    EXPECT_STREQ(third->config->GetTargetPath(), Output(2).c_str());

    EXPECT_TRUE(converter->RemoveTask(0));
    EXPECT_EQ(converter->GetTask(1), third) << "later tasks move down one index";

    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    EXPECT_FALSE(converter->SetMaxParallelTasks(processors + 1));
    EXPECT_TRUE(converter->SetMaxParallelTasks(0));
    EXPECT_TRUE(converter->Start());
    EXPECT_FALSE(converter->IsPaused());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(StateOf(converter.get(), 0), TaskWaiting) << "a limit of 0 starts nothing";
    EXPECT_TRUE(converter->Pause());
    EXPECT_TRUE(converter->IsPaused());
}

TEST_F(ConverterTest, RunsFiveTasksInListOrderNeverMoreThanTwoAtOnce) {
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "needs two processors for a limit of 2";
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_TRUE(converter->SetMaxParallelTasks(2));
    constexpr int kTasks = 5;
    for (int i = 0; i < kTasks; ++i)
        converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(i)).get());
    converter->Start();

    std::vector<int> startOrder;
    int mostActive = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(180);
    while (converter->GetUnfinishedTaskCount() > 0) {
        ASSERT_LT(Clock::now(), deadline);
        int active = 0;
        for (int i = 0; i < kTasks; ++i) {
            const int32_t state = StateOf(converter.get(), i);
            active += state == TaskRunning || state == TaskHeld;
            if (state != TaskWaiting && std::find(startOrder.begin(), startOrder.end(), i) == startOrder.end())
                startOrder.push_back(i);
        }
        mostActive = std::max(mostActive, active);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_LE(mostActive, 2);
    for (int i = 0; i < kTasks; ++i) {
        if (std::find(startOrder.begin(), startOrder.end(), i) == startOrder.end())
            startOrder.push_back(i);  // started and ended between two polls
    }
    EXPECT_TRUE(std::is_sorted(startOrder.begin(), startOrder.end()));
    for (int i = 0; i < kTasks; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(StateOf(converter.get(), i), TaskFinished);
        EXPECT_EQ(converter->GetTask(i)->progress.load(), 100.0);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(Output(i), &errors)) << errors;
        EXPECT_EQ(ProbeValue(Output(i), "v:0", "stream=codec_name"), "mpeg4");
        EXPECT_EQ(ProbeValue(Output(i), "a:0", "stream=codec_name"), "mp2");
    }
}

TEST_F(ConverterTest, AFailingTaskDoesNotStopTheOthers) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), (dir_ / "missing" / "out.mkv").string()).get());
    converter->AddTask(Config((dir_ / "no-such-input.mkv").string(), Output(1)).get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(2)).get());
    converter->Start();
    WaitUntilDone(converter.get());

    EXPECT_EQ(StateOf(converter.get(), 0), TaskFailed);
    EXPECT_EQ(converter->GetTask(0)->progress.load(), 100.0);
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFailed);
    EXPECT_EQ(converter->GetTask(1)->progress.load(), 100.0);
    EXPECT_EQ(StateOf(converter.get(), 2), TaskFinished);
    EXPECT_TRUE(DecodesCleanly(Output(2)));
    const std::string log = GetSystemLogger()->GetText();
    EXPECT_NE(log.find("],output error: folder missing: " + (dir_ / "missing").string() + ",63\n"), std::string::npos)
        << log;
}

TEST_F(ConverterTest, PausedTasksAreHeldAndStillFinish) {
    const std::string input = LongInput(dir_);
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    converter->AddTask(Config(input, Output(0), 640, 360).get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(1)).get());
    converter->Start();
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (StateOf(converter.get(), 0) != TaskRunning)
        ASSERT_LT(Clock::now(), deadline);

    converter->Pause();
    const auto paused = Clock::now();
    while (StateOf(converter.get(), 0) == TaskRunning)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto heldAfter = Clock::now() - paused;
    EXPECT_EQ(StateOf(converter.get(), 0), TaskHeld);
    EXPECT_LT(heldAfter, std::chrono::milliseconds(250));

    // Nothing new starts while paused, but the held task keeps converting to its end.
    const auto held = Clock::now() + std::chrono::seconds(120);
    while (StateOf(converter.get(), 0) == TaskHeld) {
        ASSERT_LT(Clock::now(), held);
        EXPECT_EQ(StateOf(converter.get(), 1), TaskWaiting);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(StateOf(converter.get(), 0), TaskFinished);
    EXPECT_TRUE(DecodesCleanly(Output(0)));

    converter->Start();
    WaitUntilDone(converter.get());
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFinished);
}

TEST_F(ConverterTest, RemovingARunningTaskWaitsForItsWorker) {
    const std::string input = LongInput(dir_);
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    converter->AddTask(Config(input, Output(0), 640, 360).get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(1)).get());
    ConvertTask* second = converter->GetTask(1);
    converter->Start();
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    // Well into the file: the task is writing its temporary file.
    const std::string temporary = Temporary(0);
    std::error_code error;
    while (!fs::exists(temporary) || fs::file_size(temporary, error) < 64 * 1024) {
        ASSERT_LT(Clock::now(), deadline);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(StateOf(converter.get(), 0), TaskRunning);

    EXPECT_TRUE(converter->RemoveTask(0));
    // The worker has closed and removed its output before RemoveTask returned.
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(Output(0)));
    EXPECT_EQ(converter->GetTask(0), second);
    EXPECT_EQ(converter->GetTaskCount(), 1);
    WaitUntilDone(converter.get());
    EXPECT_EQ(second->state.load(), TaskFinished);
    EXPECT_TRUE(DecodesCleanly(Output(1)));
}

TEST_F(ConverterTest, StartAfterStopStartsNothing) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->Start();
    EXPECT_TRUE(converter->Stop());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(0)).get());
    converter->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    EXPECT_EQ(StateOf(converter.get(), 0), TaskWaiting);
    EXPECT_FALSE(fs::exists(Output(0)));
}

// Cancelling a batch at random moments: no hang, no leak, never a half-written output (a
// cancelled task leaves no file at all, a finished one its whole file). AVI, because FFmpeg's
// Matroska writer cannot close a file that never received a packet.
TEST_F(ConverterTest, StoppingMidRunRepeatedlyLeavesOnlyCompleteOutputs) {
    const std::string input = LongInput(dir_);
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> pause(0, 250);
    int cancelledWhileWriting = 0;
    std::vector<std::string> finished;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        converter->SetMaxParallelTasks(2);
        converter->AddTask(Config(input, Output(2 * round, ".avi"), 320, 180, "avi").get());
        converter->AddTask(
            Config(TestMedia("h264_aac.mkv"), Output(2 * round + 1, ".avi"), 320, 180, "avi").get());
        converter->Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        for (uint32_t i = 0; i < 2; ++i)
            if (StateOf(converter.get(), i) == TaskFinished)
                finished.push_back(Output(2 * round + static_cast<int>(i), ".avi"));
        cancelledWhileWriting += fs::exists(Temporary(2 * round, ".avi"));
        if (round % 2 == 0)
            converter->Stop();
        converter.reset();  // Release alone also stops every worker
    }
    for (const std::string& path : finished)
        EXPECT_TRUE(fs::exists(path)) << path << " finished and then went away";
    for (const auto& entry : fs::directory_iterator(dir_)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name.front(), '.') << "a temporary file stayed: " << name;
        if (name.rfind("out", 0) != 0)
            continue;
        const CommandResult probe = RunCommand("ffprobe -v error " + ShellQuote(entry.path().string()));
        EXPECT_EQ(probe.exitCode, 0) << entry.path() << ": " << probe.output;
    }
    EXPECT_GT(cancelledWhileWriting, 0) << "some rounds must have been cancelled mid-write";
}
