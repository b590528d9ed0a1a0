// The choices a profile offers for its codecs, as the profile settings dialog lists them.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct ProfileEntry;

// The value lists of one codec option: bit rates and frame rates for video, bit rates and
// sample rates for audio, with the option's defaults.
struct EncoderChoice {
    QStringList bitrates;
    QStringList rates;
    QString defaultBitrate;
    QString defaultRate;
};

// Keyed by codec code, then by resolution (video) or channel count (audio), in text order.
using EncoderOptions = QMap<QString, QMap<QString, EncoderChoice>>;

struct ProfileOptions {
    QString defaultVideoCodec;
    QString defaultResolution;
    EncoderOptions video;
    QString defaultAudioCodec;
    QString defaultChannels;
    EncoderOptions audio;

    // Replaces everything with the options of the entry's profile.
    void build(const ProfileEntry& entry);
    void clear();

    // The choice at (codec, key), or null.
    static const EncoderChoice* find(const EncoderOptions& options, const QString& codec,
                                     const QString& key);
    // The choice at (codec, key), else at (codec, fallbackKey), else the codec's first; null
    // when the codec has none. usedKey, when given, receives the key of the choice.
    static const EncoderChoice* choiceFor(const EncoderOptions& options, const QString& codec,
                                          const QString& key, const QString& fallbackKey,
                                          QString* usedKey = nullptr);
};

// The parts of "64 kbps;96 kbps;;128" give 64, 96, 128: every part reduced to its leading
// number, parts without one dropped.
QStringList leadingNumbers(const QStringList& parts);

// Resolutions ordered by picture size: pixel count, then width. Texts that are no w*h size
// come last, in their own order.
QStringList sortedBySize(QStringList resolutions);

// The item equal to wanted; else the one nearest to it in value (pixel count for w*h sizes,
// the leading number otherwise), the smaller on a tie; else null.
QString nearestChoice(const QStringList& items, const QString& wanted);
