// The batch runner: a scheduler thread starts waiting tasks in list order while fewer than
// the limit run, each on a worker thread of its own. It sleeps until something changes (a
// start, a task's end, a new limit, a stop), so a freed place is taken at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
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
    bool WaitForTaskChange(int32_t timeoutMs) override;

    // The scheduler loop.
    void Run() override;

private:
    // Wakes the scheduler for another pass.
    void Wake();
    // A worker's task started or ended: the scheduler and waiting clients are told.
    void OnTaskChanged();
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

    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool wakeRequested_ = false;  // guarded by wakeLock_

    std::mutex changeLock_;
    std::condition_variable changed_;
    uint64_t changeCount_ = 0;  // guarded by changeLock_
    // Per client thread: the change count its last WaitForTaskChange saw.
    static thread_local uint64_t seenChangeCount_;
};

}  // namespace MediaBased
