#include "skin.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

QString skinStyleSheet() {
    QFile file(QStringLiteral(":/qss/skinqss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QIcon skinApplicationIcon() {
    // The build decides which sizes exist; each is named corvane-<side>.png.
    static const QRegularExpression name(QStringLiteral("^corvane-(\\d+)\\.png$"));
    const QDir folder(QStringLiteral(":/icons"));
    QIcon icon;
    for (const QString& file : folder.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file);
        if (m.hasMatch()) {
            const int side = m.captured(1).toInt();
            icon.addFile(folder.filePath(file), QSize(side, side));
        }
    }
    return icon;
}
