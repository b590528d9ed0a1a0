// How a source's tracks are named when the user picks the sound to convert: the window's
// chooser and corvane-cli's --audio and --list-tracks count and name them the same way.
#pragma once

#include <QString>

class SourceFile;

// What the file says about one of its tracks; empty or false when it says nothing.
struct TrackTags {
    QString language;  // as stored, usually an ISO 639-2 code such as "jpn"
    QString title;
    bool isDefault = false;
};

TrackTags trackTags(const SourceFile& source, int streamIndex);

// "Japanese" for "jpn", "ger", "deu" or "ja"; empty for "und" and for codes no language has.
QString languageName(const QString& code);
// "AC3", "E-AC3", "Opus", "PCM" for any pcm_*; other codec names upper-cased.
QString audioFormatName(const QString& codecName);
// "mono", "stereo", "5.1", "7.1", otherwise "N ch"; empty when unknown.
QString channelsText(int channels);

// Audio tracks are numbered 1, 2, ... in stream order.
int audioTrackCount(const SourceFile& source);
// The stream index of audio track number, or -1.
int audioStreamOfTrack(const SourceFile& source, int number);
// The audio track number of a stream, or 0 when it is not audio.
int audioTrackOfStream(const SourceFile& source, int streamIndex);

// "2: Japanese, Commentary — AC3 5.1"; language and title only when the file gives them.
// Empty for a stream that is not audio.
QString audioTrackLabel(const SourceFile& source, int streamIndex);

// The audio stream the file marks as default, else the first; -1 without sound.
int defaultAudioStream(const SourceFile& source);
