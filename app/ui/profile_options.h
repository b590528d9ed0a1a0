// The choices a profile offers for its codecs, as the profile settings dialog lists them.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct ProfileEntry;

// The value lists of one codec option: bit rates and frame rates for video, bit rates and
// sample rates for audio.
struct EncoderChoice {
    QStringList bitrates;
    QStringList rates;
};

// Keyed by codec code, then by resolution (video) or channel count (audio); QMap keeps the
// keys in text order, which is the order the lists show.
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
};

// The parts of "64 kbps;96 kbps;;128" give 64, 96, 128: every part reduced to its leading
// number, parts without one dropped.
QStringList leadingNumbers(const QStringList& parts);
