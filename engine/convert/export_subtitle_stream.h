// The FFmpeg stream for one output subtitle stream. Subtitles get no encoder.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "vantrel/records.h"

namespace MediaBased {

// Adds a subtitle stream of the encoder's codec to output. Logs and raises "subtitle codec id
// error" (594) or "create subtitle stream error" (599).
AVStream* CreateSubtitleStream(AVFormatContext& output, const AVCodec& encoder,
                               const PropertyBlob* extradata);

}  // namespace MediaBased
