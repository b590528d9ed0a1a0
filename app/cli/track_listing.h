// --list-tracks: one line per video and audio track of a source.
#pragma once

#include <QStringList>

class SourceFile;

// "<n>\t<kind>\t<codec>\t<channels or WxH>\t<language>\t<title>\t<default>" per track, where n
// counts the tracks of each kind from 1 (the audio numbers are the ones --audio takes) and
// the last field is "default" or empty.
QStringList trackListing(const SourceFile& source);
