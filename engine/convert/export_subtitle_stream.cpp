#include "convert/export_subtitle_stream.h"

#include "convert/export_extradata.h"
#include "system/module_logger.h"

namespace MediaBased {

AVStream* CreateSubtitleStream(AVFormatContext& output, const AVCodec& encoder,
                               const PropertyBlob* extradata) {
    if (encoder.id == AV_CODEC_ID_NONE)
        SystemBased::ReportError("subtitle codec id error", "594");
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (stream == nullptr)
        SystemBased::ReportError("create subtitle stream error", "599");
    stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    stream->codecpar->codec_id = encoder.id;
    stream->time_base = AVRational{1, 1000};
    CopyExtradata(extradata, &stream->codecpar->extradata, &stream->codecpar->extradata_size);
    return stream;
}

}  // namespace MediaBased
