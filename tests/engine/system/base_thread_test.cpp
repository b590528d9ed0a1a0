#include "system/base_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>

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
