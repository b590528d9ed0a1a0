#include "convert/export_container_traits.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace MediaBased {
namespace {

bool NamedAnyOf(const AVOutputFormat& format, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&format](const char* name) {
        return std::strcmp(format.name, name) == 0;
    });
}

}  // namespace

bool StoresStreamStart(const AVOutputFormat& format) {
    return !(format.flags & AVFMT_NOTIMESTAMPS) && !NamedAnyOf(format, {"avi"});
}

bool StoresSampleAspect(const AVOutputFormat& format, AVCodecID codec) {
    // Headers with a pixel or display aspect: the ISO family's pasp box, Matroska's display
    // size, AVI's vprp chunk, ASF's aspect metadata, NUT's and MXF's descriptors.
    if (NamedAnyOf(format, {"mp4", "mov", "ipod", "psp", "3gp", "3g2", "f4v", "ismv", "matroska",
                            "webm", "avi", "asf", "asf_stream", "nut", "mxf", "mxf_d10",
                            "mxf_opatom"}))
        return true;
    // Bitstreams with an aspect field of their own (H.263 and Sorenson's variant, VP8/VP9,
    // MS-MPEG4 and WMV have none).
    switch (codec) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_HEVC:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_VC1:
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_THEORA:
        return true;
    default:
        return false;
    }
}

uint32_t PreferredCodecTag(const AVOutputFormat& format, AVCodecID codec) {
    const uint32_t hvc1 = MKTAG('h', 'v', 'c', '1');
    if (codec == AV_CODEC_ID_HEVC && format.codec_tag != nullptr &&
        av_codec_get_id(format.codec_tag, hvc1) == AV_CODEC_ID_HEVC)
        return hvc1;
    return 0;
}

}  // namespace MediaBased
