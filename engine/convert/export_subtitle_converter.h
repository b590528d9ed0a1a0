// Text subtitles written in another text format: each source packet is decoded with the
// source's subtitle decoder and its cue encoded with the target's encoder.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "convert/export_copied_stream.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class SubtitleConverter {
public:
    // Opens a decoder for the source format the target stream's "codec_parameters" property
    // describes and encoder for the target, and adds the output stream. Pictures cannot become
    // text: logs and raises "subtitle error: ..." (596) for a bitmap source or target, a
    // format without a decoder, or a codec that refuses to open.
    SubtitleConverter(AVFormatContext& output, const AVCodec& encoder, IStreamInfo& info);
    SubtitleConverter(const SubtitleConverter&) = delete;
    SubtitleConverter& operator=(const SubtitleConverter&) = delete;

    AVStream& stream() { return *stream_; }

    enum class Result { Written, Skipped, Failed };

    // One source packet (times in its time_base), carried by a frame starting at frameStart
    // (engine time, 100 ns units). A packet that holds no cue or cannot be decoded or encoded
    // is skipped; Failed only when the muxer refuses the cue. scratch is scratch space.
    Result Write(const AVPacket& packet, int64_t frameStart, AVFormatContext& output, AVPacket& scratch);

private:
    SystemBased::CodecContextPtr decoder_;
    SystemBased::CodecContextPtr encoder_;
    AVStream* stream_ = nullptr;  // owned by the output context
    SourceTimeLine timeLine_;
    int64_t lastStart_ = AV_NOPTS_VALUE;
    std::vector<uint8_t> encoded_;
};

}  // namespace MediaBased
