#include "task_status.h"

#include <QTime>

#include "output_setting.h"
#include "source_file.h"
#include "vantrel/records.h"

using namespace MediaBased;

QString remainingText(qint64 seconds) {
    return QStringLiteral("Remaining:") +
           QTime(0, 0).addSecs(static_cast<int>(seconds % 86400)).toString(Qt::TextDate);
}

TaskStatusView taskStatusView(int state, double progress, qint64 elapsedSeconds) {
    TaskStatusView view;
    switch (state) {
        case TaskFinished:
            return {true, 100, QStringLiteral("Finished")};
        case TaskWaiting:
            return {true, 0, QStringLiteral("Wait")};
        case TaskFailed:
            return {true, 0, QStringLiteral("Error")};
        case TaskRunning:
            break;
        default:
            return view;
    }
    view.changes = true;
    if (progress >= 3.0) {
        const double elapsed = static_cast<double>(elapsedSeconds);
        const auto remaining = static_cast<qint64>(elapsed / (progress / 100.0) - elapsed);
        view.text = remainingText(remaining);
    } else {
        view.text = QStringLiteral("Run...");
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
