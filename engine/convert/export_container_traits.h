// What a target container and codec can record about a stream, which decides what the
// exporter has to do to the pictures and sound themselves instead.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace MediaBased {

// False for containers that play every stream from the start of the file (AVI, raw streams):
// a stream that starts late there has to be preceded by silence or a held picture.
bool StoresStreamStart(const AVOutputFormat& format);

// True when a player learns the pixel shape of this codec's pictures in this container, from
// the container's headers or from the codec's own bitstream.
bool StoresSampleAspect(const AVOutputFormat& format, AVCodecID codec);

// The tag players expect for this codec in this container when it is not the muxer's own
// default, else 0: HEVC in MP4 and QuickTime as "hvc1" (parameter sets in the header), which
// Apple's players require and every other player reads.
uint32_t PreferredCodecTag(const AVOutputFormat& format, AVCodecID codec);

}  // namespace MediaBased
