#include "convert/export_track_tags.h"

#include <cstring>
#include <new>
#include <string>

namespace MediaBased {
namespace {

void ApplyText(IStreamInfo& info, const char* name, AVStream& stream) {
    if (info.GetProperty(name) == nullptr)
        return;
    const std::string text = TextProperty(info, name);
    if (text.empty())
        return;
    if (av_dict_set(&stream.metadata, name, text.c_str(), 0) < 0)
        throw std::bad_alloc();
}

void ApplyFlag(IStreamInfo& info, const char* name, int disposition, AVStream& stream) {
    const PropertyBlob* blob = info.GetProperty(name);
    if (blob == nullptr || blob->data == nullptr || blob->size < 1)
        return;
    if (*static_cast<const uint8_t*>(blob->data) != 0)
        stream.disposition |= disposition;
    else
        stream.disposition &= ~disposition;
}

}  // namespace

std::string TextProperty(IStreamInfo& info, const char* name) {
    const PropertyBlob* blob = info.GetProperty(name);
    if (blob == nullptr || blob->data == nullptr)
        return std::string();
    const char* text = static_cast<const char*>(blob->data);
    return std::string(text, strnlen(text, blob->size));
}

void ApplyTrackTags(IStreamInfo& info, AVStream& stream) {
    ApplyText(info, "language", stream);
    ApplyText(info, "title", stream);
    ApplyFlag(info, "default", AV_DISPOSITION_DEFAULT, stream);
    ApplyFlag(info, "forced", AV_DISPOSITION_FORCED, stream);
}

}  // namespace MediaBased
