#include "task_status.h"

#include <QTime>

#include "output_setting.h"
#include "source_file.h"
#include "vantrel/records.h"

using namespace MediaBased;

QString clockText(qint64 seconds) {
    return QTime(0, 0).addSecs(static_cast<int>(seconds % 86400)).toString(Qt::TextDate);
}

TaskPhase taskPhaseOf(int engineState) {
    switch (engineState) {
        case TaskWaiting:
            return TaskPhase::Waiting;
        case TaskRunning:
        case TaskHeld:
            return TaskPhase::Running;
        case TaskFinished:
            return TaskPhase::Finished;
        case TaskFailed:
            return TaskPhase::Failed;
        default:
            return TaskPhase::Unknown;
    }
}

TaskStatusView taskStatusView(int state, double progress, qint64 elapsedSeconds) {
    TaskStatusView view;
    view.phase = taskPhaseOf(state);
    switch (view.phase) {
        case TaskPhase::Finished:
            view.progressValue = 100;
            return view;
        case TaskPhase::Running:
            break;
        default:
            return view;
    }
    // Below 3 % an estimate would swing wildly.
    if (progress >= 3.0) {
        const double elapsed = static_cast<double>(elapsedSeconds);
        view.remainingSeconds = static_cast<qint64>(elapsed / (progress / 100.0) - elapsed);
    }
    view.progressValue = progress >= 1.0 ? static_cast<int>(progress) : 1;
    return view;
}

qint64 estimatedOutputBytes(const OutputSetting& setting, double durationSeconds) {
    qint64 bitsPerSecond = 0;
    if (!setting.videoCodec.isEmpty())
        bitsPerSecond = static_cast<qint64>(setting.videoBitrate.toInt()) * 1000;
    else if (!setting.audioCodec.isEmpty())
        bitsPerSecond = static_cast<qint64>(setting.audioBitrate.toInt()) * 1000;
    return static_cast<qint64>(durationSeconds * static_cast<double>(bitsPerSecond) / 8.0);
}

QString targetInfoText(const OutputSetting& setting, double durationSeconds) {
    return setting.videoResolution + ' ' + formatSize(estimatedOutputBytes(setting, durationSeconds));
}
