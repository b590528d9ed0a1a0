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

