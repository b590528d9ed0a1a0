// How one task's engine status and one source's estimate read on screen.
#pragma once

#include <QString>

struct OutputSetting;

struct TaskStatusView {
    bool changes = false;  // false: leave the row as it is (held or unknown states)
    int progressValue = 0;
    QString text;
};

// state and progress as the engine reports them; elapsedSeconds since the row first saw the
// task running.
TaskStatusView taskStatusView(int state, double progress, qint64 elapsedSeconds);

// "Remaining:hh:mm:ss" (wrapping past 24 hours like a clock).
QString remainingText(qint64 seconds);

// Estimated output size from the setting's leading bit rate: video's when it has a video
// codec, else audio's.
qint64 estimatedOutputBytes(const OutputSetting& setting, double durationSeconds);
// "<resolution> <size>", e.g. "640*480 7.15 MB".
QString targetInfoText(const OutputSetting& setting, double durationSeconds);
