// Writes one output file: creates the container, its streams and their encoders from a target
// description, then encodes the frames it is given, interleaving the packets. Its caller's
// thread scales and resamples; each software encoder runs on an encoding stage of its own.
// WriteFrame and Close come from one thread at a time.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/export_source_picture.h"
#include "convert/export_video_stream.h"
#include "convert/media_exporter_stream.h"
#include "convert/output_file.h"
#include "object/container_tags.h"
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
    // "R_ExporterParamOutputFailed": 1 once the file could not be created or written, else 0.
    intptr_t NamedParameter(const char* name, const char* value) override;
    void Release() override;

    // False without a target description, for a null path, or while a file is open. A failed
    // Open leaves nothing behind. A file that cannot be created or written is logged once per
    // Open, in the words of DescribeOutputError, naming the final path when pathUtf8 is a
    // claimed temporary file; frames given after that are refused at once.
    bool Open(const char* pathUtf8) override;
    // Drains the encoders and finishes the file. False when the file could not be completed.
    bool Close() override;
    bool SetTargetInfo(IMediaInfo* info) override;
    IMediaInfo* GetTargetInfo() override { return targetInfo_.get(); }
    bool WriteFrame(IMediaFrame* frame, uint32_t streamIndex) override;

    // The title and chapters of the container the frames come from, for the next Open to
    // carry over; an exporter that is never given them writes neither.
    void SetSourceContainer(const ContainerTags& tags) { sourceTags_ = tags; }
    // The file the frames come from, which subtitles are burned in from; without it, a target
    // that asks for burning fails to open.
    void SetSourcePath(const std::string& path) { sourcePath_ = path; }
    // The source's container stream behind each target stream, in target order: encoded
    // pictures take their colour description and HDR metadata from it.
    void SetSourceStreams(const std::vector<int32_t>& streams) { sourceStreams_ = streams; }

private:
    void OpenOutput(const char* pathUtf8);
    void SetUpStream(int32_t index);
    std::optional<SourcePicture> SourcePictureOf(int32_t index) const;
    void OpenVideoEncoder(ExportOutputStream& entry, const StreamRecord& record,
                          const PropertyBlob* extradata, const VideoEncoding& encoding);
    void OpenAudioEncoder(ExportOutputStream& entry, IStreamInfo& info);
    // Has the image converter draw the source's subtitle track the target stream names.
    void BurnSubtitles(ExportOutputStream& entry, IStreamInfo& info);
    // Gives each software encoder a thread of its own once the header is out.
    void StartEncodingStages();
    bool FinishFile();
    void FreeOutput();
    // Logs, the first time only, that the file failed with the FFmpeg error code error.
    void ReportOutputError(int error, OutputStep step);
    // After a failed write: logs the file's error, if it was the file that failed.
    void CheckOutput();
    // After a failed write: logs why, the file's error or else the stream's encoder, and
    // refuses further frames.
    void CheckOutputAndEncoder(ExportOutputStream& entry);

    // A source packet for a stream that is copied; false when it is dropped or not written.
    bool WriteCopied(ExportOutputStream& entry, IMediaFrame& frame);
    // A source packet of text subtitles converted to the target's format; false when it held
    // no cue or was not written.
    bool WriteConvertedSubtitle(ExportOutputStream& entry, IMediaFrame& frame);
    bool WriteVideo(ExportOutputStream& entry, IVideoFrame& frame);
    bool EncodePicture(ExportOutputStream& entry, IVideoFrame& picture);
    // At the end: what the image converter and the resampler still hold goes out too.
    bool DrainPictures(ExportOutputStream& entry);
    bool DrainSound(ExportOutputStream& entry);
    bool WriteAudio(ExportOutputStream& entry, IAudioFrame& frame);
    bool QueueSound(ExportOutputStream& entry, IAudioFrame& sound);
    bool EncodeQueuedAudio(ExportOutputStream& entry, bool flush);
    // Hands an encoder-ready frame to the stream's encoder: to its encoding stage, or
    // encoded here when it has none.
    bool Encode(ExportOutputStream& entry, SystemBased::FramePtr frame);
    // Drains the stream's encoder; false when it, or any frame before, failed.
    bool DrainEncoder(ExportOutputStream& entry);

    IMediaManager* manager_;
    Owned<IMediaInfo> targetInfo_;
    ContainerTags sourceTags_;
    std::string sourcePath_;
    std::vector<int32_t> sourceStreams_;
    std::string outputPath_;
    std::string reportedPath_;  // the path messages name
    bool outputFailed_ = false;
    SystemBased::OutputFormatContextPtr output_;
    // Held while packets are written and the file's state is read: the encoding stages write
    // from threads of their own.
    std::mutex outputLock_;
    bool headerWritten_ = false;
    std::vector<std::unique_ptr<ExportOutputStream>> streams_;
    SystemBased::PacketPtr packet_;
};

}  // namespace MediaBased
