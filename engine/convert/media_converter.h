// The batch runner: a scheduler thread starts waiting tasks in list order while fewer than
// the limit run, each on a worker thread of its own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "system/base_thread.h"
#include "system/task_log.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CMediaConverter final : public IMediaConverter, public SystemBased::CBaseThread {
public:
    explicit CMediaConverter(IMediaManager* manager);
    ~CMediaConverter() override;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    int32_t AddTask(IMediaTaskConfig* config) override;
    int32_t GetTaskCount() override;
    ConvertTask* GetTask(uint32_t index) override;
    int32_t GetUnfinishedTaskCount() override;
    bool RemoveTask(uint32_t index) override;
    // False when the scheduler's thread cannot be created.
    bool Start() override;
    bool Pause() override;
    bool Stop() override;
    bool IsPaused() override { return paused_.load(); }
    bool SetMaxParallelTasks(int32_t count) override;
    const char* GetTaskLog(uint32_t index) override;

    // The scheduler loop.
    void Run() override;

private:
    // Stops and joins the task's worker, then frees the task. Caller holds tasksLock_.
    void DestroyTaskLocked(ConvertTask* task);
    void HoldRunningTasks();
    void JoinEndedWorkers();
    void JoinEndedWorkersLocked();
    void StartWaitingTasks();

    IMediaManager* manager_;
    std::atomic<int32_t> maxParallel_;
    std::atomic<bool> startRequested_{false};
    std::atomic<bool> paused_{true};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> schedulerStarted_{false};
    std::vector<ConvertTask*> tasks_;
    // Shared with the task's worker, which may still be writing when the client reads.
    std::unordered_map<const ConvertTask*, std::shared_ptr<SystemBased::TaskLog>> logs_;
    std::mutex tasksLock_;
};

}  // namespace MediaBased
