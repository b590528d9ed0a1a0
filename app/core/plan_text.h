// A plan as the user reads it on a row, and as scripts read it from corvane-cli --plan.
#pragma once

#include <QJsonObject>
#include <QString>

#include "stream_plan.h"

// "Video H.264 1080p → copy · Audio eng AAC → copy, jpn AC3 → AAC 160k · Subtitles eng SRT →
// MP4 text"; dropped streams are left out of it.
QString planSummary(const TaskPlan& plan);
// Every stream with what becomes of it and why, one line each.
QString planDetails(const TaskPlan& plan);
QJsonObject planJson(const TaskPlan& plan);

// "H.264", "HEVC", "SRT", "PGS": how the plan names a codec.
QString codecDisplayName(const QString& codec);
QString actionName(PlanAction action);
