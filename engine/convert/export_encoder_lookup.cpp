#include "convert/export_encoder_lookup.h"

#include <cstring>

#include "system/module_logger.h"

namespace MediaBased {
namespace {

const struct {
    const char* profileName;
    const char* encoderName;
} kEncoderAliases[] = {
    {"aac", "libvo_aacenc"},
    {"xvid", "libxvid"},
};

}  // namespace

std::string MappedEncoderName(const char* codecName) {
    if (codecName == nullptr)
        return std::string();
    for (const auto& alias : kEncoderAliases)
        if (std::strcmp(codecName, alias.profileName) == 0 &&
            avcodec_find_encoder_by_name(alias.encoderName) != nullptr)
            return alias.encoderName;
    return codecName;
}

const AVCodec* FindExportEncoder(const char* codecName) {
    const std::string name = MappedEncoderName(codecName);
    if (const AVCodec* encoder = avcodec_find_encoder_by_name(name.c_str()))
        return encoder;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.c_str());
    if (descriptor == nullptr)
        SystemBased::ReportError("get codec by name error", "185");
    const AVCodec* encoder = avcodec_find_encoder(descriptor->id);
    if (encoder == nullptr)
        SystemBased::ReportError("find encoder by id error", "189");
    return encoder;
}

const AVCodec* FindExportEncoder(const char* codecName, const std::string& fallback) {
    const AVCodec* replacement =
        fallback.empty() ? nullptr : avcodec_find_encoder_by_name(fallback.c_str());
    if (replacement == nullptr || codecName == nullptr)
        return FindExportEncoder(codecName);
    const std::string name = MappedEncoderName(codecName);
    if (const AVCodec* encoder = avcodec_find_encoder_by_name(name.c_str()))
        return encoder;
    if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.c_str()))
        if (const AVCodec* encoder = avcodec_find_encoder(descriptor->id))
            return encoder;
    SystemBased::ReportMessage(("encoder fallback: this FFmpeg has no encoder " + name +
                                "; encoding with " + replacement->name + " instead")
                                   .c_str(),
                               "186");
    return replacement;
}

}  // namespace MediaBased
