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

}  // namespace

bool QueueStore::save(const QList<QueuedFile>& files) const {
    QJsonArray list;
    for (const QueuedFile& file : files) {
        QJsonObject entry{{"path", file.path}, {"outcome", kindName(file.outcome.kind)}};
        if (!file.audio.isEmpty()) {
            QJsonArray audio;
            for (int stream : file.audio)
                audio.append(stream);
            entry.insert("audio", audio);
        }
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
        for (const QJsonValue& stream : entry.value("audio").toArray())
            if (stream.isDouble() && stream.toInt(-1) >= 0 && !file.audio.contains(stream.toInt()))
                file.audio.append(stream.toInt());
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
