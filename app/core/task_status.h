// How one task's engine status and one source's estimate read on screen.
#pragma once

#include <QString>

struct OutputSetting;

// What became of a task, for the window and the CLI to put in their own words.
enum class TaskPhase {
    Unknown,   // a state the engine does not define: leave what is shown
    Waiting,
    Running,   // held tasks too: their workers go on
    Finished,
    Failed,
};

TaskPhase taskPhaseOf(int engineState);

// A remaining time is shown from this much progress and running time on.
constexpr double kMinProgressForEstimate = 5.0;
constexpr qint64 kMinSecondsForEstimate = 3;

struct TaskStatusView {
    TaskPhase phase = TaskPhase::Unknown;
    int progressValue = 0;         // 0..100 for a progress bar; at least 1 once running
    qint64 remainingSeconds = -1;  // running tasks, once there is enough to estimate from
};

// state and progress as the engine reports them; elapsedSeconds since the row first saw the
// task running.
TaskStatusView taskStatusView(int state, double progress, qint64 elapsedSeconds);

// "hh:mm:ss" (wrapping past 24 hours like a clock).
QString clockText(qint64 seconds);

