// The worker that converts one task's file: importer -> decoding source -> exporter.
#pragma once

#include <atomic>

#include "system/base_thread.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class ConverterTaskThread final : public SystemBased::CBaseThread {
public:
    ConverterTaskThread(ConvertTask* task, IMediaTaskConfig* config, IMediaManager* manager)
        : task_(task), config_(config), manager_(manager) {}
    ~ConverterTaskThread() override = default;

    void Run() override;

    // Asks the worker to leave its frame loop; the output is still closed properly.
    void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }

private:
    // Returns true when the task ran to its end or was stopped, false when it failed.
    bool Convert();
    // Creates the target file, failing when something already exists at that path.
    bool ClaimOutput();
    void PublishProgress(int64_t start, int64_t total);

    ConvertTask* task_;
    IMediaTaskConfig* config_;
    IMediaManager* manager_;
    std::atomic<bool> stopRequested_{false};
    bool createdOutput_ = false;  // only the worker thread touches it
};

}  // namespace MediaBased
