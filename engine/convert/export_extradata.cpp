#include "convert/export_extradata.h"

#include <climits>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}

namespace MediaBased {

void CopyExtradata(const PropertyBlob* blob, uint8_t** data, int* size) {
    if (blob == nullptr || blob->data == nullptr || blob->size == 0)
        return;
    if (blob->size > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
        throw std::bad_alloc();
    auto* copy = static_cast<uint8_t*>(av_mallocz(blob->size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (copy == nullptr)
        throw std::bad_alloc();
    std::memcpy(copy, blob->data, blob->size);
    av_freep(data);
    *data = copy;
    *size = static_cast<int>(blob->size);
}

}  // namespace MediaBased
