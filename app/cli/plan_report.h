// corvane-cli --plan: each file's plan as one JSON object.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "stream_plan.h"

struct PlannedFile {
    QString source;  // as shown to the user
    TaskPlan plan;
};

// {"plans":[{"source":...,"summary":...,"streams":[...],"chapters":...,"attachments":...}]},
// compact, one line.
QByteArray plansJson(const std::vector<PlannedFile>& files);
