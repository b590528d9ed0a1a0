// Output streams written from a source stream's packets, without decoding or encoding.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "vantrel/interfaces.h"

namespace MediaBased {

// Adds a stream to output described by the target stream's "codec_parameters" property (the
// source stream's parameters, as the importer describes them) or, without it, by its record
// and "extradata". The source's codec tag stays only where the container knows it for the
// codec; otherwise the muxer chooses. Logs and raises "copied stream codec error" (380) or
// "create copied stream error" (381).
AVStream* CreateCopiedStream(AVFormatContext& output, const StreamRecord& record, IStreamInfo& info);

// Where one source stream's packet times meet the engine's time line. The source makes each
// frame's start from its packet's time minus the container's start, the origin the encoded
// streams are written against too; the first packet with a time tells that origin.
class SourceTimeLine {
public:
    // The source time, in microseconds, that is engine time 0 for this stream. timestamp is
    // in timeBase; frameStart is the engine time (100 ns units) of the frame that carried it.
    int64_t OriginUs(int64_t timestamp, AVRational timeBase, int64_t frameStart);

private:
    bool knowsOrigin_ = false;
    int64_t originUs_ = 0;
};

// Writes one copied stream's packets with their times moved to the output stream, starting on
// the same time line as the encoded streams of the same task.
class CopiedPacketWriter {
public:
    // waitForKeyFrame: packets before the first key frame cannot be decoded and are dropped.
    CopiedPacketWriter(AVStream& stream, bool waitForKeyFrame)
        : stream_(stream), waitForKeyFrame_(waitForKeyFrame) {}

    enum class Result { Written, Dropped, Failed };

    // packet's times are in its time_base; frameStart is the engine time (100 ns units) of the
    // frame that carried it, which tells where the engine's time line starts. scratch is
    // scratch space.
    Result Write(const AVPacket& packet, int64_t frameStart, AVFormatContext& output, AVPacket& scratch);

private:
    AVStream& stream_;
    bool waitForKeyFrame_;
    SourceTimeLine timeLine_;
    int64_t lastDts_ = AV_NOPTS_VALUE;
};

}  // namespace MediaBased
