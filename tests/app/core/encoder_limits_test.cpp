// The limits are checked against the real encoders: every value they let the profile settings
// dialog offer is opened and encoded the way the engine sets an audio encoder up, with loud
// noise, and the encoder must keep the rate it was asked for.
#include "encoder_limits.h"

#include <gtest/gtest.h>

#include <QSet>
#include <memory>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include "codec_tables.h"
#include "profile_catalogue.h"

namespace {

struct ContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

const QList<int> kCandidateRates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000,
                                    88200, 96000};
constexpr int kFramesEncoded = 6;

const AVCodec* EncoderNamed(const QString& name) {
    return avcodec_find_encoder_by_name(name.toLatin1().constData());
}

// The rate in an MPEG audio frame header, or 0 when the packet starts with none.
int MpegHeaderKbps(const AVPacket& packet) {
    static const int kTables[2][2][16] = {
        // MPEG-1: layer II, layer III
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        // MPEG-2 and 2.5, both layers
        {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    };
    if (packet.size < 4 || packet.data[0] != 0xFF || (packet.data[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (packet.data[1] >> 3) & 3;  // 3 = MPEG-1
    const int layer = (packet.data[1] >> 1) & 3;    // 2 = layer II, 1 = layer III
    if (layer != 1 && layer != 2)
        return 0;
    return kTables[version == 3 ? 0 : 1][layer == 2 ? 0 : 1][packet.data[2] >> 4];
}

void FillWithNoise(AVFrame& frame, std::mt19937& random) {
    std::uniform_real_distribution<double> level(-1.0, 1.0);
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame.ch_layout.nb_channels;
    for (int s = 0; s < frame.nb_samples; ++s) {
        for (int c = 0; c < channels; ++c) {
            const double v = level(random);
            uint8_t* plane = frame.extended_data[planar ? c : 0];
            const int i = planar ? s : s * channels + c;
            switch (av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_U8: plane[i] = static_cast<uint8_t>(128 + v * 127); break;
            case AV_SAMPLE_FMT_S16:
                reinterpret_cast<int16_t*>(plane)[i] = static_cast<int16_t>(v * 32767);
                break;
            case AV_SAMPLE_FMT_S32:
                reinterpret_cast<int32_t*>(plane)[i] = static_cast<int32_t>(v * 2147483647.0);
                break;
            case AV_SAMPLE_FMT_S64:
                reinterpret_cast<int64_t*>(plane)[i] = static_cast<int64_t>(v * 9.2e18);
                break;
            case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(plane)[i] = static_cast<float>(v); break;
            case AV_SAMPLE_FMT_DBL: reinterpret_cast<double*>(plane)[i] = v; break;
            default: break;
            }
        }
    }
}

// Opens the encoder as the engine does and encodes a little loud noise through to the end.
// Empty when it worked and kept the rate; otherwise what went wrong.
std::string Encode(const AVCodec* encoder, int kbps, int sampleRate, int channels) {
    // Refusals are expected here; the result says what went wrong.
    av_log_set_level(AV_LOG_QUIET);
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(encoder));
    context->bit_rate = int64_t{kbps} * 1000;
    context->sample_rate = sampleRate;
    av_channel_layout_default(&context->ch_layout, channels);
    // Like the engine, an encoder's own layout of that many channels when it lists others
    // (ALAC's three channels are 3.0, not 2.1).
    bool listed = encoder->ch_layouts == nullptr;
    for (const AVChannelLayout* layout = encoder->ch_layouts; !listed && layout->nb_channels != 0; ++layout)
        listed = av_channel_layout_compare(layout, &context->ch_layout) == 0;
    for (const AVChannelLayout* layout = encoder->ch_layouts; !listed && layout->nb_channels != 0; ++layout)
        if (layout->nb_channels == channels) {
            av_channel_layout_uninit(&context->ch_layout);
            av_channel_layout_copy(&context->ch_layout, layout);
            listed = true;
        }
    const bool listsFormats = encoder->sample_fmts && encoder->sample_fmts[0] != AV_SAMPLE_FMT_NONE;
    context->sample_fmt = listsFormats ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16P;
    context->time_base = AVRational{1, sampleRate};
    if (avcodec_open2(context.get(), encoder, nullptr) < 0)
        return "not opened";

    const AudioEncoderLimits limits(QString::fromLatin1(encoder->name));
    const bool rated = !limits.bitrates(sampleRate, channels).any;
    // The encoders that round or clamp a rate say so here; 1% allows for whole-byte blocks.
    if (rated && std::abs(context->bit_rate - int64_t{kbps} * 1000) > kbps * 10)
        return "rate changed to " + std::to_string(context->bit_rate);

    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    std::mt19937 random(7);
    const int frameSize = context->frame_size > 0 ? context->frame_size : 1024;
    const bool mpeg = encoder->id == AV_CODEC_ID_MP2 || encoder->id == AV_CODEC_ID_MP3;
    int headerKbps = 0;
    int packets = 0;
    for (int n = 0; n <= kFramesEncoded; ++n) {
        int sent = 0;
        if (n < kFramesEncoded) {
            av_frame_unref(frame.get());
            frame->nb_samples = frameSize;
            frame->format = context->sample_fmt;
            frame->sample_rate = sampleRate;
            av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0)
                return "no frame buffer";
            FillWithNoise(*frame, random);
            frame->pts = int64_t{n} * frameSize;
            sent = avcodec_send_frame(context.get(), frame.get());
        } else {
            sent = avcodec_send_frame(context.get(), nullptr);
        }
        if (sent < 0)
            return "frame " + std::to_string(n) + " refused";
        for (;;) {
            const int received = avcodec_receive_packet(context.get(), packet.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                break;
            if (received < 0)
                return "encoding failed";
            if (mpeg && headerKbps == 0)
                headerKbps = MpegHeaderKbps(*packet);
            ++packets;
            av_packet_unref(packet.get());
        }
    }
    if (packets == 0)
        return "no packet";
    if (mpeg && headerKbps != kbps)
        return "frames written at " + std::to_string(headerKbps) + " kbit/s";
    return {};
}

std::string Encode(const QString& encoderName, int kbps, int sampleRate, int channels) {
    const AVCodec* encoder = EncoderNamed(encoderName);
    return encoder ? Encode(encoder, kbps, sampleRate, channels) : "no encoder";
}

// The FFmpeg names the codec table hands the engine for sound.
QStringList AudioCodecNames() {
    QStringList names;
    for (int i = 0; i < codecTableSize(); ++i) {
        const QString name = codecTableRow(i).encoder;
        if (!names.contains(name) && AudioEncoderLimits(name).found())
            names << name;
    }
    return names;
}

QList<int> RatesToTry(const AudioEncoderLimits& limits) {
    QList<int> rates;
    for (int rate : limits.sampleRates().isEmpty() ? kCandidateRates : limits.sampleRates())
        if (limits.acceptsSampleRate(rate))
            rates << rate;
    return rates;
}

QList<int> ToNumbers(const QStringList& texts) {
    QList<int> numbers;
    for (const QString& text : texts)
        numbers << text.toInt();
    return numbers;
}

}  // namespace

TEST(EncoderLimits, FindTheEncoderTheEngineWouldUse) {
    EXPECT_EQ(AudioEncoderLimits("mp3").encoderName(), "libmp3lame")
        << "by the codec when no encoder has the name";
    EXPECT_EQ(AudioEncoderLimits("libvorbis").encoderName(), "libvorbis");
    EXPECT_EQ(AudioEncoderLimits("amr_nb").encoderName(), "libopencore_amrnb");
    EXPECT_EQ(AudioEncoderLimits("mp2").encoderName(), "mp2");
    EXPECT_FALSE(AudioEncoderLimits("ERROR").found());
    EXPECT_FALSE(AudioEncoderLimits("h264").found()) << "no audio encoder";

    // Nothing known, nothing refused.
    const AudioEncoderLimits unknown("ERROR");
    EXPECT_TRUE(unknown.acceptsSampleRate(96000));
    EXPECT_TRUE(unknown.acceptsBitrate(100000, 96000, 2));
}

TEST(EncoderLimits, EveryAcceptedValueOpensAndKeepsItsRate) {
    const QStringList names = AudioCodecNames();
    // Every sound codec of the table that this FFmpeg builds is covered.
    for (const char* expected : {"aac", "mp3", "ac3", "wmav1", "wmav2", "pcm_s16le", "libvorbis", "flac",
                                 "mp2", "amr_nb", "adpcm_ima_wav", "pcm_s16be", "pcm_s24be"})
        EXPECT_TRUE(names.contains(expected)) << expected;

    int encoded = 0;
    for (const QString& name : names) {
        const AudioEncoderLimits limits(name);
        const QList<int> rates = RatesToTry(limits);
        EXPECT_FALSE(rates.isEmpty()) << name.toStdString();
        for (int channels = 1; channels <= 8; ++channels) {
            if (!limits.acceptsChannels(channels))
                continue;
            for (int rate : rates) {
                const BitrateLimits range = limits.bitrates(rate, channels);
                // An encoder that writes what its format needs is tried with a PCM-like rate.
                QList<int> values = range.any ? QList<int>{1411} : range.steps;
                if (!range.any && values.isEmpty())
                    values = {range.minKbps, range.maxKbps};
                ASSERT_TRUE(range.any || range.minKbps <= range.maxKbps)
                    << name.toStdString() << " " << rate << " Hz " << channels << " ch";
                for (int kbps : values) {
                    EXPECT_EQ(Encode(limits.encoderName(), kbps, rate, channels), "")
                        << name.toStdString() << " " << kbps << " kbit/s " << rate << " Hz " << channels
                        << " ch";
                    ++encoded;
                }
            }
        }
    }
    EXPECT_GT(encoded, 500);
}

// The rejections the limits stand for are real: the encoders refuse or change these values.
TEST(EncoderLimits, WhatTheLimitsRefuseTheEncodersRefuse) {
    const struct {
        const char* codec;
        int kbps;
        int rate;
        int channels;
    } refused[] = {
        {"mp2", 1000, 48000, 2},   {"mp2", 200, 48000, 2},       {"mp2", 256, 22050, 2},
        {"mp2", 192, 96000, 2},    {"libvorbis", 1000, 44100, 2}, {"libvorbis", 501, 48000, 2},
        {"libvorbis", 241, 44100, 1}, {"libvorbis", 128, 96000, 2}, {"mp3", 400, 44100, 2},
        {"mp3", 192, 22050, 2},    {"mp3", 96, 11025, 1},        {"mp3", 144, 44100, 2},
        {"ac3", 1000, 48000, 6},   {"ac3", 200, 48000, 2},       {"aac", 600, 44100, 2},
        {"aac", 160, 22050, 1},    {"wmav2", 23, 44100, 2},      {"wmav2", 128, 96000, 2},
        {"mp2", 128, 44100, 6},
    };
    for (const auto& r : refused) {
        const AudioEncoderLimits limits(r.codec);
        ASSERT_TRUE(limits.found()) << r.codec;
        const bool accepted = limits.acceptsSampleRate(r.rate) && limits.acceptsChannels(r.channels) &&
                              limits.acceptsBitrate(r.kbps, r.rate, r.channels);
        EXPECT_FALSE(accepted) << r.codec << " " << r.kbps << " " << r.rate << " " << r.channels;
        EXPECT_NE(Encode(limits.encoderName(), r.kbps, r.rate, r.channels), "")
            << r.codec << " " << r.kbps << " " << r.rate << " " << r.channels;
    }
}

TEST(EncoderLimits, OfferedListsKeepOnlyAcceptedValuesInTheirOrder) {
    const AudioEncoderLimits mp2("mp2");
    EXPECT_EQ(acceptedSampleRates(mp2, {"96000", "48000 Hz", "44100", "22050"}, {"1000", "256"}, 2),
              QStringList({"48000 Hz", "44100"}))
        << "22050 takes no offered rate";
    EXPECT_EQ(acceptedSampleRates(mp2, {"96000", "48000", "22050"}, {}, 2), QStringList({"48000", "22050"}));
    EXPECT_EQ(acceptedBitrates(mp2, {"1000", "384", "128 kbps", "200", "fast"}, {48000}, 2),
              QStringList({"384", "128 kbps"}));
    // At several rates a value must suit each of them.
    EXPECT_EQ(acceptedBitrates(mp2, {"64", "144", "160", "192"}, {48000, 22050}, 2),
              QStringList({"64", "160"}));

    const AudioEncoderLimits vorbis("libvorbis");
    EXPECT_EQ(acceptedBitrates(vorbis, {"96", "320", "500", "1000"}, {48000}, 2),
              QStringList({"96", "320", "500"}));
    EXPECT_EQ(acceptedBitrates(vorbis, {"96", "320", "500"}, {48000}, 1), QStringList({"96"}));

    // Lossless and PCM encoders write what they need: the offered rate is only a label.
    const AudioEncoderLimits flac("flac");
    EXPECT_EQ(acceptedBitrates(flac, {"1000", "500"}, {96000}, 2), QStringList({"1000", "500"}));
    EXPECT_EQ(acceptedSampleRates(flac, {"96000", "44100"}, {"1000"}, 2), QStringList({"96000", "44100"}));

    // With no rate named the value must suit any rate the source may have.
    const AudioEncoderLimits mp3("mp3");
    EXPECT_EQ(acceptedBitrates(mp3, {"32", "64", "96", "320"}, {}, 2), QStringList({"32", "64"}));

    const AudioEncoderLimits none("ERROR");
    EXPECT_EQ(acceptedBitrates(none, {"1000", "x"}, {96000}, 2), QStringList({"1000", "x"}));
}

// What the shipped catalogue offers, filtered as the dialog filters it, converts: each offered
// sample rate with the lowest and highest bit rate offered at it, and every option keeps values.
TEST(EncoderLimits, TheShippedCatalogueOffersOnlyWhatTheEncodersKeep) {
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.loadDocuments(CORVANE_PROFILE_SOURCE "/profilelist.xml",
                                        CORVANE_PROFILE_SOURCE "/format.xml"))
        << catalogue.loadError().toStdString();
    QSet<QString> tried;
    for (int i = 0; i < catalogue.entryCount(); ++i) {
        for (const AudioOption& option : catalogue.entry(i)->format.audio) {
            const QString key = option.codec + option.channels + option.bitrates.join(';') +
                                option.sampleRates.join(';');
            if (tried.contains(key))
                continue;
            tried.insert(key);
            const QString where = option.codec + " " + option.channels + " ch";
            const AudioEncoderLimits limits(codecInfo(option.codec).encoder);
            ASSERT_TRUE(limits.found()) << where.toStdString();
            const int channels = option.channels.toInt();
            EXPECT_TRUE(limits.acceptsChannels(channels)) << where.toStdString();
            const QStringList rates =
                acceptedSampleRates(limits, option.sampleRates, option.bitrates, channels);
            EXPECT_FALSE(rates.isEmpty()) << where.toStdString();
            for (int rate : ToNumbers(rates)) {
                const QList<int> kbps =
                    ToNumbers(acceptedBitrates(limits, option.bitrates, {rate}, channels));
                ASSERT_FALSE(kbps.isEmpty()) << where.toStdString() << " " << rate;
                for (int value : {*std::min_element(kbps.begin(), kbps.end()),
                                  *std::max_element(kbps.begin(), kbps.end())})
                    EXPECT_EQ(Encode(limits.encoderName(), value, rate, channels), "")
                        << where.toStdString() << " " << value << " kbit/s " << rate << " Hz";
            }
        }
    }
    EXPECT_GT(tried.size(), 20);
}
