#include "queue_store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const char* kindName(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::Finished: return "finished";
        case OutcomeKind::FinishedEarly: return "finished-early";
        case OutcomeKind::Failed: return "failed";
        case OutcomeKind::Stopped: return "stopped";
        case OutcomeKind::Interrupted: return "interrupted";
        case OutcomeKind::Pending: break;
    }
    return "waiting";
}

OutcomeKind kindOf(const QString& name) {
    for (OutcomeKind kind : {OutcomeKind::Finished, OutcomeKind::FinishedEarly, OutcomeKind::Failed,
                             OutcomeKind::Stopped, OutcomeKind::Interrupted})
        if (name == QLatin1String(kindName(kind)))
            return kind;
    return OutcomeKind::Pending;
}

const char* subtitlesName(PlanChoices::Subtitles subtitles) {
    switch (subtitles) {
        case PlanChoices::Subtitles::None: return "none";
        case PlanChoices::Subtitles::Chosen: return "chosen";
        case PlanChoices::Subtitles::All: break;
    }
    return "all";
}

QJsonArray streamArray(const QList<int>& streams) {
    QJsonArray array;
    for (int stream : streams)
        array.append(stream);
    return array;
}

QList<int> streamsOf(const QJsonValue& value) {
    QList<int> streams;
    for (const QJsonValue& stream : value.toArray())
        if (stream.isDouble() && stream.toInt(-1) >= 0 && !streams.contains(stream.toInt()))
            streams.append(stream.toInt());
    return streams;
}

}  // namespace

bool QueueStore::save(const QList<QueuedFile>& files) const {
    QJsonArray list;
    for (const QueuedFile& file : files) {
        QJsonObject entry{{"path", file.path}, {"outcome", kindName(file.outcome.kind)}};
        if (!file.audio.isEmpty())
            entry.insert("audio", streamArray(file.audio));
        // Every subtitle and the profile's burning are the default, written as nothing.
        if (file.subtitles != PlanChoices::Subtitles::All)
            entry.insert("subtitles", subtitlesName(file.subtitles));
        if (file.subtitles == PlanChoices::Subtitles::Chosen)
            entry.insert("chosenSubtitles", streamArray(file.chosenSubtitles));
        if (file.burn == PlanChoices::kBurnNothing)
            entry.insert("burn", QStringLiteral("none"));
        else if (file.burn >= 0)
            entry.insert("burn", file.burn);
        if (!file.outcome.reason.isEmpty())
            entry.insert("reason", file.outcome.reason);
        if (!file.target.isEmpty())
            entry.insert("target", file.target);
        if (file.converting)
            entry.insert("converting", true);
        list.append(entry);
    }
    QSaveFile out(file_);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(QJsonDocument(QJsonObject{{"files", list}}).toJson(QJsonDocument::Indented));
    return out.commit();
}

QList<QueuedFile> QueueStore::load() const {
    QFile in(file_);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray list = QJsonDocument::fromJson(in.readAll()).object().value("files").toArray();
    QList<QueuedFile> files;
    for (const QJsonValue& value : list) {
        const QJsonObject entry = value.toObject();
        QueuedFile file;
        file.path = entry.value("path").toString();
        if (file.path.isEmpty())
            continue;
        // Lists saved before tracks could be combined hold an "audioStream" for every file, the
        // chosen one or the default alike: they come back keeping every track.
        file.audio = streamsOf(entry.value("audio"));
        const QString subtitles = entry.value("subtitles").toString();
        if (subtitles == QLatin1String(subtitlesName(PlanChoices::Subtitles::None)))
            file.subtitles = PlanChoices::Subtitles::None;
        else if (subtitles == QLatin1String(subtitlesName(PlanChoices::Subtitles::Chosen)))
            file.subtitles = PlanChoices::Subtitles::Chosen;
        if (file.subtitles == PlanChoices::Subtitles::Chosen)
            file.chosenSubtitles = streamsOf(entry.value("chosenSubtitles"));
        if (const QJsonValue burn = entry.value("burn"); burn.toInt(-1) >= 0)
            file.burn = burn.toInt();
        else if (burn.toString() == QLatin1String("none"))
            file.burn = PlanChoices::kBurnNothing;
        file.outcome.kind = kindOf(entry.value("outcome").toString());
        file.outcome.reason = entry.value("reason").toString();
        file.target = entry.value("target").toString();
        // Still converting when the program ended: whatever it wrote was never finished.
        if (entry.value("converting").toBool() && file.outcome.kind == OutcomeKind::Pending)
            file.outcome.kind = OutcomeKind::Interrupted;
        files.append(file);
    }
    return files;
}
