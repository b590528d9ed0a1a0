// What a source container says about itself beyond its streams: its title and its chapters,
// kept for an output to carry over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace MediaBased {

struct ChapterTag {
    int64_t id = 0;
    int32_t timeBaseNum = 1;  // start and end count in timeBaseNum / timeBaseDen seconds
    int32_t timeBaseDen = 1;
    int64_t start = 0;  // on the source's own time line, before its start time is taken off
    int64_t end = 0;
    std::string title;  // empty without one
};

struct ContainerTags {
    std::string title;  // empty without one
    std::vector<ChapterTag> chapters;
    // The container's start time in microseconds, the origin of every engine frame time; 0 when
    // unknown.
    int64_t startTimeUs = 0;
};

}  // namespace MediaBased
