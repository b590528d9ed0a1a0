#include "size_estimate.h"

#include <QFileInfo>
#include <algorithm>

#include "output_setting.h"
#include "source_file.h"

using namespace MediaBased;

namespace {

// Nominal rates that split a file's bit rate between streams that do not state their own.
double nominalBitRate(const StreamRecord& record) {
    if (record.kind == StreamKindVideo) {
        const double rate = record.frameTimeNum > 0 && record.frameTimeDen > 0
                                ? double(record.frameTimeDen) / record.frameTimeNum
                                : 25.0;
        return 0.1 * record.width * record.height * rate;
    }
    if (record.kind == StreamKindAudio)
        return 64000.0 * std::max(1, int(record.channels));
    return 0.0;
}

// Bits per second of each source stream: its own when the file states it, else its share of
// what the stated ones leave of the whole file.
QList<double> sourceBitRates(const SourceFile& source) {
    IMediaInfo* info = source.mediaInfo();
    const int count = info ? info->GetStreamCount() : 0;
    QList<double> rates(count, 0.0);
    double stated = 0.0;
    double unstatedWeight = 0.0;
    for (int i = 0; i < count; ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        if (record == nullptr)
            continue;
        if (record->bitRate > 0)
            stated += rates[i] = record->bitRate;
        else
            unstatedWeight += nominalBitRate(*record);
    }
    const double duration = source.duration();
    const double fileRate = duration > 0 ? 8.0 * double(QFileInfo(source.path()).size()) / duration : 0.0;
    const double left = std::max(0.0, fileRate - stated);
    for (int i = 0; i < count && unstatedWeight > 0; ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        if (record != nullptr && record->bitRate <= 0)
            rates[i] = left * nominalBitRate(*record) / unstatedWeight;
    }
    return rates;
}

// Encoded pictures count only with encodedVideo; their constant quality makes the whole
// kSizeUnknown.
qint64 plannedBytes(const TaskPlan& plan, const SourceFile& source, const OutputSetting& setting,
                    bool encodedVideo) {
    const QList<double> sourceRates = sourceBitRates(source);
    double bitsPerSecond = 0.0;
    for (const PlannedStream& stream : plan.outputs()) {
        if (stream.action == PlanAction::Copy) {
            if (stream.source.index >= 0 && stream.source.index < sourceRates.size())
                bitsPerSecond += sourceRates[stream.source.index];
        } else if (stream.source.kind == PlanKind::Video) {
            if (!encodedVideo)
                continue;
            // A constant quality spends what the picture needs: no rate says how much.
            if (stream.quality >= 0)
                return kSizeUnknown;
            bitsPerSecond += setting.videoBitrate.toDouble() * 1000.0;
        } else if (stream.source.kind == PlanKind::Audio) {
            // A row with fixed options (MP3 VBR) encodes to a quality: its nominal rate still
            // estimates it well enough.
            bitsPerSecond += setting.audioBitrate.toDouble() * 1000.0;
        }
    }
    return static_cast<qint64>(source.duration() * bitsPerSecond / 8.0);
}

}  // namespace

qint64 plannedOutputBytes(const TaskPlan& plan, const SourceFile& source, const OutputSetting& setting) {
    return plannedBytes(plan, source, setting, true);
}

qint64 plannedBytesBesidesEncodedVideo(const TaskPlan& plan, const SourceFile& source,
                                       const OutputSetting& setting) {
    return plannedBytes(plan, source, setting, false);
}
