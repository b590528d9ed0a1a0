// A private temporary folder for targets whose readers only take file paths.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

inline const QTemporaryDir& FuzzFolder() {
    static const QTemporaryDir folder;
    return folder;
}

inline QString WriteFuzzFile(const QString& name, const uint8_t* data, size_t size) {
    const QString path = FuzzFolder().path() + "/" + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return path;
}
