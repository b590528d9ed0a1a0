// The current profile with the user's adjustments, and how it becomes the engine's
// description of one conversion.
#pragma once

#include <QString>

#include "picture_rules.h"
#include "profile_catalogue.h"
#include "vantrel/interfaces.h"

struct ProfileEntry;
class SourceFile;

inline constexpr int kDefaultProfileId = 1003;
inline const QString kKeepOriginal = QStringLiteral("Keep Original");

// Values are kept as the texts of the profile files: bit rates in kbit/s, sizes as w*h.
struct OutputSetting {
    int profileId = 0;
    QString name;
    QString extension;      // with its dot; always from the profile, never stored
    QString containerCode;
    QString videoCodec;     // codec-table code; empty = no video output
    QString videoBitrate;
    QString videoFrameRate; // fps or "Keep Original"
    QString videoResolution;// w*h or "Keep Original"
    QString audioCodec;     // empty = no audio output
    QString audioBitrate;
    QString audioSampleRate;
    QString audioChannels;
    bool copyStreams = false;  // copy streams that already fit instead of encoding them
    bool burnForcedSubtitles = false;
    QString rateControl;    // "quality" or "bitrate" (empty reads as "bitrate")
    int quality = 0;        // the encoder's CRF value, used when rateControl is "quality"
    QString speed;          // "fastest" … "slowest"; empty: the encoder's default
    // The profile's own options: the codecs it takes and the device's limits. Always from the
    // profile, never stored.
    ProfileFormat profile;

    bool operator==(const OutputSetting&) const = default;
};

// The first run of digits, dots and bars in text ("1500 kbps" gives "1500"); null when none.
QString leadingNumber(const QString& text);

// Overwrites every field of setting with the profile entry's defaults.
void applyProfileDefaults(const ProfileEntry& entry, OutputSetting& setting);

// The size an encoded picture of the source stream gets under setting.
PictureSize encodedPictureSize(const OutputSetting& setting, const MediaBased::StreamRecord& source);

// Fills config's stream selections and target's format and streams for one source; returns
// the output extension.
QString fillTaskConfiguration(MediaBased::IMediaTaskConfig* config, MediaBased::IMediaInfo* target,
                              const OutputSetting& setting, const SourceFile& source);
