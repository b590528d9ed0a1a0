#include "convert/converter_task_thread.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "convert/decode_stage.h"
#include "convert/export_attachment.h"
#include "convert/frame_queue.h"
#include "convert/media_exporter.h"
#include "convert/output_file.h"
#include "import/ffmpeg_importer.h"
#include "system/module_logger.h"
#include "system/thread_budget.h"
#include "vantrel/owned.h"

namespace MediaBased {
namespace {

constexpr int64_t kProgressInterval = 40;  // frames between progress updates
// Enough decoded frames between the stages to keep both busy; the bytes bound holds it to a
// few pictures of a large source.
constexpr size_t kMaxQueuedFrames = 8;
constexpr size_t kMaxQueuedBytes = 64 * 1024 * 1024;
// A source that keeps failing without reaching its end is broken, not finished.
constexpr int kMaxConsecutiveFailedReads = 1000;
constexpr int64_t kTicksPerSecond = 10000000;  // frame times are in 100 ns units
constexpr int64_t kTicksPerMs = 10000;

// Slots the exporter writes frames for: the others (subtitles, data, slots without an output
// stream) never take a frame, so their silence says nothing about the source.
// Attached files are written with the header and never take a frame either.
std::vector<bool> SlotsThatNeedFrames(IMediaInfo* target, int32_t slots) {
    std::vector<bool> needed(static_cast<size_t>(slots), false);
    const int32_t streams = target ? target->GetStreamCount() : 0;
    for (int32_t i = 0; i < slots && i < streams; ++i) {
        const StreamRecord* record = target->GetStreamRecord(i);
        needed[i] = record && (record->kind == StreamKindVideo || record->kind == StreamKindAudio) &&
                    !IsAttachedFile(*record, *target->GetStreamInfo(static_cast<uint32_t>(i)));
    }
    return needed;
}

// The part of the source a task converts, in frame ticks; a whole-file task has none.
struct SourceRange {
    bool set = false;
    int64_t start = 0;
    int64_t end = 0;
};

// The first target stream's "source_range" (start and length in milliseconds): a sample of the
// file, as a size trial encodes, rather than all of it.
SourceRange SourceRangeOf(IMediaInfo* target) {
    SourceRange range;
    IStreamInfo* info = target && target->GetStreamCount() > 0 ? target->GetStreamInfo(0) : nullptr;
    const PropertyBlob* blob = info ? info->GetProperty("source_range") : nullptr;
    if (blob == nullptr || blob->data == nullptr || blob->size != 2 * sizeof(int64_t))
        return range;
    int64_t ms[2];
    std::memcpy(ms, blob->data, sizeof ms);
    if (ms[0] < 0 || ms[1] <= 0)
        return range;
    range.set = true;
    range.start = ms[0] * kTicksPerMs;
    range.end = range.start + ms[1] * kTicksPerMs;
    return range;
}

// H:MM:SS.s, rounded to the tenth.
std::string ClockText(int64_t ticks) {
    const int64_t tenths = (std::max<int64_t>(ticks, 0) + kTicksPerSecond / 20) / (kTicksPerSecond / 10);
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64 ".%" PRId64, tenths / 36000,
                  tenths / 600 % 60, tenths / 10 % 60, tenths % 10);
    return text;
}

}  // namespace

void ConverterTaskThread::Run() {
    const SystemBased::TaskLogScope intoTaskLog(log_.get());
    const SystemBased::ThreadBudgetScope threads(threadBudget_);
    bool finished = false;
    try {
        finished = Convert();
    } catch (...) {
        finished = false;
    }
    task_->progress.store(100.0, std::memory_order_relaxed);
    // Release: a client that reads Finished with acquire then reads the final target path.
    task_->state.store(finished ? TaskFinished : TaskFailed, std::memory_order_release);
    if (ended_)
        ended_();
}

bool ConverterTaskThread::Convert() {
    const std::string sourcePath = config_->GetSourcePath();
    Owned<IMediaImporter> importer(manager_->CreateImporter(""));
    if (!importer || !importer->Open(sourcePath.c_str())) {
        SystemBased::ReportMessage(("source error: cannot open " + sourcePath).c_str(), "66");
        return false;
    }

    std::vector<StreamSelection> selections;
    const int32_t count = config_->GetStreamSelectionCount();
    for (int32_t i = 0; i < count; ++i)
        selections.push_back(*config_->GetStreamSelection(static_cast<uint32_t>(i)));
    // The source reads the importer's container, so it must end first: declared after it.
    Owned<IMediaSource> source(importer->CreateSource(0, selections.data(), count));
    if (!source) {
        SystemBased::ReportMessage(("source error: cannot decode " + sourcePath).c_str(), "66");
        return false;
    }

    // Declared before the exporter, which must have closed the file before it is removed.
    OutputFile output(config_->GetTargetPath());
    Owned<IMediaExporter> exporter(manager_->CreateExporter(nullptr));
    // The output carries the source's title and chapters, and subtitles burned in from the
    // source file, which only the engine's own importer and exporter know how to hand over.
    auto* ownImporter = dynamic_cast<CFFMediaImporter*>(importer.get());
    auto* ownExporter = dynamic_cast<CMediaExporter*>(exporter.get());
    if (ownImporter != nullptr && ownExporter != nullptr)
        ownExporter->SetSourceContainer(ownImporter->containerTags());
    if (ownExporter != nullptr) {
        ownExporter->SetSourcePath(sourcePath);
        std::vector<int32_t> sourceStreams;
        for (const StreamSelection& selection : selections)
            sourceStreams.push_back(selection.streamIndex);
        ownExporter->SetSourceStreams(sourceStreams);
    }
    if (!exporter || !OpenOutput(*exporter, output)) {
        // A claim that failed says why here; an exporter that failed has said so itself.
        if (!output.LastError().empty())
            SystemBased::ReportMessage(output.LastError().c_str(), "63");
        else if (!exporter)
            SystemBased::ReportMessage("output error: no exporter", "63");
        return false;
    }

    const int32_t durationMs = source->GetDuration();
    const SourceRange range = SourceRangeOf(config_->GetTargetInfo());
    // Before the decoding stage starts: from then on only it touches the source.
    if (range.set && range.start > 0 &&
        !source->Seek(static_cast<int32_t>(std::min<int64_t>(range.start / kTicksPerMs, std::numeric_limits<int32_t>::max())))) {
        SystemBased::ReportMessage(("source error: cannot seek in " + sourcePath).c_str(), "68");
        return false;
    }
    const int64_t total = range.set ? range.end - range.start
                                    : static_cast<int64_t>(static_cast<uint32_t>(durationMs)) * kTicksPerMs;
    std::vector<bool> waitingForFrame = SlotsThatNeedFrames(config_->GetTargetInfo(), count);
    // With a range: the slots that still take frames before its end.
    std::vector<bool> beforeRangeEnd = waitingForFrame;
    int64_t lastStart = -1;    // start of the most recent frame; none read yet
    int64_t furthestEnd = -1;  // the latest frame end of any stream
    int64_t iterations = 0;
    bool stopped = false;
    // Decoding runs ahead on a thread of its own; this thread scales, encodes and writes.
    FrameQueue frames(kMaxQueuedFrames, kMaxQueuedBytes);
    DecodeStage decoding(*source, frames, stopRequested_, kMaxConsecutiveFailedReads, log_.get(),
                         threadBudget_);
    if (!decoding.Start()) {
        SystemBased::ReportMessage(("worker thread error: " + output.FinalPath()).c_str(), "69");
        return false;
    }
    FrameQueue::Item item;
    while (frames.Pop(item)) {
        if (stopRequested_.load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        IMediaFrame* frame = item.frame.get();
        const int32_t slot = item.slot;
        if (range.set) {
            int64_t start = 0, end = 0;
            frame->GetTimes(&start, &end);
            if (start >= range.end) {
                // Past the range: once every stream is, the sample is complete.
                if (slot >= 0 && slot < count)
                    beforeRangeEnd[slot] = false;
                if (std::find(beforeRangeEnd.begin(), beforeRangeEnd.end(), true) == beforeRangeEnd.end())
                    break;
                continue;
            }
            // A seek lands on a key frame, which can be before the range.
            if (std::max(start, end) <= range.start)
                continue;
            // The output starts at the range's start.
            frame->SetTimes(start - range.start, end - range.start);
        }
        if (exporter->WriteFrame(frame, static_cast<uint32_t>(slot))) {
            if (slot >= 0 && slot < count)
                waitingForFrame[slot] = false;
        } else if (exporter->NamedParameter("R_ExporterParamOutputFailed", nullptr) == 1) {
            // A full disk or a lost folder: the rest of the source cannot be written anyway.
            break;
        }
        int64_t start = 0, end = 0;
        frame->GetTimes(&start, &end);
        lastStart = std::max<int64_t>(start, 0);
        furthestEnd = std::max({furthestEnd, start, end});
        item = FrameQueue::Item();  // the decoder may reuse its buffers
        if (++iterations % kProgressInterval == 0)
            PublishProgress(lastStart, total);
    }
    item = FrameQueue::Item();
    const FrameQueue::EndReason ended = frames.endReason();
    stopped = stopped || ended == FrameQueue::EndReason::Stopped;
    decoding.Stop();
    const bool readFailed = ended == FrameQueue::EndReason::ReadFailed;
    const bool closed = exporter->Close();
    source.reset();
    importer.reset();
    exporter.reset();
    // A stopped task leaves nothing; one that never wrote a frame for a stream it was asked
    // for, or whose source kept failing, made a file that only looks like an output.
    if (stopped || !closed)
        return false;
    if (readFailed) {
        SystemBased::ReportMessage(("source error: reading failed in " + sourcePath).c_str(), "68");
        return false;
    }
    if (std::find(waitingForFrame.begin(), waitingForFrame.end(), true) != waitingForFrame.end()) {
        SystemBased::ReportMessage(("source error: nothing to convert in " + sourcePath).c_str(), "67");
        return false;
    }
    if (!output.Commit()) {
        SystemBased::ReportMessage(output.LastError().c_str(), "63");
        return false;
    }
    if (output.FinalPath() != config_->GetTargetPath()) {
        // Before the state says Finished, so the client finds the name the file really has.
        config_->SetTargetPath(output.FinalPath().c_str());
        SystemBased::ReportMessage(("output renamed: " + output.FinalPath()).c_str(), "64");
    }
    if (!range.set)
        ReportEarlyEnd(furthestEnd, durationMs, output.FinalPath());
    return true;
}

bool ConverterTaskThread::OpenOutput(IMediaExporter& exporter, OutputFile& output) {
    const char* path = config_->GetTargetPath();
    IMediaInfo* target = config_->GetTargetInfo();
    if (path == nullptr || *path == '\0' || target == nullptr || !output.Claim())
        return false;
    // Without a muxer name the exporter would guess one from the file name it is given, which
    // is the temporary one: guess from the final name instead.
    Owned<IMediaInfo> named;
    if (*target->GetFormatName() == '\0') {
        if (const AVOutputFormat* guessed = av_guess_format(nullptr, output.FinalPath().c_str(), nullptr)) {
            named.reset(target->Clone());
            if (!named)
                return false;
            named->SetFormatName(guessed->name);
            target = named.get();
        }
    }
    return exporter.SetTargetInfo(target) && exporter.Open(output.TemporaryPath().c_str());
}

void ConverterTaskThread::PublishProgress(int64_t start, int64_t total) {
    // Without a frame or a known duration there is nothing to measure against.
    if (start < 0 || total <= 0)
        return;
    const double percent = static_cast<double>(start) * 100.0 / static_cast<double>(total);
    task_->progress.store(std::clamp(percent, 0.0, 100.0), std::memory_order_relaxed);
}

void ConverterTaskThread::ReportEarlyEnd(int64_t furthestEnd, int32_t durationMs,
                                         const std::string& path) {
    if (durationMs <= 0 || furthestEnd < 0)
        return;
    // The longest stream decides, so audio and video ending a few frames apart never count;
    // a second, or 5 % of a long file, covers containers that round or pad their duration.
    const int64_t duration = int64_t{durationMs} * kTicksPerMs;
    const int64_t allowance = std::max(kTicksPerSecond, duration / 20);
    if (duration - furthestEnd <= allowance)
        return;
    const std::string message =
        "source ended early at " + ClockText(furthestEnd) + " of " + ClockText(duration) + ": " + path;
    SystemBased::ReportMessage(message.c_str(), "65");
}

}  // namespace MediaBased
