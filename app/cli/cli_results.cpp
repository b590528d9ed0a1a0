#include "cli_results.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

#include "conversion_run.h"
#include "task_outcome.h"
#include "task_status.h"
#include "vantrel/records.h"

bool FileResult::ended() const {
    return state != QLatin1String("waiting") && state != QLatin1String("running");
}

QByteArray resultsJson(const std::vector<FileResult>& results) {
    QJsonArray outputs;
    for (const FileResult& result : results) {
        QJsonObject output{{"source", result.source}, {"state", result.state}, {"seconds", result.seconds}};
        if (!result.target.isEmpty())
            output.insert("target", result.target);
        if (!result.reason.isEmpty())
            output.insert("reason", result.reason);
        outputs.append(output);
    }
    return QJsonDocument(QJsonObject{{"outputs", outputs}}).toJson(QJsonDocument::Compact);
}

double taskSeconds(qint64 milliseconds) {
    return static_cast<double>(std::max<qint64>(milliseconds, 1)) / 1000.0;
}

TaskTracker::TaskTracker(const ConversionRun& run, std::vector<FileResult*> taskResults)
    : run_(run),
      results_(std::move(taskResults)),
      startedAt_(results_.size(), 0),
      seenRunning_(results_.size(), false) {
    clock_.start();
}

void TaskTracker::update() {
    const qint64 now = clock_.elapsed();
    for (size_t i = 0; i < results_.size(); ++i) {
        FileResult& result = *results_[i];
        const auto index = static_cast<int>(i);
        const MediaBased::ConvertTask* task = run_.task(index);
        if (task == nullptr || result.ended())
            continue;
        const int state = task->state.load(std::memory_order_acquire);
        switch (taskPhaseOf(state)) {
            case TaskPhase::Waiting:
                startedAt_[i] = now;
                break;
            case TaskPhase::Running:
                if (!seenRunning_[i]) {
                    seenRunning_[i] = true;
                    startedAt_[i] = now;
                }
                result.state = QStringLiteral("running");
                result.percent = static_cast<int>(task->progress.load());
                break;
            case TaskPhase::Finished:
            case TaskPhase::Failed: {
                const TaskOutcome outcome = taskOutcome(state, run_.taskLog(index), false);
                const bool finished = outcome.kind == OutcomeKind::Finished ||
                                      outcome.kind == OutcomeKind::FinishedEarly;
                result.state = finished ? QStringLiteral("finished") : QStringLiteral("failed");
                result.reason = outcome.reason;
                result.seconds = taskSeconds(now - startedAt_[i]);
                result.target = run_.targetPath(index);  // the name the output really got
                result.percent = finished ? 100 : static_cast<int>(task->progress.load());
                break;
            }
            case TaskPhase::Unknown:
                break;
        }
    }
}

void TaskTracker::markStopped() {
    const qint64 now = clock_.elapsed();
    for (size_t i = 0; i < results_.size(); ++i) {
        FileResult& result = *results_[i];
        if (result.ended())
            continue;
        if (seenRunning_[i]) {
            result.reason = QStringLiteral("interrupted while converting");
            result.seconds = taskSeconds(now - startedAt_[i]);
        } else {
            result.reason = QStringLiteral("interrupted before it started");
        }
        result.state = QStringLiteral("stopped");
        result.target.clear();  // a stopped task leaves no file
    }
}
