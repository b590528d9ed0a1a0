// One conversion of the whole source list, shared by the window and corvane-cli: a task per
// source with a unique output path, run by one engine converter.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "output_namer.h"
#include "output_setting.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

class SourceFile;
class SourceList;

// The most tasks the engine runs at once on this machine: one per processor.
int maxParallelTasks();
// How many tasks run at once when the user leaves it to the program: one per processor, as
// far as the memory allows a task of a large source each.
int automaticTaskCount();

class ConversionRun {
public:
    explicit ConversionRun(MediaBased::IMediaManager* manager) : manager_(manager) {}
    ~ConversionRun() { stop(); }
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // Stops a previous run, then adds one task per ready source in list order and starts
    // them, at most maxParallel at once. False when the engine gives no converter.
    bool start(const SourceList& sources, const OutputSetting& setting, const QString& outputFolder,
               int maxParallel);

    // The same in steps, for a list that grows while it runs: prepare a converter, append
    // tasks, launch, and append more while it runs; they run in this run.
    bool prepare(const OutputSetting& setting, const QString& outputFolder, int maxParallel);
    // Index of the new task, or -1 when the source is not ready or the engine refused it.
    // sourceIndex is what sourceIndex() answers for the task.
    int append(const SourceFile& source, int sourceIndex = -1);
    void launch();
    // Takes out task index while it waits; false once it has started (or ended). Later
    // tasks move one index down.
    bool removeWaiting(int index);

    bool isActive() const { return converter_ != nullptr; }
    int taskCount() const;
    int unfinishedCount() const;
    // The engine's status record of task i (progress and state), or null.
    const MediaBased::ConvertTask* task(int index) const;
    // Output path of task i: the name the file got once the task finished.
    QString targetPath(int index) const;
    // Waits up to milliseconds for a task to start or end; true when one did since this
    // thread last asked. Clients wake on it instead of polling at a fixed pace.
    bool waitForChange(int milliseconds) const;
    // What the engine reported while task i ran, one line each; empty before it starts.
    QString taskLog(int index) const;
    // Source-list index of task i (tasks the engine refused are skipped).
    int sourceIndex(int index) const;
    // The source of task i, for clients whose list changes during the run.
    const SourceFile* source(int index) const;
    // The task converting source, or -1.
    int taskOf(const SourceFile* source) const;

    // Cancels: every worker is stopped and joined, the converter released.
    void stop();
    // Ends a run that has no unfinished task left.
    void finish();

private:
    MediaBased::IMediaManager* manager_;
    MediaBased::Owned<MediaBased::IMediaConverter> converter_;
    OutputSetting setting_;
    std::unique_ptr<OutputNamer> namer_;
    // One entry per engine task, in the engine's order.
    QStringList targets_;
    std::vector<int> sourceIndexes_;
    std::vector<const SourceFile*> sources_;
};
