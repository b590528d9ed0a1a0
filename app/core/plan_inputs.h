// The plan's records made from what the program knows: a probed source and an output setting
// with the profile it came from.
#pragma once

#include <QList>

#include "stream_plan.h"

class SourceFile;
struct OutputSetting;
struct ProfileFormat;

// Every stream of the source in its order; empty for a file not read yet.
QList<SourceStream> sourceStreamsOf(const SourceFile& source);

// profile is the entry the setting was made from (its options are the device's limits and the
// codecs it takes); null leaves the limits open and copies only the setting's own codecs.
PlanTarget planTargetFor(const OutputSetting& setting, const ProfileFormat* profile, bool copyWhenFits);

// The codec an encoder name writes, as FFmpeg names codecs: "libxvid" gives "mpeg4".
QString codecWrittenBy(const QString& encoder);
