#include "output_setting.h"

#include <QRegularExpression>

#include "codec_tables.h"
#include "h264_level.h"
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

void AddVideoStream(IMediaTaskConfig* config, IMediaInfo* target, const OutputSetting& setting,
                    const SourceFile& source) {
    const StreamSelection selection{source.videoStream(), 0};
    config->AddStreamSelection(&selection);
    const StreamRecord* original = source.mediaInfo()->GetStreamRecord(source.videoStream());

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
}

void AddAudioStream(IMediaTaskConfig* config, IMediaInfo* target, const OutputSetting& setting,
                    const SourceFile& source) {
    const StreamSelection selection{source.audioStream(), 0};
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
}

QString fillTaskConfiguration(IMediaTaskConfig* config, IMediaInfo* target,
                              const OutputSetting& setting, const SourceFile& source) {
    const QString extension = setting.extension;
    target->SetFormatName(muxerForExtension(extension).toUtf8().constData());
    if (source.videoStream() != -1 && !setting.videoCodec.isEmpty())
        AddVideoStream(config, target, setting, source);
    if (source.audioStream() != -1 && !setting.audioCodec.isEmpty())
        AddAudioStream(config, target, setting, source);
    return extension;
}
