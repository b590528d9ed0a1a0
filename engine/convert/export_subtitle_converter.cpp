#include "convert/export_subtitle_converter.h"

#include <cstring>
#include <new>
#include <string>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "system/codec_parameters_blob.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

constexpr AVRational kMicroseconds{1, 1000000};
constexpr AVRational kMilliseconds{1, 1000};
constexpr size_t kLargestCue = 1024 * 1024;  // as much as FFmpeg's own tools allow one cue

bool IsKnown(AVRational value) {
    return value.num > 0 && value.den > 0;
}

bool IsPictures(AVCodecID codec) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    return descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_BITMAP_SUB);
}

// The name people know a picture subtitle format by.
std::string PicturesName(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_HDMV_PGS_SUBTITLE:
        return "PGS";
    case AV_CODEC_ID_DVD_SUBTITLE:
        return "DVD";
    case AV_CODEC_ID_DVB_SUBTITLE:
        return "DVB";
    default:
        return avcodec_get_name(codec);
    }
}

[[noreturn]] void Refuse(const std::string& reason) {
    SystemBased::ReportError(("subtitle error: " + reason).c_str(), "596");
}

struct DecodedCue {
    AVSubtitle cue{};
    ~DecodedCue() { avsubtitle_free(&cue); }
};

}  // namespace

SubtitleConverter::SubtitleConverter(AVFormatContext& output, const AVCodec& encoder, IStreamInfo& info) {
    const std::string target = encoder.name;
    SystemBased::CodecParametersPtr source(avcodec_parameters_alloc());
    if (source == nullptr)
        throw std::bad_alloc();
    SystemBased::StreamTiming timing;
    const PropertyBlob* described = info.GetProperty(SystemBased::kCodecParametersProperty);
    if (described == nullptr ||
        !SystemBased::ReadCodecParameters(described->data, described->size, *source, timing))
        Refuse("the source's subtitle format is unknown, so it cannot become " + target + " text");
    if (IsPictures(encoder.id))
        Refuse("cannot make " + target + " pictures from subtitles");
    if (IsPictures(source->codec_id))
        Refuse("cannot convert " + PicturesName(source->codec_id) + " pictures to " + target + " text");
    const AVCodec* decoder = avcodec_find_decoder(source->codec_id);
    if (decoder == nullptr || decoder->type != AVMEDIA_TYPE_SUBTITLE)
        Refuse(std::string("cannot read ") + avcodec_get_name(source->codec_id) + " subtitles");

    decoder_.reset(avcodec_alloc_context3(decoder));
    if (decoder_ == nullptr || avcodec_parameters_to_context(decoder_.get(), source.get()) < 0)
        throw std::bad_alloc();
    decoder_->pkt_timebase = timing.timeBase;
    if (avcodec_open2(decoder_.get(), decoder, nullptr) < 0)
        Refuse(std::string("cannot read ") + decoder->name + " subtitles");

    encoder_.reset(avcodec_alloc_context3(&encoder));
    if (encoder_ == nullptr)
        throw std::bad_alloc();
    encoder_->time_base = kMicroseconds;
    encoder_->width = source->width;
    encoder_->height = source->height;
    // The text encoders take their styles from the ASS header the decoder made.
    if (decoder_->subtitle_header != nullptr && decoder_->subtitle_header_size > 0) {
        const size_t size = static_cast<size_t>(decoder_->subtitle_header_size);
        encoder_->subtitle_header = static_cast<uint8_t*>(av_mallocz(size + 1));
        if (encoder_->subtitle_header == nullptr)
            throw std::bad_alloc();
        std::memcpy(encoder_->subtitle_header, decoder_->subtitle_header, size);
        encoder_->subtitle_header_size = decoder_->subtitle_header_size;
    }
    if (avcodec_open2(encoder_.get(), &encoder, nullptr) < 0)
        Refuse("cannot convert " + std::string(decoder->name) + " subtitles to " + target + " text");

    stream_ = avformat_new_stream(&output, nullptr);
    if (stream_ == nullptr)
        SystemBased::ReportError("create subtitle stream error", "599");
    if (avcodec_parameters_from_context(stream_->codecpar, encoder_.get()) < 0)
        throw std::bad_alloc();
    // A hint: the muxer may choose its own when it writes the header.
    stream_->time_base = kMilliseconds;
    encoded_.resize(kLargestCue);
}

SubtitleConverter::Result SubtitleConverter::Write(const AVPacket& packet, int64_t frameStart,
                                                   AVFormatContext& output, AVPacket& scratch) {
    const AVRational from = packet.time_base;
    const int64_t timestamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (packet.size <= 0 || !IsKnown(from) || timestamp == AV_NOPTS_VALUE)
        return Result::Skipped;
    const int64_t originUs = timeLine_.OriginUs(timestamp, from, frameStart);

    DecodedCue decoded;
    int gotCue = 0;
    // The decoder wants a packet of its own to read.
    if (av_packet_ref(&scratch, &packet) < 0)
        return Result::Skipped;
    decoder_->pkt_timebase = from;
    const int used = avcodec_decode_subtitle2(decoder_.get(), &decoded.cue, &gotCue, &scratch);
    av_packet_unref(&scratch);
    AVSubtitle& cue = decoded.cue;
    if (used < 0 || !gotCue || cue.num_rects == 0)
        return Result::Skipped;

    int64_t startUs = av_rescale_q(timestamp, from, kMicroseconds) + int64_t{cue.start_display_time} * 1000 - originUs;
    int64_t durationUs = cue.end_display_time > cue.start_display_time && cue.end_display_time != UINT32_MAX
                             ? int64_t{cue.end_display_time - cue.start_display_time} * 1000
                             : av_rescale_q(packet.duration, from, kMicroseconds);
    // What the source shows before the output's start is cut to the part that remains.
    if (startUs + durationUs <= 0)
        return Result::Skipped;
    if (startUs < 0) {
        durationUs += startUs;
        startUs = 0;
    }
    // Encoders take a cue that starts at its own time.
    cue.pts = startUs;
    cue.start_display_time = 0;
    cue.end_display_time = static_cast<uint32_t>(av_rescale_q(durationUs, kMicroseconds, kMilliseconds));
    const int size = avcodec_encode_subtitle(encoder_.get(), encoded_.data(), static_cast<int>(encoded_.size()), &cue);
    if (size <= 0)
        return Result::Skipped;

    if (av_new_packet(&scratch, size) < 0)
        return Result::Failed;
    std::memcpy(scratch.data, encoded_.data(), static_cast<size_t>(size));
    const AVRational to = stream_->time_base;
    scratch.pts = av_rescale_q(startUs, kMicroseconds, to);
    // Cues that collapse onto one tick of a coarse time base keep their order.
    if (lastStart_ != AV_NOPTS_VALUE && scratch.pts < lastStart_)
        scratch.pts = lastStart_;
    lastStart_ = scratch.pts;
    scratch.dts = scratch.pts;
    scratch.duration = av_rescale_q(durationUs, kMicroseconds, to);
    scratch.time_base = to;
    scratch.flags |= AV_PKT_FLAG_KEY;
    scratch.stream_index = stream_->index;
    // Takes the reference, written or not.
    const int written = av_interleaved_write_frame(&output, &scratch);
    av_packet_unref(&scratch);
    return written < 0 ? Result::Failed : Result::Written;
}

}  // namespace MediaBased
