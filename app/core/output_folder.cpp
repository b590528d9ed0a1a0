#include "output_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("OutputFolder", text);
}

bool fail(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
    return false;
}

}  // namespace

bool prepareOutputFolder(const QString& folder, QString* reason) {
    if (folder.trimmed().isEmpty())
        return fail(reason, tr("No output folder is chosen."));
    const QString shown = QDir::toNativeSeparators(folder);
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return fail(reason, tr("The output folder %1 is a file, not a folder.").arg(shown));
    if (!info.exists() && !QDir().mkpath(folder))
        return fail(reason, tr("The output folder %1 cannot be created.").arg(shown));
    // Permission bits do not tell (read-only mounts, ACLs, root): only a real file does.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".corvane-write-check-XXXXXX")));
    if (!probe.open())
        return fail(reason, tr("The output folder %1 is not writable.").arg(shown));
    return true;
}
