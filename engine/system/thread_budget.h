// How many threads one task's decoders and filters may use, so that tasks running side by side
// share the processors instead of each asking for all of them.
#pragma once

namespace SystemBased {

// The calling thread's budget; 0 lets FFmpeg choose from the processor count.
int ThreadBudget();

// Sets the calling thread's budget for the scope's lifetime.
class ThreadBudgetScope {
public:
    explicit ThreadBudgetScope(int threads);
    ~ThreadBudgetScope();
    ThreadBudgetScope(const ThreadBudgetScope&) = delete;
    ThreadBudgetScope& operator=(const ThreadBudgetScope&) = delete;

private:
    int previous_;
};

// The budget of one of tasksAtOnce tasks on processors processors: an equal share, at least 1;
// 0 (automatic) for a task that runs alone.
int TaskThreadBudget(int processors, int tasksAtOnce);

}  // namespace SystemBased
