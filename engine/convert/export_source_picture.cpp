#include "convert/export_source_picture.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include "system/ffmpeg_handles.h"

namespace MediaBased {
namespace {

// Enough for a decoder with frame delay to hand out its first picture.
constexpr int kMaxProbePackets = 64;

template <typename Record>
std::optional<Record> StreamSideData(const AVStream& stream, AVPacketSideDataType type) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(&stream, type, &size);
    if (data == nullptr || size < sizeof(Record))
        return std::nullopt;
    Record record;
    std::memcpy(&record, data, sizeof record);
    return record;
}

template <typename Record>
std::optional<Record> FrameSideData(const AVFrame& frame, AVFrameSideDataType type) {
    const AVFrameSideData* side = av_frame_get_side_data(&frame, type);
    if (side == nullptr || side->size < sizeof(Record))
        return std::nullopt;
    Record record;
    std::memcpy(&record, side->data, sizeof record);
    return record;
}

void KeepMastering(SourcePicture& picture, const std::optional<AVMasteringDisplayMetadata>& found) {
    if (!picture.mastering && found && (found->has_primaries || found->has_luminance))
        picture.mastering = found;
}

void KeepLight(SourcePicture& picture, const std::optional<AVContentLightMetadata>& found) {
    if (!picture.light && found && (found->MaxCLL != 0 || found->MaxFALL != 0))
        picture.light = found;
}

// What the first decoded picture says, where the container said nothing.
void TakeFromFrame(SourcePicture& picture, const AVFrame& frame) {
    if (picture.format == AV_PIX_FMT_NONE)
        picture.format = static_cast<AVPixelFormat>(frame.format);
    if (picture.primaries == AVCOL_PRI_UNSPECIFIED)
        picture.primaries = frame.color_primaries;
    if (picture.transfer == AVCOL_TRC_UNSPECIFIED)
        picture.transfer = frame.color_trc;
    if (picture.matrix == AVCOL_SPC_UNSPECIFIED)
        picture.matrix = frame.colorspace;
    if (picture.range == AVCOL_RANGE_UNSPECIFIED)
        picture.range = frame.color_range;
    if (picture.chromaLocation == AVCHROMA_LOC_UNSPECIFIED)
        picture.chromaLocation = frame.chroma_location;
    KeepMastering(picture, FrameSideData<AVMasteringDisplayMetadata>(
                               frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA));
    KeepLight(picture, FrameSideData<AVContentLightMetadata>(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL));
}

void DecodeFirstPicture(AVFormatContext& container, int streamIndex, SourcePicture& picture) {
    const AVCodecParameters& parameters = *container.streams[streamIndex]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
    if (decoder == nullptr)
        return;
    SystemBased::CodecContextPtr context(avcodec_alloc_context3(decoder));
    SystemBased::PacketPtr packet(av_packet_alloc());
    SystemBased::FramePtr frame(av_frame_alloc());
    if (context == nullptr || packet == nullptr || frame == nullptr ||
        avcodec_parameters_to_context(context.get(), &parameters) < 0)
        return;
    // One picture: a frame-threaded decoder would only hold it back longer.
    context->thread_count = 1;
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return;
    for (int read = 0; read < kMaxProbePackets;) {
        const int result = av_read_frame(&container, packet.get());
        const bool ended = result < 0;
        if (!ended && packet->stream_index != streamIndex) {
            av_packet_unref(packet.get());
            continue;
        }
        ++read;
        const int sent = avcodec_send_packet(context.get(), ended ? nullptr : packet.get());
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN))
            return;
        if (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
            TakeFromFrame(picture, *frame);
            return;
        }
        if (ended)
            return;
    }
}

}  // namespace

bool SourcePicture::HighDynamicRange() const {
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

int SourcePicture::BitDepth() const {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr ? descriptor->comp[0].depth : 0;
}

std::optional<SourcePicture> ProbeSourcePicture(const std::string& path, int streamIndex) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    SystemBased::InputFormatContextPtr container(opened);
    if (avformat_find_stream_info(container.get(), nullptr) < 0 || streamIndex < 0 ||
        static_cast<unsigned>(streamIndex) >= container->nb_streams)
        return std::nullopt;
    const AVStream& stream = *container->streams[streamIndex];
    const AVCodecParameters& parameters = *stream.codecpar;
    if (parameters.codec_type != AVMEDIA_TYPE_VIDEO)
        return std::nullopt;

    SourcePicture picture;
    picture.format = static_cast<AVPixelFormat>(parameters.format);
    picture.primaries = parameters.color_primaries;
    picture.transfer = parameters.color_trc;
    picture.matrix = parameters.color_space;
    picture.range = parameters.color_range;
    picture.chromaLocation = parameters.chroma_location;
    KeepMastering(picture, StreamSideData<AVMasteringDisplayMetadata>(
                               stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA));
    KeepLight(picture, StreamSideData<AVContentLightMetadata>(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL));
    // Ordinary pictures have nothing more to find: only HDR ones are worth a decoder.
    if (picture.format == AV_PIX_FMT_NONE || (picture.HighDynamicRange() && !picture.mastering))
        DecodeFirstPicture(*container, streamIndex, picture);
    return picture;
}

}  // namespace MediaBased
