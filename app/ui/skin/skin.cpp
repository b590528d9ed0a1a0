#include "skin.h"

#include <QFile>

QString skinStyleSheet() {
    QFile file(QStringLiteral(":/qss/skinqss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QIcon skinApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/corvane-%1.png").arg(size), QSize(size, size));
    return icon;
}
