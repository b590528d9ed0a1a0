// --list-tracks: one line per video, audio and subtitle track of a source.
#pragma once

#include <QStringList>

class SourceFile;

// "<n>\t<kind>\t<codec>\t<channels or WxH>\t<language>\t<title>\t<flags>" per track, where n
// counts the tracks of each kind from 1 (the numbers --audio, --subtitles and --burn take) and
// the flags are "default", "forced", both separated by a comma, or empty.
QStringList trackListing(const SourceFile& source);
