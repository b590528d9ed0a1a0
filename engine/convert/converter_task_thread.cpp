#include "convert/converter_task_thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "system/module_logger.h"
#include "vantrel/owned.h"

namespace MediaBased {
namespace {

constexpr int64_t kProgressInterval = 40;  // frames between progress updates
// A source that keeps failing without reaching its end is given up as ended.
constexpr int kMaxConsecutiveFailedReads = 1000;

}  // namespace

void ConverterTaskThread::Run() {
    bool finished = false;
    try {
        finished = Convert();
    } catch (...) {
        finished = false;
    }
    // A failed task must not leave something that looks like a finished output.
    if (!finished && createdOutput_)
        ::unlink(config_->GetTargetPath());
    task_->state.store(finished ? TaskFinished : TaskFailed, std::memory_order_relaxed);
    task_->progress.store(100.0, std::memory_order_relaxed);
}

bool ConverterTaskThread::Convert() {
    Owned<IMediaImporter> importer(manager_->CreateImporter(""));
    if (!importer || !importer->Open(config_->GetSourcePath()))
        return false;

    std::vector<StreamSelection> selections;
    const int32_t count = config_->GetStreamSelectionCount();
    for (int32_t i = 0; i < count; ++i)
        selections.push_back(*config_->GetStreamSelection(static_cast<uint32_t>(i)));
    // The source reads the importer's container, so it must end first: declared after it.
    Owned<IMediaSource> source(importer->CreateSource(0, selections.data(), count));
    if (!source)
        return false;

    Owned<IMediaExporter> exporter(manager_->CreateExporter(nullptr));
    if (!exporter || !ClaimOutput() || !exporter->SetTargetInfo(config_->GetTargetInfo()) ||
        !exporter->Open(config_->GetTargetPath())) {
        SystemBased::ReportMessage("output file error", "63");
        return false;
    }

    const int64_t total = static_cast<int64_t>(static_cast<uint32_t>(source->GetDuration())) * 10000;
    int64_t lastStart = -1;  // start of the most recent frame; none read yet
    int64_t iterations = 0;
    int failedReads = 0;
    while (!source->IsEndOfStream() && !stopRequested_.load(std::memory_order_relaxed)) {
        IMediaFrame* frame = nullptr;
        int32_t slot = -1;
        if (source->ReadFrame(&frame, &slot, nullptr) && frame != nullptr) {
            exporter->WriteFrame(frame, static_cast<uint32_t>(slot));
            frame->GetTimes(&lastStart, nullptr);
            lastStart = std::max<int64_t>(lastStart, 0);
            failedReads = 0;
        } else if (++failedReads >= kMaxConsecutiveFailedReads) {
            break;
        }
        if (++iterations % kProgressInterval == 0)
            PublishProgress(lastStart, total);
    }
    const bool closed = exporter->Close();
    source.reset();
    importer.reset();
    exporter.reset();
    return closed;
}

bool ConverterTaskThread::ClaimOutput() {
    // Creating the file exclusively leaves a file that was already there untouched, and tells
    // a failure which file is this task's own to remove.
    const char* path = config_->GetTargetPath();
    if (path == nullptr || *path == '\0')
        return false;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    createdOutput_ = true;
    return true;
}

void ConverterTaskThread::PublishProgress(int64_t start, int64_t total) {
    // Without a frame or a known duration there is nothing to measure against.
    if (start < 0 || total <= 0)
        return;
    const double percent = static_cast<double>(start) * 100.0 / static_cast<double>(total);
    task_->progress.store(std::clamp(percent, 0.0, 100.0), std::memory_order_relaxed);
}

}  // namespace MediaBased
