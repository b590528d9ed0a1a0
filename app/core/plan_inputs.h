// The plan's records made from what the program knows: a probed source and an output setting
// with the profile it came from.
#pragma once

#include <QList>

#include "stream_plan.h"

class SourceFile;
struct OutputSetting;

// Every stream of the source in its order; empty for a file not read yet.
QList<SourceStream> sourceStreamsOf(const SourceFile& source);

// The setting's profile options are the device's limits and the codecs it takes; a setting
// made without a profile leaves the limits open and copies only its own codecs.
PlanTarget planTargetFor(const OutputSetting& setting);

// The plan of one source's conversion with its own choice of tracks.
TaskPlan planFor(const SourceFile& source, const OutputSetting& setting);

// The codec an encoder name writes, as FFmpeg names codecs: "libxvid" gives "mpeg4".
QString codecWrittenBy(const QString& encoder);
