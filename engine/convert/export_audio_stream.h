// Setting up the encoder and the FFmpeg stream for one output audio stream.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "vantrel/records.h"

namespace MediaBased {

// Fills an encoder context, allocated for its encoder, from an output audio record.
void ConfigureAudioEncoder(AVCodecContext& context, const StreamRecord& record,
                           const PropertyBlob* extradata, const AVFormatContext& output);

// Adds the audio stream to output and configures context for it. Logs and raises "audio codec
// id error" (272) or "create audio stream error" (277).
AVStream* CreateAudioStream(AVFormatContext& output, AVCodecContext& context,
                            const StreamRecord& record, const PropertyBlob* extradata);

}  // namespace MediaBased
