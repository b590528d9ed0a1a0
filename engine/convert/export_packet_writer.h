// Encoding one frame and writing what the encoder gives back.
#pragma once

#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace MediaBased {

// Sends frame (null drains the encoder) and writes every packet the encoder returns,
// interleaved, with its times moved from the encoder's time base to the stream's. packet is
// scratch space. outputLock, when given, is held while a packet is written, for encoders that
// share the file from threads of their own. False when encoding or writing fails.
bool EncodeAndWrite(AVCodecContext& encoder, const AVFrame* frame, AVFormatContext& output,
                    AVStream& stream, AVPacket& packet, std::mutex* outputLock = nullptr);

}  // namespace MediaBased
