// The channel layouts the engine assumes when a frame or a target names none.
#pragma once

#include <cstdint>
#include <string>

namespace MediaBased {

// FFmpeg channel mask for a channel count, or 0 when the count has no usual layout.
uint64_t DefaultChannelLayoutMask(int channels);

// A mask as FFmpeg's layout parsers read it: "0x3f".
std::string ChannelMaskText(uint64_t mask);

}  // namespace MediaBased
