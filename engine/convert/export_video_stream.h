// Setting up the encoder and the FFmpeg stream for one output video stream.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "vantrel/records.h"

namespace MediaBased {

// frameTimeDen / frameTimeNum, or 23.976 when the record leaves either out.
double RequestedFrameRate(const StreamRecord& record);

// Grows a picture size to one that encoders working in this pixel format accept.
void RoundVideoSize(AVPixelFormat format, int& width, int& height);

// Fills an encoder context, allocated for its encoder, from an output video record and the
// presets of the target container (formatName). The container presets may set the muxer's
// overall bit rate, hence output.
void ConfigureVideoEncoder(AVCodecContext& context, const StreamRecord& record,
                           const PropertyBlob* extradata, const char* formatName,
                           AVFormatContext& output);

// Adds the video stream to output and configures context for it. Logs and raises "video codec
// id error" (347) or "create video stream error" (352).
AVStream* CreateVideoStream(AVFormatContext& output, AVCodecContext& context,
                            const StreamRecord& record, const PropertyBlob* extradata,
                            const char* formatName);

}  // namespace MediaBased
