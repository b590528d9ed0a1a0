#include "output_setting.h"

#include <QRegularExpression>

#include "codec_tables.h"
#include "h264_level.h"
#include "plan_inputs.h"
#include "profile_catalogue.h"
#include "source_file.h"

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

bool IsH264(const CodecInfo& row) {
    return row.encoder == QLatin1String("h264");
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

void AddVideoStream(IMediaTaskConfig* config, IMediaInfo* target, const OutputSetting& setting,
                    const SourceFile& source, int streamIndex) {
    const StreamSelection selection{streamIndex, 0};
    config->AddStreamSelection(&selection);
    const StreamRecord* original = source.mediaInfo()->GetStreamRecord(streamIndex);

    StreamRecord record{};
    record.encode = 1;
    record.kind = StreamKindVideo;
    record.bitRate = setting.videoBitrate.toInt() * 1000;

    // A resolution without "*" says nothing usable: keep the source's size.
    const QStringList size = setting.videoResolution.split('*');
    if (setting.videoResolution == kKeepOriginal || size.size() < 2) {
        record.width = original->width;
        record.height = original->height;
    } else {
        record.width = size.at(0).toInt();
        record.height = size.at(1).toInt();
    }

    // A rate that is no positive number would make the encoder invent one: keep the source's.
    const float fps = setting.videoFrameRate.toFloat();
    if (setting.videoFrameRate == kKeepOriginal || !(fps > 0)) {
        record.frameTimeNum = original->frameTimeNum;
        record.frameTimeDen = original->frameTimeDen;
    } else {
        record.frameTimeNum = 1001;
        record.frameTimeDen = static_cast<int32_t>(fps * 1001 + 0.5);
    }
    record.displayAspect = displayAspectOf(*original);

    // Baseline profile and a level are H.264 defaults; other encoders reject them.
    const CodecInfo& codec = codecInfo(setting.videoCodec);
    const QByteArray encoder = codec.encoder.toUtf8();
    record.codecName = const_cast<char*>(encoder.constData());
    if (IsH264(codec)) {
        record.profile = codec.profile != 0 ? codec.profile : 66;
        // Without a level of its own the row gets the lowest one the picture fits in: a fixed
        // 3.1 promised players less than a 1080p stream needs.
        const double fps = record.frameTimeNum > 0 ? double(record.frameTimeDen) / record.frameTimeNum
                                                   : 25.0;
        record.level = codec.level != 0
                           ? codec.level
                           : h264LevelFor(record.width, record.height, fps, record.bitRate / 1000);
    } else {
        record.profile = codec.profile;
        record.level = codec.level;
    }
    target->AddStream(&record);
    CopyProperties(source, streamIndex, target, kTrackTags);
}

void AddAudioStream(IMediaTaskConfig* config, IMediaInfo* target, const OutputSetting& setting,
                    const SourceFile& source, int streamIndex) {
    const StreamSelection selection{streamIndex, 0};
    config->AddStreamSelection(&selection);

    StreamRecord record{};
    record.encode = 1;
    record.kind = StreamKindAudio;
    record.channels = setting.audioChannels.toInt();
    record.sampleRate = setting.audioSampleRate.toInt();
    record.bitRate = setting.audioBitrate.toInt() * 1000;
    record.channelLayout = 0;
    const QByteArray encoder = codecInfo(setting.audioCodec).encoder.toUtf8();
    record.codecName = const_cast<char*>(encoder.constData());
    target->AddStream(&record);
    CopyProperties(source, streamIndex, target, kTrackTags);
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
            AddVideoStream(config, target, setting, source, stream.source.index);
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
