// A stream's codec parameters as bytes a stream property can carry from the importer to the
// exporter of a copied stream. The layout is the engine's own, field by field in little-endian
// order behind a tag and a version, so it never depends on FFmpeg's structure layout; later
// versions only append fields, which older readers skip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavutil/rational.h>
}

namespace SystemBased {

constexpr char kCodecParametersProperty[] = "codec_parameters";

// What a copied stream needs beyond the codec parameters: the time base its packets' times are
// counted in and its average frame rate ({0, 1} when unknown).
struct StreamTiming {
    AVRational timeBase{0, 1};
    AVRational frameRate{0, 1};
};

// Throws bad_alloc.
std::vector<uint8_t> WriteCodecParameters(const AVCodecParameters& parameters,
                                          const StreamTiming& timing);

// Fills parameters (whose extradata and channel layout it replaces) and timing from bytes made
// by WriteCodecParameters. False, changing nothing, for bytes that are not such a record or
// are cut short. Throws bad_alloc.
bool ReadCodecParameters(const void* data, size_t size, AVCodecParameters& parameters,
                         StreamTiming& timing);

}  // namespace SystemBased
