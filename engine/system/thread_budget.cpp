#include "system/thread_budget.h"

#include <algorithm>

namespace SystemBased {
namespace {

thread_local int t_budget = 0;

}  // namespace

int ThreadBudget() {
    return t_budget;
}

ThreadBudgetScope::ThreadBudgetScope(int threads) : previous_(t_budget) {
    t_budget = std::max(threads, 0);
}

ThreadBudgetScope::~ThreadBudgetScope() {
    t_budget = previous_;
}

int TaskThreadBudget(int processors, int tasksAtOnce) {
    if (tasksAtOnce <= 1)
        return 0;
    return std::max(1, processors / tasksAtOnce);
}

}  // namespace SystemBased
