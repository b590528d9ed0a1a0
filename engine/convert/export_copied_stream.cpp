#include "convert/export_copied_stream.h"

#include "convert/export_container_traits.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include "convert/export_extradata.h"
#include "system/codec_parameters_blob.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

constexpr AVRational kMicroseconds{1, 1000000};

bool IsKnown(AVRational value) {
    return value.num > 0 && value.den > 0;
}

AVMediaType MediaTypeOf(int32_t kind) {
    switch (kind) {
    case StreamKindVideo:
        return AVMEDIA_TYPE_VIDEO;
    case StreamKindAudio:
        return AVMEDIA_TYPE_AUDIO;
    case StreamKindSubtitle:
        return AVMEDIA_TYPE_SUBTITLE;
    default:
        return AVMEDIA_TYPE_DATA;
    }
}

// What the record says, for a target description made without the importer's parameters.
void DescribeFromRecord(const StreamRecord& record, IStreamInfo& info, AVCodecParameters& parameters,
                        SystemBased::StreamTiming& timing) {
    const AVCodecDescriptor* descriptor =
        record.codecName ? avcodec_descriptor_get_by_name(record.codecName) : nullptr;
    parameters.codec_type = MediaTypeOf(record.kind);
    parameters.codec_id = descriptor ? descriptor->id : AV_CODEC_ID_NONE;
    if (record.kind == StreamKindVideo) {
        parameters.width = record.width;
        parameters.height = record.height;
        if (record.sarNum > 0 && record.sarDen > 0)
            parameters.sample_aspect_ratio = AVRational{record.sarNum, record.sarDen};
        if (record.frameTimeNum > 0 && record.frameTimeDen > 0)
            timing.frameRate = AVRational{record.frameTimeDen, record.frameTimeNum};
    } else if (record.kind == StreamKindAudio) {
        parameters.sample_rate = record.sampleRate;
        av_channel_layout_uninit(&parameters.ch_layout);
        if (record.channelLayout > 0)
            av_channel_layout_from_mask(&parameters.ch_layout, static_cast<uint64_t>(record.channelLayout));
        else if (record.channels > 0)
            av_channel_layout_default(&parameters.ch_layout, record.channels);
        parameters.frame_size = record.frameSize;
    }
    CopyExtradata(info.GetProperty("extradata"), &parameters.extradata, &parameters.extradata_size);
}

// A tag the container has no entry for this codec under would mislabel the stream.
uint32_t TagForContainer(const AVOutputFormat& format, AVCodecID codec, uint32_t tag) {
    if (tag == 0 || format.codec_tag == nullptr)
        return 0;
    return av_codec_get_id(format.codec_tag, tag) == codec ? tag : 0;
}

}  // namespace

AVStream* CreateCopiedStream(AVFormatContext& output, const StreamRecord& record, IStreamInfo& info) {
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (stream == nullptr)
        SystemBased::ReportError("create copied stream error", "381");
    AVCodecParameters& parameters = *stream->codecpar;
    SystemBased::StreamTiming timing;
    const PropertyBlob* described = info.GetProperty(SystemBased::kCodecParametersProperty);
    if (described == nullptr ||
        !SystemBased::ReadCodecParameters(described->data, described->size, parameters, timing))
        DescribeFromRecord(record, info, parameters, timing);
    if (parameters.codec_id == AV_CODEC_ID_NONE)
        SystemBased::ReportError("copied stream codec error", "380");
    parameters.codec_tag = TagForContainer(*output.oformat, parameters.codec_id, parameters.codec_tag);
    if (const uint32_t preferred = PreferredCodecTag(*output.oformat, parameters.codec_id))
        parameters.codec_tag = preferred;
    // A hint: the muxer keeps the source's time base or picks one of its own when writing the
    // header, and every packet is moved to whichever it is.
    if (IsKnown(timing.timeBase))
        stream->time_base = timing.timeBase;
    if (IsKnown(timing.frameRate))
        stream->avg_frame_rate = timing.frameRate;
    stream->sample_aspect_ratio = parameters.sample_aspect_ratio;
    return stream;
}

int64_t SourceTimeLine::OriginUs(int64_t timestamp, AVRational timeBase, int64_t frameStart) {
    if (!knowsOrigin_ && timestamp != AV_NOPTS_VALUE && IsKnown(timeBase)) {
        originUs_ = av_rescale_q(timestamp, timeBase, kMicroseconds) - frameStart / 10;
        knowsOrigin_ = true;
    }
    return originUs_;
}

CopiedPacketWriter::Result CopiedPacketWriter::Write(const AVPacket& packet, int64_t frameStart,
                                                     AVFormatContext& output, AVPacket& scratch) {
    if (waitForKeyFrame_) {
        if (!(packet.flags & AV_PKT_FLAG_KEY))
            return Result::Dropped;
        waitForKeyFrame_ = false;
    }
    const AVRational from = packet.time_base;
    if (!IsKnown(from))
        return Result::Failed;
    // The source made frameStart from this time, or the decoding time when it has none.
    const int64_t timestamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    const int64_t originUs = timeLine_.OriginUs(timestamp, from, frameStart);
    if (av_packet_ref(&scratch, &packet) < 0)
        return Result::Failed;
    const int64_t shift = av_rescale_q(originUs, kMicroseconds, from);
    if (scratch.pts != AV_NOPTS_VALUE)
        scratch.pts -= shift;
    if (scratch.dts != AV_NOPTS_VALUE)
        scratch.dts -= shift;
    av_packet_rescale_ts(&scratch, from, stream_.time_base);
    scratch.time_base = stream_.time_base;
    // Times that collapse onto one tick of a coarser time base must still go forward.
    if (scratch.dts != AV_NOPTS_VALUE) {
        if (lastDts_ != AV_NOPTS_VALUE && scratch.dts <= lastDts_) {
            scratch.dts = lastDts_ + 1;
            if (scratch.pts != AV_NOPTS_VALUE && scratch.pts < scratch.dts)
                scratch.pts = scratch.dts;
        }
        lastDts_ = scratch.dts;
    }
    scratch.stream_index = stream_.index;
    scratch.pos = -1;
    // Takes the reference, written or not.
    const int written = av_interleaved_write_frame(&output, &scratch);
    av_packet_unref(&scratch);
    return written < 0 ? Result::Failed : Result::Written;
}

}  // namespace MediaBased
