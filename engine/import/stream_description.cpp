#include "import/stream_description.h"

#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "filters/channel_layouts.h"
#include "system/codec_parameters_blob.h"

namespace MediaBased {
namespace {

constexpr AVRational kMicroseconds{1, 1000000};

bool BothNonZero(AVRational value) {
    return value.num != 0 && value.den != 0;
}

int32_t ClampToInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// The stream's own duration, else the container's (Matroska stores only the latter).
double DurationSeconds(const AVFormatContext& container, const AVStream& stream) {
    if (stream.duration != AV_NOPTS_VALUE)
        return av_rescale_q(stream.duration, stream.time_base, kMicroseconds) / 1000000.0;
    if (container.duration != AV_NOPTS_VALUE)
        return container.duration / 1000000.0;
    return 0.0;
}

void DescribeVideo(const AVFormatContext& container, const AVStream& stream, StreamRecord& record) {
    const AVCodecParameters& codec = *stream.codecpar;
    record.kind = StreamKindVideo;
    record.width = codec.width;
    record.height = codec.height;
    record.sarNum = codec.sample_aspect_ratio.num;
    record.sarDen = codec.sample_aspect_ratio.den;
    const double aspectDivisor = static_cast<double>(static_cast<uint32_t>(codec.height)) * record.sarDen;
    record.displayAspect =
        aspectDivisor != 0.0
            ? static_cast<double>(static_cast<uint32_t>(codec.width)) * record.sarNum / aspectDivisor
            : 0.0;

    // Codec parameters carry no time base of their own; the real base frame rate stands in for
    // the decoder's.
    AVRational frameTime{0, 0};
    if (BothNonZero(stream.avg_frame_rate))
        frameTime = av_inv_q(stream.avg_frame_rate);
    else if (BothNonZero(stream.time_base))
        frameTime = stream.time_base;
    else if (BothNonZero(stream.r_frame_rate))
        frameTime = av_inv_q(stream.r_frame_rate);
    record.frameTimeNum = frameTime.num;
    record.frameTimeDen = frameTime.den;

    record.durationSeconds = DurationSeconds(container, stream);
}

// A tag's text with its terminating NUL, as clients read string properties.
void SetTextProperty(IStreamInfo& info, const char* name, const AVDictionary* tags, const char* tag) {
    const AVDictionaryEntry* entry = av_dict_get(tags, tag, nullptr, 0);
    if (entry == nullptr || entry->value == nullptr)
        return;
    const PropertyBlob blob{entry->value, static_cast<uint32_t>(std::strlen(entry->value) + 1)};
    info.SetProperty(name, &blob);
}

void SetText(IStreamInfo& info, const char* name, const char* text) {
    if (text == nullptr)
        return;
    const PropertyBlob blob{const_cast<char*>(text), static_cast<uint32_t>(std::strlen(text) + 1)};
    info.SetProperty(name, &blob);
}

void SetFlagProperty(IStreamInfo& info, const char* name, bool set) {
    uint8_t value = set ? 1 : 0;
    const PropertyBlob blob{&value, 1};
    info.SetProperty(name, &blob);
}

void SetInt32Property(IStreamInfo& info, const char* name, int32_t value) {
    const PropertyBlob blob{&value, sizeof value};
    info.SetProperty(name, &blob);
}

const char* TagText(const AVDictionary* tags, const char* tag) {
    const AVDictionaryEntry* entry = av_dict_get(tags, tag, nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? entry->value : "";
}

void DescribeAudio(const AVFormatContext& container, const AVStream& stream, StreamRecord& record) {
    const AVCodecParameters& codec = *stream.codecpar;
    record.kind = StreamKindAudio;
    // Without it an audio-only file would have no length to estimate an output size from.
    record.durationSeconds = DurationSeconds(container, stream);
    record.sampleRate = codec.sample_rate;
    record.channels = codec.ch_layout.nb_channels;
    record.channelLayout = NativeLayoutMask(codec.ch_layout);
}

}  // namespace

StreamRecord DescribeStream(const AVFormatContext& container, const AVStream& stream) {
    StreamRecord record{};
    record.id = stream.id;
    record.codecName = const_cast<char*>(avcodec_get_name(stream.codecpar->codec_id));
    record.bitRate = ClampToInt32(stream.codecpar->bit_rate);
    switch (stream.codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        DescribeVideo(container, stream, record);
        break;
    case AVMEDIA_TYPE_AUDIO:
        DescribeAudio(container, stream, record);
        break;
    default:
        record.kind = StreamKindOther;
        break;
    }
    return record;
}

void DescribeTrackTags(const AVStream& stream, IStreamInfo& info) {
    SetTextProperty(info, "language", stream.metadata, "language");
    SetTextProperty(info, "title", stream.metadata, "title");
    SetFlagProperty(info, "default", (stream.disposition & AV_DISPOSITION_DEFAULT) != 0);
    SetFlagProperty(info, "forced", (stream.disposition & AV_DISPOSITION_FORCED) != 0);
    const AVCodecParameters& codec = *stream.codecpar;
    if (codec.profile != FF_PROFILE_UNKNOWN)
        SetInt32Property(info, "profile", codec.profile);
    if (codec.level != FF_LEVEL_UNKNOWN)
        SetInt32Property(info, "level", codec.level);
    if (codec.codec_type == AVMEDIA_TYPE_VIDEO) {
        // Plans need them: an HDR or deeper-than-8-bit picture cannot be copied to every device.
        if (codec.color_trc != AVCOL_TRC_UNSPECIFIED)
            SetText(info, "color_transfer", av_color_transfer_name(codec.color_trc));
        if (codec.format != AV_PIX_FMT_NONE)
            SetText(info, "pixel_format", av_get_pix_fmt_name(static_cast<AVPixelFormat>(codec.format)));
    }
    if (codec.codec_type == AVMEDIA_TYPE_ATTACHMENT) {
        // The file's bytes are the extradata, which "codec_parameters" carries.
        SetFlagProperty(info, "attachment", true);
        SetTextProperty(info, "filename", stream.metadata, "filename");
        SetTextProperty(info, "mimetype", stream.metadata, "mimetype");
    }
}

void DescribeCodecParameters(const AVStream& stream, IStreamInfo& info) {
    SystemBased::StreamTiming timing;
    timing.timeBase = stream.time_base;
    timing.frameRate = stream.avg_frame_rate;
    std::vector<uint8_t> bytes = SystemBased::WriteCodecParameters(*stream.codecpar, timing);
    const PropertyBlob blob{bytes.data(), static_cast<uint32_t>(bytes.size())};
    info.SetProperty(SystemBased::kCodecParametersProperty, &blob);
}

ContainerTags DescribeContainerTags(const AVFormatContext& container) {
    ContainerTags tags;
    tags.title = TagText(container.metadata, "title");
    tags.startTimeUs = container.start_time != AV_NOPTS_VALUE ? container.start_time : 0;
    for (unsigned i = 0; i < container.nb_chapters; ++i) {
        const AVChapter& chapter = *container.chapters[i];
        ChapterTag tag;
        tag.id = chapter.id;
        tag.timeBaseNum = chapter.time_base.num;
        tag.timeBaseDen = chapter.time_base.den;
        tag.start = chapter.start;
        tag.end = chapter.end;
        tag.title = TagText(chapter.metadata, "title");
        tags.chapters.push_back(std::move(tag));
    }
    return tags;
}

ContainerDescription DescribeContainer(const AVFormatContext& container) {
    ContainerDescription description;
    description.info = std::make_unique<CMediaInfo>(false);
    description.info->SetFormatName(container.iformat->name);
    // An mp3 file's pictures are cover art, not video.
    const bool mp3 = std::strcmp(container.iformat->name, "mp3") == 0;
    for (unsigned i = 0; i < container.nb_streams; ++i) {
        const AVStream& stream = *container.streams[i];
        if (mp3 && stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            continue;
        const StreamRecord record = DescribeStream(container, stream);
        description.info->AddStream(&record);
        const auto added = static_cast<uint32_t>(description.info->GetStreamCount() - 1);
        DescribeTrackTags(stream, *description.info->GetStreamInfo(added));
        DescribeCodecParameters(stream, *description.info->GetStreamInfo(added));
        description.containerIndexOf.push_back(static_cast<int>(i));
    }
    description.tags = DescribeContainerTags(container);
    return description;
}

}  // namespace MediaBased
