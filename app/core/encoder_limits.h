// What the audio encoder of a profile's codec accepts, so that only values it keeps are offered.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The bit rates (kbit/s) an encoder keeps as asked for one sample rate and channel count.
struct BitrateLimits {
    bool any = true;   // the encoder ignores the rate (PCM, lossless) or nothing is known of it
    int minKbps = 0;
    int maxKbps = 0;
    QList<int> steps;  // when not empty, the only rates within [minKbps, maxKbps]

    bool accepts(int kbps) const;
};

class AudioEncoderLimits {
public:
    // codecName is what a codec-table row hands the engine ("mp3", "libvorbis", ...); the
    // encoder is found as the engine finds it: by that name as an encoder, else as a codec.
    explicit AudioEncoderLimits(const QString& codecName);

    // False when this FFmpeg has no encoder for the name: then nothing is known and every
    // value is accepted.
    bool found() const { return !encoderName_.isEmpty(); }
    QString encoderName() const { return encoderName_; }

    bool acceptsSampleRate(int hz) const;
    bool acceptsChannels(int channels) const;
    BitrateLimits bitrates(int sampleRate, int channels) const;
    bool acceptsBitrate(int kbps, int sampleRate, int channels) const;

    // The sample rates the encoder names, in its order; empty when it takes any.
    const QList<int>& sampleRates() const { return sampleRates_; }

private:
    QString encoderName_;
    bool ignoresBitrate_ = false;
    QList<int> sampleRates_;
    int maxSampleRate_ = 0;     // 0: no limit beyond sampleRates_
    QList<int> channelCounts_;  // empty: any
    int maxChannels_ = 0;       // 0: no limit beyond channelCounts_
};

// The offered sample rates (texts with a leading number) the encoder accepts at the channel
// count, where it also accepts at least one of the offered bit rates; offered order is kept.
// With no offered bit rates, or an encoder that ignores them, only the rate itself counts.
QStringList acceptedSampleRates(const AudioEncoderLimits& limits, const QStringList& sampleRates,
                                const QStringList& bitrates, int channels);
// The offered bit rates the encoder keeps at every one of the sample rates; offered order is
// kept. Texts that are no number are dropped unless the encoder ignores the bit rate.
QStringList acceptedBitrates(const AudioEncoderLimits& limits, const QStringList& bitrates,
                             const QList<int>& sampleRates, int channels);
