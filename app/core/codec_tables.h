// Profiles name codecs by four-character codes and containers by extensions; the engine
// wants FFmpeg encoder and muxer names.
#pragma once

#include <QString>

struct CodecInfo {
    QString code;     // four characters, trailing blanks included
    QString encoder;  // FFmpeg encoder name handed to the engine
    QString display;  // shown in the profile settings dialog
    int profile;      // 0 = none requested
    int level;        // 0 = none requested
};

// The first row whose code matches exactly, or the "ERROR" row.
const CodecInfo& codecInfo(const QString& code);
// The muxer of the first row whose extension (with its dot) matches exactly, or "mp4".
QString muxerForExtension(const QString& extension);

int codecTableSize();
const CodecInfo& codecTableRow(int index);
