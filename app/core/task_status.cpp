#include "task_status.h"

#include <QCoreApplication>
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
    // Early on the rate still swings with start-up costs: an estimate then would mislead.
    if (progress >= kMinProgressForEstimate && elapsedSeconds >= kMinSecondsForEstimate) {
        const double elapsed = static_cast<double>(elapsedSeconds);
        view.remainingSeconds = static_cast<qint64>(elapsed / (progress / 100.0) - elapsed);
    }
    view.progressValue = progress >= 1.0 ? static_cast<int>(progress) : 1;
    return view;
}

qint64 estimatedOutputBytes(const OutputSetting& setting, double durationSeconds, bool sourceHasVideo) {
    qint64 bitsPerSecond = 0;
    if (sourceHasVideo && !setting.videoCodec.isEmpty())
        bitsPerSecond += static_cast<qint64>(setting.videoBitrate.toInt()) * 1000;
    if (!setting.audioCodec.isEmpty())
        bitsPerSecond += static_cast<qint64>(setting.audioBitrate.toInt()) * 1000;
    return static_cast<qint64>(durationSeconds * static_cast<double>(bitsPerSecond) / 8.0);
}

QString targetInfoText(const OutputSetting& setting, double durationSeconds, bool sourceHasVideo) {
    const bool video = sourceHasVideo && !setting.videoCodec.isEmpty();
    const QString shape = video ? setting.videoResolution
                                : QCoreApplication::translate("TaskStatus", "audio only");
    return shape + ' ' + formatSize(estimatedOutputBytes(setting, durationSeconds, sourceHasVideo));
}
