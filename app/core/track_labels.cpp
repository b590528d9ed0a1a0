#include "track_labels.h"

#include <QLocale>
#include <QStringList>
#include <cstring>

#include "source_file.h"

using namespace MediaBased;

namespace {

const StreamRecord* recordOf(const SourceFile& source, int streamIndex) {
    IMediaInfo* info = source.mediaInfo();
    if (info == nullptr || streamIndex < 0 || streamIndex >= info->GetStreamCount())
        return nullptr;
    return info->GetStreamRecord(streamIndex);
}

bool isAudio(const SourceFile& source, int streamIndex) {
    const StreamRecord* record = recordOf(source, streamIndex);
    return record != nullptr && record->kind == StreamKindAudio;
}

// Text properties carry their terminating NUL; a blob without one is read up to its size.
QString textProperty(IStreamInfo& info, const char* name) {
    const PropertyBlob* blob = info.GetProperty(name);
    if (blob == nullptr || blob->data == nullptr || blob->size == 0)
        return {};
    const char* text = static_cast<const char*>(blob->data);
    const size_t length = ::strnlen(text, blob->size);
    return QString::fromUtf8(text, static_cast<qsizetype>(length)).trimmed();
}

}  // namespace

TrackTags trackTags(const SourceFile& source, int streamIndex) {
    TrackTags tags;
    if (recordOf(source, streamIndex) == nullptr)
        return tags;
    IStreamInfo* info = source.mediaInfo()->GetStreamInfo(static_cast<uint32_t>(streamIndex));
    if (info == nullptr)
        return tags;
    tags.language = textProperty(*info, "language");
    tags.title = textProperty(*info, "title");
    const PropertyBlob* flag = info->GetProperty("default");
    tags.isDefault = flag != nullptr && flag->data != nullptr && flag->size >= 1 &&
                     *static_cast<const uint8_t*>(flag->data) != 0;
    return tags;
}

namespace {

// Codes that name no language: undetermined, and no linguistic content.
bool namesNoLanguage(const QString& code) {
    return code.isEmpty() || code.compare(QLatin1String("und"), Qt::CaseInsensitive) == 0 ||
           code.compare(QLatin1String("zxx"), Qt::CaseInsensitive) == 0;
}

}  // namespace

QString languageName(const QString& code) {
    const QString trimmed = code.trimmed().toLower();
    if (namesNoLanguage(trimmed))
        return {};
    const QLocale::Language language = QLocale::codeToLanguage(trimmed, QLocale::ISO639);
    if (language == QLocale::AnyLanguage || language == QLocale::C)
        return {};
    return QLocale::languageToString(language);
}

QString audioFormatName(const QString& codecName) {
    static const struct {
        const char* codec;
        const char* name;
    } kNames[] = {{"ac3", "AC3"},       {"aac", "AAC"},   {"dts", "DTS"},   {"eac3", "E-AC3"},
                  {"opus", "Opus"},     {"vorbis", "Vorbis"}, {"flac", "FLAC"}, {"mp3", "MP3"},
                  {"truehd", "TrueHD"}};
    for (const auto& entry : kNames)
        if (codecName == QLatin1String(entry.codec))
            return QString::fromLatin1(entry.name);
    if (codecName.startsWith(QLatin1String("pcm_")))
        return QStringLiteral("PCM");
    return codecName.toUpper();
}

QString channelsText(int channels) {
    switch (channels) {
        case 0: return {};
        case 1: return QStringLiteral("mono");
        case 2: return QStringLiteral("stereo");
        case 6: return QStringLiteral("5.1");
        case 8: return QStringLiteral("7.1");
        default: return channels > 0 ? QStringLiteral("%1 ch").arg(channels) : QString();
    }
}

int audioTrackCount(const SourceFile& source) {
    IMediaInfo* info = source.mediaInfo();
    int count = 0;
    for (int i = 0; info != nullptr && i < info->GetStreamCount(); ++i)
        count += isAudio(source, i) ? 1 : 0;
    return count;
}

int audioStreamOfTrack(const SourceFile& source, int number) {
    IMediaInfo* info = source.mediaInfo();
    for (int i = 0, seen = 0; info != nullptr && i < info->GetStreamCount(); ++i)
        if (isAudio(source, i) && ++seen == number)
            return i;
    return -1;
}

int audioTrackOfStream(const SourceFile& source, int streamIndex) {
    if (!isAudio(source, streamIndex))
        return 0;
    int number = 0;
    for (int i = 0; i <= streamIndex; ++i)
        number += isAudio(source, i) ? 1 : 0;
    return number;
}

QString audioTrackLabel(const SourceFile& source, int streamIndex) {
    const int number = audioTrackOfStream(source, streamIndex);
    if (number == 0)
        return {};
    const StreamRecord* record = recordOf(source, streamIndex);
    const TrackTags tags = trackTags(source, streamIndex);

    QStringList names;
    if (const QString language = languageName(tags.language); !language.isEmpty())
        names << language;
    else if (!namesNoLanguage(tags.language))
        names << tags.language;  // a code Qt does not know still tells the user something
    // A title that only repeats the language ("Japanese") says nothing new.
    if (!tags.title.isEmpty() && !names.contains(tags.title, Qt::CaseInsensitive))
        names << tags.title;

    QStringList format;
    if (const QString codec = audioFormatName(QString::fromUtf8(record->codecName ? record->codecName : ""));
        !codec.isEmpty())
        format << codec;
    if (const QString channels = channelsText(record->channels); !channels.isEmpty())
        format << channels;

    QStringList parts;
    if (!names.isEmpty())
        parts << names.join(QStringLiteral(", "));
    if (!format.isEmpty())
        parts << format.join(QLatin1Char(' '));
    return QStringLiteral("%1: ").arg(number) + parts.join(QStringLiteral(" — "));
}

int defaultAudioStream(const SourceFile& source) {
    const int count = audioTrackCount(source);
    for (int number = 1; number <= count; ++number) {
        const int stream = audioStreamOfTrack(source, number);
        if (trackTags(source, stream).isDefault)
            return stream;
    }
    return audioStreamOfTrack(source, 1);
}
