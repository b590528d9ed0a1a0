// Reading the compiled-in style sheet and comparing what it draws with its pictures.
#pragma once

#include <QFile>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The style sheet without its comments, so that commented-out rules count as absent.
inline QString StyleSheetRules() {
    QString text = QString::fromUtf8(ReadAll(":/qss/skinqss"));
    text.remove(QRegularExpression(R"(/\*.*?\*/)", QRegularExpression::DotMatchesEverythingOption));
    return text;
}

// Every picture the style sheet names, in order of first use.
inline QStringList PictureUrls() {
    static const QRegularExpression url(R"(url\(\s*["']?([^"')\s]+)["']?\s*\))");
    QStringList paths;
    for (auto it = url.globalMatch(StyleSheetRules()); it.hasNext();) {
        const QString path = it.next().captured(1);
        if (!paths.contains(path))
            paths << path;
    }
    return paths;
}

struct SheetRule {
    QString selector;  // one selector of the rule, as written
    QMap<QString, QString> declarations;
};

inline std::vector<SheetRule> SheetRulesBySelector() {
    static const QRegularExpression block(R"(([^{}]+)\{([^{}]*)\})");
    std::vector<SheetRule> rules;
    for (auto it = block.globalMatch(StyleSheetRules()); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QMap<QString, QString> declarations;
        for (const QString& declaration : m.captured(2).split(';', Qt::SkipEmptyParts)) {
            const qsizetype colon = declaration.indexOf(':');
            if (colon > 0)
                declarations.insert(declaration.left(colon).trimmed(), declaration.mid(colon + 1).trimmed());
        }
        for (const QString& selector : m.captured(1).split(','))
            rules.push_back({selector.simplified(), declarations});
    }
    return rules;
}

// The selector without its states (":hover", ":!selected"), keeping sub-controls ("::item").
inline QString WithoutStates(const QString& selector) {
    QString base = selector;
    base.remove(QRegularExpression(R"((?<!:):(?!:)!?[a-z-]+)"));
    return base;
}

inline QImage LoadPicture(const QString& path) {
    return QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Share of pixels (0..1) that are at least half opaque.
inline double CoveredShare(const QImage& image) {
    const QImage x = image.convertToFormat(QImage::Format_ARGB32);
    qint64 covered = 0;
    for (int y = 0; y < x.height(); ++y)
        for (int col = 0; col < x.width(); ++col)
            covered += qAlpha(x.pixel(col, y)) >= 128;
    return x.isNull() ? 0.0 : double(covered) / (double(x.width()) * x.height());
}

// Share of pixels (0..1) whose premultiplied channels differ by more than `tolerance`;
// pictures of different sizes count as entirely different.
inline double DifferingShare(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            differing += qAbs(qRed(p) - qRed(q)) > tolerance || qAbs(qGreen(p) - qGreen(q)) > tolerance ||
                         qAbs(qBlue(p) - qBlue(q)) > tolerance || qAbs(qAlpha(p) - qAlpha(q)) > tolerance;
        }
    }
    return double(differing) / (double(x.width()) * x.height());
}
