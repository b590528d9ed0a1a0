#include "convert/media_exporter.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "convert/export_attachment.h"
#include "convert/export_burned_subtitles.h"
#include "convert/export_audio_stream.h"
#include "convert/export_container_tags.h"
#include "convert/export_copied_stream.h"
#include "convert/export_container_traits.h"
#include "convert/export_encoder_lookup.h"
#include "convert/export_encoder_options.h"
#include "convert/export_hardware_encoder.h"
#include "convert/export_source_picture.h"
#include "convert/export_packet_writer.h"
#include "convert/export_subtitle_stream.h"
#include "convert/export_track_tags.h"
#include "convert/export_video_stream.h"
#include "filters/channel_layouts.h"
#include "filters/image_converter.h"
#include "object/media_formats.h"
#include "system/codec_parameters_blob.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

// What may wait for a stream's encoding stage: enough scaled pictures that decoding and scaling
// can run ahead while the encoder's threads wait on one another.
constexpr size_t kStagePictures = 8;
constexpr size_t kStageSounds = 16;
constexpr size_t kStageBytes = 64 * 1024 * 1024;

// Logs why the file cannot be written, in words the program can show, and ends Open.
[[noreturn]] void Fail(const std::string& message, const char* location) {
    SystemBased::ReportError(message.c_str(), location);
}

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

std::string Kilobits(int64_t bits) {
    return std::to_string((bits + 500) / 1000) + " kbit/s";
}

// Pictures and sound that are not encoded are copied; so are subtitles the importer described.
bool IsCopied(const ExportOutputStream& entry, IStreamInfo& info) {
    if (entry.encode)
        return false;
    return entry.kind == StreamKindVideo || entry.kind == StreamKindAudio ||
           (entry.kind == StreamKindSubtitle &&
            info.GetProperty(SystemBased::kCodecParametersProperty) != nullptr);
}

// Subtitles the importer described and the target encodes are converted from the source's
// packets; without the description there is nothing to decode them with.
bool IsConvertedSubtitle(const ExportOutputStream& entry, IStreamInfo& info) {
    return entry.encode && entry.kind == StreamKindSubtitle &&
           info.GetProperty(SystemBased::kCodecParametersProperty) != nullptr;
}

bool IsMatroska(const AVOutputFormat& format) {
    return std::strcmp(format.name, "matroska") == 0 || std::strcmp(format.name, "webm") == 0;
}

}  // namespace

CMediaExporter::CMediaExporter(IMediaManager* manager) : manager_(manager) {}

CMediaExporter::~CMediaExporter() {
    FreeOutput();
}

void CMediaExporter::Release() {
    Close();
    delete this;
}

intptr_t CMediaExporter::NamedParameter(const char* name, const char*) {
    if (name != nullptr && std::strcmp(name, "R_ExporterParamOutputFailed") == 0)
        return outputFailed_ ? 1 : 0;
    return 0;
}

void CMediaExporter::ReportOutputError(int error, OutputStep step) {
    if (outputFailed_)
        return;
    outputFailed_ = true;
    const std::string message =
        DescribeOutputError(AVUNERROR(error), reportedPath_, step, ErrorText(error));
    SystemBased::ReportMessage(message.c_str(), "63");
}

void CMediaExporter::CheckOutput() {
    int error = 0;
    {
        const std::lock_guard<std::mutex> reading(outputLock_);
        if (output_ != nullptr && output_->pb != nullptr)
            error = output_->pb->error;
    }
    if (error < 0)
        ReportOutputError(error, OutputStep::Writing);
}

void CMediaExporter::CheckOutputAndEncoder(ExportOutputStream& entry) {
    CheckOutput();
    const bool encoderFailed =
        entry.encodingFailed || (entry.encoding != nullptr && entry.encoding->failed());
    if (outputFailed_ || !encoderFailed)
        return;
    // The rest of the stream could not be encoded: the file would miss it, so it is not
    // worth finishing.
    outputFailed_ = true;
    const char* kind = entry.kind == StreamKindVideo ? "video" : "audio";
    const std::string message = std::string(kind) + " encoding error: the " +
                                entry.context->codec->name + " encoder failed: " + reportedPath_;
    SystemBased::ReportMessage(message.c_str(), "63");
}

bool CMediaExporter::SetTargetInfo(IMediaInfo* info) {
    if (info == nullptr)
        return false;
    IMediaInfo* copy = info->Clone();
    if (copy == nullptr)
        return false;
    targetInfo_.reset(copy);
    return true;
}

bool CMediaExporter::Open(const char* pathUtf8) {
    if (pathUtf8 == nullptr || targetInfo_ == nullptr || output_ != nullptr)
        return false;
    outputFailed_ = false;
    try {
        reportedPath_ = FinalPathOf(pathUtf8);
        OpenOutput(pathUtf8);
        return true;
    } catch (...) {
        FreeOutput();
        return false;
    }
}

void CMediaExporter::OpenOutput(const char* pathUtf8) {
    // FFmpeg's file layer takes UTF-8 paths as they are.
    outputPath_ = pathUtf8;
    const char* formatName = targetInfo_->GetFormatName();
    AVFormatContext* created = nullptr;
    if (avformat_alloc_output_context2(&created, nullptr, *formatName ? formatName : nullptr,
                                       outputPath_.c_str()) < 0 ||
        created == nullptr)
        Fail(std::string("output format error: no muxer named ") + formatName, "60");
    output_.reset(created);
    packet_.reset(av_packet_alloc());
    if (packet_ == nullptr)
        throw std::bad_alloc();

    const int32_t count = targetInfo_->GetStreamCount();
    for (int32_t i = 0; i < count; ++i) {
        const StreamRecord* record = targetInfo_->GetStreamRecord(i);
        auto entry = std::make_unique<ExportOutputStream>();
        entry->encode = record->encode != 0;
        entry->kind = record->kind;
        streams_.push_back(std::move(entry));
    }
    for (int32_t i = 0; i < count; ++i) {
        SetUpStream(i);
        if (streams_[i]->stream != nullptr)
            ApplyTrackTags(*targetInfo_->GetStreamInfo(static_cast<uint32_t>(i)), *streams_[i]->stream);
    }
    ApplyContainerTags(sourceTags_, *output_);

    if (!(output_->oformat->flags & AVFMT_NOFILE)) {
        if (const int opened = avio_open(&output_->pb, outputPath_.c_str(), AVIO_FLAG_WRITE);
            opened < 0) {
            ReportOutputError(opened, OutputStep::Creating);
            throw SystemBased::EngineError("output error", "63");
        }
    }
    // Matroska stores presentation times only: shifting every stream to keep B-frame decode
    // times non-negative would start the output later than its source.
    if (IsMatroska(*output_->oformat))
        output_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    if (const int written = avformat_write_header(output_.get(), nullptr); written < 0) {
        // The file refusing the bytes is not the muxer refusing the streams.
        CheckOutput();
        if (outputFailed_)
            throw SystemBased::EngineError("output error", "63");
        Fail("output header error: " + ErrorText(written), "62");
    }
    headerWritten_ = true;
    StartEncodingStages();
}

void CMediaExporter::StartEncodingStages() {
    for (auto& owned : streams_) {
        ExportOutputStream& entry = *owned;
        // A device encoder takes its pictures from a pool of a fixed size, which frames waiting
        // in a queue could empty: it encodes each picture as it comes.
        if (!entry.encoderOpen || entry.stream == nullptr || entry.context == nullptr ||
            entry.context->codec == nullptr || IsHardwareEncoder(*entry.context->codec))
            continue;
        entry.stagePacket.reset(av_packet_alloc());
        if (entry.stagePacket == nullptr)
            throw std::bad_alloc();
        // A few frames keep the encoder busy while the next ones are scaled; sound frames are
        // small and many.
        const bool video = entry.kind == StreamKindVideo;
        const size_t maxFrames = video ? kStagePictures : kStageSounds;
        auto stage = std::make_unique<EncodeStage>(
            [this, &entry](const AVFrame* frame) {
                return EncodeAndWrite(*entry.context, frame, *output_, *entry.stream,
                                      *entry.stagePacket, &outputLock_);
            },
            maxFrames, kStageBytes);
        // Without a thread to spare the stream is encoded on the caller's, as it comes.
        if (stage->Start())
            entry.encoding = std::move(stage);
    }
}

void CMediaExporter::SetUpStream(int32_t index) {
    const StreamRecord& record = *targetInfo_->GetStreamRecord(index);
    IStreamInfo& info = *targetInfo_->GetStreamInfo(static_cast<uint32_t>(index));
    const PropertyBlob* extradata = info.GetProperty("extradata");
    ExportOutputStream& entry = *streams_[index];
    // An attached file takes no packets: the header carries all of it.
    if (IsAttachedFile(record, info)) {
        entry.stream = CreateAttachmentStream(*output_, info);
        return;
    }
    if (IsCopied(entry, info)) {
        // No encoder: the source's packets go out as they are, so there is nothing to drain.
        entry.stream = CreateCopiedStream(*output_, record, info);
        entry.copied = std::make_unique<CopiedPacketWriter>(
            *entry.stream, entry.stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO);
        return;
    }
    // The source's pictures are looked at only for a picture stream that is encoded.
    const bool encodedVideo = entry.kind == StreamKindVideo && entry.encode;
    const VideoEncoding encoding =
        encodedVideo ? ReadVideoEncoding(info, SourcePictureOf(index)) : VideoEncoding();
    entry.encoder = FindExportEncoder(record.codecName, encoding.fallback);
    if (IsConvertedSubtitle(entry, info)) {
        entry.subtitles = std::make_unique<SubtitleConverter>(*output_, *entry.encoder, info);
        entry.stream = &entry.subtitles->stream();
        return;
    }
    const char* formatName = targetInfo_->GetFormatName();

    if (entry.kind == StreamKindVideo || entry.kind == StreamKindAudio) {
        entry.context.reset(avcodec_alloc_context3(entry.encoder));
        if (entry.context == nullptr)
            throw std::bad_alloc();
    }
    switch (entry.kind) {
    case StreamKindVideo:
        entry.stream =
            CreateVideoStream(*output_, *entry.context, record, extradata, formatName, encoding);
        if (entry.encode) {
            OpenVideoEncoder(entry, record, extradata, encoding);
            BurnSubtitles(entry, info);
        }
        break;
    case StreamKindAudio:
        entry.stream = CreateAudioStream(*output_, *entry.context, record, extradata);
        if (entry.encode)
            OpenAudioEncoder(entry, info);
        break;
    case StreamKindSubtitle:
        entry.stream = CreateSubtitleStream(*output_, *entry.encoder, extradata);
        return;
    default:
        return;
    }
    // The muxer learns the stream from the encoder's settings, opened or not.
    if (avcodec_parameters_from_context(entry.stream->codecpar, entry.context.get()) < 0)
        throw std::bad_alloc();
    // Only a preferred tag replaces the encoder's own: ProRes names its profile by its tag.
    if (const uint32_t tag = PreferredCodecTag(*output_->oformat, entry.stream->codecpar->codec_id))
        entry.stream->codecpar->codec_tag = tag;
}

std::optional<SourcePicture> CMediaExporter::SourcePictureOf(int32_t index) const {
    if (sourcePath_.empty() || index < 0 || static_cast<size_t>(index) >= sourceStreams_.size())
        return std::nullopt;
    return ProbeSourcePicture(sourcePath_, sourceStreams_[index]);
}

void CMediaExporter::OpenVideoEncoder(ExportOutputStream& entry, const StreamRecord& record,
                                      const PropertyBlob* extradata, const VideoEncoding& encoding) {
    uint32_t flags = 0;
    // A progressive target shows a combed picture unless interlaced sources are deinterlaced.
    if (!record.interlaced)
        flags |= ImageDeinterlace;
    // Where nothing records the pixel shape, players assume square pixels: the picture keeps
    // its shape inside the target size instead, between black bars.
    const AVRational aspect = entry.context->sample_aspect_ratio;
    double displayAspect = 0.0;
    if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den &&
        !StoresSampleAspect(*output_->oformat, entry.context->codec_id)) {
        displayAspect = record.displayAspect > 0
                            ? record.displayAspect
                            : av_q2d(aspect) * entry.context->width / entry.context->height;
        flags |= ImageFitAndPad;
        entry.context->sample_aspect_ratio = entry.stream->sample_aspect_ratio = AVRational{1, 1};
    }
    // May put the fallback encoder's context in the named one's place.
    OpenVideoStreamEncoder(entry.context, entry.encoder, record, extradata,
                           targetInfo_->GetFormatName(), *output_, encoding);
    AVCodecContext& context = *entry.context;
    entry.encoderOpen = true;
    entry.clock.Configure(av_q2d(av_inv_q(context.time_base)), !StoresStreamStart(*output_->oformat));
    const int32_t pixelFormat = FindPixelFormatByFfmpeg(EncoderPictureFormat(context)).id;
    if (pixelFormat == PixelFormatUnknown || manager_ == nullptr)
        Fail("video conversion error: no way to the encoder's pictures", "375");
    entry.imageConverter.reset(
        manager_->CreateImageConverter(pixelFormat, context.width, context.height, flags));
    if (entry.imageConverter == nullptr)
        Fail("video conversion error: no way to the encoder's pictures", "375");
    if (flags & ImageFitAndPad) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", displayAspect);
        entry.imageConverter->NamedParameter("W_ImageConverterParamDisplayAspect", text);
    }
    if (const std::string toneMap = ToneMapFilter(encoding, context); !toneMap.empty()) {
        auto* converter = dynamic_cast<CImageConverter*>(entry.imageConverter.get());
        std::string error = "the image converter cannot tone-map";
        if (converter == nullptr || !converter->SetToneMapping(toneMap, &error))
            Fail("video conversion error: cannot tone-map the HDR pictures: " + error, "375");
    }
    AddHdrSideData(*entry.stream, encoding);
}

void CMediaExporter::BurnSubtitles(ExportOutputStream& entry, IStreamInfo& info) {
    const PropertyBlob* chosen = info.GetProperty(kBurnSubtitlesProperty);
    if (chosen == nullptr)
        return;
    if (chosen->data == nullptr || chosen->size < sizeof(int32_t))
        Fail("subtitle error: cannot burn subtitles: the stream to burn is not a number", "380");
    int32_t containerIndex = 0;
    std::memcpy(&containerIndex, chosen->data, sizeof containerIndex);
    // Cue times are on the source's own time line; frames start at 0 there.
    BurnSubtitlesInto(entry.imageConverter, sourcePath_, containerIndex, sourceTags_.startTimeUs * 10);
}

void CMediaExporter::OpenAudioEncoder(ExportOutputStream& entry, IStreamInfo& info) {
    AVCodecContext& context = *entry.context;
    if (const int opened =
            OpenEncoderWithOptions(context, *entry.encoder, TextProperty(info, kEncoderOptionsProperty));
        opened < 0)
        Fail(std::string("audio encoder error: ") + entry.encoder->name + " refused " +
                 Kilobits(context.bit_rate) + ", " + std::to_string(context.sample_rate) +
                 " Hz, " + std::to_string(context.ch_layout.nb_channels) + " channels (" +
                 ErrorText(opened) + ")",
             "290");
    entry.encoderOpen = true;
    const int32_t sampleFormat = SampleFormatFromFfmpeg(context.sample_fmt);
    if (sampleFormat == SampleFormatUnknown || manager_ == nullptr)
        Fail("audio conversion error: no way to the encoder's sound", "295");
    entry.resampler.reset(manager_->CreateAudioResampler(
        sampleFormat, context.ch_layout.nb_channels, context.sample_rate,
        NativeLayoutMask(context.ch_layout), 0));
    if (entry.resampler == nullptr)
        Fail("audio conversion error: no way to the encoder's sound", "295");
    const bool fixedFrames =
        !(entry.encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && context.frame_size > 0;
    if (fixedFrames)
        entry.resampler->NamedParameter("W_AudioResamplerParamFrameSize",
                                        std::to_string(context.frame_size).c_str());
    entry.framer = std::make_unique<ExportAudioFramer>(fixedFrames ? context.frame_size : 0,
                                                       context.sample_rate,
                                                       !StoresStreamStart(*output_->oformat));
}

bool CMediaExporter::Close() {
    if (output_ == nullptr)
        return true;
    bool finished = true;
    try {
        finished = headerWritten_ && FinishFile();
    } catch (...) {
        finished = false;
    }
    FreeOutput();
    return finished;
}

bool CMediaExporter::FinishFile() {
    // First what the filters still hold goes to every encoder, so that the encoding stages
    // drain side by side; a failing stream must not keep the others from being completed.
    for (auto& entry : streams_) {
        if (!entry->encoderOpen || entry->stream == nullptr)
            continue;
        if (entry->kind == StreamKindVideo)
            DrainPictures(*entry);
        if (entry->framer) {
            DrainSound(*entry);
            EncodeQueuedAudio(*entry, true);
        }
        if (entry->encoding)
            entry->encoding->EndOfInput();
    }
    for (auto& entry : streams_) {
        if (entry->encoderOpen && entry->stream != nullptr && !DrainEncoder(*entry))
            CheckOutputAndEncoder(*entry);
    }
    // Every stage has ended: the file is this thread's alone again.
    if (const int written = av_write_trailer(output_.get()); written < 0) {
        // Whatever keeps the trailer out leaves a file no player can use.
        CheckOutput();
        ReportOutputError(written, OutputStep::Writing);
    }
    if (!(output_->oformat->flags & AVFMT_NOFILE)) {
        if (const int closed = avio_closep(&output_->pb); closed < 0)
            ReportOutputError(closed, OutputStep::Writing);
    }
    return !outputFailed_;
}

void CMediaExporter::FreeOutput() {
    // The stages use the encoders and the file: they stop first.
    for (auto& entry : streams_)
        entry->encoding.reset();
    for (auto& entry : streams_) {
        entry->imageConverter.reset();
        entry->resampler.reset();
        entry->framer.reset();
        entry->copied.reset();
        entry->subtitles.reset();
        entry->context.reset();
    }
    streams_.clear();
    output_.reset();
    headerWritten_ = false;
    packet_.reset();
}

}  // namespace MediaBased
