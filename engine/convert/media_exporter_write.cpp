// The exporter's frame path: pictures through the image converter and the constant-rate clock,
// sound through the resampler and the framer, both into their encoders.
#include "convert/export_hardware_encoder.h"
#include "convert/export_packet_writer.h"
#include "convert/media_exporter.h"
#include "object/media_frame.h"

namespace MediaBased {
namespace {

constexpr AVRational kMicroseconds{1, 1000000};

// Frame times are in 100 ns units.
int64_t ToEncoderTicks(int64_t start, AVRational timeBase) {
    return av_rescale_q(start / 10, kMicroseconds, timeBase);
}

// What an encoder would read past the end of, or misread, must never reach it.
bool FitsVideoEncoder(const AVFrame& picture, const AVCodecContext& encoder) {
    return picture.format == EncoderPictureFormat(encoder) && picture.width == encoder.width &&
           picture.height == encoder.height;
}

bool FitsAudioEncoder(const AVFrame& sound, const AVCodecContext& encoder) {
    return sound.format == encoder.sample_fmt &&
           sound.ch_layout.nb_channels == encoder.ch_layout.nb_channels &&
           (sound.sample_rate == 0 || sound.sample_rate == encoder.sample_rate);
}

}  // namespace

bool CMediaExporter::WriteFrame(IMediaFrame* frame, uint32_t streamIndex) {
    try {
        // Encoding for a file that can no longer be written would only waste the time.
        if (frame == nullptr || streamIndex >= streams_.size() || outputFailed_)
            return false;
        ExportOutputStream& entry = *streams_[streamIndex];
        if (entry.copied)
            return WriteCopied(entry, *frame);
        if (entry.subtitles)
            return WriteConvertedSubtitle(entry, *frame);
        const int32_t kind = frame->GetKind();
        if (kind == FrameKindVideo && entry.kind == StreamKindVideo) {
            auto* picture = dynamic_cast<IVideoFrame*>(frame);
            const bool written = picture != nullptr && WriteVideo(entry, *picture);
            if (!written)
                CheckOutputAndEncoder(entry);
            return written;
        }
        if (kind == FrameKindAudio && entry.kind == StreamKindAudio) {
            auto* sound = dynamic_cast<IAudioFrame*>(frame);
            const bool written = sound != nullptr && WriteAudio(entry, *sound);
            if (!written)
                CheckOutputAndEncoder(entry);
            return written;
        }
        // Nothing is written for subtitle and data frames.
        if (kind == FrameKindSubtitle && entry.kind == StreamKindSubtitle)
            return false;
        if (kind == FrameKindData)
            return entry.encode;
        return true;
    } catch (...) {
        return false;
    }
}

bool CMediaExporter::WriteCopied(ExportOutputStream& entry, IMediaFrame& frame) {
    // Only a source's packets can be copied; decoded frames have nothing to give.
    const AVPacket* packet = HeldPacketOf(&frame);
    if (packet == nullptr)
        return false;
    int64_t start = 0;
    frame.GetTimes(&start, nullptr);
    CopiedPacketWriter::Result result;
    {
        const std::lock_guard<std::mutex> writing(outputLock_);
        result = entry.copied->Write(*packet, start, *output_, *packet_);
    }
    switch (result) {
    case CopiedPacketWriter::Result::Written:
        return true;
    case CopiedPacketWriter::Result::Dropped:
        return false;
    case CopiedPacketWriter::Result::Failed:
        break;
    }
    CheckOutput();
    return false;
}

bool CMediaExporter::WriteConvertedSubtitle(ExportOutputStream& entry, IMediaFrame& frame) {
    const AVPacket* packet = HeldPacketOf(&frame);
    if (packet == nullptr)
        return false;
    int64_t start = 0;
    frame.GetTimes(&start, nullptr);
    SubtitleConverter::Result result;
    {
        const std::lock_guard<std::mutex> writing(outputLock_);
        result = entry.subtitles->Write(*packet, start, *output_, *packet_);
    }
    switch (result) {
    case SubtitleConverter::Result::Written:
        return true;
    case SubtitleConverter::Result::Skipped:
        return false;
    case SubtitleConverter::Result::Failed:
        break;
    }
    CheckOutput();
    return false;
}

bool CMediaExporter::WriteVideo(ExportOutputStream& entry, IVideoFrame& frame) {
    if (!entry.encoderOpen || entry.imageConverter == nullptr || HeldFrameOf(&frame) == nullptr)
        return false;
    bool produced = false;
    for (IVideoFrame* picture = entry.imageConverter->Convert(&frame); picture != nullptr;
         picture = entry.imageConverter->Convert(nullptr)) {
        produced = true;
        if (!EncodePicture(entry, *picture))
            return false;
        if (picture == &frame)
            break;  // handed back as it was: the converter holds nothing
    }
    // A deinterlacer answers a picture only when the next one arrives.
    return produced ||
           entry.imageConverter->NamedParameter("R_ImageConverterParamHeldPictures", nullptr) > 0;
}

bool CMediaExporter::EncodePicture(ExportOutputStream& entry, IVideoFrame& picture) {
    AVCodecContext& encoder = *entry.context;
    int64_t start = 0;
    picture.GetTimes(&start, nullptr);
    const int64_t count = entry.clock.FramesFor(ToEncoderTicks(start, encoder.time_base));
    if (count == 0)
        return true;

    // A device encoder takes the picture from its own pool, copied there once for all repeats.
    const AVFrame* native = HeldFrameOf(&picture);
    SystemBased::FramePtr ready;
    if (native != nullptr && FitsVideoEncoder(*native, encoder))
        ready.reset(av_frame_alloc());
    bool result = ready != nullptr && av_frame_ref(ready.get(), native) >= 0 &&
                  MoveToEncoderDevice(encoder, *ready);
    // A repeated picture is another reference to the same buffers, under the next time.
    for (int64_t i = 0; i < count; ++i) {
        if (result) {
            SystemBased::FramePtr repeat(i + 1 < count ? av_frame_clone(ready.get()) : ready.release());
            result = repeat != nullptr;
            if (result) {
                repeat->pts = entry.clock.nextPts();
                repeat->pict_type = AV_PICTURE_TYPE_NONE;
                result = Encode(entry, std::move(repeat));
            }
        }
        entry.clock.Advance();
    }
    return result;
}

bool CMediaExporter::DrainPictures(ExportOutputStream& entry) {
    if (entry.imageConverter == nullptr)
        return true;
    entry.imageConverter->EndOfStream();
    bool result = true;
    for (IVideoFrame* picture = entry.imageConverter->Convert(nullptr); picture != nullptr;
         picture = entry.imageConverter->Convert(nullptr))
        result = EncodePicture(entry, *picture) && result;
    return result;
}

bool CMediaExporter::WriteAudio(ExportOutputStream& entry, IAudioFrame& frame) {
    if (!entry.encoderOpen || entry.resampler == nullptr)
        return false;
    for (IAudioFrame* sound = entry.resampler->Convert(&frame); sound != nullptr;
         sound = entry.resampler->Convert(nullptr))
        if (!QueueSound(entry, *sound) || !EncodeQueuedAudio(entry, false))
            return false;
    return true;
}

bool CMediaExporter::DrainSound(ExportOutputStream& entry) {
    if (entry.resampler == nullptr)
        return true;
    // The resampler keeps the samples short of a whole encoder frame, and its own delay.
    entry.resampler->EndOfStream();
    for (IAudioFrame* sound = entry.resampler->Convert(nullptr); sound != nullptr;
         sound = entry.resampler->Convert(nullptr))
        if (!QueueSound(entry, *sound))
            return false;
    return true;
}

bool CMediaExporter::QueueSound(ExportOutputStream& entry, IAudioFrame& sound) {
    const AVFrame* native = HeldFrameOf(&sound);
    if (native == nullptr || !FitsAudioEncoder(*native, *entry.context))
        return false;
    int64_t start = 0;
    sound.GetTimes(&start, nullptr);
    entry.framer->Push(*native, ToEncoderTicks(start, entry.context->time_base));
    return true;
}

bool CMediaExporter::EncodeQueuedAudio(ExportOutputStream& entry, bool flush) {
    while (SystemBased::FramePtr next = entry.framer->Pull(flush))
        if (!Encode(entry, std::move(next)))
            return false;
    return true;
}

bool CMediaExporter::Encode(ExportOutputStream& entry, SystemBased::FramePtr frame) {
    if (entry.encoding)
        return entry.encoding->Push(std::move(frame));
    if (entry.encodingFailed)
        return false;
    if (!EncodeAndWrite(*entry.context, frame.get(), *output_, *entry.stream, *packet_))
        entry.encodingFailed = true;
    return !entry.encodingFailed;
}

bool CMediaExporter::DrainEncoder(ExportOutputStream& entry) {
    if (entry.encoding)
        return entry.encoding->Finish();
    if (!entry.encodingFailed &&
        !EncodeAndWrite(*entry.context, nullptr, *output_, *entry.stream, *packet_))
        entry.encodingFailed = true;
    return !entry.encodingFailed;
}

}  // namespace MediaBased
