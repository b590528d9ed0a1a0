#include "output_setting.h"

#include <QRegularExpression>
#include <QtGlobal>
#include <algorithm>

#include "codec_tables.h"
#include "h264_level.h"
#include "picture_rules.h"
#include "plan_inputs.h"
#include "profile_catalogue.h"
#include "rate_control.h"
#include "source_file.h"
#include "video_encoding.h"

using namespace MediaBased;

QString leadingNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("[\\d|\\.]+"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(0) : QString();
}

namespace {

// The first option whose two keys have the given values, or null.
template <typename Option>
const Option* FindOption(const QList<Option>& options, QString Option::*firstKey, const QString& first,
                         QString Option::*secondKey, const QString& second) {
    for (const Option& option : options)
        if (option.*firstKey == first && option.*secondKey == second)
            return &option;
    return nullptr;
}

// A source that stores no pixel shape is shown with square pixels by every player, so the
// target keeps the shape of its picture as it is.
double displayAspectOf(const StreamRecord& source) {
    if (source.displayAspect > 0)
        return source.displayAspect;
    if (source.width <= 0 || source.height <= 0)
        return 0.0;
    return static_cast<double>(source.width) / source.height;
}

// What the source says of a track travels with it, copied or encoded: its language, title
// and flags; a copy also takes the codec's own description and, for an attached file, its name.
const char* const kTrackTags[] = {"language", "title", "default", "forced"};
const char* const kCopyProperties[] = {"codec_parameters", "attachment", "filename", "mimetype"};

template <size_t N>
void CopyProperties(const SourceFile& source, int streamIndex, IMediaInfo* target, const char* const (&names)[N]) {
    IStreamInfo* from = source.mediaInfo()->GetStreamInfo(static_cast<uint32_t>(streamIndex));
    IStreamInfo* to = target->GetStreamInfo(static_cast<uint32_t>(target->GetStreamCount() - 1));
    if (from == nullptr || to == nullptr)
        return;
    for (const char* name : names)
        if (const PropertyBlob* blob = from->GetProperty(name))
            to->SetProperty(name, blob);
}

void AddCopiedStream(IMediaTaskConfig* config, IMediaInfo* target, const SourceFile& source,
                     const PlannedStream& planned) {
    const int index = planned.source.index;
    const StreamSelection selection{index, 1};
    config->AddStreamSelection(&selection);
    // The source's own description; the engine copies its texts.
    StreamRecord record = *source.mediaInfo()->GetStreamRecord(index);
    record.encode = 0;
    if (planned.source.kind == PlanKind::Subtitle)
        record.kind = StreamKindSubtitle;
    target->AddStream(&record);
    CopyProperties(source, index, target, kTrackTags);
    CopyProperties(source, index, target, kCopyProperties);
}

// Text subtitles in another text format: the engine decodes the source's packets with the
// source's own codec description and encodes them as the container's format.
void AddConvertedSubtitle(IMediaTaskConfig* config, IMediaInfo* target, const SourceFile& source,
                          const PlannedStream& planned) {
    const int index = planned.source.index;
    const StreamSelection selection{index, 1};
    config->AddStreamSelection(&selection);
    StreamRecord record{};
    record.kind = StreamKindSubtitle;
    record.encode = 1;
    const QByteArray encoder = planned.target.toUtf8();
    record.codecName = const_cast<char*>(encoder.constData());
    target->AddStream(&record);
    CopyProperties(source, index, target, kTrackTags);
    const char* const description[] = {"codec_parameters"};
    CopyProperties(source, index, target, description);
}

void SetTextProperty(IMediaInfo* target, const char* name, const QString& value) {
    if (value.isEmpty())
        return;
    const QByteArray text = value.toUtf8();
    const PropertyBlob blob{const_cast<char*>(text.constData()), static_cast<uint32_t>(text.size() + 1)};
    target->GetStreamInfo(static_cast<uint32_t>(target->GetStreamCount() - 1))->SetProperty(name, &blob);
}

void SetIntProperty(IMediaInfo* target, const char* name, int32_t value) {
    const PropertyBlob blob{&value, sizeof value};
    target->GetStreamInfo(static_cast<uint32_t>(target->GetStreamCount() - 1))->SetProperty(name, &blob);
}

// The largest picture the setting and the device allow; 0 on a side neither bounds.
void PictureMaxima(const OutputSetting& setting, int* width, int* height, double* framesPerSecond) {
    const QStringList size = setting.videoResolution.split('*');
    *width = *height = 0;
    if (setting.videoResolution != kKeepOriginal && size.size() >= 2) {
        *width = size.at(0).toInt();
        *height = size.at(1).toInt();
    }
    const float fps = setting.videoFrameRate.toFloat();
    *framesPerSecond = setting.videoFrameRate != kKeepOriginal && fps > 0 ? fps : 0.0;
    const DeviceLimits& limits = setting.profile.limits;
    const auto tighter = [](auto current, auto limit) {
        return limit > 0 && (current <= 0 || limit < current) ? limit : current;
    };
    *width = tighter(*width, limits.maxWidth);
    *height = tighter(*height, limits.maxHeight);
    *framesPerSecond = tighter(*framesPerSecond, limits.maxFramesPerSecond);
}

void AddVideoStream(IMediaTaskConfig* config, IMediaInfo* target, const OutputSetting& setting,
                    const SourceFile& source, const SourceStream& planned) {
    const int streamIndex = planned.index;
    const StreamSelection selection{streamIndex, 0};
    config->AddStreamSelection(&selection);
    const StreamRecord* original = source.mediaInfo()->GetStreamRecord(streamIndex);
    const CodecInfo& codec = codecInfo(setting.videoCodec);
    const VideoEncoderChoice choice = videoEncoderFor(setting.videoCodec);
    if (!choice.warning.isEmpty())
        qWarning("%s", qUtf8Printable(choice.warning));
    const bool quality = setting.rateControl == kRateControlQuality && takesQuality(choice.encoder);

    StreamRecord record{};
    record.encode = 1;
    record.kind = StreamKindVideo;
    record.bitRate = quality ? 0 : setting.videoBitrate.toInt() * 1000;

    const PictureSize size = encodedPictureSize(setting, *original);
    record.width = size.width;
    record.height = size.height;
    int maxWidth = 0;
    int maxHeight = 0;
    double maxRate = 0.0;
    PictureMaxima(setting, &maxWidth, &maxHeight, &maxRate);
    const FrameTime sourceTime{original->frameTimeNum, original->frameTimeDen};
    FrameTime frameTime = sourceTime;
    if (keepsExactPicture(setting.extension, codec.encoder)) {
        if (maxRate > 0)
            frameTime = frameTimeOf(maxRate);
    } else {
        frameTime = fitFrameRate(sourceTime, maxRate);
    }
    record.frameTimeNum = frameTime.num;
    record.frameTimeDen = frameTime.den;
    record.displayAspect = displayAspectOf(*original);

    // Baseline profile and a level are H.264 defaults; other encoders reject them.
    const QByteArray encoder = choice.encoder.toUtf8();
    record.codecName = const_cast<char*>(encoder.constData());
    if (codec.isH264()) {
        record.profile = codec.profile != 0 ? codec.profile : 66;
        // Without a level of its own the row gets the lowest one the picture fits in: a fixed
        // 3.1 promised players less than a 1080p stream needs. A device's level bounds it.
        const double fps = record.frameTimeNum > 0 ? double(record.frameTimeDen) / record.frameTimeNum
                                                   : 25.0;
        // Quality mode states no rate: the level's rate bound is left to the picture's needs.
        const int kbps = quality ? 0 : record.bitRate / 1000;
        record.level = codec.level != 0 ? codec.level : h264LevelFor(record.width, record.height, fps, kbps);
        if (setting.profile.limits.h264Level > 0)
            record.level = std::min(record.level, setting.profile.limits.h264Level);
    } else {
        record.profile = codec.profile;
        record.level = codec.level;
    }
    target->AddStream(&record);
    CopyProperties(source, streamIndex, target, kTrackTags);

    const QString options = videoEncoderOptions(choice.encoder, quality ? setting.rateControl : QString(),
                                                setting.quality, setting.speed);
    SetTextProperty(target, "encoder_options", options);
    SetTextProperty(target, "fallback_encoder", choice.fallback);
    if (keepsTenBits(setting.videoCodec, setting.profile))
        SetIntProperty(target, "bit_depth", 10);
    if (isHdrTransfer(planned.transfer) && !keepsHdr(setting.videoCodec, setting.profile) && engineCanToneMap())
        SetIntProperty(target, "tone_map", 1);
}

void AddAudioStream(IMediaTaskConfig* config, IMediaInfo* target, const OutputSetting& setting,
                    const SourceFile& source, int streamIndex) {
    const StreamSelection selection{streamIndex, 0};
    config->AddStreamSelection(&selection);

    const CodecInfo& codec = codecInfo(setting.audioCodec);
    StreamRecord record{};
    record.encode = 1;
    record.kind = StreamKindAudio;
    record.channels = setting.audioChannels.toInt();
    record.sampleRate = setting.audioSampleRate.toInt();
    // A row with options of its own encodes to a quality scale, not to a bit rate.
    record.bitRate = codec.options.isEmpty() ? setting.audioBitrate.toInt() * 1000 : 0;
    record.channelLayout = 0;
    const QByteArray encoder = codec.encoder.toUtf8();
    record.codecName = const_cast<char*>(encoder.constData());
    target->AddStream(&record);
    CopyProperties(source, streamIndex, target, kTrackTags);
    SetTextProperty(target, "encoder_options", codec.options);
}

}  // namespace

void applyProfileDefaults(const ProfileEntry& entry, OutputSetting& setting) {
    const ProfileFormat& format = entry.format;
    setting.containerCode = format.containerCode;
    setting.extension = format.extension;
    setting.name = entry.name;
    setting.profileId = entry.profileId;

    // Without an option matching both defaults the rates stay empty.
    const VideoOption* videoOption = FindOption(format.video, &VideoOption::codec, format.defaultVideoCodec,
                                                &VideoOption::resolution, format.defaultResolution);
    const AudioOption* audioOption = FindOption(format.audio, &AudioOption::codec, format.defaultAudioCodec,
                                                &AudioOption::channels, format.defaultChannels);

    setting.videoCodec = format.defaultVideoCodec;
    setting.videoBitrate = leadingNumber(videoOption ? videoOption->defaultBitrate : QString());
    const QString defFrameRate = videoOption ? videoOption->defaultFrameRate : QString();
    setting.videoFrameRate = defFrameRate == kKeepOriginal ? defFrameRate : leadingNumber(defFrameRate);
    setting.videoResolution = format.defaultResolution;
    setting.audioCodec = format.defaultAudioCodec;
    setting.audioBitrate = leadingNumber(audioOption ? audioOption->defaultBitrate : QString());
    setting.audioSampleRate = leadingNumber(audioOption ? audioOption->defaultSampleRate : QString());
    setting.audioChannels = format.defaultChannels;
    setting.copyStreams = format.copyStreams;
    setting.burnForcedSubtitles = format.burnForcedSubtitles;
    setting.rateControl = format.defaultRateControl;
    setting.quality = format.defaultQuality;
    setting.speed = format.defaultSpeed;
    setting.profile = format;
}

PictureSize encodedPictureSize(const OutputSetting& setting, const StreamRecord& source) {
    int maxWidth = 0;
    int maxHeight = 0;
    double maxRate = 0.0;
    PictureMaxima(setting, &maxWidth, &maxHeight, &maxRate);
    if (keepsExactPicture(setting.extension, codecInfo(setting.videoCodec).encoder)) {
        // A resolution without "*" says nothing usable: keep the source's size.
        if (maxWidth > 0 && maxHeight > 0)
            return {maxWidth, maxHeight};
        return {source.width, source.height};
    }
    if (maxWidth > 0 || maxHeight > 0)
        return fitPicture(source.width, source.height, displayAspectOf(source), maxWidth, maxHeight);
    return {source.width, source.height};
}

QString fillTaskConfiguration(IMediaTaskConfig* config, IMediaInfo* target,
                              const OutputSetting& setting, const SourceFile& source) {
    const QString extension = setting.extension;
    target->SetFormatName(muxerForExtension(extension).toUtf8().constData());
    const TaskPlan plan = planFor(source, setting);
    // Output streams follow the plan's order, which is the source's.
    for (const PlannedStream& stream : plan.outputs()) {
        if (stream.action == PlanAction::Copy) {
            AddCopiedStream(config, target, source, stream);
        } else if (stream.action == PlanAction::Encode && stream.source.kind == PlanKind::Video) {
            AddVideoStream(config, target, setting, source, stream.source);
            if (const PlannedStream* burned = plan.burned()) {
                // The source's stream number of the subtitle drawn into these pictures.
                int32_t subtitle = burned->source.index;
                const PropertyBlob blob{&subtitle, sizeof subtitle};
                target->GetStreamInfo(static_cast<uint32_t>(target->GetStreamCount() - 1))
                    ->SetProperty("burn_subtitles", &blob);
            }
        } else if (stream.action == PlanAction::Encode && stream.source.kind == PlanKind::Audio) {
            AddAudioStream(config, target, setting, source, stream.source.index);
        } else if (stream.action == PlanAction::Convert) {
            AddConvertedSubtitle(config, target, source, stream);
        }
    }
    return extension;
}
