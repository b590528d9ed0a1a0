// How large an output will be, before it is made: what the window shows beside the target.
#pragma once

#include <QtGlobal>

#include "stream_plan.h"

class SourceFile;
struct OutputSetting;

// What plannedOutputBytes gives when the size cannot be told beforehand.
inline constexpr qint64 kSizeUnknown = -1;

// Copied streams keep their source's bit rate (the one the file states, else their share of
// what the file's size leaves); encoded ones take the setting's. kSizeUnknown when a picture
// is encoded to a constant quality, whose size depends on the picture.
qint64 plannedOutputBytes(const TaskPlan& plan, const SourceFile& source, const OutputSetting& setting);

// The same without encoded pictures: the audio, copied streams and converted subtitles that a
// constant-quality picture's measured size is added to.
qint64 plannedBytesBesidesEncodedVideo(const TaskPlan& plan, const SourceFile& source,
                                       const OutputSetting& setting);
