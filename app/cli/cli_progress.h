// Progress of a run on standard error: one line per file, rewritten in place on a terminal,
// appended lines when each file's state changes otherwise.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

struct FileProgress {
    QString name;
    QString state;   // "waiting", "running", "finished", "failed", "skipped", "stopped"
    int percent = 0;
    QString reason;  // shown beside the state when there is one
};

class CliProgress {
public:
    explicit CliProgress(bool terminal) : terminal_(terminal) {}
    void show(const std::vector<FileProgress>& files);

private:
    bool terminal_;
    int linesDrawn_ = 0;
    std::vector<FileProgress> last_;
};
