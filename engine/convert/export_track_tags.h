// A target stream's track tags on its output stream.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <string>

#include "vantrel/interfaces.h"

namespace MediaBased {

// The text properties "language" and "title" become the stream's metadata; the one-byte
// properties "default" and "forced" set or clear its default and forced dispositions. A
// property that is absent leaves the stream as the muxer would have it.
void ApplyTrackTags(IStreamInfo& info, AVStream& stream);

// A text property as text: up to its NUL or its size, whichever comes first; empty when absent.
std::string TextProperty(IStreamInfo& info, const char* name);

}  // namespace MediaBased
