// What an encoder must know of the source's pictures before the first one arrives: their pixel
// format, colour description and HDR mastering metadata, read from the source file itself.
#pragma once

#include <optional>
#include <string>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixfmt.h>
}

namespace MediaBased {

struct SourcePicture {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
    std::optional<AVMasteringDisplayMetadata> mastering;  // with primaries or luminance
    std::optional<AVContentLightMetadata> light;

    // PQ or HLG pictures.
    bool HighDynamicRange() const;
    // Bits of the first component; 0 for an unknown format.
    int BitDepth() const;
};

// The container stream streamIndex of the file at path. The container's own description comes
// first; for HDR pictures whose container holds no mastering metadata the first picture is
// decoded, since many files carry it in the bitstream only. Nullopt when the file or the stream
// cannot be read.
std::optional<SourcePicture> ProbeSourcePicture(const std::string& path, int streamIndex);

}  // namespace MediaBased
