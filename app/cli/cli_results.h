// What corvane-cli reports for each file named on its command line, and how a run's tasks
// become those reports.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <vector>

class ConversionRun;

struct FileResult {
    QString source;  // as shown to the user
    QString target;  // empty when no output was made or planned for the file
    QString state = QStringLiteral("waiting");  // waiting running finished failed skipped stopped
    QString reason;  // why it failed, was skipped or stopped, or finished early
    int percent = 0;
    double seconds = 0.0;

    bool ended() const;
};

// {"outputs":[{"source","target","state","reason","seconds"}]}, compact; "target" and
// "reason" only when there is one.
QByteArray resultsJson(const std::vector<FileResult>& results);

// Milliseconds as seconds with three decimals; a task that ran takes at least a millisecond.
double taskSeconds(qint64 milliseconds);

// Follows the tasks of one started run into their results.
class TaskTracker {
public:
    // taskResults[i] is the result of the run's task i.
    TaskTracker(const ConversionRun& run, std::vector<FileResult*> taskResults);

    // Reads every task's state; an ended task gets its time, reason and final target.
    void update();
    // After an interrupt, before the run is stopped: every task that has not ended is stopped.
    void markStopped();

private:
    const ConversionRun& run_;
    std::vector<FileResult*> results_;
    QElapsedTimer clock_;
    // Per task, on clock_: when it was first seen running, else when it was last seen waiting
    // (a task can start and end between two looks).
    std::vector<qint64> startedAt_;
    std::vector<bool> seenRunning_;
};
