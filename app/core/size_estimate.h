// How large an output will be, before it is made: what the window shows beside the target.
#pragma once

#include <QtGlobal>

#include "stream_plan.h"

class SourceFile;
struct OutputSetting;

// Copied streams keep their source's bit rate (the one the file states, else their share of
// what the file's size leaves); encoded ones take the setting's.
qint64 plannedOutputBytes(const TaskPlan& plan, const SourceFile& source, const OutputSetting& setting);
