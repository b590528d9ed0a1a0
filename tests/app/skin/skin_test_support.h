// Reading the compiled-in style sheet, comparing what it draws with its pictures, and measuring
// how well rendered text reads.
#pragma once

#include <QColor>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QSize>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
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

// WCAG relative luminance and contrast ratio (1 for equal colours, 21 for black on white).
inline double RelativeLuminance(const QColor& colour) {
    const auto linear = [](int channel) {
        const double v = channel / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) + 0.0722 * linear(colour.blue());
}

inline double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct TextOnGround {
    QColor ground;  // the commonest colour of the area
    QColor ink;     // the pixel that stands out most from it
    double contrast = 1.0;
};

// How a line of text drawn in `area` of a rendering reads: glyph stems reach the full text colour,
// so the pixel furthest from the background is the text's colour. An area without text gives 1.
inline TextOnGround MeasureText(const QImage& rendering, const QRect& area) {
    const QImage image = rendering.convertToFormat(QImage::Format_RGB32);
    const QRect inside = area & image.rect();
    QMap<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y)];
    TextOnGround result;
    if (counts.isEmpty())
        return result;
    QRgb ground = counts.firstKey();
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        if (it.value() > counts.value(ground))
            ground = it.key();
    result.ground = QColor(ground);
    result.ink = result.ground;
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
        const double contrast = ContrastRatio(QColor(it.key()), result.ground);
        if (contrast > result.contrast) {
            result.contrast = contrast;
            result.ink = QColor(it.key());
        }
    }
    return result;
}
