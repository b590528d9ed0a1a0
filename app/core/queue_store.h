// The window's list of files, kept in the data folder as it changes so that a restart, a
// crash or a power cut does not forget it: each file with its chosen audio and subtitle tracks,
// the subtitle it burns, and what became of it. A file that was converting when the program ended comes back as interrupted.
#pragma once

#include <QList>
#include <QString>

#include "stream_plan.h"
#include "task_outcome.h"

struct QueuedFile {
    QString path;
    QList<int> audio;      // the audio streams kept (container indexes); empty for every one
    PlanChoices::Subtitles subtitles = PlanChoices::Subtitles::All;
    QList<int> chosenSubtitles;  // the subtitle streams kept when subtitles is Chosen
    int burn = -1;               // the subtitle stream burned into the picture; -1: the profile's
    TaskOutcome outcome;   // Pending when it has not run, or not to its end
    QString target;        // the output, for finished files
    bool converting = false;
};

class QueueStore {
public:
    // file: where the list lives, e.g. <data folder>/queue.json.
    explicit QueueStore(QString file) : file_(std::move(file)) {}

    // Replaces the stored list at once (a whole new file, renamed into place).
    bool save(const QList<QueuedFile>& files) const;
    // The stored list; files that were converting come back Interrupted. Empty when there is
    // none or it cannot be read.
    QList<QueuedFile> load() const;

    const QString& file() const { return file_; }

private:
    QString file_;
};
