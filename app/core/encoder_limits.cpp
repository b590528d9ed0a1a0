#include "encoder_limits.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "output_setting.h"

namespace {

// Bit-rate tables of the MPEG audio layers, kbit/s. MPEG-2 halves the sample rates (LSF) and
// MPEG-2.5 quarters them; each has a table of its own.
const QList<int> kMpeg1Layer2 = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
const QList<int> kMpeg1Layer3 = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const QList<int> kMpeg2Lsf = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
const QList<int> kMpeg25 = {8, 16, 24, 32, 40, 48, 56, 64};
const QList<int> kAc3 = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                         192, 224, 256, 320, 384, 448, 512, 576, 640};

struct Range {
    int min;
    int max;
};

// libvorbis sets up a bit-rate managed stream only for these rates, and only within its
// modes' ranges: mono, coupled stereo, and per channel for more channels (whose 5.1 mode
// reaches lower, but never higher, than six separate channels).
struct VorbisModes {
    int sampleRate;
    Range mono;
    Range stereo;
    Range perChannel;
};
const VorbisModes kVorbis[] = {
    {8000, {8, 42}, {12, 84}, {8, 42}},
    {11025, {12, 50}, {16, 100}, {12, 50}},
    {12000, {12, 50}, {16, 100}, {12, 50}},
    {16000, {16, 100}, {24, 200}, {16, 100}},
    {22050, {16, 90}, {30, 180}, {16, 90}},
    {24000, {16, 90}, {30, 180}, {16, 90}},
    {32000, {30, 190}, {36, 380}, {30, 190}},
    {44100, {32, 240}, {45, 500}, {32, 240}},
    {48000, {32, 240}, {45, 500}, {32, 240}},
};
constexpr int kVorbisMaxChannels = 8;

// The sample rates a caller may meet when it names none: the source's rate decides then.
const QList<int> kCommonSampleRates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000,
                                       88200, 96000};

BitrateLimits Steps(const QList<int>& steps, int min = 0) {
    BitrateLimits limits;
    limits.any = false;
    for (int step : steps)
        if (step >= min)
            limits.steps << step;
    limits.minKbps = limits.steps.isEmpty() ? 1 : limits.steps.first();
    limits.maxKbps = limits.steps.isEmpty() ? 0 : limits.steps.last();
    return limits;
}

BitrateLimits Between(int min, int max) {
    BitrateLimits limits;
    limits.any = false;
    limits.minKbps = min;
    limits.maxKbps = max;
    return limits;
}

BitrateLimits Nothing() {
    return Between(1, 0);
}

bool IsEncoder(const QString& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [&name](const char* n) { return name == QLatin1String(n); });
}

BitrateLimits VorbisBitrates(int sampleRate, int channels) {
    for (const VorbisModes& modes : kVorbis) {
        if (modes.sampleRate != sampleRate)
            continue;
        if (channels == 1)
            return Between(modes.mono.min, modes.mono.max);
        if (channels == 2)
            return Between(modes.stereo.min, modes.stereo.max);
        return Between(modes.perChannel.min * channels, modes.perChannel.max * channels);
    }
    return Nothing();
}

// FFmpeg's AAC encoder clamps a rate above what a frame can hold (6144 bits per channel for
// 1024 samples). Below 16 kbit/s a channel is hardly listenable, above 256 it gains nothing.
BitrateLimits AacBitrates(int sampleRate, int channels) {
    const int frameLimit = static_cast<int>(6LL * sampleRate * channels / 1000);
    return Between(16 * channels, std::min(frameLimit, 256 * channels));
}

// The AC-3 encoder fails to allocate bits for loud material below about 16 kbit/s a channel.
BitrateLimits Ac3Bitrates(int channels) {
    return Steps(kAc3, 16 * channels);
}

const AVCodec* FindEncoder(const QByteArray& name) {
    if (name.isEmpty())
        return nullptr;
    if (const AVCodec* encoder = avcodec_find_encoder_by_name(name.constData()))
        return encoder;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.constData());
    return descriptor ? avcodec_find_encoder(descriptor->id) : nullptr;
}

// Encoders that write what their format needs whatever rate they are asked for.
bool IgnoresBitrate(const AVCodec& encoder) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(encoder.id);
    if (descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS))
        return true;
    const char* name = encoder.name;
    return std::strncmp(name, "pcm_", 4) == 0 || std::strncmp(name, "adpcm_", 6) == 0;
}

int Number(const QString& text, bool* ok) {
    return leadingNumber(text).toInt(ok);
}

}  // namespace

bool BitrateLimits::accepts(int kbps) const {
    if (any)
        return true;
    if (kbps < minKbps || kbps > maxKbps)
        return false;
    return steps.isEmpty() || steps.contains(kbps);
}

AudioEncoderLimits::AudioEncoderLimits(const QString& codecName) {
    const AVCodec* encoder = FindEncoder(codecName.toUtf8());
    if (encoder == nullptr || encoder->type != AVMEDIA_TYPE_AUDIO)
        return;
    encoderName_ = QString::fromLatin1(encoder->name);
    ignoresBitrate_ = IgnoresBitrate(*encoder);
    if (encoder->supported_samplerates)
        for (const int* rate = encoder->supported_samplerates; *rate != 0; ++rate)
            sampleRates_ << *rate;
    if (encoder->ch_layouts)
        for (const AVChannelLayout* layout = encoder->ch_layouts; layout->nb_channels != 0; ++layout)
            if (!channelCounts_.contains(layout->nb_channels))
                channelCounts_ << layout->nb_channels;

    // What the encoders check at opening without publishing it.
    if (encoderName_ == QLatin1String("libvorbis")) {
        for (const VorbisModes& modes : kVorbis)
            sampleRates_ << modes.sampleRate;
        maxChannels_ = kVorbisMaxChannels;
    } else if (IsEncoder(encoderName_, {"wmav1", "wmav2"})) {
        maxSampleRate_ = 48000;
        maxChannels_ = 2;
    } else if (encoderName_ == QLatin1String("libopencore_amrnb")) {
        sampleRates_ = {8000};
        maxChannels_ = 1;
    } else if (encoderName_ == QLatin1String("aac")) {
        maxChannels_ = 8;
    } else if (encoderName_ == QLatin1String("libopus")) {
        // Three and four channels in FFmpeg's usual layouts (2.1, 4.0) are no Vorbis order,
        // which libopus requires beyond stereo.
        channelCounts_ = {1, 2, 5, 6, 7, 8};
    }
}

bool AudioEncoderLimits::acceptsSampleRate(int hz) const {
    if (!found())
        return true;
    if (hz <= 0)
        return false;
    if (maxSampleRate_ > 0 && hz > maxSampleRate_)
        return false;
    return sampleRates_.isEmpty() || sampleRates_.contains(hz);
}

bool AudioEncoderLimits::acceptsChannels(int channels) const {
    if (!found())
        return true;
    if (channels <= 0)
        return false;
    if (maxChannels_ > 0 && channels > maxChannels_)
        return false;
    return channelCounts_.isEmpty() || channelCounts_.contains(channels);
}

BitrateLimits AudioEncoderLimits::bitrates(int sampleRate, int channels) const {
    if (!found() || ignoresBitrate_)
        return {};
    if (!acceptsSampleRate(sampleRate) || !acceptsChannels(channels))
        return Nothing();
    if (IsEncoder(encoderName_, {"mp2", "mp2fixed"}))
        return Steps(sampleRate >= 32000 ? kMpeg1Layer2 : kMpeg2Lsf);
    if (encoderName_ == QLatin1String("libmp3lame"))
        return Steps(sampleRate >= 32000 ? kMpeg1Layer3 : sampleRate >= 16000 ? kMpeg2Lsf : kMpeg25);
    if (IsEncoder(encoderName_, {"ac3", "ac3_fixed"}))
        return Ac3Bitrates(channels);
    if (encoderName_ == QLatin1String("aac"))
        return AacBitrates(sampleRate, channels);
    if (encoderName_ == QLatin1String("libvorbis"))
        return VorbisBitrates(sampleRate, channels);
    // Below 24 kbit/s the WMA encoders refuse. They take any rate above it; 320 kbit/s, the top
    // of the format's usual range, is the most offered.
    if (IsEncoder(encoderName_, {"wmav1", "wmav2"}))
        return Between(24, 320);
    // The encoder takes the nearest of its modes, 4.75 to 12.2 kbit/s.
    if (encoderName_ == QLatin1String("libopencore_amrnb"))
        return Between(5, 12);
    // libopus refuses more than 256 kbit/s a channel; below 6 a channel is speech at best.
    if (encoderName_ == QLatin1String("libopus"))
        return Between(6 * channels, 256 * channels);
    return {};
}

bool AudioEncoderLimits::acceptsBitrate(int kbps, int sampleRate, int channels) const {
    return bitrates(sampleRate, channels).accepts(kbps);
}

QStringList acceptedSampleRates(const AudioEncoderLimits& limits, const QStringList& sampleRates,
                                const QStringList& bitrates, int channels) {
    QStringList accepted;
    for (const QString& text : sampleRates) {
        bool ok = false;
        const int rate = Number(text, &ok);
        if (!ok || !limits.acceptsSampleRate(rate))
            continue;
        const BitrateLimits range = limits.bitrates(rate, channels);
        const bool someBitrate = bitrates.isEmpty() || range.any ||
                                 std::any_of(bitrates.begin(), bitrates.end(), [&range](const QString& b) {
                                     bool isNumber = false;
                                     const int kbps = Number(b, &isNumber);
                                     return isNumber && range.accepts(kbps);
                                 });
        if (someBitrate)
            accepted << text;
    }
    return accepted;
}

QStringList acceptedBitrates(const AudioEncoderLimits& limits, const QStringList& bitrates,
                             const QList<int>& sampleRates, int channels) {
    QList<int> rates = sampleRates;
    if (rates.isEmpty())
        for (int rate : kCommonSampleRates)
            if (limits.acceptsSampleRate(rate))
                rates << rate;
    QList<BitrateLimits> ranges;
    for (int rate : rates)
        ranges << limits.bitrates(rate, channels);

    QStringList accepted;
    for (const QString& text : bitrates) {
        bool ok = false;
        const int kbps = Number(text, &ok);
        const bool kept = std::all_of(ranges.begin(), ranges.end(), [&](const BitrateLimits& range) {
            return range.any || (ok && range.accepts(kbps));
        });
        if (kept)
            accepted << text;
    }
    return accepted;
}
