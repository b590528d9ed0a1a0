// The worker that converts one task's file: importer -> decoding source -> exporter.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "system/base_thread.h"
#include "system/task_log.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class OutputFile;

class ConverterTaskThread final : public SystemBased::CBaseThread {
public:
    // What the worker reports goes to log as well as to the engine log.
    // threadBudget: threads its decoders and filters may use (0: FFmpeg decides). ended is
    // called on the worker's thread once the task's final state is stored.
    ConverterTaskThread(ConvertTask* task, IMediaTaskConfig* config, IMediaManager* manager,
                        std::shared_ptr<SystemBased::TaskLog> log, int threadBudget,
                        std::function<void()> ended)
        : CBaseThread("vt-task"),
          task_(task),
          config_(config),
          manager_(manager),
          log_(std::move(log)),
          threadBudget_(threadBudget),
          ended_(std::move(ended)) {}
    ~ConverterTaskThread() override = default;

    void Run() override;

    // Asks the worker to leave its frame loop; its output is closed and removed.
    void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }

private:
    // True only when the whole output was written and has its final name.
    bool Convert();
    // Claims the output's name and opens the exporter on its temporary file.
    bool OpenOutput(IMediaExporter& exporter, OutputFile& output);
    void PublishProgress(int64_t start, int64_t total);
    // Tells the log when the source's frames stopped well short of its stated duration.
    static void ReportEarlyEnd(int64_t furthestEnd, int32_t durationMs, const std::string& path);

    ConvertTask* task_;
    IMediaTaskConfig* config_;
    IMediaManager* manager_;
    std::shared_ptr<SystemBased::TaskLog> log_;
    const int threadBudget_;
    std::function<void()> ended_;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace MediaBased
