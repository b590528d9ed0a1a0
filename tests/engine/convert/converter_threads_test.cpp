// The converter's threads and sources under injected faults: threads that cannot be created,
// sources that keep failing or never deliver a stream, and a long batch that must not keep one
// thread stack per finished task.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "convert/media_converter.h"
#include "converter_test_support.h"
#include "engine_test_support.h"
#include "process_helpers.h"
#include "system/base_thread.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;
namespace fs = std::filesystem;
using namespace converter_test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer maps its quarantine of freed memory (up to 256 MiB) as the batch goes on.
constexpr long kAddressSpaceGrowthKiB = 400 * 1024;
#else
constexpr long kAddressSpaceGrowthKiB = 160 * 1024;
#endif

// One "Name:  value kB" line of /proc/self/status.
long StatusValue(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::stol(line.substr(name.size() + 1));
    return -1;
}

// How a wrapped source misbehaves.
enum class SourceFault {
    FailForever,       // every read fails after the first frames, without an end of stream
    FailEveryOther,    // every second read fails, then the source ends normally
    SwallowSlotOne,    // slot 1 (the audio) never gets a frame
};

class FaultySource final : public IMediaSource {
public:
    FaultySource(IMediaSource* real, SourceFault fault, std::atomic<int>* failedReads)
        : real_(real), fault_(fault), failedReads_(failedReads) {}
    void* ReservedQuery(void* key) override { return real_->ReservedQuery(key); }
    intptr_t NamedParameter(const char* n, const char* v) override { return real_->NamedParameter(n, v); }
    void Release() override {
        real_->Release();
        delete this;
    }
    bool ReadFrame(IMediaFrame** frame, int32_t* slot, void* reserved) override {
        ++reads_;
        if ((fault_ == SourceFault::FailForever && reads_ > 20) ||
            (fault_ == SourceFault::FailEveryOther && reads_ % 2 == 0)) {
            failedReads_->fetch_add(1);
            return false;
        }
        for (;;) {
            if (!real_->ReadFrame(frame, slot, reserved))
                return false;
            if (fault_ != SourceFault::SwallowSlotOne || *slot != 1)
                return true;
            if (real_->IsEndOfStream())
                return false;
        }
    }
    bool Seek(int32_t positionMs) override { return real_->Seek(positionMs); }
    int32_t GetDuration() override { return real_->GetDuration(); }
    intptr_t ReservedValue() override { return real_->ReservedValue(); }
    bool IsEndOfStream() override {
        return fault_ != SourceFault::FailForever && real_->IsEndOfStream();
    }

private:
    IMediaSource* real_;
    SourceFault fault_;
    std::atomic<int>* failedReads_;
    int reads_ = 0;  // the worker's thread only
};

class FaultyImporter final : public IMediaImporter {
public:
    FaultyImporter(IMediaImporter* real, SourceFault fault, std::atomic<int>* failedReads)
        : real_(real), fault_(fault), failedReads_(failedReads) {}
    void* ReservedQuery(void* key) override { return real_->ReservedQuery(key); }
    intptr_t NamedParameter(const char* n, const char* v) override { return real_->NamedParameter(n, v); }
    void Release() override {
        real_->Release();
        delete this;
    }
    bool Open(const char* path) override { return real_->Open(path); }
    bool Reopen(void* reserved) override { return real_->Reopen(reserved); }
    int32_t GetMediaCount() override { return real_->GetMediaCount(); }
    IMediaInfo* GetMediaInfo(uint32_t index) override { return real_->GetMediaInfo(index); }
    IMediaSource* CreateSource(uint32_t index, const StreamSelection* selections, int32_t count) override {
        IMediaSource* real = real_->CreateSource(index, selections, count);
        return real ? new FaultySource(real, fault_, failedReads_) : nullptr;
    }
    void Close() override { real_->Close(); }

private:
    IMediaImporter* real_;
    SourceFault fault_;
    std::atomic<int>* failedReads_;
};

// The engine's own manager, except that its importers hand out faulty sources.
class FaultyManager final : public IMediaManager {
public:
    FaultyManager(IMediaManager* real, SourceFault fault) : real_(real), fault_(fault) {}
    void* ReservedQuery(void* key) override { return real_->ReservedQuery(key); }
    intptr_t NamedParameter(const char* n, const char* v) override { return real_->NamedParameter(n, v); }
    void Release() override {}
    IMediaSourceEx* CreateMediaSource(const char* path) override { return real_->CreateMediaSource(path); }
    void* ReservedCreate(void* a, void* b, void* c, void* d) override { return real_->ReservedCreate(a, b, c, d); }
    void* ReservedQuery2(void* a) override { return real_->ReservedQuery2(a); }
    IMediaImporter* CreateImporter(const char* name) override {
        IMediaImporter* real = real_->CreateImporter(name);
        return real ? new FaultyImporter(real, fault_, &failedReads) : nullptr;
    }
    IMediaImporter* OpenImporter(const char* path) override { return real_->OpenImporter(path); }
    IAudioResampler* CreateAudioResampler(int32_t f, int32_t c, int32_t r, int64_t l, int32_t x) override {
        return real_->CreateAudioResampler(f, c, r, l, x);
    }
    IImageConverter* CreateImageConverter(int32_t f, int32_t w, int32_t h, uint32_t flags) override {
        return real_->CreateImageConverter(f, w, h, flags);
    }
    IMediaConverter* CreateConverter() override { return new CMediaConverter(this); }
    IMediaTaskConfig* CreateTaskConfig() override { return real_->CreateTaskConfig(); }
    IMediaExporter* CreateExporter(void* reserved) override { return real_->CreateExporter(reserved); }
    IMediaInfo* CreateMediaInfo() override { return real_->CreateMediaInfo(); }

    std::atomic<int> failedReads{0};

private:
    IMediaManager* real_;
    SourceFault fault_;
};

class ConverterThreadTest : public converter_test::EngineFolderTest {
protected:
    ConverterThreadTest() : EngineFolderTest("corvane-converter-threads") {}

    void SetUp() override {
        EngineFolderTest::SetUp();
        // A short, small input keeps a hundred tasks quick.
        input_ = (dir_ / "short.mkv").string();
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x90:rate=25:duration=0.4 "
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.4 -c:v libx264 "
            "-preset ultrafast -c:a aac -ac 2 " + ShellQuote(input_));
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    void TearDown() override {
        SystemBased::FailNextThreadStarts(0);
        EngineFolderTest::TearDown();
    }

    Owned<IMediaTaskConfig> Config(const std::string& source, const std::string& target,
                                   const char* container = "avi") {
        return MakeConfig(*manager_, source, target, {160, 90, container});
    }
    std::string Output(int i) const { return (dir_ / ("out" + std::to_string(i) + ".avi")).string(); }
    size_t EntryCount() const {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_))
            ++count;
        return count;
    }

    std::string input_;
};

}  // namespace

// A hundred short tasks through one converter: ended workers are joined as the batch goes, so
// neither the thread count nor the address space grows with the number of tasks.
TEST_F(ConverterThreadTest, FinishedWorkersDoNotPileUp) {
    // Growth here would be thread stacks (8 MiB each), not allocator arenas made by new threads.
    mallopt(M_ARENA_MAX, 2);
    constexpr int kFirst = 20, kTotal = 100;
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_TRUE(converter->SetMaxParallelTasks(std::min(2, static_cast<int>(std::thread::hardware_concurrency()))));
    converter->Start();
    long threadsAfterFirst = 0, sizeAfterFirst = 0;
    for (int done = 0; done < kTotal;) {
        const int batch = done == 0 ? kFirst : 20;
        for (int i = done; i < done + batch; ++i)
            ASSERT_GT(converter->AddTask(Config(input_, Output(i)).get()), 0);
        WaitUntilDone(converter.get(), std::chrono::seconds(300));
        for (int i = done; i < done + batch; ++i) {
            ASSERT_EQ(StateOf(converter.get(), i), TaskFinished) << "task " << i;
            fs::remove(Output(i));
        }
        done += batch;
        // The last workers are joined on the scheduler's next pass.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        if (done == kFirst) {
            threadsAfterFirst = StatusValue("Threads");
            sizeAfterFirst = StatusValue("VmSize");
        }
    }
    const long threads = StatusValue("Threads"), size = StatusValue("VmSize");
    std::printf("threads %ld -> %ld, VmSize %ld KiB -> %ld KiB (after %d and %d tasks)\n",
                threadsAfterFirst, threads, sizeAfterFirst, size, kFirst, kTotal);
    RecordProperty("vmsize_kib_after_20", static_cast<int>(sizeAfterFirst));
    RecordProperty("vmsize_kib_after_100", static_cast<int>(size));
    EXPECT_LE(threads, threadsAfterFirst + 2);
    // 80 more unjoined workers would add 80 stacks, over 640 MiB.
    EXPECT_LT(size - sizeAfterFirst, kAddressSpaceGrowthKiB) << "address space grows with the task count";
}

// Out of threads for one worker: its task fails, the batch goes on, the process lives.
TEST_F(ConverterThreadTest, AWorkerThatCannotBeCreatedFailsOnlyItsTask) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->SetMaxParallelTasks(1);
    ASSERT_TRUE(converter->Start());
    SystemBased::FailNextThreadStarts(1);  // the scheduler itself starts no other thread
    converter->AddTask(Config(input_, Output(0)).get());
    converter->AddTask(Config(input_, Output(1)).get());
    WaitUntilDone(converter.get());
    EXPECT_EQ(StateOf(converter.get(), 0), TaskFailed);
    EXPECT_EQ(converter->GetTask(0)->progress.load(), 100.0);
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFinished);
    EXPECT_FALSE(fs::exists(Output(0)));
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(Output(1), &errors)) << errors;
}

// Out of threads for the scheduler: Start says so, and a later Start still runs the batch.
TEST_F(ConverterThreadTest, ASchedulerThatCannotBeCreatedMakesStartFail) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    converter->AddTask(Config(input_, Output(0)).get());
    SystemBased::FailNextThreadStarts(1);
    EXPECT_FALSE(converter->Start());
    EXPECT_TRUE(converter->IsPaused());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(StateOf(converter.get(), 0), TaskWaiting) << "nothing runs without a scheduler";
    EXPECT_TRUE(converter->Start());
    WaitUntilDone(converter.get());
    EXPECT_EQ(StateOf(converter.get(), 0), TaskFinished);
}

// A source that keeps failing without ever reaching its end is broken, not finished; one that
// fails now and then but recovers is fine. One that never delivers a frame to a stream the
// task writes (here the audio) made an output that only looks whole.
TEST_F(ConverterThreadTest, SourcesThatFailOrStayEmptyFailTheirTask) {
    struct Case {
        SourceFault fault;
        int32_t state;
    };
    const Case cases[] = {{SourceFault::FailForever, TaskFailed},
                          {SourceFault::FailEveryOther, TaskFinished},
                          {SourceFault::SwallowSlotOne, TaskFailed}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        FaultyManager faulty(manager_.get(), cases[i].fault);
        {
            Owned<IMediaConverter> converter(faulty.CreateConverter());
            converter->AddTask(Config(TestMedia("h264_aac.mkv"), Output(static_cast<int>(i))).get());
            converter->Start();
            WaitUntilDone(converter.get());
            EXPECT_EQ(StateOf(converter.get(), 0), cases[i].state);
        }
        if (cases[i].state == TaskFinished) {
            EXPECT_GT(faulty.failedReads.load(), 10) << "the faults must have happened";
            std::string errors;
            EXPECT_TRUE(DecodesCleanly(Output(static_cast<int>(i)), &errors)) << errors;
            fs::remove(Output(static_cast<int>(i)));
        }
        if (cases[i].fault == SourceFault::FailForever) {
            EXPECT_GE(faulty.failedReads.load(), 1000);
        }
        EXPECT_EQ(EntryCount(), 1u) << "only the input stays";
    }
}
