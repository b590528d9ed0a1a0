#include "system/base_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include <boost/thread/exceptions.hpp>

#include "system/platform.h"

using namespace SystemBased;

namespace {

class CountingThread final : public CBaseThread {
public:
    ~CountingThread() override = default;
    void Run() override {
        runs.fetch_add(1);
        threadId = Platform::CurrentThreadId();
    }
    std::atomic<int> runs{0};
    std::atomic<uint64_t> threadId{0};
};

// Sleeps, then marks a flag that outlives the object: Run touches no member after its start.
class SlowThread final : public CBaseThread {
public:
    SlowThread(std::atomic<bool>* started, std::atomic<bool>* done) : started_(started), done_(done) {}
    ~SlowThread() override = default;
    void Run() override {
        std::atomic<bool>* done = done_;
        started_->store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        done->store(true);
    }

private:
    std::atomic<bool>* started_;
    std::atomic<bool>* done_;
};

}  // namespace

TEST(BaseThread, JoinWithoutAThreadReturnsFalseAtOnce) {
    CountingThread thread;
    EXPECT_FALSE(thread.Join());
    EXPECT_EQ(thread.runs.load(), 0);
}

TEST(BaseThread, RunsOnceOnItsOwnThread) {
    CountingThread thread;
    thread.Start();
    EXPECT_TRUE(thread.Join());
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_NE(thread.threadId.load(), Platform::CurrentThreadId());
    EXPECT_FALSE(thread.Join()) << "a joined thread cannot be waited for again";
}

// An owner that forgets Join must not leave a thread running on freed memory: the object is
// gone only once its thread is.
TEST(BaseThread, DestroyingARunningThreadWaitsForIt) {
    std::atomic<bool> started{false}, done{false};
    auto thread = std::make_unique<SlowThread>(&started, &done);
    thread->Start();
    // Run must have begun: no destructor can call a body whose object is already gone.
    while (!started.load())
        std::this_thread::yield();
    thread.reset();
    EXPECT_TRUE(done.load()) << "the destructor returned while Run was still running";
}

// Thread creation can fail under a process limit; the seam stands in for that limit.
TEST(BaseThread, AThreadThatCannotBeCreatedIsReported) {
    CountingThread thread;
    FailNextThreadStarts(2);
    EXPECT_THROW(thread.Start(), boost::thread_resource_error);
    EXPECT_FALSE(thread.TryStart());
    EXPECT_FALSE(thread.Join()) << "no thread was made";
    EXPECT_TRUE(thread.TryStart()) << "only the given number of starts fail";
    EXPECT_TRUE(thread.Join());
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(Clock, MicrosecondsCountFromTheUnixEpoch) {
    EXPECT_EQ(Platform::MicrosecondsSinceEpoch(timespec{1, 0}), 1000000);
    EXPECT_EQ(Platform::MicrosecondsSinceEpoch(timespec{0, 999}), 0);
    const int64_t before = static_cast<int64_t>(std::time(nullptr)) * 1000000;
    const int64_t now = GetCurrentMicroseconds();
    EXPECT_GE(now, before);
    EXPECT_LT(now - before, 2000000);
}

TEST(Clock, SleepWaitsAtLeastTheGivenTime) {
    const int64_t start = GetCurrentMicroseconds();
    SleepMilliseconds(20);
    EXPECT_GE(GetCurrentMicroseconds() - start, 19000);
}

TEST(Processors, CountIsPositive) {
    EXPECT_GE(GetProcessorCount(), 1);
}
