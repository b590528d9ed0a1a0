// Codec extradata taken from a stream's "extradata" property.
#pragma once

#include <cstdint>

#include "vantrel/records.h"

namespace MediaBased {

// Gives *data a padded copy of the blob made with FFmpeg's allocator, because FFmpeg frees it
// with the context or parameters it belongs to. An empty or missing blob changes nothing.
// Throws bad_alloc.
void CopyExtradata(const PropertyBlob* blob, uint8_t** data, int* size);

}  // namespace MediaBased
