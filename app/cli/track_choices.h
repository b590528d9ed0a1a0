// --audio, --subtitles and --burn turned into one file's choice of tracks.
#pragma once

#include <QString>

#include "cli_options.h"

class SourceFile;

// Sets source's plan choices from the options; false with the problem ("has 2 audio tracks")
// when the file has no track of a number given.
bool applyTrackChoices(const CliOptions& options, SourceFile& source, QString* problem);
