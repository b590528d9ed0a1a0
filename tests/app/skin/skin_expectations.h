// What the window layout and the style sheet rely on: every skin picture with its size, and
// small helpers to compare pictures.
#pragma once

#include <QFile>
#include <QImage>
#include <QSet>
#include <QSize>
#include <QString>

#include <vector>

struct SkinPicture {
    QString path;
    QSize size;
};

inline const std::vector<SkinPicture>& SkinPictures() {
    static const std::vector<SkinPicture> pictures = [] {
        std::vector<SkinPicture> list{{":/frmAbout/logo", {128, 128}}};
        auto add = [&](const QString& stem, std::initializer_list<const char*> states, QSize size) {
            for (const char* state : states)
                list.push_back({":/frmMain/" + stem + QLatin1String(state), size});
        };
        add("btnAdd_", {"normal", "hover", "down"}, {39, 46});
        add("btnHelp_", {"normal", "hover", "down"}, {39, 46});
        add("btnConvert_", {"normal", "hover", "down", "disable"}, {88, 33});
        add("btnConvert_cancel_", {"normal", "hover", "down"}, {88, 33});
        add("btnShowHide_", {"normal", "hover", "down"}, {31, 27});
        add("btnOpenDir_", {"normal", "hover", "down"}, {25, 22});
        add("btnSetting_", {"normal", "hover", "down"}, {62, 26});
        add("combox_", {"normal"}, {230, 26});
        add("profile_cate_", {"hover", "select"}, {82, 24});
        add("profileItem_", {"normal", "hover", "selected"}, {123, 81});
        add("btnPre_", {"normal", "hover"}, {19, 28});
        add("btnNext_", {"normal", "hover"}, {19, 28});
        add("btnDel", {""}, {24, 24});
        add("widgetTop", {""}, {980, 78});
        add("widgetBottom", {""}, {980, 52});
        add("frameNav", {""}, {980, 29});
        add("widgetTask", {""}, {119, 98});
        return list;
    }();
    return pictures;
}

inline const std::vector<int>& IconSizes() {
    static const std::vector<int> sizes{16, 32, 48, 64, 128, 256};
    return sizes;
}

inline QImage LoadPicture(const QString& path) {
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Share of pixels (0..1) whose colour or opacity differs by more than `tolerance` in any
// channel; pictures of different sizes count as entirely different.
inline double DifferingShare(const QImage& a, const QImage& b, int tolerance = 8) {
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    qint64 differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            if (qAbs(qRed(p[col]) - qRed(q[col])) > tolerance || qAbs(qGreen(p[col]) - qGreen(q[col])) > tolerance ||
                qAbs(qBlue(p[col]) - qBlue(q[col])) > tolerance || qAbs(qAlpha(p[col]) - qAlpha(q[col])) > tolerance)
                ++differing;
        }
    }
    return double(differing) / (double(x.width()) * x.height());
}

inline int DistinctColours(const QImage& image) {
    QSet<QRgb> colours;
    const QImage x = image.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            colours.insert(p[col]);
    }
    return colours.size();
}

// Share of pixels that are at least half opaque.
inline double CoveredShare(const QImage& image) {
    const QImage x = image.convertToFormat(QImage::Format_ARGB32);
    qint64 covered = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            covered += qAlpha(p[col]) >= 128;
    }
    return double(covered) / (double(x.width()) * x.height());
}
