#include "container_support.h"

#include <QHash>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

const AVOutputFormat* muxerNamed(const QString& muxer) {
    return av_guess_format(muxer.toUtf8().constData(), nullptr, nullptr);
}

bool isMp4Family(const QString& muxer) {
    static const QStringList family = {"mp4", "mov", "ipod", "3gp", "3g2", "f4v", "ismv"};
    return family.contains(muxer);
}

bool isMatroska(const QString& muxer) {
    return muxer == QLatin1String("matroska");
}

}  // namespace

bool containerTakes(const QString& muxer, const QString& codec) {
    const AVOutputFormat* format = muxerNamed(muxer);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(codec.toUtf8().constData());
    if (format == nullptr || descriptor == nullptr)
        return false;
    const int answer = avformat_query_codec(format, descriptor->id, FF_COMPLIANCE_NORMAL);
    if (answer >= 0)
        return answer == 1;
    // Muxers that keep no list: the codecs they write by default are the ones they surely take.
    return descriptor->id == format->video_codec || descriptor->id == format->audio_codec ||
           descriptor->id == format->subtitle_codec;
}

QString textSubtitleCodecFor(const QString& muxer) {
    if (isMatroska(muxer))
        return QStringLiteral("copy");
    if (isMp4Family(muxer) && muxer != QLatin1String("f4v"))
        return QStringLiteral("mov_text");
    if (muxer == QLatin1String("webm"))
        return QStringLiteral("webvtt");
    return {};
}

bool containerHoldsChapters(const QString& muxer) {
    return isMatroska(muxer) || muxer == QLatin1String("webm") || isMp4Family(muxer);
}

bool containerHoldsAttachments(const QString& muxer) {
    return isMatroska(muxer);
}

int audioTracksFor(const QString& muxer) {
    // Players of these files play the first track and ignore the rest, or refuse the file.
    static const QStringList oneTrack = {"avi", "flv", "f4v", "3gp", "3g2", "asf", "adts", "ac3", "mp3",
                                         "wav", "flac", "aiff", "ogg", "opus"};
    return oneTrack.contains(muxer) ? 1 : 0;
}

QString containerDisplayName(const QString& muxer) {
    static const QHash<QString, QString> names = {
        {"mp4", "MP4"},  {"matroska", "Matroska"}, {"webm", "WebM"}, {"avi", "AVI"}, {"ipod", "M4V"},
        {"mov", "MOV"},  {"3gp", "3GP"},           {"3g2", "3G2"},   {"flv", "FLV"}, {"f4v", "F4V"},
        {"asf", "WMV"},  {"vob", "VOB"},           {"mp3", "MP3"},   {"adts", "AAC"}, {"ac3", "AC3"},
        {"flac", "FLAC"}, {"wav", "WAV"},          {"ogg", "Ogg"},   {"aiff", "AIFF"},
        {"opus", "Ogg Opus"},
    };
    return names.value(muxer, muxer.toUpper());
}
