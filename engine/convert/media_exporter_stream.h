// What the exporter keeps for each output stream.
#pragma once

#include <cstdint>
#include <memory>

#include "convert/export_audio_framer.h"
#include "convert/export_frame_clock.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

struct EngineObjectReleaser {
    void operator()(IMediaUnknown* object) const {
        if (object)
            object->Release();
    }
};
template <class T>
using ReleasedPtr = std::unique_ptr<T, EngineObjectReleaser>;

struct ExportOutputStream {
    bool encode = false;
    int32_t kind = 0;                        // StreamKind of the record
    const AVCodec* encoder = nullptr;
    SystemBased::CodecContextPtr context;    // video and audio
    AVStream* stream = nullptr;              // owned by the output context; null for other kinds
    bool encoderOpen = false;
    ReleasedPtr<IImageConverter> imageConverter;  // encoded video
    ReleasedPtr<IAudioResampler> resampler;       // encoded audio
    ConstantRateClock clock;                      // video
    std::unique_ptr<ExportAudioFramer> framer;    // encoded audio
};

}  // namespace MediaBased
