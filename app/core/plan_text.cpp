#include "plan_text.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QStringList>

#include "track_labels.h"

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("PlanText", text);
}

QString pictureSize(const SourceStream& stream) {
    if (stream.height <= 0)
        return {};
    static const QList<int> named = {2160, 1440, 1080, 720, 576, 480};
    if (named.contains(stream.height) && stream.width >= stream.height)
        return stream.height == 2160 ? QStringLiteral("4K") : QString::number(stream.height) + 'p';
    return QString::number(stream.width) + 'x' + QString::number(stream.height);
}

// "eng AAC", "H.264 1080p", "jpn SRT".
QString describe(const SourceStream& stream) {
    QStringList words;
    if (!stream.language.isEmpty() && stream.language != QLatin1String("und"))
        words.append(stream.language);
    words.append(codecDisplayName(stream.codec));
    if (stream.kind == PlanKind::Video)
        words.append(pictureSize(stream));
    words.removeAll(QString());
    return words.join(' ');
}

QString outcome(const PlannedStream& stream) {
    switch (stream.action) {
    case PlanAction::Copy:
        return tr("copy");
    case PlanAction::Encode: {
        QString text = codecDisplayName(stream.target);
        if (stream.quality >= 0)
            text += ' ' + tr("quality %1").arg(stream.quality);
        if (!stream.note.isEmpty())
            text += QStringLiteral(" — ") + stream.note;
        return text;
    }
    case PlanAction::Convert:
        return codecDisplayName(stream.target);
    case PlanAction::Burn:
        return tr("burned in");
    case PlanAction::Drop:
        return tr("dropped");
    }
    return {};
}

QString kindKey(PlanKind kind) {
    switch (kind) {
    case PlanKind::Video:
        return QStringLiteral("video");
    case PlanKind::Audio:
        return QStringLiteral("audio");
    case PlanKind::Subtitle:
        return QStringLiteral("subtitle");
    case PlanKind::Attachment:
        return QStringLiteral("attachment");
    case PlanKind::Other:
        break;
    }
    return QStringLiteral("other");
}

}  // namespace

QString codecDisplayName(const QString& codec) {
    static const QHash<QString, QString> names = {
        {"h264", "H.264"},   {"hevc", "HEVC"},          {"mpeg4", "MPEG-4"},   {"libxvid", "MPEG-4"},
        {"vp8", "VP8"},      {"vp9", "VP9"},            {"av1", "AV1"},        {"mpeg2video", "MPEG-2"},
        {"mpeg1video", "MPEG-1"}, {"msmpeg4v3", "MS-MPEG4"}, {"flv1", "FLV"}, {"mjpeg", "MJPEG"},
        {"subrip", "SRT"},   {"srt", "SRT"},            {"ass", "ASS"},        {"ssa", "SSA"},
        {"webvtt", "WebVTT"}, {"mov_text", "MP4 text"}, {"text", "text"},
        {"hdmv_pgs_subtitle", "PGS"}, {"dvd_subtitle", "VobSub"}, {"dvb_subtitle", "DVB"},
        {"ttf", "font"},     {"otf", "font"},           {"bin_data", "file"},
        {"libx264", "H.264"}, {"h264_vaapi", "H.264"},  {"h264_nvenc", "H.264"}, {"h264_qsv", "H.264"},
        {"libx265", "HEVC"}, {"hevc_vaapi", "HEVC"},    {"hevc_nvenc", "HEVC"}, {"hevc_qsv", "HEVC"},
        {"libsvtav1", "AV1"}, {"libvpx-vp9", "VP9"},    {"prores", "ProRes"},  {"prores_ks", "ProRes"},
        {"libopus", "Opus"}, {"alac", "ALAC"},          {"libmp3lame", "MP3"},
    };
    if (const auto found = names.find(codec); found != names.end())
        return *found;
    return audioFormatName(codec);
}

QString actionName(PlanAction action) {
    switch (action) {
    case PlanAction::Copy:
        return QStringLiteral("copy");
    case PlanAction::Encode:
        return QStringLiteral("encode");
    case PlanAction::Convert:
        return QStringLiteral("convert");
    case PlanAction::Burn:
        return QStringLiteral("burn");
    case PlanAction::Drop:
        return QStringLiteral("drop");
    }
    return {};
}

QString planSummary(const TaskPlan& plan) {
    struct Group {
        PlanKind kind;
        QString title;
        QStringList entries;
    };
    QList<Group> groups = {{PlanKind::Video, tr("Video"), {}},
                           {PlanKind::Audio, tr("Audio"), {}},
                           {PlanKind::Subtitle, tr("Subtitles"), {}}};
    for (const PlannedStream& stream : plan.streams) {
        if (stream.action == PlanAction::Drop)
            continue;
        for (Group& group : groups)
            if (group.kind == stream.source.kind)
                group.entries.append(describe(stream.source) + QStringLiteral(" → ") + outcome(stream));
    }
    QStringList parts;
    for (const Group& group : groups)
        if (!group.entries.isEmpty())
            parts.append(group.title + ' ' + group.entries.join(QStringLiteral(", ")));
    return parts.join(QStringLiteral(" · "));
}

QString planDetails(const TaskPlan& plan) {
    QStringList lines;
    for (const PlannedStream& stream : plan.streams) {
        const QString what = QStringLiteral("%1: %2").arg(stream.source.index).arg(describe(stream.source));
        lines.append(what + QStringLiteral(" → ") + outcome(stream) + QStringLiteral(" (") + stream.reason + ')');
    }
    return lines.join('\n');
}

QJsonObject planJson(const TaskPlan& plan) {
    QJsonArray streams;
    for (const PlannedStream& stream : plan.streams) {
        QJsonObject entry{
            {"index", stream.source.index},
            {"kind", kindKey(stream.source.kind)},
            {"codec", stream.source.codec},
            {"action", actionName(stream.action)},
            {"reason", stream.reason},
            {"default", stream.source.isDefault},
            {"forced", stream.source.isForced},
        };
        if (!stream.target.isEmpty())
            entry.insert("target", stream.target);
        if (stream.quality >= 0)
            entry.insert("quality", stream.quality);
        if (!stream.note.isEmpty())
            entry.insert("note", stream.note);
        if (!stream.source.language.isEmpty())
            entry.insert("language", stream.source.language);
        if (!stream.source.title.isEmpty())
            entry.insert("title", stream.source.title);
        streams.append(entry);
    }
    return QJsonObject{{"streams", streams},
                       {"chapters", plan.keepsChapters},
                       {"attachments", plan.keepsAttachments}};
}
