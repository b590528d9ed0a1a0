#include "system/feeding_priority.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "system/base_thread.h"
#include "system/platform.h"
#include "system/task_log.h"
#include "system/thread_budget.h"

using namespace SystemBased;

namespace {

int FeedingNice() {
    return std::min(Platform::ProcessNice() + kFeedingNiceSteps, 19);
}

}  // namespace

TEST(FeedingPriority, WorkRunsLowerOnAThreadOfItsOwnWithTheCallersLogAndBudget) {
    TaskLog log;
    const TaskLogScope intoLog(&log);
    const ThreadBudgetScope budget(3);
    const int callerNice = Platform::CurrentThreadNice();
    const uint64_t caller = Platform::CurrentThreadId();

    uint64_t worker = 0;
    int workNice = 0, startedNice = 0, seenBudget = 0;
    TaskLog* seenLog = nullptr;
    RunAtFeedingPriority("vt-test-feed", [&] {
        worker = Platform::CurrentThreadId();
        workNice = Platform::CurrentThreadNice();
        seenLog = CurrentTaskLog();
        seenBudget = ThreadBudget();
        // A thread the work starts, as a decoder starts its own, inherits the priority.
        std::thread started([&] { startedNice = Platform::CurrentThreadNice(); });
        started.join();
    });

    EXPECT_NE(worker, caller);
    EXPECT_EQ(workNice, FeedingNice());
    EXPECT_EQ(startedNice, FeedingNice());
    EXPECT_EQ(seenLog, &log);
    EXPECT_EQ(seenBudget, 3);
    EXPECT_EQ(Platform::CurrentThreadNice(), callerNice) << "the caller keeps its priority";
}

TEST(FeedingPriority, WhatTheWorkThrowsReachesTheCaller) {
    EXPECT_THROW(RunAtFeedingPriority("vt-test-feed", [] { throw std::runtime_error("open failed"); }),
                 std::runtime_error);
}

TEST(FeedingPriority, WithoutAThreadToSpareTheWorkStillRunsOnTheCaller) {
    const uint64_t caller = Platform::CurrentThreadId();
    const int callerNice = Platform::CurrentThreadNice();
    uint64_t worker = 0;
    FailNextThreadStarts(1);
    RunAtFeedingPriority("vt-test-feed", [&] { worker = Platform::CurrentThreadId(); });
    FailNextThreadStarts(0);
    EXPECT_EQ(worker, caller);
    EXPECT_EQ(Platform::CurrentThreadNice(), callerNice);
}

TEST(FeedingPriority, LoweringTouchesTheCallingThreadAloneAndStaysPutWhenRepeated) {
    const int before = Platform::CurrentThreadNice();
    std::atomic<int> lowered{0}, again{0};
    std::thread feeding([&] {
        LowerToFeedingPriority();
        lowered = Platform::CurrentThreadNice();
        // A second call, as from a decoder reopened on a thread already lowered, stays put.
        LowerToFeedingPriority();
        again = Platform::CurrentThreadNice();
    });
    feeding.join();
    EXPECT_EQ(lowered.load(), FeedingNice());
    EXPECT_EQ(again.load(), FeedingNice());
    EXPECT_EQ(Platform::CurrentThreadNice(), before);
}
