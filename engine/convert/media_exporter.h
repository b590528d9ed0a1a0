// Writes one output file: creates the container, its streams and their encoders from a target
// description, then encodes the frames it is given, interleaving the packets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "convert/media_exporter_stream.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CMediaExporter final : public IMediaExporter {
public:
    // manager makes the resamplers and image converters; it must outlive the exporter.
    explicit CMediaExporter(IMediaManager* manager);
    CMediaExporter(const CMediaExporter&) = delete;
    CMediaExporter& operator=(const CMediaExporter&) = delete;
    ~CMediaExporter();

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    // False without a target description, for a null path, or while a file is open. A failed
    // Open leaves nothing behind.
    bool Open(const char* pathUtf8) override;
    // Drains the encoders and finishes the file. False when the file could not be completed.
    bool Close() override;
    bool SetTargetInfo(IMediaInfo* info) override;
    IMediaInfo* GetTargetInfo() override { return targetInfo_.get(); }
    bool WriteFrame(IMediaFrame* frame, uint32_t streamIndex) override;

private:
    void OpenOutput(const char* pathUtf8);
    void SetUpStream(int32_t index);
    void OpenVideoEncoder(ExportOutputStream& entry, const StreamRecord& record);
    void OpenAudioEncoder(ExportOutputStream& entry);
    bool FinishFile();
    void FreeOutput();

    bool WriteVideo(ExportOutputStream& entry, IVideoFrame& frame);
    bool EncodePicture(ExportOutputStream& entry, IVideoFrame& picture);
    // At the end: what the image converter and the resampler still hold goes out too.
    bool DrainPictures(ExportOutputStream& entry);
    bool DrainSound(ExportOutputStream& entry);
    bool WriteAudio(ExportOutputStream& entry, IAudioFrame& frame);
    bool QueueSound(ExportOutputStream& entry, IAudioFrame& sound);
    bool EncodeQueuedAudio(ExportOutputStream& entry, bool flush);

    IMediaManager* manager_;
    Owned<IMediaInfo> targetInfo_;
    std::string outputPath_;
    SystemBased::OutputFormatContextPtr output_;
    bool headerWritten_ = false;
    std::vector<std::unique_ptr<ExportOutputStream>> streams_;
    SystemBased::PacketPtr packet_;
    SystemBased::FramePtr picture_;  // the reference a picture reaches the encoder through
};

}  // namespace MediaBased
