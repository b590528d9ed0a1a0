// One task's share of the engine log: what was reported on its worker thread, FFmpeg's lines
// included, kept apart so a client can say why that task, and no other, failed.
#pragma once

#include <mutex>
#include <string>

namespace SystemBased {

class TaskLog {
public:
    // One line: "message" or "message (location)".
    void Append(const char* message, const char* location);
    std::string Text() const;

private:
    mutable std::mutex lock_;
    std::string text_;
};

// Sends what the calling thread reports to log as well, for the scope's lifetime.
class TaskLogScope {
public:
    explicit TaskLogScope(TaskLog* log);
    ~TaskLogScope();
    TaskLogScope(const TaskLogScope&) = delete;
    TaskLogScope& operator=(const TaskLogScope&) = delete;

private:
    TaskLog* previous_;
};

// The calling thread's task log, or null.
TaskLog* CurrentTaskLog();

}  // namespace SystemBased
