// The named properties of a target stream that steer its encoder beyond the record, and the
// encoder options text they carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "convert/export_track_tags.h"  // TextProperty
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

// Text "key=value:key=value": encoder options for avcodec_open2, codec-private or not.
constexpr const char* kEncoderOptionsProperty = "encoder_options";
// int32 10: keep 10 bits from a deeper source where the encoder can.
constexpr const char* kBitDepthProperty = "bit_depth";
// int32 1: PQ and HLG pictures become BT.709 SDR before they are scaled.
constexpr const char* kToneMapProperty = "tone_map";
// Text: the software encoder used when the named one cannot be opened.
constexpr const char* kFallbackEncoderProperty = "fallback_encoder";

// An int32 property; nullopt when absent or too short.
std::optional<int32_t> IntProperty(IStreamInfo& info, const char* name);

// The options of text as a dictionary. A text that does not parse keeps what parsed before the
// fault, and the fault is logged: options are never a reason to fail.
SystemBased::DictionaryPtr ParseEncoderOptions(const std::string& text, const char* encoderName);

// Opens context's encoder with the options of text; each option the encoder did not take is
// logged as a warning. Returns avcodec_open2's result.
int OpenEncoderWithOptions(AVCodecContext& context, const AVCodec& encoder, const std::string& text);

// Logs a warning for each option avcodec_open2 left over: what neither the context nor the
// encoder knew.
void ReportUnusedOptions(const AVDictionary* left, const char* encoderName);

}  // namespace MediaBased
