// What an output container holds, asked of FFmpeg's muxers themselves.
#pragma once

#include <QString>

// True when the muxer stores packets of the codec as they are (FFmpeg's own answer for
// muxers that know; for the rest only the codecs they are known to write).
bool containerTakes(const QString& muxer, const QString& codec);

// The subtitle codec a container stores text in: "mov_text" for the MP4 family, "webvtt" for
// WebM, "" where text subtitles have no place. Matroska keeps text as it is and answers "copy".
QString textSubtitleCodecFor(const QString& muxer);

bool containerHoldsChapters(const QString& muxer);
bool containerHoldsAttachments(const QString& muxer);
// The most audio tracks players of this container expect; 0 for any number.
int audioTracksFor(const QString& muxer);
// "MP4", "Matroska", "AVI": how the plan names a container.
QString containerDisplayName(const QString& muxer);
