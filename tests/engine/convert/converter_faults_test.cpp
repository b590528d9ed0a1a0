// The batch converter under failures from outside: outputs that cannot be written, a full disk,
// inputs that change under a running task, cancellation at random moments, and a long run.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "converter_test_support.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so resident size says nothing there; its
// leak check at exit covers what this bound does elsewhere.
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr bool kResidentSizeMeaningful = true;
#endif

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sets or clears the immutable flag, which stops even root from writing.
bool SetImmutable(const fs::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

long OpenDescriptors() {
    long count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class ConverterFaultTest : public converter_test::EngineFolderTest {
protected:
    ConverterFaultTest() : EngineFolderTest("corvane-faults") {}

    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            SetImmutable(entry.path(), false);
        SetImmutable(dir_, false);
        EngineFolderTest::TearDown();
    }

    // A 20 s input, long enough to still be running when the fault is injected.
    std::string LongInput() { return converter_test::LongInput(dir_); }

    // H.264 + AAC input to MPEG-4 Part 2 + MP2, small AVI unless told.
    Owned<IMediaTaskConfig> Config(const std::string& source, const std::string& target,
                                   int width = 160, int height = 90, const char* container = "avi",
                                   const char* videoCodec = "mpeg4", int32_t videoBitRate = 300000) {
        return converter_test::MakeConfig(*manager_, source, target,
                                          {width, height, container, videoCodec, videoBitRate});
    }

    static void WaitUntilDone(IMediaConverter* converter) { converter_test::WaitUntilDone(converter); }

    static void WaitUntilRunning(IMediaConverter* converter, uint32_t i) {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (StateOf(converter, i) != TaskRunning) {
            ASSERT_LT(Clock::now(), deadline) << "task " << i << " never started";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    static int32_t StateOf(IMediaConverter* converter, uint32_t i) {
        return converter_test::StateOf(converter, i);
    }

    std::string Output(int i, const fs::path& folder = {}) const {
        return ((folder.empty() ? dir_ : folder) / ("out" + std::to_string(i) + ".avi")).string();
    }

};

}  // namespace

// An existing file is never written over: the task takes the next free name instead. A task
// that fails after its output was created leaves nothing.
TEST_F(ConverterFaultTest, ExistingFilesAreKeptAndFailedTasksLeaveNothing) {
    const std::string existing = Output(0);
    { std::ofstream(existing) << "an earlier file"; }
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), existing).get());
    // The output file is created before the exporter finds that the encoder is unknown.
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(1), 160, 90, "avi", "no-such-codec").get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(2)).get());
    converter->Start();
    WaitUntilDone(converter.get());

    const std::string renamed = (dir_ / "out0(1).avi").string();
    ASSERT_EQ(StateOf(converter.get(), 0), TaskFinished);
    EXPECT_EQ(converter->GetTask(0)->config->GetTargetPath(), renamed);
    EXPECT_TRUE(ReadFile(existing) == "an earlier file") << "the earlier file was changed";
    EXPECT_TRUE(DecodesCleanly(renamed));
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFailed);
    EXPECT_EQ(StateOf(converter.get(), 2), TaskFinished);
    EXPECT_TRUE(DecodesCleanly(Output(2)));
    EXPECT_EQ(Entries(dir_), (std::set<std::string>{"out0.avi", "out0(1).avi", "out2.avi"}))
        << "the failed task's file, or a temporary one, stayed";
}

// Root ignores permission bits, so the folder is made immutable instead; the task writing into
// it at that moment and the one queued for it fail, a task writing elsewhere finishes.
TEST_F(ConverterFaultTest, OutputFolderMadeReadOnlyMidRun) {
    const fs::path locked = dir_ / "locked", open = dir_ / "open";
    fs::create_directories(locked);
    fs::create_directories(open);
    if (!SetImmutable(locked, true) || !SetImmutable(locked, false))
        GTEST_SKIP() << "this file system has no immutable flag";
    const std::string input = LongInput();
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    converter->AddTask(Config(input, Output(0, locked), 640, 360).get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(1, locked)).get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(2, open)).get());
    converter->Start();
    WaitUntilRunning(converter.get(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The task writes under its temporary name until the file is whole.
    const fs::path writing = locked / ".out0.avi.vantrel.part";
    ASSERT_TRUE(fs::exists(writing));
    ASSERT_TRUE(SetImmutable(writing, true));
    ASSERT_TRUE(SetImmutable(locked, true));
    WaitUntilDone(converter.get());

    EXPECT_EQ(StateOf(converter.get(), 0), TaskFailed);
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFailed);
    EXPECT_FALSE(fs::exists(Output(0, locked)));
    EXPECT_FALSE(fs::exists(Output(1, locked)));
    EXPECT_EQ(StateOf(converter.get(), 2), TaskFinished);
    EXPECT_TRUE(DecodesCleanly(Output(2, open)));
}

// A full disk, simulated with a file-size limit in a child so the test runner keeps its own.
TEST_F(ConverterFaultTest, DiskFillingUpFailsOnlyTheTaskThatHitIt) {
    const std::string input = LongInput();
    const std::string big = Output(0), small = Output(1);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        manager_.reset(CreateMediaManager());  // nothing of the parent's engine state is reused
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 0;
        {
            Owned<IMediaConverter> converter(manager_->CreateConverter());
            converter->SetMaxParallelTasks(2);
            // About 5 MB against a 1 MiB limit, and about 150 kB.
            converter->AddTask(Config(input, big, 640, 360, "avi", "mpeg4", 2000000).get());
            converter->AddTask(Config(TestMedia("h264_aac.mkv"), small, 160, 90, "avi", "mpeg4", 100000).get());
            converter->Start();
            const auto deadline = Clock::now() + std::chrono::seconds(120);
            while (converter->GetUnfinishedTaskCount() > 0 && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            code = StateOf(converter.get(), 0) * 10 + StateOf(converter.get(), 1);
        }
        manager_.reset();
        std::exit(code);  // exit, not _exit, so a leak check at exit still runs
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child crashed";
    EXPECT_EQ(WEXITSTATUS(status), TaskFailed * 10 + TaskFinished) << "states of the big and the small task";
    EXPECT_FALSE(fs::exists(big)) << "the partial output of the failed task stays behind";
    EXPECT_TRUE(DecodesCleanly(small));
    EXPECT_EQ(Entries(dir_), (std::set<std::string>{"long_input.mkv", "out1.avi"}));
}

// Sound that turns to NaN a second in makes the AAC encoder refuse it: the task must fail with
// the encoder named and leave no file, instead of finishing a file whose sound ends early, and
// the next task still runs.
TEST_F(ConverterFaultTest, AnEncoderFailingMidStreamFailsItsTaskAndTheBatchGoesOn) {
    const std::string broken = (dir_ / "nan_sound.mkv").string();
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=10 "
        "-f lavfi -i \"aevalsrc=if(gte(t\\,1)\\,0/0\\,sin(2*PI*440*t)):s=48000:d=10\" "
        "-c:v libx264 -preset ultrafast -c:a pcm_f32le " + ShellQuote(broken));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::string good = LongInput();
    converter_test::OutputShape shape;
    shape.audioCodec = "aac";
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_NE(converter, nullptr);
    converter->SetMaxParallelTasks(1);
    const std::string failedTarget = (dir_ / "broken.mkv").string();
    const std::string goodTarget = (dir_ / "good.mkv").string();
    ASSERT_GT(converter->AddTask(converter_test::MakeConfig(*manager_, broken, failedTarget, shape).get()), 0);
    ASSERT_GT(converter->AddTask(converter_test::MakeConfig(*manager_, good, goodTarget, shape).get()), 0);
    ASSERT_TRUE(converter->Start());
    WaitUntilDone(converter.get());
    EXPECT_EQ(StateOf(converter.get(), 0), TaskFailed);
    const std::string log = converter->GetTaskLog(0);
    EXPECT_NE(log.find("audio encoding error: the aac encoder failed: " + failedTarget), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(failedTarget));
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFinished) << converter->GetTaskLog(1);
    EXPECT_TRUE(DecodesCleanly(goodTarget));
    ASSERT_TRUE(converter->Stop());
    converter.reset();
    EXPECT_EQ(Entries(dir_), (std::set<std::string>{"good.mkv", "long_input.mkv", "nan_sound.mkv"}));
}

// The input goes away or shrinks under a running task. An open file stays readable after it is
// removed, and a shortened one simply ends early; either way the task must end, and a task
// that says "finished" must have left a complete file.
TEST_F(ConverterFaultTest, InputRemovedOrTruncatedWhileItsTaskRuns) {
    const fs::path removed = dir_ / "removed.mkv", truncated = dir_ / "truncated.mkv";
    fs::copy_file(LongInput(), removed);
    fs::copy_file(LongInput(), truncated);
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(2);
    converter->AddTask(Config(removed.string(), Output(0), 640, 360).get());
    converter->AddTask(Config(truncated.string(), Output(1), 640, 360).get());
    converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(2)).get());
    converter->Start();
    WaitUntilRunning(converter.get(), 0);
    WaitUntilRunning(converter.get(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fs::remove(removed);
    fs::resize_file(truncated, fs::file_size(truncated) * 6 / 10);
    WaitUntilDone(converter.get());

    std::printf("input removed: task state %d; input truncated: task state %d\n", StateOf(converter.get(), 0),
                StateOf(converter.get(), 1));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const int32_t state = StateOf(converter.get(), i);
        ASSERT_TRUE(state == TaskFinished || state == TaskFailed);
        if (state == TaskFinished) {
            std::string errors;
            EXPECT_TRUE(DecodesCleanly(Output(i), &errors)) << errors;
        } else {
            EXPECT_FALSE(fs::exists(Output(i)));
        }
    }
    EXPECT_EQ(StateOf(converter.get(), 2), TaskFinished);
    EXPECT_TRUE(DecodesCleanly(Output(2)));
}

// Stop, RemoveTask or Release at random moments, 100 times: no hang, and what remains is whole
// (a cancelled task removes its file, a finished one keeps it).
TEST_F(ConverterFaultTest, CancellingAtRandomMoments) {
    std::mt19937 random(97);
    // Workers start on the scheduler's first pass, 100 ms after Start; this spans queued,
    // opening, mid-run and already ended.
    std::uniform_int_distribution<int> pause(60, 260);
    int cancelledWhileWriting = 0;
    for (int cycle = 0; cycle < 100; ++cycle) {
        SCOPED_TRACE(cycle);
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        converter->SetMaxParallelTasks(2);
        for (int i = 0; i < 3; ++i)
            converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(3 * cycle + i)).get());
        converter->Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        for (const std::string& name : Entries(dir_))
            if (name.front() == '.') {
                ++cancelledWhileWriting;
                break;
            }
        const auto started = Clock::now();
        switch (cycle % 3) {
        case 0: EXPECT_TRUE(converter->Stop()); break;
        case 1: EXPECT_TRUE(converter->RemoveTask(0)); break;
        default: break;  // Release below
        }
        converter.reset();
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10)) << "cancelling hung";
    }
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << "a temporary file stayed: " << entry.path();
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(entry.path().string(), &errors)) << entry.path() << ": " << errors;
    }
    EXPECT_GT(cancelledWhileWriting, 0) << "some cycles must have been cancelled mid-write";
}

// Many short tasks through one converter: memory and descriptors must not grow with the count.
// CORVANE_SOAK_TASKS raises the count (make soak runs 200).
TEST_F(ConverterFaultTest, SoakKeepsMemoryAndDescriptorsFlat) {
    const char* requested = std::getenv("CORVANE_SOAK_TASKS");
    const int tasks = requested && *requested ? std::max(20, std::atoi(requested)) : 20;
    constexpr int kBatch = 10;
    constexpr long kRssGrowthKiB = 16 * 1024;
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_TRUE(converter->SetMaxParallelTasks(std::min(2u, std::max(1u, std::thread::hardware_concurrency()))));
    converter->Start();
    long baseFds = -1, baseRss = -1, peakRss = 0, maxFds = 0;
    for (int done = 0; done < tasks; done += kBatch) {
        for (int i = done; i < done + kBatch; ++i)
            ASSERT_GT(converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(i)).get()), 0);
        WaitUntilDone(converter.get());
        for (int i = done; i < done + kBatch; ++i) {
            ASSERT_EQ(StateOf(converter.get(), i), TaskFinished) << "task " << i;
            fs::remove(Output(i));
        }
        const long fds = OpenDescriptors(), rss = ResidentKiB();
        if (done == 0) {  // the first batch warms up codecs and allocator pools
            baseFds = fds;
            baseRss = rss;
        }
        maxFds = std::max(maxFds, fds);
        peakRss = std::max(peakRss, rss);
    }
    RecordProperty("tasks", tasks);
    RecordProperty("fds_after_first_batch", static_cast<int>(baseFds));
    RecordProperty("fds_max", static_cast<int>(maxFds));
    RecordProperty("rss_kib_after_first_batch", static_cast<int>(baseRss));
    RecordProperty("rss_kib_peak", static_cast<int>(peakRss));
    std::printf("soak: %d tasks, descriptors %ld -> max %ld, VmRSS %ld KiB -> peak %ld KiB\n", tasks,
                baseFds, maxFds, baseRss, peakRss);
    EXPECT_EQ(maxFds, baseFds) << "descriptors leak";
    if (kResidentSizeMeaningful) {
        EXPECT_LE(peakRss - baseRss, kRssGrowthKiB) << "resident memory grows with the task count";
    }
}
