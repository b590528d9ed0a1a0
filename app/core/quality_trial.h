// How large a constant-quality output will be, told by encoding short samples of the source:
// the bytes a CRF spends depend on the pictures, which no bit rate predicts. The range spans
// the leanest and the costliest sample, so a file whose samples differ gets a wide one.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "output_setting.h"
#include "stream_plan.h"
#include "vantrel/interfaces.h"

class SourceFile;

// A part of the source a sample encodes, in milliseconds from its start.
struct TrialSpan {
    int64_t startMs = 0;
    int64_t lengthMs = 0;
};

struct QualityTrialResult {
    bool known = false;  // false: cancelled, or no sample could be encoded
    qint64 lowBytes = 0;
    qint64 highBytes = 0;
    int samples = 0;
    QString problem;  // why the size is not known, when it is not
};

// True when the setting encodes this source's picture to a constant quality: only a trial
// tells its size.
bool wantsQualityTrial(const SourceFile& source, const OutputSetting& setting);

// Up to three 2 s samples at 20, 50 and 80 % of the file; two, one, or the whole file when it
// is too short for them to stay apart.
QList<TrialSpan> trialSpans(double durationSeconds);

// Encodes the samples with the task configuration a conversion of source would get, into a
// temporary folder that is removed afterwards. Blocks; cancel (read between and during
// samples) stops the engine and gives an unknown result.
QualityTrialResult runQualityTrial(MediaBased::IMediaManager* manager, const SourceFile& source,
                                   const OutputSetting& setting, const std::atomic<bool>& cancel);

// "about 120–180 MB", shown after the row's "Target:"; "estimating size…" while not known.
QString trialSizeText(const QualityTrialResult& result);
QString trialPendingText();

// Runs trials for the window one at a time on a low-priority thread. A request names the file
// by its serial and path (the trial reads the file itself, so the window's record is never
// touched off its thread); results come back on this object's thread.
class QualityTrialRunner : public QObject {
    Q_OBJECT

public:
    explicit QualityTrialRunner(MediaBased::IMediaManager* manager, QObject* parent = nullptr);
    // A trial under way is cancelled and waited for.
    ~QualityTrialRunner() override;

    // Queues a trial of source with setting (source must be Ready); a request for the same
    // serial replaces the waiting one and cancels the running one.
    void request(const SourceFile& source, const OutputSetting& setting);
    // Drops every waiting trial and cancels the running one: the setting changed.
    void clear();
    // Drops the trials of files not in listed (serials), cancelling a running one: their rows
    // were removed.
    void forgetAllBut(const QSet<quint64>& listed);
    bool idle() const;
    // Counts clear() calls: a result of an older generation is stale.
    quint64 generation() const;

signals:
    // generation: what clear() had counted up to when the trial was asked for; results of
    // an older generation are stale.
    void trialDone(quint64 serial, quint64 generation, QualityTrialResult result);

private:
    struct Request {
        uint64_t serial;
        QByteArray nativePath;
        PlanChoices choices;
        OutputSetting setting;
        uint64_t generation;
    };
    void startNext();  // under lock_
    void finished(Request request, QualityTrialResult result);

    MediaBased::IMediaManager* manager_;
    QThreadPool pool_;
    mutable std::mutex lock_;
    std::deque<Request> waiting_;   // guarded by lock_
    bool running_ = false;          // guarded by lock_
    uint64_t runningSerial_ = 0;    // guarded by lock_
    uint64_t generation_ = 0;       // guarded by lock_
    std::atomic<bool> cancel_{false};
};

Q_DECLARE_METATYPE(QualityTrialResult)
