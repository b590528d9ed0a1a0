#include "convert/export_audio_stream.h"

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
    context.sample_rate = record.sampleRate;
    SetChannels(context, record.channels, record.channelLayout);
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
