#include "convert/export_audio_stream.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "convert/export_extradata.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

void SetChannels(AVCodecContext& context, int32_t channels, int64_t layoutMask) {
    av_channel_layout_uninit(&context.ch_layout);
    if (layoutMask > 0)
        av_channel_layout_from_mask(&context.ch_layout, static_cast<uint64_t>(layoutMask));
    else if (channels > 0)
        av_channel_layout_default(&context.ch_layout, channels);
}

// A rate the encoder lists: the asked one, else the lowest above it (Opus takes 48 kHz, not
// 44.1), else the highest. Encoders that list none take any.
int SupportedSampleRate(const AVCodec* encoder, int wanted) {
    if (encoder == nullptr || encoder->supported_samplerates == nullptr || wanted <= 0)
        return wanted;
    int above = 0;
    int highest = 0;
    for (const int* rate = encoder->supported_samplerates; *rate != 0; ++rate) {
        if (*rate == wanted)
            return wanted;
        if (*rate > wanted && (above == 0 || *rate < above))
            above = *rate;
        highest = std::max(highest, *rate);
    }
    return above != 0 ? above : highest;
}

// Keeps the layout when the encoder lists it (or lists none); else the listed layout with the
// same number of channels, else the one with the most channels up to that number, which the
// resampler mixes down to.
void KeepSupportedLayout(AVCodecContext& context, const AVCodec* encoder) {
    if (encoder == nullptr || encoder->ch_layouts == nullptr || context.ch_layout.nb_channels <= 0)
        return;
    const AVChannelLayout* sameCount = nullptr;
    const AVChannelLayout* fewer = nullptr;
    for (const AVChannelLayout* layout = encoder->ch_layouts; layout->nb_channels != 0; ++layout) {
        if (av_channel_layout_compare(layout, &context.ch_layout) == 0)
            return;
        if (sameCount == nullptr && layout->nb_channels == context.ch_layout.nb_channels)
            sameCount = layout;
        if (layout->nb_channels < context.ch_layout.nb_channels &&
            (fewer == nullptr || layout->nb_channels > fewer->nb_channels))
            fewer = layout;
    }
    const AVChannelLayout* chosen = sameCount != nullptr ? sameCount : fewer;
    if (chosen == nullptr)
        return;
    AVChannelLayout copy{};
    if (av_channel_layout_copy(&copy, chosen) < 0)
        return;
    av_channel_layout_uninit(&context.ch_layout);
    context.ch_layout = copy;
}

}  // namespace

void ConfigureAudioEncoder(AVCodecContext& context, const StreamRecord& record,
                           const PropertyBlob* extradata, const AVFormatContext& output) {
    const AVCodec* encoder = context.codec;
    const AVCodecID codec = encoder ? encoder->id : AV_CODEC_ID_NONE;
    context.codec_type = AVMEDIA_TYPE_AUDIO;
    context.codec_id = codec;
    if (record.profile > 0)
        context.profile = record.profile;
    if (record.level > 0)
        context.level = record.level;
    context.bit_rate = record.bitRate;
    context.sample_rate = SupportedSampleRate(encoder, record.sampleRate);
    SetChannels(context, record.channels, record.channelLayout);
    KeepSupportedLayout(context, encoder);
    context.frame_size = record.frameSize;
    CopyExtradata(extradata, &context.extradata, &context.extradata_size);

    const bool listsFormats =
        encoder && encoder->sample_fmts && encoder->sample_fmts[0] != AV_SAMPLE_FMT_NONE;
    context.sample_fmt = listsFormats ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16P;

    if (codec == AV_CODEC_ID_DTS) {
        if (context.ch_layout.nb_channels == 2)
            SetChannels(context, 2, AV_CH_LAYOUT_STEREO);
        else if (context.ch_layout.nb_channels == 6)
            SetChannels(context, 6, AV_CH_LAYOUT_5POINT1);
    }
    if (codec == AV_CODEC_ID_PCM_S32LE || codec == AV_CODEC_ID_PCM_S24LE) {
        context.bits_per_raw_sample = codec == AV_CODEC_ID_PCM_S32LE ? 32 : 24;
        context.sample_fmt = AV_SAMPLE_FMT_S32;
    }
    if (output.oformat && (output.oformat->flags & AVFMT_GLOBALHEADER))
        context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    context.time_base = AVRational{1, context.sample_rate > 0 ? context.sample_rate : 1};
}

AVStream* CreateAudioStream(AVFormatContext& output, AVCodecContext& context,
                            const StreamRecord& record, const PropertyBlob* extradata) {
    if (context.codec == nullptr || context.codec->id == AV_CODEC_ID_NONE)
        SystemBased::ReportError("audio codec id error", "272");
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (stream == nullptr)
        SystemBased::ReportError("create audio stream error", "277");
    ConfigureAudioEncoder(context, record, extradata, output);
    stream->time_base = context.time_base;
    return stream;
}

}  // namespace MediaBased
