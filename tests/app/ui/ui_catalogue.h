// Catalogues written as plain files and loaded without the resource bundle.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>

#include "profile_catalogue.h"

inline std::unique_ptr<ProfileCatalogue> LoadCatalogue(const QTemporaryDir& dir, const QString& listXml,
                                                       const QString& formatXml) {
    const auto write = [&dir](const QString& name, const QString& text) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            QTextStream(&file) << text;
        return file.fileName();
    };
    auto catalogue = std::make_unique<ProfileCatalogue>();
    if (!catalogue->loadDocuments(write("list.xml", listXml), write("format.xml", formatXml)))
        return nullptr;
    return catalogue;
}
