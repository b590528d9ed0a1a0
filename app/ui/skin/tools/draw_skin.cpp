// Draws every skin picture and the program icon as PNG files.
//
//   corvane_draw_skin OUTPUT_FOLDER
//
// Runs at build time on the offscreen platform. Everything is vector drawing with fixed
// inputs, so two runs produce identical files.

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

// The style sheet's colours, plus the bar blues, the raven's ink and the cancel red.
const QColor kBlue(0x3c, 0x89, 0xde);
const QColor kPale(0xea, 0xf0, 0xfb);
const QColor kSky(0xd4, 0xe9, 0xf8);
const QColor kDeep(0x00, 0x6c, 0xb0);
const QColor kInk(0x06, 0x14, 0x2a);
const QColor kBarTop(0x52, 0x9b, 0xe8);
const QColor kBarBottom(0x2a, 0x6d, 0xc2);
const QColor kRedDark(0xa8, 0x33, 0x2b);

enum class State { Normal, Hover, Down, Disabled };

QString g_outDir;
QString g_fontFamily = QStringLiteral("DejaVu Sans");
int g_failures = 0;

QColor alpha(QColor c, int a) {
    c.setAlpha(a);
    return c;
}

QImage canvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void begin(QPainter& p, QImage& img) {
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
}

void save(const QImage& img, const QString& name) {
    const QString path = g_outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "draw_skin: cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

QPainterPath rounded(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// A rounded face with a vertical gradient, a 1-px border on the pixel grid and a 1-px
// highlight just inside its top edge: the common body of every framed control.
struct Face {
    QColor top, bottom, border, highlight;
};

void drawFace(QPainter& p, const QRectF& outer, qreal radius, const Face& f) {
    const QRectF r = outer.adjusted(0.5, 0.5, -0.5, -0.5);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(r, f.top, f.bottom));
    p.drawPath(rounded(r, radius));
    if (f.highlight.alpha() > 0) {
        // Clip to the face so the highlight follows the rounded corners.
        p.setClipPath(rounded(r.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5));
        QLinearGradient hl(r.topLeft(), r.topRight());
        hl.setColorAt(0, alpha(f.highlight, 0));
        hl.setColorAt(0.15, f.highlight);
        hl.setColorAt(0.85, f.highlight);
        hl.setColorAt(1, alpha(f.highlight, 0));
        p.setPen(QPen(QBrush(hl), 1));
        p.drawLine(QPointF(r.left() + 1, r.top() + 1), QPointF(r.right() - 1, r.top() + 1));
        p.setClipping(false);
    }
    if (f.border.alpha() > 0) {
        p.setPen(QPen(f.border, 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(rounded(r, radius));
    }
    p.restore();
}

// A soft shadow under a shape: the shape blurred by stacking offset, faint copies.
void softShadow(QPainter& p, const QPainterPath& shape, QPointF offset, const QColor& c, int spread) {
    p.save();
    p.setPen(Qt::NoPen);
    for (int i = spread; i >= 1; --i) {
        QColor layer = c;
        layer.setAlphaF(c.alphaF() / spread);
        p.setBrush(layer);
        QPainterPathStroker stroker;
        stroker.setWidth(i * 1.2);
        stroker.setJoinStyle(Qt::RoundJoin);
        p.drawPath((stroker.createStroke(shape) + shape).translated(offset));
    }
    p.restore();
}

QFont uiFont(qreal pixelSize, bool bold) {
    QFont f(g_fontFamily);
    f.setPixelSize(qRound(pixelSize));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// Text as an outline, centred on a point: crisp at large sizes and free of hinting
// differences between glyph caches.
QPainterPath textPath(const QString& text, qreal pixelSize, bool bold, QPointF centre) {
    QFont f(g_fontFamily);
    f.setPixelSize(qRound(pixelSize));
    f.setBold(bold);
    QPainterPath path;
    path.addText(0, 0, f, text);
    const QRectF box = path.boundingRect();
    return path.translated(centre - box.center());
}

// ---------------------------------------------------------------------------------------
// Glyphs

// A sheet of paper with a folded corner holding a film frame, in a 22 x 28 box at the
// origin. The pale variant is the sheet behind another one.
void filmSheet(QPainter& p, bool outlined, bool pale, int shadowAlpha) {
    const QRectF page(0, 0, 22, 28);
    const qreal fold = 7;
    QPainterPath sheet;
    sheet.moveTo(2, 0);
    sheet.lineTo(22 - fold, 0);
    sheet.lineTo(22, fold);
    sheet.lineTo(22, 26);
    sheet.quadTo(22, 28, 20, 28);
    sheet.lineTo(2, 28);
    sheet.quadTo(0, 28, 0, 26);
    sheet.lineTo(0, 2);
    sheet.quadTo(0, 0, 2, 0);
    sheet.closeSubpath();

    softShadow(p, sheet, QPointF(0, 1.5), QColor(8, 40, 90, shadowAlpha), 3);
    p.setPen(outlined ? QPen(QColor(0x7f, 0xb0, 0xe6), 1) : QPen(Qt::NoPen));
    p.setBrush(vertical(page, QColor(255, 255, 255), QColor(0xdd, 0xea, 0xf9)));
    p.drawPath(sheet);
    p.setPen(Qt::NoPen);

    QPainterPath corner;
    corner.moveTo(22 - fold, 0);
    corner.lineTo(22 - fold, fold - 1.5);
    corner.quadTo(22 - fold, fold, 22 - fold + 1.5, fold);
    corner.lineTo(22, fold);
    corner.closeSubpath();
    p.setBrush(QColor(0xb4, 0xcf, 0xef));
    p.drawPath(corner);

    // Film frame with sprocket holes and a play mark.
    const QRectF film(4, 10, 14, 13);
    p.setBrush(vertical(film, pale ? QColor(0x8d, 0xbc, 0xee) : QColor(0x4d, 0x95, 0xe4),
                        pale ? QColor(0x5b, 0x9b, 0xe0) : kDeep));
    p.drawPath(rounded(film, 1.5));
    p.setBrush(QColor(255, 255, 255, 230));
    for (int i = 0; i < 4; ++i) {
        const qreal y = film.top() + 1.5 + i * 2.75;
        p.drawRect(QRectF(film.left() + 1, y, 1.5, 1.5));
        p.drawRect(QRectF(film.right() - 2.5, y, 1.5, 1.5));
    }
    QPainterPath play;
    const QPointF c = film.center();
    play.moveTo(c.x() - 2, c.y() - 3.2);
    play.lineTo(c.x() + 3, c.y());
    play.lineTo(c.x() - 2, c.y() + 3.2);
    play.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(play);
}

// The film sheet with a plus badge on its lower right corner: "add files".
void glyphAddFile(QPainter& p, QPointF o, bool dim) {
    p.save();
    p.translate(o);
    filmSheet(p, false, false, dim ? 40 : 90);
    const QPointF bc(21, 27);
    const qreal br = 7.5;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(bc, br, br);
    QRadialGradient badge(bc + QPointF(-2, -3), br * 1.6);
    badge.setColorAt(0, QColor(0x2f, 0x8d, 0xe0));
    badge.setColorAt(1, kDeep);
    p.setBrush(badge);
    p.drawEllipse(bc, br - 1.5, br - 1.5);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(bc + QPointF(-3, 0), bc + QPointF(3, 0));
    p.drawLine(bc + QPointF(0, -3), bc + QPointF(0, 3));
    p.restore();
}

// A white disc with a question mark.
void glyphHelp(QPainter& p, QPointF c, bool dim) {
    const qreal r = 12.5;
    QPainterPath disc;
    disc.addEllipse(c, r, r);
    softShadow(p, disc, QPointF(0, 1.5), QColor(8, 40, 90, dim ? 40 : 90), 3);
    p.setPen(Qt::NoPen);
    QLinearGradient g(c - QPointF(0, r), c + QPointF(0, r));
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(0xd9, 0xe8, 0xf9));
    p.setBrush(g);
    p.drawPath(disc);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r - 1, r - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), QColor(0x3a, 0x8c, 0xe2), kDeep));
    p.drawPath(textPath(QStringLiteral("?"), 19, true, c + QPointF(0.5, 0)));
}

// Two chevrons, up over down: the fold control for the profile area.
void glyphFold(QPainter& p, QPointF c, const QColor& col) {
    p.setPen(QPen(col, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath up;
    up.moveTo(c + QPointF(-4.5, -2));
    up.lineTo(c + QPointF(0, -6.5));
    up.lineTo(c + QPointF(4.5, -2));
    QPainterPath down;
    down.moveTo(c + QPointF(-4.5, 2));
    down.lineTo(c + QPointF(0, 6.5));
    down.lineTo(c + QPointF(4.5, 2));
    p.drawPath(up);
    p.drawPath(down);
}

// A folder, its flap open.
void glyphFolder(QPainter& p, QPointF o, bool lit) {
    QPainterPath back;
    back.moveTo(o + QPointF(0, 2));
    back.quadTo(o, o + QPointF(1.5, 0));
    back.lineTo(o + QPointF(6, 0));
    back.lineTo(o + QPointF(8, 2));
    back.lineTo(o + QPointF(15, 2));
    back.quadTo(o + QPointF(16.5, 2), o + QPointF(16.5, 3.5));
    back.lineTo(o + QPointF(16.5, 13));
    back.lineTo(o + QPointF(0, 13));
    back.closeSubpath();
    softShadow(p, back, QPointF(0, 1), QColor(8, 40, 90, 70), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(lit ? QColor(0xc9, 0xe0, 0xfa) : QColor(0xb9, 0xd4, 0xf3));
    p.drawPath(back);

    QPainterPath flap;
    flap.moveTo(o + QPointF(2.5, 5));
    flap.lineTo(o + QPointF(18.5, 5));
    flap.quadTo(o + QPointF(19.5, 5), o + QPointF(19.2, 6));
    flap.lineTo(o + QPointF(16.8, 12.6));
    flap.quadTo(o + QPointF(16.6, 13), o + QPointF(16, 13));
    flap.lineTo(o + QPointF(0, 13));
    flap.closeSubpath();
    const QRectF fr(o.x(), o.y() + 5, 19, 8);
    p.setBrush(vertical(fr, Qt::white, lit ? QColor(0xe9, 0xf2, 0xfd) : QColor(0xdc, 0xea, 0xfa)));
    p.drawPath(flap);
}

// ---------------------------------------------------------------------------------------
// Pictures

const char* stateName(State s) {
    switch (s) {
    case State::Normal: return "normal";
    case State::Hover: return "hover";
    case State::Down: return "down";
    case State::Disabled: return "disable";
    }
    return "";
}

// Top bar buttons sit on the blue bar: the glyph alone at rest, a frosted tile under the
// mouse, a sunken tile while pressed.
void barTile(QPainter& p, const QRectF& r, State s) {
    if (s == State::Hover) {
        drawFace(p, r, 6, {QColor(255, 255, 255, 70), QColor(255, 255, 255, 30), QColor(255, 255, 255, 120),
                           QColor(255, 255, 255, 110)});
    } else if (s == State::Down) {
        drawFace(p, r, 6, {QColor(4, 36, 84, 95), QColor(4, 36, 84, 55), QColor(4, 36, 84, 110),
                           QColor(0, 0, 0, 0)});
        // Inner shadow along the top edge sells the depth.
        p.save();
        p.setClipPath(rounded(r.adjusted(1, 1, -1, -1), 5));
        p.setPen(QPen(QColor(4, 30, 70, 70), 2));
        p.drawLine(QPointF(r.left(), r.top() + 1.5), QPointF(r.right(), r.top() + 1.5));
        p.restore();
    }
}

void drawAddButton(State s) {
    QImage img = canvas(39, 46);
    QPainter p;
    begin(p, img);
    barTile(p, QRectF(0, 1, 39, 44), s);
    const qreal dy = s == State::Down ? 1 : 0;
    glyphAddFile(p, QPointF(7, 7 + dy), s == State::Down);
    p.end();
    save(img, QStringLiteral("btnAdd_") + stateName(s));
}

void drawHelpButton(State s) {
    QImage img = canvas(39, 46);
    QPainter p;
    begin(p, img);
    barTile(p, QRectF(0, 1, 39, 44), s);
    const qreal dy = s == State::Down ? 1 : 0;
    glyphHelp(p, QPointF(19.5, 22.5 + dy), s == State::Down);
    p.end();
    save(img, QStringLiteral("btnHelp_") + stateName(s));
}

// Light framed controls on the blue bottom bar share these faces.
Face lightFace(State s) {
    switch (s) {
    case State::Hover:
        return {QColor(0xff, 0xff, 0xff), QColor(0xd3, 0xe6, 0xfa), QColor(0x15, 0x4f, 0x94), QColor(255, 255, 255)};
    case State::Down:
        return {QColor(0xc4, 0xd9, 0xf2), QColor(0xe4, 0xee, 0xfa), QColor(0x12, 0x45, 0x82), QColor(0, 0, 0, 0)};
    case State::Disabled:
        return {QColor(0xe2, 0xe5, 0xe9), QColor(0xcd, 0xd2, 0xd8), QColor(0x5b, 0x74, 0x93), QColor(255, 255, 255, 150)};
    case State::Normal:
        break;
    }
    return {QColor(0xfb, 0xfd, 0xff), QColor(0xdc, 0xea, 0xf9), QColor(0x1b, 0x58, 0xa0), QColor(255, 255, 255)};
}

void downShade(QPainter& p, const QRectF& r, qreal radius) {
    p.save();
    p.setClipPath(rounded(r.adjusted(1, 1, -1, -1), radius - 1));
    QLinearGradient g(r.topLeft(), r.topLeft() + QPointF(0, 5));
    g.setColorAt(0, QColor(10, 50, 110, 70));
    g.setColorAt(1, QColor(10, 50, 110, 0));
    p.fillRect(r, g);
    p.restore();
}

// The convert button and its cancel face: a light pill with a round emblem and a word.
void drawConvertButton(State s, bool cancel) {
    QImage img = canvas(88, 33);
    QPainter p;
    begin(p, img);
    const QRectF body(0, 0, 88, 32);
    // A one-pixel lip under the button lifts it off the bar.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(6, 34, 74, s == State::Down ? 40 : 80));
    p.drawPath(rounded(QRectF(0.5, 1.5, 87, 31), 7));
    drawFace(p, body, 7, lightFace(s));
    if (s == State::Down)
        downShade(p, body, 7);

    const qreal dy = s == State::Down ? 1 : 0;
    const QPointF ec(16.5, 16 + dy);
    const qreal er = 9.5;
    QColor e1, e2;
    if (s == State::Disabled) {
        e1 = QColor(0xb4, 0xbb, 0xc4);
        e2 = QColor(0x98, 0xa1, 0xac);
    } else if (cancel) {
        e1 = s == State::Hover ? QColor(0xe8, 0x62, 0x56) : QColor(0xdc, 0x58, 0x4c);
        e2 = kRedDark;
    } else {
        e1 = s == State::Hover ? QColor(0x5c, 0xa5, 0xf0) : QColor(0x4a, 0x97, 0xe8);
        e2 = kDeep;
    }
    QLinearGradient eg(ec - QPointF(0, er), ec + QPointF(0, er));
    eg.setColorAt(0, e1);
    eg.setColorAt(1, e2);
    p.setBrush(eg);
    p.drawEllipse(ec, er, er);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ec, er - 1, er - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (cancel) {
        p.drawPath(rounded(QRectF(ec.x() - 3.5, ec.y() - 3.5, 7, 7), 1.2));
    } else {
        // A play mark with softened corners.
        QPainterPath tri;
        tri.moveTo(ec + QPointF(-2.5, -4.5));
        tri.lineTo(ec + QPointF(4.5, 0));
        tri.lineTo(ec + QPointF(-2.5, 4.5));
        tri.closeSubpath();
        QPainterPathStroker round;
        round.setWidth(1.6);
        round.setJoinStyle(Qt::RoundJoin);
        p.drawPath(tri + round.createStroke(tri));
    }

    QColor ink;
    if (s == State::Disabled)
        ink = QColor(0x8c, 0x96, 0xa2);
    else if (cancel)
        ink = s == State::Hover ? kRedDark.darker(110) : kRedDark;
    else
        ink = s == State::Hover ? QColor(0x00, 0x5a, 0x96) : kDeep;
    const QString word = cancel ? QStringLiteral("Cancel") : QStringLiteral("Convert");
    p.setFont(uiFont(12, true));
    const QRectF textBox(27, dy, 58, 32);
    // A faint light edge below the letters keeps them crisp on the gradient.
    if (s != State::Disabled) {
        p.setPen(QColor(255, 255, 255, 150));
        p.drawText(textBox.translated(0, 1), Qt::AlignCenter, word);
    }
    p.setPen(ink);
    p.drawText(textBox, Qt::AlignCenter, word);
    p.end();
    save(img, QString::fromLatin1(cancel ? "btnConvert_cancel_" : "btnConvert_") + stateName(s));
}

// Fold button over the left end of the category bar.
void drawShowHide(State s) {
    QImage img = canvas(31, 27);
    QPainter p;
    begin(p, img);
    const QRectF r(3, 2, 25, 23);
    Face f;
    switch (s) {
    case State::Hover:
        f = {QColor(0xff, 0xff, 0xff), QColor(0xe4, 0xf0, 0xfc), QColor(0x6f, 0xa8, 0xe8), Qt::white};
        break;
    case State::Down:
        f = {QColor(0xbd, 0xd8, 0xf4), QColor(0xd8, 0xe9, 0xfa), QColor(0x4f, 0x8f, 0xd8), QColor(0, 0, 0, 0)};
        break;
    default:
        f = {QColor(0xf8, 0xfb, 0xff), QColor(0xdb, 0xea, 0xf9), QColor(0xa6, 0xc7, 0xec), Qt::white};
        break;
    }
    drawFace(p, r, 5, f);
    if (s == State::Down)
        downShade(p, r, 5);
    glyphFold(p, r.center() + QPointF(0, s == State::Down ? 1 : 0), s == State::Normal ? kBlue : kDeep);
    p.end();
    save(img, QStringLiteral("btnShowHide_") + stateName(s));
}

void drawOpenDir(State s) {
    QImage img = canvas(25, 22);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, 25, 22);
    if (s == State::Hover)
        drawFace(p, r, 4, {QColor(255, 255, 255, 80), QColor(255, 255, 255, 35), QColor(255, 255, 255, 140),
                           QColor(255, 255, 255, 120)});
    else if (s == State::Down)
        drawFace(p, r, 4, {QColor(4, 36, 84, 100), QColor(4, 36, 84, 60), QColor(4, 36, 84, 120), QColor(0, 0, 0, 0)});
    glyphFolder(p, QPointF(3, 4 + (s == State::Down ? 1 : 0)), s == State::Hover);
    p.end();
    save(img, QStringLiteral("btnOpenDir_") + stateName(s));
}

// The settings button carries its text from the style sheet; this is only its frame.
void drawSettingButton(State s) {
    QImage img = canvas(62, 26);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, 62, 26);
    drawFace(p, r, 4, lightFace(s));
    if (s == State::Down)
        downShade(p, r, 4);
    p.end();
    save(img, QStringLiteral("btnSetting_") + stateName(s));
}

// Frame of the current-profile button and the output folder box; only the middle stretches,
// so the rounded ends live in the outer ten pixels.
void drawCombo() {
    QImage img = canvas(230, 26);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, 230, 26);
    drawFace(p, r, 4, {QColor(0xf3, 0xf8, 0xfe), QColor(0xff, 0xff, 0xff), QColor(0x1b, 0x58, 0xa0), QColor(0, 0, 0, 0)});
    // A soft inner shadow under the top edge marks it as a field rather than a button.
    p.setClipPath(rounded(r.adjusted(1, 1, -1, -1), 3.5));
    QLinearGradient g(0, 1, 0, 5);
    g.setColorAt(0, QColor(20, 70, 140, 60));
    g.setColorAt(1, QColor(20, 70, 140, 0));
    p.fillRect(r, g);
    p.end();
    save(img, QStringLiteral("combox_normal"));
}

void drawCategoryTab(bool selected) {
    QImage img = canvas(82, 24);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, 82, 24);
    if (selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 80, 150, 45));
        p.drawPath(rounded(QRectF(0.5, 1.5, 81, 22.5), 6));
        drawFace(p, r.adjusted(0, 0, 0, -1), 6,
                 {QColor(0x5a, 0xa2, 0xec), QColor(0x2c, 0x74, 0xc8), QColor(0x24, 0x66, 0xb6), QColor(255, 255, 255, 110)});
    } else {
        drawFace(p, r.adjusted(0, 0, 0, -1), 6,
                 {QColor(255, 255, 255, 235), QColor(0xee, 0xf5, 0xfd, 235), QColor(0x9c, 0xc3, 0xee), Qt::white});
    }
    p.end();
    save(img, selected ? QStringLiteral("profile_cate_select") : QStringLiteral("profile_cate_hover"));
}

void drawProfileItem(State s) {
    QImage img = canvas(123, 81);
    QPainter p;
    begin(p, img);
    const QRectF r(1, 1, 121, 78);
    p.setPen(Qt::NoPen);
    if (s == State::Normal) {
        drawFace(p, r, 7, {QColor(255, 255, 255, 150), QColor(255, 255, 255, 70), QColor(0x3c, 0x89, 0xde, 60),
                           QColor(255, 255, 255, 200)});
    } else if (s == State::Hover) {
        p.setBrush(QColor(20, 80, 150, 35));
        p.drawPath(rounded(QRectF(1.5, 2.5, 120, 78), 7.5));
        drawFace(p, r, 7, {QColor(255, 255, 255), QColor(0xf1, 0xf7, 0xfe), QColor(0x7c, 0xb1, 0xea), Qt::white});
    } else {
        p.setBrush(QColor(10, 60, 130, 60));
        p.drawPath(rounded(QRectF(1.5, 2.5, 120, 78), 7.5));
        drawFace(p, r, 7, {QColor(0x5c, 0xa3, 0xec), QColor(0x25, 0x6c, 0xc0), QColor(0x1f, 0x60, 0xae),
                           QColor(255, 255, 255, 120)});
        // A gentle glow behind where the icon sits.
        QRadialGradient glow(QPointF(61.5, 30), 46);
        glow.setColorAt(0, QColor(255, 255, 255, 55));
        glow.setColorAt(1, QColor(255, 255, 255, 0));
        p.setClipPath(rounded(r.adjusted(1, 1, -1, -1), 6));
        p.fillRect(r, glow);
    }
    p.end();
    save(img, QStringLiteral("profileItem_") + (s == State::Normal ? "normal" : s == State::Hover ? "hover" : "selected"));
}

void drawPageArrow(bool next, bool hover) {
    QImage img = canvas(19, 28);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, 19, 28);
    QColor ink = kBlue;
    if (hover) {
        drawFace(p, r, 5, {QColor(0x5a, 0xa2, 0xec), QColor(0x2c, 0x74, 0xc8), QColor(0x24, 0x66, 0xb6),
                           QColor(255, 255, 255, 110)});
        ink = Qt::white;
    } else {
        drawFace(p, r, 5, {QColor(255, 255, 255, 150), QColor(255, 255, 255, 80), QColor(0x3c, 0x89, 0xde, 80),
                           QColor(255, 255, 255, 200)});
    }
    p.setPen(QPen(ink, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF c = r.center();
    const qreal d = next ? 1 : -1;
    QPainterPath chevron;
    chevron.moveTo(c + QPointF(-2.5 * d, -6));
    chevron.lineTo(c + QPointF(3 * d, 0));
    chevron.lineTo(c + QPointF(-2.5 * d, 6));
    p.drawPath(chevron);
    p.end();
    save(img, QString::fromLatin1(next ? "btnNext_" : "btnPre_") + (hover ? "hover" : "normal"));
}

void drawDelete() {
    QImage img = canvas(24, 24);
    QPainter p;
    begin(p, img);
    const QPointF c(12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(c + QPointF(0, 0.8), 10.5, 10.5);
    QLinearGradient g(0, 1.5, 0, 22.5);
    g.setColorAt(0, QColor(0xfe, 0xfe, 0xff));
    g.setColorAt(1, QColor(0xdb, 0xe2, 0xeb));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x8e, 0x9c, 0xad), 1));
    p.drawEllipse(c, 10, 10);
    p.setPen(QPen(QColor(255, 255, 255, 220), 1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3, 3, 18, 18), 30 * 16, 120 * 16);
    p.setPen(QPen(QColor(0x5c, 0x6b, 0x7e), 2.2, Qt::SolidLine, Qt::RoundCap));
    const qreal k = 4;
    p.drawLine(c + QPointF(-k, -k), c + QPointF(k, k));
    p.drawLine(c + QPointF(-k, k), c + QPointF(k, -k));
    p.end();
    save(img, QStringLiteral("btnDel"));
}

// A bar gradient with a bright top row and a dark bottom row, and two very soft sheens that
// survive being stretched to any window width.
void drawBar(int w, int h, const QString& name, bool bottomBar) {
    QImage img = canvas(w, h);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, w, h);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    if (bottomBar) {
        g.setColorAt(0, QColor(0x4a, 0x93, 0xe3));
        g.setColorAt(1, QColor(0x2b, 0x6f, 0xc4));
    } else {
        g.setColorAt(0, kBarTop);
        g.setColorAt(0.55, QColor(0x3c, 0x86, 0xdb));
        g.setColorAt(1, kBarBottom);
    }
    p.fillRect(r, g);

    QRadialGradient sheen(QPointF(w * 0.22, -h * 0.4), w * 0.45);
    sheen.setColorAt(0, QColor(255, 255, 255, bottomBar ? 28 : 40));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, sheen);
    QRadialGradient deep(QPointF(w * 0.85, h * 1.4), w * 0.4);
    deep.setColorAt(0, QColor(0, 40, 100, bottomBar ? 40 : 35));
    deep.setColorAt(1, QColor(0, 40, 100, 0));
    p.fillRect(r, deep);

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(bottomBar ? QColor(0x8a, 0xbd, 0xf2) : QColor(0x9c, 0xc9, 0xf5));
    p.drawLine(0, 0, w - 1, 0);
    p.setPen(bottomBar ? QColor(0x1a, 0x4f, 0x92) : QColor(0x1f, 0x5c, 0xa8));
    p.drawLine(0, h - 1, w - 1, h - 1);
    p.end();
    save(img, name);
}

void drawFrameNav() {
    QImage img = canvas(980, 29);
    QPainter p;
    begin(p, img);
    const QRectF r(0, 0, 980, 29);
    p.fillRect(r, vertical(r, QColor(0xf6, 0xf9, 0xfe), QColor(0xdd, 0xec, 0xfa)));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::white);
    p.drawLine(0, 0, 979, 0);
    p.setPen(QColor(0xb3, 0xd0, 0xef));
    p.drawLine(0, 28, 979, 28);
    p.end();
    save(img, QStringLiteral("frameNav"));
}

// Guide picture of the empty task list: two film sheets dropping into an open tray.
void drawGuide() {
    QImage img = canvas(119, 98);
    QPainter p;
    begin(p, img);

    // Tray: dashed drop zone with a solid lip.
    const QRectF zone(8.5, 40.5, 102, 52);
    p.setPen(QPen(QColor(0x9c, 0xc3, 0xee), 1.5, Qt::DashLine, Qt::RoundCap));
    p.setBrush(kPale);
    p.drawPath(rounded(zone, 9));
    QPainterPath lip;
    lip.moveTo(20, 72);
    lip.lineTo(40, 72);
    lip.quadTo(44, 72, 45.5, 76);
    lip.quadTo(47, 80, 51, 80);
    lip.lineTo(68, 80);
    lip.quadTo(72, 80, 73.5, 76);
    lip.quadTo(75, 72, 79, 72);
    lip.lineTo(99, 72);
    p.setPen(QPen(QColor(0x84, 0xb5, 0xde), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(lip);

    // Two sheets, fanned.
    auto sheet = [&](QPointF at, qreal angle, qreal scale, bool front) {
        p.save();
        p.translate(at);
        p.rotate(angle);
        p.scale(scale, scale);
        p.translate(-11, -14);
        filmSheet(p, true, !front, 60);
        p.restore();
    };
    sheet(QPointF(44, 26), -14, 1.05, false);
    sheet(QPointF(72, 30), 10, 1.15, true);

    // Arrow into the tray.
    const QPointF a(59.5, 50);
    QPainterPath arrow;
    arrow.moveTo(a + QPointF(-4, -10));
    arrow.lineTo(a + QPointF(4, -10));
    arrow.lineTo(a + QPointF(4, 0));
    arrow.lineTo(a + QPointF(9.5, 0));
    arrow.lineTo(a + QPointF(0, 10));
    arrow.lineTo(a + QPointF(-9.5, 0));
    arrow.lineTo(a + QPointF(-4, 0));
    arrow.closeSubpath();
    QPainterPathStroker round;
    round.setWidth(2);
    round.setJoinStyle(Qt::RoundJoin);
    const QPainterPath arrowShape = arrow + round.createStroke(arrow);
    softShadow(p, arrowShape, QPointF(0, 1), QColor(20, 70, 140, 70), 2);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(vertical(arrow.boundingRect(), QColor(0x5c, 0xa5, 0xf0), kDeep));
    p.drawPath(arrowShape);
    p.end();
    save(img, QStringLiteral("widgetTask"));
}

// ---------------------------------------------------------------------------------------
// The Corvane mark: a raven's head in profile, its heavy beak reaching into a play
// triangle, on a rounded blue tile with film sprockets. Drawn on a 128 grid and scaled;
// small sizes drop the fine detail and thicken what is left.

QPainterPath ravenHead() {
    QPainterPath h;
    const QPointF tip(101, 71);
    h.moveTo(tip);
    // Culmen: the upper beak edge arches and hooks down at the tip.
    h.cubicTo(93, 60, 80, 50, 66, 45);
    // Steep forehead, flat crown, rounded back of the head.
    h.cubicTo(62, 38, 56, 33, 47, 32);
    h.cubicTo(36, 31, 26, 38, 23, 50);
    // Nape down into the shaggy throat hackles.
    h.cubicTo(21, 60, 22, 72, 19, 86);
    h.lineTo(26, 83);
    h.lineTo(24, 97);
    h.lineTo(32, 89);
    h.lineTo(35, 103);
    h.lineTo(41, 92);
    h.lineTo(48, 104);
    h.lineTo(51, 91);
    h.lineTo(58, 98);
    // Throat up to the lower mandible, then along it to the tip.
    h.cubicTo(59, 88, 62, 81, 69, 77);
    h.quadTo(86, 76, tip.x(), tip.y());
    h.closeSubpath();
    return h;
}

QPainterPath playTriangle() {
    QPainterPath t;
    t.moveTo(51, 25);
    t.lineTo(111, 64);
    t.lineTo(51, 103);
    t.closeSubpath();
    QPainterPathStroker round;
    round.setWidth(12);
    round.setJoinStyle(Qt::RoundJoin);
    return (t + round.createStroke(t)).simplified();
}

void drawMark(QPainter& p, int size) {
    const qreal s = size / 128.0;
    const bool tiny = size <= 24;
    const bool small = size <= 48;
    const qreal px = 1.0 / s;  // one device pixel in grid units
    p.save();
    p.scale(s, s);

    // Tile.
    const qreal inset = tiny ? 0.5 * px : (small ? 3 : 4);
    const QRectF tile(inset, inset, 128 - 2 * inset, 128 - 2 * inset);
    const qreal radius = 28;
    const QPainterPath tilePath = rounded(tile, radius);
    if (!small) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(6, 30, 70, 45));
        p.drawPath(rounded(tile.translated(0, 1.5), radius));
    }
    QLinearGradient tg(tile.topLeft(), tile.bottomRight());
    tg.setColorAt(0, QColor(0x6a, 0xb2, 0xf4));
    tg.setColorAt(0.5, kBlue);
    tg.setColorAt(1, QColor(0x00, 0x5c, 0xa0));
    p.setPen(Qt::NoPen);
    p.setBrush(tg);
    p.drawPath(tilePath);
    if (!tiny) {
        QRadialGradient gloss(QPointF(36, -14), 112);
        gloss.setColorAt(0, QColor(255, 255, 255, 80));
        gloss.setColorAt(1, QColor(255, 255, 255, 0));
        p.setClipPath(tilePath);
        p.fillRect(tile, gloss);
        p.setClipping(false);
        p.setPen(QPen(QColor(255, 255, 255, 100), px));
        p.setBrush(Qt::NoBrush);
        p.drawPath(rounded(tile.adjusted(px, px, -px, -px), radius - px));
        p.setPen(Qt::NoPen);
    }

    // Film sprockets along the top and bottom edges.
    if (!small) {
        p.setBrush(QColor(255, 255, 255, 70));
        for (int i = 0; i < 7; ++i) {
            const qreal x = 22 + i * 13.5;
            p.drawPath(rounded(QRectF(x, 9, 7, 5), 1.5));
            p.drawPath(rounded(QRectF(x, 114, 7, 5), 1.5));
        }
    }

    // Play triangle.
    const QPainterPath play = playTriangle();
    if (!tiny) {
        p.setBrush(QColor(4, 28, 66, 60));
        p.drawPath(play.translated(0, 2));
    }
    QLinearGradient pg(QPointF(51, 25), QPointF(51, 103));
    pg.setColorAt(0, Qt::white);
    pg.setColorAt(1, kSky);
    p.setBrush(pg);
    p.drawPath(play);

    // The raven, cut out of the triangle by a gap in the tile's colour.
    const QPainterPath head = ravenHead();
    QPainterPathStroker gap;
    gap.setWidth(tiny ? 10 : 6);
    gap.setJoinStyle(Qt::RoundJoin);
    p.save();
    p.setClipPath(play);
    p.setBrush(tg);
    p.drawPath(gap.createStroke(head) + head);
    p.restore();

    QLinearGradient rg(QPointF(40, 30), QPointF(60, 104));
    rg.setColorAt(0, QColor(0x1d, 0x40, 0x6e));
    rg.setColorAt(1, kInk);
    p.setBrush(rg);
    p.drawPath(head);

    if (!small) {
        // Blue sheen along the crown and the culmen, as on a raven's plumage.
        p.save();
        p.setClipPath(head);
        QPainterPath sheen;
        sheen.moveTo(27, 52);
        sheen.cubicTo(30, 38, 42, 34, 50, 35);
        sheen.cubicTo(58, 36, 64, 42, 68, 48);
        sheen.cubicTo(80, 53, 90, 61, 97, 69);
        p.setPen(QPen(QColor(0x5b, 0x9c, 0xe6, 110), 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(sheen.translated(0, 2));
        p.restore();
        // The gape splits the mandibles.
        p.setPen(QPen(QColor(0x3b, 0x66, 0x9c), 1.6, Qt::SolidLine, Qt::RoundCap));
        QPainterPath gape;
        gape.moveTo(64, 63);
        gape.quadTo(80, 66, 97, 70);
        p.drawPath(gape);
        p.setPen(Qt::NoPen);
    }

    // Eye: a light ring so it reads on the dark head.
    const QPointF eye(46, 51);
    const qreal er = tiny ? 9 : (small ? 7.5 : 6.5);
    p.setBrush(QColor(0x8f, 0xc6, 0xff));
    p.drawEllipse(eye, er, er);
    if (!tiny) {
        p.setBrush(kInk);
        p.drawEllipse(eye, er * 0.62, er * 0.62);
        p.setBrush(Qt::white);
        p.drawEllipse(eye + QPointF(er * 0.25, -er * 0.3), er * 0.24, er * 0.24);
    }
    p.restore();
}

void drawLogo(int size, const QString& name) {
    QImage img = canvas(size, size);
    QPainter p;
    begin(p, img);
    drawMark(p, size);
    p.end();
    save(img, name);
}

void chooseFont() {
    // Load the font files directly where fontconfig knows them under another name.
    const QString dir = QStringLiteral("/usr/share/fonts/truetype/dejavu/");
    for (const char* file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
        if (QFile::exists(dir + QLatin1String(file)))
            QFontDatabase::addApplicationFont(dir + QLatin1String(file));
    }
    if (!QFontDatabase::families().contains(g_fontFamily)) {
        g_fontFamily = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        std::fprintf(stderr, "draw_skin: DejaVu Sans not found, using %s\n", qPrintable(g_fontFamily));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane_draw_skin OUTPUT_FOLDER\n");
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_outDir)) {
        std::fprintf(stderr, "draw_skin: cannot create %s\n", argv[1]);
        return 1;
    }
    chooseFont();

    for (State s : {State::Normal, State::Hover, State::Down}) {
        drawAddButton(s);
        drawHelpButton(s);
        drawConvertButton(s, true);
        drawShowHide(s);
        drawOpenDir(s);
        drawSettingButton(s);
    }
    for (State s : {State::Normal, State::Hover, State::Down, State::Disabled})
        drawConvertButton(s, false);
    drawCombo();
    drawCategoryTab(false);
    drawCategoryTab(true);
    for (State s : {State::Normal, State::Hover, State::Down})
        drawProfileItem(s);
    for (bool next : {false, true})
        for (bool hover : {false, true})
            drawPageArrow(next, hover);
    drawDelete();
    drawBar(980, 78, QStringLiteral("widgetTop"), false);
    drawBar(980, 52, QStringLiteral("widgetBottom"), true);
    drawFrameNav();
    drawGuide();
    drawLogo(128, QStringLiteral("logo"));
    for (int size : {16, 32, 48, 64, 128, 256})
        drawLogo(size, QStringLiteral("corvane-%1").arg(size));
    return g_failures == 0 ? 0 : 1;
}
