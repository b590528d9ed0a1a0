#include "system/task_log.h"

namespace SystemBased {
namespace {

// A task's messages can repeat without end (a decoder complaining on every packet of a long
// damaged file); the start says why it failed, so the text stops growing past this.
constexpr size_t kMaxTaskLogBytes = 64 * 1024;

thread_local TaskLog* t_currentLog = nullptr;

}  // namespace

void TaskLog::Append(const char* message, const char* location) {
    std::string line = message ? message : "";
    if (location != nullptr && *location != '\0')
        line.append(" (").append(location).append(")");
    line.push_back('\n');
    std::lock_guard<std::mutex> lock(lock_);
    if (text_.size() + line.size() <= kMaxTaskLogBytes)
        text_ += line;
}

std::string TaskLog::Text() const {
    std::lock_guard<std::mutex> lock(lock_);
    return text_;
}

TaskLogScope::TaskLogScope(TaskLog* log) : previous_(t_currentLog) {
    t_currentLog = log;
}

TaskLogScope::~TaskLogScope() {
    t_currentLog = previous_;
}

TaskLog* CurrentTaskLog() {
    return t_currentLog;
}

}  // namespace SystemBased
