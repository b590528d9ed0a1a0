// A source container's title and chapters on an output container.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include "object/container_tags.h"

namespace MediaBased {

// Sets the title and adds the chapters, moved onto the output's time line (the source's start
// time taken off; a start before it clamps to 0, an end before its start to the start, which
// the muxers would refuse). Call before the header is written; muxers that cannot store them
// leave them out.
void ApplyContainerTags(const ContainerTags& tags, AVFormatContext& output);

}  // namespace MediaBased
