// What the exporter keeps for each output stream.
#pragma once

#include <cstdint>
#include <memory>

#include "convert/encode_stage.h"
#include "convert/export_audio_framer.h"
#include "convert/export_copied_stream.h"
#include "convert/export_frame_clock.h"
#include "convert/export_subtitle_converter.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

namespace MediaBased {

struct ExportOutputStream {
    bool encode = false;
    int32_t kind = 0;                        // StreamKind of the record
    const AVCodec* encoder = nullptr;
    SystemBased::CodecContextPtr context;    // video and audio
    AVStream* stream = nullptr;              // owned by the output context; null for other kinds
    bool encoderOpen = false;
    Owned<IImageConverter> imageConverter;  // encoded video
    Owned<IAudioResampler> resampler;       // encoded audio
    ConstantRateClock clock;                      // video
    std::unique_ptr<ExportAudioFramer> framer;    // encoded audio
    std::unique_ptr<CopiedPacketWriter> copied;   // streams written from the source's packets
    std::unique_ptr<SubtitleConverter> subtitles; // text subtitles from the source's packets
    bool encodingFailed = false;                  // the encoder refused a frame or its packets
    SystemBased::PacketPtr stagePacket;           // the encoding stage's scratch space
    // Encodes on a thread of its own; null where frames are encoded as they come. Last, so
    // that it stops before anything it uses goes.
    std::unique_ptr<EncodeStage> encoding;
};

}  // namespace MediaBased
