#include "convert/export_attachment.h"

#include <cstring>
#include <new>
#include <string>

#include "convert/export_track_tags.h"
#include "system/codec_parameters_blob.h"
#include "system/ffmpeg_handles.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

[[noreturn]] void Fail(const std::string& why) {
    SystemBased::ReportError(("attachment error: " + why).c_str(), "382");
}

bool DescribesAttachment(IStreamInfo& info) {
    const PropertyBlob* described = info.GetProperty(SystemBased::kCodecParametersProperty);
    if (described == nullptr)
        return false;
    SystemBased::CodecParametersPtr parameters(avcodec_parameters_alloc());
    if (!parameters)
        throw std::bad_alloc();
    SystemBased::StreamTiming timing;
    return SystemBased::ReadCodecParameters(described->data, described->size, *parameters, timing) &&
           parameters->codec_type == AVMEDIA_TYPE_ATTACHMENT;
}

void SetTag(AVStream& stream, const char* name, const std::string& value) {
    if (!value.empty() && av_dict_set(&stream.metadata, name, value.c_str(), 0) < 0)
        throw std::bad_alloc();
}

}  // namespace

bool IsAttachedFile(const StreamRecord& record, IStreamInfo& info) {
    if (record.encode != 0)
        return false;
    const PropertyBlob* flag = info.GetProperty("attachment");
    if (flag != nullptr && flag->data != nullptr && flag->size >= 1 &&
        *static_cast<const uint8_t*>(flag->data) != 0)
        return true;
    return DescribesAttachment(info);
}

AVStream* CreateAttachmentStream(AVFormatContext& output, IStreamInfo& info) {
    const std::string filename = TextProperty(info, "filename");
    if (std::strcmp(output.oformat->name, "matroska") != 0)
        Fail(std::string(output.oformat->name) + " cannot store attached files (" +
             (filename.empty() ? std::string("unnamed") : filename) + ")");
    if (filename.empty())
        Fail("an attached file has no file name");
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (stream == nullptr)
        throw std::bad_alloc();
    const PropertyBlob* described = info.GetProperty(SystemBased::kCodecParametersProperty);
    SystemBased::StreamTiming timing;
    if (described == nullptr ||
        !SystemBased::ReadCodecParameters(described->data, described->size, *stream->codecpar, timing) ||
        stream->codecpar->extradata == nullptr || stream->codecpar->extradata_size <= 0)
        Fail("the attached file " + filename + " comes without its contents");
    stream->codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
    stream->codecpar->codec_tag = 0;
    SetTag(*stream, "filename", filename);
    // Without a type of its own the muxer names one from the codec, when it knows the codec.
    SetTag(*stream, "mimetype", TextProperty(info, "mimetype"));
    SetTag(*stream, "title", TextProperty(info, "title"));
    return stream;
}

}  // namespace MediaBased
