// Finding the FFmpeg encoder an output stream record names.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace MediaBased {

// Profiles name a few codecs by the encoder library they were written for. Those names are
// taken only where this FFmpeg has that encoder; otherwise the name stays and FFmpeg's own
// encoder for the codec is found through it.
std::string MappedEncoderName(const char* codecName);

// The encoder named by codecName (an encoder or a codec name). Logs and raises when there is
// none: "get codec by name error" (185) for an unknown name, "find encoder by id error" (189)
// for a known codec without an encoder.
const AVCodec* FindExportEncoder(const char* codecName);

// As above, except that a name this FFmpeg has no encoder for falls back, logged, to the
// encoder named fallback when there is one (an empty fallback falls back to nothing).
const AVCodec* FindExportEncoder(const char* codecName, const std::string& fallback);

}  // namespace MediaBased
