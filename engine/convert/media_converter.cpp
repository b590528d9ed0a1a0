#include "convert/media_converter.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <string>

#include "convert/converter_task_thread.h"
#include "system/module_logger.h"
#include "system/thread_budget.h"
#include "vantrel/owned.h"

namespace MediaBased {
namespace {

bool IsActive(int32_t state) {
    return state == TaskRunning || state == TaskHeld;
}

bool HasEnded(int32_t state) {
    return state == TaskFailed || state == TaskFinished;
}

}  // namespace

thread_local uint64_t CMediaConverter::seenChangeCount_ = 0;

CMediaConverter::CMediaConverter(IMediaManager* manager)
    : CBaseThread("vt-scheduler"), manager_(manager), maxParallel_(SystemBased::GetProcessorCount()) {}

CMediaConverter::~CMediaConverter() {
    Stop();
}

void CMediaConverter::Release() {
    stopping_.store(true);
    delete this;
}

int32_t CMediaConverter::AddTask(IMediaTaskConfig* config) {
    if (config == nullptr)
        return -1;
    try {
        Owned<IMediaTaskConfig> copy(config->Clone());
        if (copy == nullptr)
            return -1;
        auto task = std::unique_ptr<ConvertTask>(new ConvertTask{0.0, TaskWaiting, nullptr, nullptr});
        auto log = std::make_shared<SystemBased::TaskLog>();
        std::lock_guard<std::mutex> lock(tasksLock_);
        logs_.emplace(task.get(), std::move(log));
        tasks_.push_back(task.get());
        // The record owns the clone from here on; DestroyTaskLocked ends it.
        task->config = copy.release();
        task.release();
        const auto count = static_cast<int32_t>(tasks_.size());
        Wake();  // a running batch takes it as soon as there is room
        return count;
    } catch (...) {
        return -1;
    }
}

int32_t CMediaConverter::GetTaskCount() {
    std::lock_guard<std::mutex> lock(tasksLock_);
    return static_cast<int32_t>(tasks_.size());
}

ConvertTask* CMediaConverter::GetTask(uint32_t index) {
    std::lock_guard<std::mutex> lock(tasksLock_);
    return index < tasks_.size() ? tasks_[index] : nullptr;
}

int32_t CMediaConverter::GetUnfinishedTaskCount() {
    std::lock_guard<std::mutex> lock(tasksLock_);
    int32_t unfinished = 0;
    for (const ConvertTask* task : tasks_) {
        const int32_t state = task->state.load(std::memory_order_relaxed);
        unfinished += state != TaskFailed && state != TaskFinished;
    }
    return unfinished;
}

void CMediaConverter::DestroyTaskLocked(ConvertTask* task) {
    // Workers never take tasksLock_, so waiting for one while holding it cannot deadlock.
    if (task->worker) {
        task->worker->RequestStop();
        task->worker->Join();
        delete task->worker;
        task->worker = nullptr;
    }
    const Owned<IMediaTaskConfig> config(task->config);
    logs_.erase(task);
    delete task;
}

bool CMediaConverter::RemoveTask(uint32_t index) {
    std::lock_guard<std::mutex> lock(tasksLock_);
    if (index >= tasks_.size())
        return false;
    DestroyTaskLocked(tasks_[index]);
    tasks_.erase(tasks_.begin() + index);
    return true;
}

bool CMediaConverter::Start() {
    if (!schedulerStarted_.load()) {
        if (!TryStart())
            return false;
        schedulerStarted_.store(true);
    }
    paused_.store(false);
    stopping_.store(false);
    startRequested_.store(true);
    Wake();
    return true;
}

bool CMediaConverter::Pause() {
    paused_.store(true);
    Wake();
    return true;
}

bool CMediaConverter::Stop() {
    {
        std::lock_guard<std::mutex> lock(tasksLock_);
        for (ConvertTask* task : tasks_)
            DestroyTaskLocked(task);
        tasks_.clear();
    }
    stopping_.store(true);
    Wake();
    if (schedulerStarted_.load())
        Join();
    return true;
}

const char* CMediaConverter::GetTaskLog(uint32_t index) {
    thread_local std::string snapshot;
    std::shared_ptr<SystemBased::TaskLog> log;
    {
        std::lock_guard<std::mutex> lock(tasksLock_);
        if (index >= tasks_.size())
            return nullptr;
        const auto found = logs_.find(tasks_[index]);
        if (found != logs_.end())
            log = found->second;
    }
    snapshot = log ? log->Text() : std::string();
    return snapshot.c_str();
}

bool CMediaConverter::SetMaxParallelTasks(int32_t count) {
    if (count > SystemBased::GetProcessorCount())
        return false;
    maxParallel_.store(count);
    Wake();
    return true;
}

bool CMediaConverter::WaitForTaskChange(int32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(changeLock_);
    const bool changed = changed_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                           [&] { return changeCount_ != seenChangeCount_; });
    seenChangeCount_ = changeCount_;
    return changed;
}

void CMediaConverter::Wake() {
    {
        std::lock_guard<std::mutex> lock(wakeLock_);
        wakeRequested_ = true;
    }
    wake_.notify_one();
}

void CMediaConverter::OnTaskChanged() {
    {
        std::lock_guard<std::mutex> lock(changeLock_);
        ++changeCount_;
    }
    changed_.notify_all();
    Wake();
}

void CMediaConverter::Run() {
    while (!stopping_.load()) {
        {
            std::unique_lock<std::mutex> lock(wakeLock_);
            wake_.wait(lock, [&] { return wakeRequested_; });
            wakeRequested_ = false;
        }
        if (stopping_.load())
            break;
        if (paused_.load()) {
            if (startRequested_.load()) {
                HoldRunningTasks();
                startRequested_.store(false);
            }
            JoinEndedWorkers();
        } else {
            StartWaitingTasks();
        }
    }
}

void CMediaConverter::HoldRunningTasks() {
    std::lock_guard<std::mutex> lock(tasksLock_);
    for (ConvertTask* task : tasks_) {
        // A worker may finish at this very moment: only a task still running becomes held.
        int32_t expected = TaskRunning;
        task->state.compare_exchange_strong(expected, TaskHeld);
    }
}

void CMediaConverter::JoinEndedWorkers() {
    std::lock_guard<std::mutex> lock(tasksLock_);
    JoinEndedWorkersLocked();
}

void CMediaConverter::JoinEndedWorkersLocked() {
    // A worker stores its task's final state as the last thing it does, so the join is short;
    // joined now, a long batch does not keep one idle thread stack per ended task.
    for (ConvertTask* task : tasks_) {
        if (task->worker == nullptr || !HasEnded(task->state.load(std::memory_order_acquire)))
            continue;
        task->worker->Join();
        delete task->worker;
        task->worker = nullptr;
    }
}

void CMediaConverter::StartWaitingTasks() {
    std::lock_guard<std::mutex> lock(tasksLock_);
    JoinEndedWorkersLocked();
    int32_t active = 0;
    for (const ConvertTask* task : tasks_)
        active += IsActive(task->state.load(std::memory_order_relaxed));
    const int32_t limit = maxParallel_.load();
    int32_t free = limit - active;
    int32_t waiting = 0;
    for (const ConvertTask* task : tasks_)
        waiting += task->state.load(std::memory_order_relaxed) == TaskWaiting;
    // Tasks that run side by side share the processors; one alone may use them all.
    const int threadBudget = SystemBased::TaskThreadBudget(
        SystemBased::GetProcessorCount(), std::min(limit, active + waiting));
    for (ConvertTask* task : tasks_) {
        if (free <= 0)
            break;
        if (task->state.load(std::memory_order_relaxed) != TaskWaiting)
            continue;
        const std::shared_ptr<SystemBased::TaskLog>& log = logs_[task];
        task->worker = new (std::nothrow)
            ConverterTaskThread(task, task->config, manager_, log, threadBudget, [this] { OnTaskChanged(); });
        task->state.store(TaskRunning);
        if (task->worker == nullptr || !task->worker->TryStart()) {
            // Out of threads or memory: this task fails, the batch goes on.
            const SystemBased::TaskLogScope intoTaskLog(log.get());
            SystemBased::ReportMessage(
                (std::string("worker thread error: ") + task->config->GetTargetPath()).c_str(),
                "69");
            delete task->worker;
            task->worker = nullptr;
            task->progress.store(100.0, std::memory_order_relaxed);
            task->state.store(TaskFailed, std::memory_order_release);
            OnTaskChanged();
            continue;
        }
        OnTaskChanged();
        --free;
    }
}

}  // namespace MediaBased
