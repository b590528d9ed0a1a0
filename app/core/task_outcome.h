// What became of a task once it ended, and why, in the words the window and corvane-cli show.
// The reason comes from the engine's log for that task.
#pragma once

#include <QString>

enum class OutcomeKind {
    Pending,        // not ended yet
    Finished,
    FinishedEarly,  // finished, but the source's pictures and sound stopped before its end
    Failed,
    Stopped,        // the user stopped the run before the task ended
    Interrupted,    // the program ended (crash, power cut) while the task was converting
};

struct TaskOutcome {
    OutcomeKind kind = OutcomeKind::Pending;
    // Failed: why ("disk full"); FinishedEarly: "source ended early at 0:00:00.4 of
    // 0:00:05.0"; otherwise empty.
    QString reason;
};

// engineState as the engine's task record holds it; stopRequested when the user stopped the
// run, which makes every task that had not ended Stopped.
TaskOutcome taskOutcome(int engineState, const QString& taskLog, bool stopRequested);

// The one-line reason a failed task's log gives, or a general one when it names none.
QString failureReason(const QString& taskLog);

// "3 finished, 1 failed, 1 stopped": the counts that are not zero, in that order.
QString outcomeSummary(int finished, int failed, int stopped);
