#include "quality_trial.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "plan_inputs.h"
#include "size_estimate.h"
#include "source_file.h"
#include "vantrel/owned.h"

using namespace MediaBased;

namespace {

constexpr int64_t kSampleMs = 2000;
constexpr double kTicksPerSecond = 1e7;  // frame times are in 100 ns units
constexpr int kTrialNiceness = 10;
// How long one wait on the engine lasts before the cancel flag is read again.
constexpr int kCancelPollMs = 100;

// What one encoded sample measured.
struct SampleBytes {
    double seconds = 0.0;
    double videoBytes = 0.0;
    double firstKeyBytes = 0.0;  // the picture every sample starts with, a full one
    double otherBytes = 0.0;     // the container's own: file size beyond every packet
};

// The packets of every stream of the sample, read back without decoding.
bool measureSample(IMediaManager* manager, const QString& path, double requestedSeconds, SampleBytes& out) {
    Owned<IMediaImporter> importer(manager->OpenImporter(QFile::encodeName(path).constData()));
    IMediaInfo* info = importer ? importer->GetMediaInfo(0) : nullptr;
    if (info == nullptr)
        return false;
    std::vector<StreamSelection> selections;
    std::vector<bool> isVideo;
    for (int32_t i = 0; i < info->GetStreamCount(); ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        if (record == nullptr)
            continue;
        selections.push_back({i, 1});
        isVideo.push_back(record->kind == StreamKindVideo);
    }
    Owned<IMediaSource> source(
        importer->CreateSource(0, selections.data(), static_cast<int32_t>(selections.size())));
    if (!source)
        return false;
    double packetBytes = 0.0;
    int64_t first = std::numeric_limits<int64_t>::max(), last = std::numeric_limits<int64_t>::min();
    bool sawVideo = false;
    while (!source->IsEndOfStream()) {
        IMediaFrame* frame = nullptr;
        int32_t slot = -1;
        if (!source->ReadFrame(&frame, &slot, nullptr) || frame == nullptr)
            break;
        const double bytes = std::max(0, frame->GetBufferSize());
        packetBytes += bytes;
        if (slot < 0 || slot >= static_cast<int32_t>(isVideo.size()) || !isVideo[slot])
            continue;
        if (!sawVideo && frame->IsKeyFrame())
            out.firstKeyBytes = bytes;
        sawVideo = true;
        out.videoBytes += bytes;
        int64_t start = 0, end = 0;
        frame->GetTimes(&start, &end);
        first = std::min(first, start);
        last = std::max({last, start, end});
    }
    source.reset();
    importer.reset();
    if (!sawVideo || out.videoBytes <= 0)
        return false;
    const double measured = last > first ? double(last - first) / kTicksPerSecond : 0.0;
    out.seconds = measured > 0.2 ? measured : requestedSeconds;
    out.otherBytes = std::max(0.0, double(QFileInfo(path).size()) - packetBytes);
    return out.seconds > 0;
}

// Converts span of source into path; false when cancelled or the task failed.
bool encodeSample(IMediaManager* manager, const SourceFile& source, const OutputSetting& setting,
                  const TrialSpan& span, const QString& path, const std::atomic<bool>& cancel,
                  QString& problem) {
    Owned<IMediaTaskConfig> config(manager->CreateTaskConfig());
    Owned<IMediaInfo> target(manager->CreateMediaInfo());
    if (!config || !target)
        return false;
    fillTaskConfiguration(config.get(), target.get(), setting, source);
    if (target->GetStreamCount() == 0)
        return false;
    int64_t range[2] = {span.startMs, span.lengthMs};
    const PropertyBlob blob{range, sizeof range};
    target->GetStreamInfo(0)->SetProperty("source_range", &blob);
    config->SetTargetInfo(target.get());
    config->SetSourcePath(source.enginePath().constData());
    config->SetTargetPath(QFile::encodeName(path).constData());

    Owned<IMediaConverter> converter(manager->CreateConverter());
    if (!converter || converter->AddTask(config.get()) < 1 || !converter->Start())
        return false;
    while (converter->GetUnfinishedTaskCount() > 0) {
        if (cancel.load(std::memory_order_relaxed)) {
            converter->Stop();
            return false;
        }
        converter->WaitForTaskChange(kCancelPollMs);
    }
    const ConvertTask* task = converter->GetTask(0);
    if (task == nullptr || task->state.load(std::memory_order_acquire) != TaskFinished) {
        const char* log = converter->GetTaskLog(0);
        problem = QString::fromUtf8(log ? log : "").trimmed().section('\n', -1);
        return false;
    }
    return true;
}

}  // namespace

bool wantsQualityTrial(const SourceFile& source, const OutputSetting& setting) {
    if (!source.isReady() || setting.rateControl != QStringLiteral("quality"))
        return false;
    const TaskPlan plan = planFor(source, setting);
    for (const PlannedStream& stream : plan.outputs())
        if (stream.source.kind == PlanKind::Video && stream.action == PlanAction::Encode &&
            stream.quality >= 0)
            return true;
    return false;
}

QList<TrialSpan> trialSpans(double durationSeconds) {
    const int64_t duration = static_cast<int64_t>(std::max(0.0, durationSeconds) * 1000.0);
    if (duration <= 0)
        return {};
    // Too short for a sample and a gap: the whole file, with room for a stated duration that
    // falls short of the last frame.
    if (duration <= 2 * kSampleMs)
        return {{0, duration + 1000}};
    QList<double> centres;
    if (duration >= 4 * kSampleMs)
        centres = {0.2, 0.5, 0.8};
    else
        centres = {0.5};
    QList<TrialSpan> spans;
    for (double centre : centres) {
        const int64_t start = std::clamp<int64_t>(static_cast<int64_t>(centre * duration) - kSampleMs / 2, 0,
                                                  duration - kSampleMs);
        spans.append({start, kSampleMs});
    }
    return spans;
}

QualityTrialResult runQualityTrial(IMediaManager* manager, const SourceFile& source,
                                   const OutputSetting& setting, const std::atomic<bool>& cancel) {
    QualityTrialResult result;
    const double duration = source.duration();
    const QList<TrialSpan> spans = trialSpans(duration);
    if (manager == nullptr || spans.isEmpty()) {
        result.problem = QStringLiteral("the file's duration is not known");
        return result;
    }
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/corvane-trial-XXXXXX"));
    if (!folder.isValid()) {
        result.problem = QStringLiteral("no temporary folder");
        return result;
    }
    double lowRate = std::numeric_limits<double>::max(), highRate = 0.0;
    double lowOther = std::numeric_limits<double>::max(), highOther = 0.0;
    for (int i = 0; i < spans.size(); ++i) {
        if (cancel.load(std::memory_order_relaxed))
            return {};
        const QString path = folder.filePath(QStringLiteral("sample%1%2").arg(i).arg(setting.extension));
        QString problem;
        SampleBytes sample;
        if (!encodeSample(manager, source, setting, spans[i], path, cancel, problem) ||
            !measureSample(manager, path, spans[i].lengthMs / 1000.0, sample)) {
            if (cancel.load(std::memory_order_relaxed))
                return {};
            result.problem = problem.isEmpty() ? QStringLiteral("a sample could not be encoded") : problem;
            continue;
        }
        QFile::remove(path);
        // Each sample opens with a full picture the whole file has only now and then: the low
        // end leaves it out, the high end keeps it.
        lowRate = std::min(lowRate, (sample.videoBytes - sample.firstKeyBytes) / sample.seconds);
        highRate = std::max(highRate, sample.videoBytes / sample.seconds);
        lowOther = std::min(lowOther, sample.otherBytes / sample.seconds);
        highOther = std::max(highOther, sample.otherBytes / sample.seconds);
        ++result.samples;
    }
    if (result.samples == 0)
        return result;
    const qint64 besides = plannedBytesBesidesEncodedVideo(planFor(source, setting), source, setting);
    const double planned = besides > 0 ? double(besides) : 0.0;
    // A file no longer than its one sample is the sample: nothing to scale.
    const double seconds = duration;
    result.lowBytes = static_cast<qint64>((std::max(0.0, lowRate) + lowOther) * seconds + planned);
    result.highBytes = static_cast<qint64>((highRate + highOther) * seconds + planned);
    result.known = true;
    result.problem.clear();
    return result;
}

QString trialSizeText(const QualityTrialResult& result) {
    if (!result.known)
        return result.problem.isEmpty() ? trialPendingText()
                                        : QStringLiteral("size unknown (%1)").arg(result.problem);
    // Both ends in the larger one's unit, the low end rounded down and the high end up: a
    // range from samples has no more digits than that to give.
    double scale = 1.0;
    QString unit = QStringLiteral("bytes");
    for (const char* larger : {"KB", "MB", "GB", "TB"}) {
        if (double(result.highBytes) / scale < 1024)
            break;
        scale *= 1024;
        unit = QLatin1String(larger);
    }
    const double high = double(result.highBytes) / scale;
    const double step = high < 10 && scale > 1 ? 0.1 : 1.0;
    const double low = std::floor(double(result.lowBytes) / scale / step) * step;
    const double up = std::ceil(high / step) * step;
    const int decimals = step < 1 ? 1 : 0;
    if (low == up)
        return QStringLiteral("about %1 %2").arg(QString::number(up, 'f', decimals), unit);
    return QStringLiteral("about %1–%2 %3")
        .arg(QString::number(low, 'f', decimals), QString::number(up, 'f', decimals), unit);
}

QString trialPendingText() {
    return QStringLiteral("estimating size…");
}

QualityTrialRunner::QualityTrialRunner(IMediaManager* manager, QObject* parent)
    : QObject(parent), manager_(manager) {
    qRegisterMetaType<QualityTrialResult>();
    pool_.setMaxThreadCount(1);
}

QualityTrialRunner::~QualityTrialRunner() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        waiting_.clear();
        cancel_.store(true);
    }
    pool_.waitForDone();
}

void QualityTrialRunner::request(const SourceFile& source, const OutputSetting& setting) {
    const std::lock_guard<std::mutex> guard(lock_);
    const uint64_t serial = source.serial();
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [serial](const Request& r) { return r.serial == serial; }),
                   waiting_.end());
    waiting_.push_back({serial, source.enginePath(), source.planChoices(), setting, generation_});
    // A trial of the file's earlier tracks or setting measures what will not be converted.
    if (running_ && runningSerial_ == serial)
        cancel_.store(true);
    startNext();
}

void QualityTrialRunner::clear() {
    const std::lock_guard<std::mutex> guard(lock_);
    waiting_.clear();
    ++generation_;
    if (running_)
        cancel_.store(true);
}

void QualityTrialRunner::forgetAllBut(const QSet<quint64>& listed) {
    const std::lock_guard<std::mutex> guard(lock_);
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [&listed](const Request& r) { return !listed.contains(r.serial); }),
                   waiting_.end());
    if (running_ && !listed.contains(runningSerial_))
        cancel_.store(true);
}

bool QualityTrialRunner::idle() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return !running_ && waiting_.empty();
}

quint64 QualityTrialRunner::generation() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return generation_;
}

void QualityTrialRunner::startNext() {
    if (running_ || waiting_.empty())
        return;
    Request next = std::move(waiting_.front());
    waiting_.pop_front();
    running_ = true;
    runningSerial_ = next.serial;
    cancel_.store(false);
    IMediaManager* manager = manager_;
    pool_.start([this, manager, next = std::move(next)]() mutable {
        // Sampling is background work: the window and a conversion come first. The engine's
        // threads that the trial starts inherit the nice value.
        thread_local bool lowered = false;
        if (!lowered) {
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kTrialNiceness);
            lowered = true;
        }
        QualityTrialResult result;
        // The trial reads the file itself: the window's record stays on the window's thread.
        SourceFile source(manager);
        source.setWantsThumbnail(false);
        if (!cancel_.load() && source.probeNative(next.nativePath)) {
            source.setPlanChoices(next.choices);
            result = runQualityTrial(manager, source, next.setting, cancel_);
        }
        finished(std::move(next), std::move(result));
    });
}

void QualityTrialRunner::finished(Request request, QualityTrialResult result) {
    const bool cancelled = cancel_.load();
    {
        const std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
        startNext();
    }
    if (cancelled)
        return;
    const quint64 serial = request.serial;
    const quint64 generation = request.generation;
    QMetaObject::invokeMethod(
        this, [this, serial, generation, result] { emit trialDone(serial, generation, result); },
        Qt::QueuedConnection);
}
