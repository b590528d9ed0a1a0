// The filter that draws a text subtitle track of the source onto the pictures it came with.
#pragma once

#include <string>

namespace MediaBased {

// The target video stream's int32 property naming the source container's stream to burn in.
constexpr const char* kBurnSubtitlesProperty = "burn_subtitles";

// value escaped for one level of filter graph text: as an option value, then as part of a
// graph description.
std::string EscapedFilterArgument(const std::string& value);

// A "subtitles" filter description drawing the text track at containerIndex of the file at
// sourcePath. Logs and raises "subtitle error: cannot burn ..." for a file that cannot be read,
// a stream that is not there, or one that holds no text subtitles.
std::string BurnedSubtitlesFilter(const std::string& sourcePath, int containerIndex);

}  // namespace MediaBased
