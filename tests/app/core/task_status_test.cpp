#include "task_status.h"

#include <gtest/gtest.h>

#include "output_setting.h"
#include "vantrel/records.h"

using namespace MediaBased;

TEST(TaskStatus, EveryEngineStateHasOnePhaseForTheWindowAndTheCli) {
    EXPECT_EQ(taskPhaseOf(TaskWaiting), TaskPhase::Waiting);
    EXPECT_EQ(taskPhaseOf(TaskRunning), TaskPhase::Running);
    EXPECT_EQ(taskPhaseOf(TaskHeld), TaskPhase::Running) << "a held task's worker goes on";
    EXPECT_EQ(taskPhaseOf(TaskFinished), TaskPhase::Finished);
    EXPECT_EQ(taskPhaseOf(TaskFailed), TaskPhase::Failed);
    EXPECT_EQ(taskPhaseOf(17), TaskPhase::Unknown);
}

TEST(TaskStatus, RemainingTimeIsEstimatedOnlyOnceThereIsEnoughToGoOn) {
    const TaskStatusView early = taskStatusView(TaskRunning, 0.5, 3);
    EXPECT_EQ(early.phase, TaskPhase::Running);
    EXPECT_EQ(early.progressValue, 1) << "a running task shows it has begun";
    EXPECT_EQ(early.remainingSeconds, -1);

    EXPECT_EQ(taskStatusView(TaskRunning, 4.9, 60).remainingSeconds, -1) << "too little progress";
    EXPECT_EQ(taskStatusView(TaskRunning, 40.0, 2).remainingSeconds, -1) << "too little time";
    EXPECT_EQ(taskStatusView(TaskRunning, 5.0, 3).remainingSeconds, 57);

    const TaskStatusView quarter = taskStatusView(TaskRunning, 25.0, 60);
    EXPECT_EQ(quarter.progressValue, 25);
    EXPECT_EQ(quarter.remainingSeconds, 180);

    EXPECT_EQ(taskStatusView(TaskFinished, 99.0, 60).progressValue, 100);
    EXPECT_EQ(taskStatusView(TaskFailed, 100.0, 60).remainingSeconds, -1);
    EXPECT_EQ(clockText(3723), "01:02:03");
    EXPECT_EQ(clockText(86400 + 5), "00:00:05") << "past a day it wraps like a clock";
}

