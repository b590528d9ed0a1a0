// Attached files (fonts, covers) copied into an output: streams without packets whose bytes
// travel in the codec parameters' extradata.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include "vantrel/interfaces.h"

namespace MediaBased {

// True for a target stream that copies an attached file: not encoded, and either its
// "attachment" property is 1 or its "codec_parameters" describe an attachment.
bool IsAttachedFile(const StreamRecord& record, IStreamInfo& info);

// Adds the attached file to output, with its bytes from "codec_parameters" and its
// "filename", "mimetype" and "title" properties as the stream's tags. Only Matroska stores
// attached files: for any other muxer, and for a file without a name or without its bytes,
// logs why and raises "attachment error" (382).
AVStream* CreateAttachmentStream(AVFormatContext& output, IStreamInfo& info);

}  // namespace MediaBased
