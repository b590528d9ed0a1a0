// The channel layouts the engine assumes when a frame or a target names none.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace MediaBased {

// FFmpeg channel mask for a channel count, or 0 when the count has no usual layout.
uint64_t DefaultChannelLayoutMask(int channels);

// The engine's layout value of an FFmpeg layout: its mask, or 0 when the channels have no
// native order.
int64_t NativeLayoutMask(const AVChannelLayout& layout);

// A mask as FFmpeg's layout parsers read it: "0x3f".
std::string ChannelMaskText(uint64_t mask);

}  // namespace MediaBased
