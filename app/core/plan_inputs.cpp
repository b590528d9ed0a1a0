#include "plan_inputs.h"

#include <QSet>
#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

#include "codec_tables.h"
#include "container_support.h"
#include "output_setting.h"
#include "profile_catalogue.h"
#include "rate_control.h"
#include "source_file.h"
#include "track_labels.h"
#include "video_encoding.h"

using namespace MediaBased;

namespace {

PlanKind kindOf(const StreamRecord& record) {
    switch (record.kind) {
    case StreamKindVideo:
        return PlanKind::Video;
    case StreamKindAudio:
        return PlanKind::Audio;
    default:
        break;
    }
    // Fonts are what Matroska files attach for their subtitles; FFmpeg files them as data.
    if (record.codecName && (std::strcmp(record.codecName, "ttf") == 0 || std::strcmp(record.codecName, "otf") == 0))
        return PlanKind::Attachment;
    const AVCodecDescriptor* descriptor =
        record.codecName ? avcodec_descriptor_get_by_name(record.codecName) : nullptr;
    if (descriptor == nullptr)
        return PlanKind::Other;
    if (descriptor->type == AVMEDIA_TYPE_SUBTITLE)
        return PlanKind::Subtitle;
    if (descriptor->type == AVMEDIA_TYPE_ATTACHMENT)
        return PlanKind::Attachment;
    return PlanKind::Other;
}

bool flagProperty(IStreamInfo* info, const char* name) {
    const PropertyBlob* flag = info ? info->GetProperty(name) : nullptr;
    return flag != nullptr && flag->data != nullptr && flag->size >= 1 &&
           *static_cast<const uint8_t*>(flag->data) != 0;
}

int intProperty(IStreamInfo* info, const char* name) {
    const PropertyBlob* blob = info ? info->GetProperty(name) : nullptr;
    if (blob == nullptr || blob->data == nullptr || blob->size != sizeof(int32_t))
        return 0;
    int32_t value = 0;
    std::memcpy(&value, blob->data, sizeof value);
    return value;
}

QString textProperty(IStreamInfo* info, const char* name) {
    const PropertyBlob* blob = info ? info->GetProperty(name) : nullptr;
    if (blob == nullptr || blob->data == nullptr || blob->size == 0)
        return {};
    const char* text = static_cast<const char*>(blob->data);
    return QString::fromUtf8(text, static_cast<qsizetype>(qstrnlen(text, blob->size)));
}

// Bits per sample of a pixel format FFmpeg names; 0 for none it knows.
int bitDepthOf(const QString& pixelFormat) {
    if (pixelFormat.isEmpty())
        return 0;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(av_get_pix_fmt(pixelFormat.toLatin1().constData()));
    return descriptor != nullptr && descriptor->nb_components > 0 ? descriptor->comp[0].depth : 0;
}

// "1280*720" as a size; false for "Keep Original" and for texts that are no size.
bool sizeOf(const QString& text, int* width, int* height) {
    const QStringList parts = text.split('*');
    if (text == kKeepOriginal || parts.size() != 2)
        return false;
    *width = parts.at(0).toInt();
    *height = parts.at(1).toInt();
    return *width > 0 && *height > 0;
}

double rateOf(const QString& text) {
    return text == kKeepOriginal ? 0.0 : leadingNumber(text).toDouble();
}

void addCodecOf(const QString& code, QStringList& codecs) {
    const QString written = codecWrittenBy(codecInfo(code).encoder);
    if (!written.isEmpty() && !codecs.contains(written))
        codecs.append(written);
}

void setVideoLimits(const ProfileFormat& profile, PlanTarget& target) {
    bool anySize = false;
    bool anyRate = false;
    for (const VideoOption& option : profile.video) {
        addCodecOf(option.codec, target.videoCopyCodecs);
        int width = 0;
        int height = 0;
        if (sizeOf(option.resolution, &width, &height)) {
            target.maxWidth = std::max(target.maxWidth, width);
            target.maxHeight = std::max(target.maxHeight, height);
        } else {
            anySize = true;
        }
        QStringList rates = option.frameRates;
        rates.append(option.defaultFrameRate);
        for (const QString& rate : rates) {
            if (rate == kKeepOriginal)
                anyRate = true;
            target.maxFramesPerSecond = std::max(target.maxFramesPerSecond, rateOf(rate));
        }
    }
    if (anySize)
        target.maxWidth = target.maxHeight = 0;
    if (anyRate)
        target.maxFramesPerSecond = 0.0;
}

// What the device's maker publishes is firmer than what the profile's options suggest.
void setDeviceVideoLimits(const DeviceLimits& limits, PlanTarget& target) {
    if (limits.maxWidth > 0 && limits.maxHeight > 0) {
        target.maxWidth = limits.maxWidth;
        target.maxHeight = limits.maxHeight;
    }
    if (limits.maxFramesPerSecond > 0)
        target.maxFramesPerSecond = limits.maxFramesPerSecond;
    if (limits.h264Level > 0)
        target.maxLevel = limits.h264Level;
    if (limits.hevcLevel > 0)
        target.maxHevcLevel = limits.hevcLevel * 3;  // FFmpeg counts HEVC levels in thirtieths
    if (limits != DeviceLimits{}) {
        target.maxBitDepth = limits.maxBitDepth > 0 ? limits.maxBitDepth : 8;
        target.showsHdr = limits.hdr;
    }
}

void setAudioLimits(const ProfileFormat& profile, PlanTarget& target) {
    for (const AudioOption& option : profile.audio) {
        addCodecOf(option.codec, target.audioCopyCodecs);
        target.maxChannels = std::max(target.maxChannels, option.channels.toInt());
        QStringList rates = option.sampleRates;
        rates.append(option.defaultSampleRate);
        for (const QString& rate : rates)
            target.maxSampleRate = std::max(target.maxSampleRate, leadingNumber(rate).toInt());
    }
}

}  // namespace

QString codecWrittenBy(const QString& encoder) {
    const QByteArray name = encoder.toUtf8();
    if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.constData()))
        return QString::fromLatin1(descriptor->name);
    if (const AVCodec* codec = avcodec_find_encoder_by_name(name.constData()))
        return QString::fromLatin1(avcodec_get_name(codec->id));
    return {};
}

QList<SourceStream> sourceStreamsOf(const SourceFile& source) {
    QList<SourceStream> streams;
    IMediaInfo* info = source.mediaInfo();
    if (info == nullptr)
        return streams;
    for (int i = 0; i < info->GetStreamCount(); ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        if (record == nullptr)
            continue;
        IStreamInfo* properties = info->GetStreamInfo(static_cast<uint32_t>(i));
        SourceStream stream;
        stream.index = i;
        stream.kind = kindOf(*record);
        stream.codec = QString::fromLatin1(record->codecName ? record->codecName : "");
        stream.width = record->width;
        stream.height = record->height;
        if (record->frameTimeNum > 0 && record->frameTimeDen > 0)
            stream.framesPerSecond = double(record->frameTimeDen) / record->frameTimeNum;
        stream.sampleRate = record->sampleRate;
        stream.channels = record->channels;
        stream.level = intProperty(properties, "level");
        // What the importer tells of a picture's samples and colours, when it does.
        stream.bitDepth = bitDepthOf(textProperty(properties, "pixel_format"));
        stream.transfer = textProperty(properties, "color_transfer");
        const TrackTags tags = trackTags(source, i);
        stream.language = tags.language;
        stream.title = tags.title;
        stream.isDefault = tags.isDefault;
        stream.isForced = flagProperty(properties, "forced");
        streams.append(stream);
    }
    return streams;
}

TaskPlan planFor(const SourceFile& source, const OutputSetting& setting) {
    return planTask(sourceStreamsOf(source), source.videoStream(), planTargetFor(setting), source.planChoices());
}

PlanTarget planTargetFor(const OutputSetting& setting) {
    const ProfileFormat* profile = &setting.profile;
    PlanTarget target;
    target.muxer = muxerForExtension(setting.extension);
    target.containerName = containerDisplayName(target.muxer);
    target.copyWhenFits = setting.copyStreams;
    target.copyAnyCodec = profile->copyAnyCodec;
    target.burnForcedSubtitles = setting.burnForcedSubtitles;

    target.hasVideo = !setting.videoCodec.isEmpty();
    if (target.hasVideo) {
        const CodecInfo& codec = codecInfo(setting.videoCodec);
        // A hardware row plans as the encoder this machine opens (or its software stand-in).
        const QString encoder = videoEncoderFor(setting.videoCodec).encoder;
        target.videoEncoder = encoder;
        target.videoEncoderName = codec.display;
        addCodecOf(setting.videoCodec, target.videoCopyCodecs);
        sizeOf(setting.videoResolution, &target.width, &target.height);
        target.framesPerSecond = rateOf(setting.videoFrameRate);
        setVideoLimits(*profile, target);
        // Rows that promise a level promise players no more than it.
        if (codec.isH264())
            target.maxLevel = codec.level;
        target.exactPicture = keepsExactPicture(setting.extension, codec.encoder);
        setDeviceVideoLimits(profile->limits, target);
        if (setting.rateControl == kRateControlQuality && takesQuality(encoder))
            target.videoQuality = clampedQuality(encoder, setting.quality);
        target.keepsHdr = keepsHdr(setting.videoCodec, *profile);
        target.canToneMap = engineCanToneMap();
    }
    target.hasAudio = !setting.audioCodec.isEmpty();
    if (target.hasAudio) {
        const CodecInfo& codec = codecInfo(setting.audioCodec);
        target.audioEncoder = codec.encoder;
        target.audioEncoderName = setting.audioBitrate.isEmpty() ? codec.display
                                                                  : codec.display + ' ' + setting.audioBitrate + 'k';
        addCodecOf(setting.audioCodec, target.audioCopyCodecs);
        setAudioLimits(*profile, target);
        // Channels the user changed bound a copy. The profile's default count only says what its
        // encoder writes: a 5.1 track a surround device takes is copied, not downmixed.
        const int channels = setting.audioChannels.toInt();
        if (channels > 0 && setting.audioChannels != profile->defaultChannels)
            target.maxChannels = channels;
        // The setting's rate is what a copy may reach.
        if (const int rate = leadingNumber(setting.audioSampleRate).toInt(); rate > 0)
            target.maxSampleRate = rate;
        const DeviceLimits& limits = profile->limits;
        if (limits.maxChannels > 0)
            target.maxChannels = target.maxChannels > 0 ? std::min(target.maxChannels, limits.maxChannels)
                                                        : limits.maxChannels;
        if (limits.maxSampleRate > 0)
            target.maxSampleRate = target.maxSampleRate > 0 ? std::min(target.maxSampleRate, limits.maxSampleRate)
                                                            : limits.maxSampleRate;
    }
    target.maxAudioTracks = audioTracksFor(target.muxer);
    if (const int tracks = profile->limits.maxAudioTracks; tracks > 0)
        target.maxAudioTracks = target.maxAudioTracks > 0 ? std::min(target.maxAudioTracks, tracks) : tracks;
    // The engine draws text and picture subtitles alike into pictures.
    target.burnsPictureSubtitles = true;
    return target;
}
