#include "system/feeding_priority.h"

#include <exception>

#include "system/base_thread.h"
#include "system/platform.h"
#include "system/task_log.h"
#include "system/thread_budget.h"

namespace SystemBased {
namespace {

class FeedingCall final : public CBaseThread {
public:
    FeedingCall(const char* name, const std::function<void()>& work)
        : CBaseThread(name), work_(work), log_(CurrentTaskLog()), budget_(ThreadBudget()) {}
    ~FeedingCall() override { Join(); }

    void Run() override {
        const TaskLogScope intoTaskLog(log_);
        const ThreadBudgetScope threads(budget_);
        LowerToFeedingPriority();
        try {
            work_();
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // Read after Join, which orders it after Run.
    std::exception_ptr failure() const { return failure_; }

private:
    const std::function<void()>& work_;
    TaskLog* const log_;
    const int budget_;
    std::exception_ptr failure_;
};

}  // namespace

void LowerToFeedingPriority() {
    Platform::LowerCurrentThreadPriorityTo(Platform::ProcessNice() + kFeedingNiceSteps);
}

void RunAtFeedingPriority(const char* name, const std::function<void()>& work) {
    FeedingCall call(name, work);
    if (!call.TryStart()) {
        work();
        return;
    }
    call.Join();
    if (call.failure())
        std::rethrow_exception(call.failure());
}

}  // namespace SystemBased
