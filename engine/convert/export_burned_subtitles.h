// Subtitle tracks of the source drawn onto the pictures they came with: text through a filter
// of the image converter, pictures by a converter wrapped around it.
#pragma once

#include <cstdint>
#include <string>

#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

namespace MediaBased {

// The target video stream's int32 property naming the source container's stream to burn in.
constexpr const char* kBurnSubtitlesProperty = "burn_subtitles";

// value escaped for one level of filter graph text: as an option value, then as part of a
// graph description.
std::string EscapedFilterArgument(const std::string& value);

// Has converter (an engine image converter) draw the track at containerIndex of the file at
// sourcePath on every picture before it is scaled; picture times moved by timeOffset (engine
// units) are on the source's own time line. Text tracks go through FFmpeg's subtitles filter;
// picture tracks replace converter with one that draws and then hands the pictures on to it.
// Logs and raises "subtitle error: cannot burn ..." for a track that cannot be drawn.
void BurnSubtitlesInto(Owned<IImageConverter>& converter, const std::string& sourcePath,
                       int containerIndex, int64_t timeOffset);

}  // namespace MediaBased
