#include "filters/channel_layouts.h"

#include <boost/format.hpp>

namespace MediaBased {

int64_t NativeLayoutMask(const AVChannelLayout& layout) {
    return layout.order == AV_CHANNEL_ORDER_NATIVE ? static_cast<int64_t>(layout.u.mask) : 0;
}

uint64_t DefaultChannelLayoutMask(int channels) {
    switch (channels) {
        case 1: return 0x4;             // mono
        case 2: return 0x3;             // stereo
        case 3: return 0xB;             // 2.1
        case 4: return 0x107;           // 4.0
        case 5: return 0x37;            // 5.0 (back)
        case 6: return 0x3F;            // 5.1 (back)
        case 7: return 0x70F;           // 6.1
        case 8: return 0x63F;           // 7.1
        case 10: return 0x6000063FULL;  // 7.1 with the stereo downmix pair
        default: return 0;
    }
}

std::string ChannelMaskText(uint64_t mask) {
    return (boost::format("%#x") % mask).str();
}

}  // namespace MediaBased
