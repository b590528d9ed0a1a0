// Which video encoders can encode to a constant quality instead of a bit rate, on what scale,
// and the speed names a setting may hold. The settings dialog and corvane-cli offer what this
// says; the output setting carries the choice to the engine options.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The encoder's own CRF scale: lower is a better picture and a larger file.
struct QualityScale {
    int lowest = 0;
    int highest = 0;
    int usual = 0;  // the encoder's own default, for a setting that has chosen no value yet

    int clamp(int value) const { return value < lowest ? lowest : (value > highest ? highest : value); }
    bool contains(int value) const { return value >= lowest && value <= highest; }
};

inline const QString kRateControlQuality = QStringLiteral("quality");
inline const QString kRateControlBitrate = QStringLiteral("bitrate");

// The scale of the codec-table code's encoder; empty for encoders that take a bit rate only
// (MPEG-2, MPEG-4, Xvid, WMV, ProRes, ...). Every encoder with a scale also has speed presets.
std::optional<QualityScale> qualityScaleOf(const QString& codecCode);

// "fastest", "fast", "balanced", "slow", "slowest": quicker encoding first, smaller files last.
const QStringList& speedNames();
