#include "convert/export_encoder_options.h"

#include <cstring>

#include "system/module_logger.h"

namespace MediaBased {

std::optional<int32_t> IntProperty(IStreamInfo& info, const char* name) {
    const PropertyBlob* blob = info.GetProperty(name);
    if (blob == nullptr || blob->data == nullptr || blob->size < sizeof(int32_t))
        return std::nullopt;
    int32_t value = 0;
    std::memcpy(&value, blob->data, sizeof value);
    return value;
}

SystemBased::DictionaryPtr ParseEncoderOptions(const std::string& text, const char* encoderName) {
    AVDictionary* parsed = nullptr;
    const int result = av_dict_parse_string(&parsed, text.c_str(), "=", ":", 0);
    SystemBased::DictionaryPtr options(parsed);
    if (result < 0)
        SystemBased::ReportMessage(("encoder options warning: " + std::string(encoderName) +
                                    ": cannot read all of \"" + text + "\"")
                                       .c_str(),
                                   "371");
    return options;
}

int OpenEncoderWithOptions(AVCodecContext& context, const AVCodec& encoder, const std::string& text) {
    if (text.empty())
        return avcodec_open2(&context, &encoder, nullptr);
    SystemBased::DictionaryPtr options = ParseEncoderOptions(text, encoder.name);
    AVDictionary* left = options.release();
    const int opened = avcodec_open2(&context, &encoder, &left);
    options.reset(left);
    if (opened >= 0)
        ReportUnusedOptions(options.get(), encoder.name);
    return opened;
}

void ReportUnusedOptions(const AVDictionary* left, const char* encoderName) {
    for (const AVDictionaryEntry* entry = nullptr;
         (entry = av_dict_get(left, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr;)
        SystemBased::ReportMessage(("encoder options warning: " + std::string(encoderName) +
                                    " does not take " + entry->key + "=" + entry->value + "; ignored")
                                       .c_str(),
                                   "371");
}

}  // namespace MediaBased
