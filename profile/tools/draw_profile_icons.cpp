// Draws the profile icons that the catalogue documents name and writes the resource list that
// bundles them with the documents.
//
//   draw_profile_icons OUTPUT_DIR PROFILELIST_XML FORMAT_XML
//
// An icon name is a shape, optionally followed by "_" and a short label: "tablet", "note_mp3".
// The label is printed in capitals on a badge, so one shape serves many formats. The pictures
// are 160x100, twice the chooser's 80x50 icon box, on a transparent background.
//
// Writes OUTPUT_DIR/ICONS/<name>.png for every name and OUTPUT_DIR/profile.qrc, which places
// the documents at :/profile/ and the pictures at :/profile/ICONS/.

#include <QBrush>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <numbers>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 100;

// One palette for every icon: slate bodies, blue screens, one accent per family of shapes.
const QColor kInk(0x1d, 0x28, 0x35);
const QColor kBodyTop(0x4a, 0x5d, 0x75);
const QColor kBodyBottom(0x2a, 0x37, 0x48);
const QColor kScreenTop(0x86, 0xcc, 0xff);
const QColor kScreenBottom(0x2a, 0x74, 0xc8);
const QColor kPaper(0xf4, 0xf6, 0xf9);
const QColor kMetalTop(0xf1, 0xf4, 0xf8);
const QColor kMetalBottom(0xb4, 0xc0, 0xcd);
const QColor kOrange(0xe8, 0x77, 0x2e);
const QColor kBlue(0x2f, 0x7f, 0xd1);
const QColor kTeal(0x17, 0x9c, 0x9a);
const QColor kPurple(0x8a, 0x5c, 0xc6);
const QColor kGreen(0x2f, 0xa8, 0x64);
const QColor kRed(0xd9, 0x4a, 0x4a);

QLinearGradient vertical(double top, double bottom, const QColor& a, const QColor& b) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

QPen outline(double width = 2.0) {
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A dark device shell with a soft top-to-bottom shade.
void body(QPainter& p, const QRectF& r, double radius) {
    p.setPen(outline());
    p.setBrush(vertical(r.top(), r.bottom(), kBodyTop, kBodyBottom));
    p.drawRoundedRect(r, radius, radius);
}

// A lit screen with a diagonal gloss across its upper half.
void screen(QPainter& p, const QRectF& r, double radius = 2) {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(vertical(r.top(), r.bottom(), kScreenTop, kScreenBottom));
    p.drawRoundedRect(r, radius, radius);
    QPainterPath gloss;
    gloss.moveTo(r.topLeft());
    gloss.lineTo(r.left() + r.width() * 0.62, r.top());
    gloss.lineTo(r.left() + r.width() * 0.30, r.top() + r.height() * 0.55);
    gloss.lineTo(r.left(), r.top() + r.height() * 0.55);
    gloss.closeSubpath();
    QPainterPath clip;
    clip.addRoundedRect(r.adjusted(0.6, 0.6, -0.6, -0.6), radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 46));
    p.drawPath(gloss.intersected(clip));
}

void playMark(QPainter& p, QPointF centre, double size) {
    QPainterPath tri;
    tri.moveTo(centre.x() - size * 0.40, centre.y() - size * 0.50);
    tri.lineTo(centre.x() + size * 0.55, centre.y());
    tri.lineTo(centre.x() - size * 0.40, centre.y() + size * 0.50);
    tri.closeSubpath();
    p.setPen(QPen(QColor(255, 255, 255, 235), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawPath(tri);
}

void drawFilm(QPainter& p) {
    const QRectF strip(14, 12, 132, 76);
    body(p, strip, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    for (double x = 21; x < strip.right() - 8; x += 15) {
        p.drawRoundedRect(QRectF(x, 17, 8, 7), 1.5, 1.5);
        p.drawRoundedRect(QRectF(x, 76, 8, 7), 1.5, 1.5);
    }
    for (int i = 0; i < 3; ++i)
        screen(p, QRectF(20 + i * 41.3, 30, 37, 40), 2.5);
    playMark(p, QPointF(80.5, 50), 20);
}

void drawPhone(QPainter& p) {
    body(p, QRectF(55, 4, 50, 92), 10);
    screen(p, QRectF(59.5, 14, 41, 68), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(72, 8, 16, 2.6), 1.3, 1.3);
    p.setPen(QPen(kMetalBottom, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(80, 89), 3.4, 3.4);
    playMark(p, QPointF(80.5, 48), 18);
}

void drawTablet(QPainter& p) {
    body(p, QRectF(14, 10, 132, 80), 10);
    screen(p, QRectF(26, 17, 108, 66), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(20, 50), 1.8, 1.8);
    p.setPen(QPen(kMetalBottom, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(140, 50), 3.2, 3.2);
    playMark(p, QPointF(80.5, 50), 24);
}

void drawTv(QPainter& p) {
    QPainterPath stand;
    stand.moveTo(70, 76);
    stand.lineTo(90, 76);
    stand.lineTo(98, 89);
    stand.lineTo(62, 89);
    stand.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(76, 89, kBodyTop, kBodyBottom));
    p.drawPath(stand);
    body(p, QRectF(46, 87, 68, 7), 3.5);
    body(p, QRectF(10, 6, 140, 72), 5);
    screen(p, QRectF(15, 11, 130, 62), 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen.lighter(130));
    p.drawEllipse(QPointF(140, 75.5), 1.3, 1.3);
    playMark(p, QPointF(80.5, 42), 24);
}

void drawPlayer(QPainter& p) {
    body(p, QRectF(54, 4, 52, 92), 10);
    screen(p, QRectF(60, 10, 40, 34), 2);
    // Click wheel with its centre button.
    QRadialGradient ring(QPointF(80, 66), 20);
    ring.setColorAt(0, kMetalTop);
    ring.setColorAt(1, kMetalBottom);
    p.setPen(outline(1.5));
    p.setBrush(ring);
    p.drawEllipse(QPointF(80, 70), 19, 19);
    p.setBrush(vertical(63, 77, kBodyTop, kBodyBottom));
    p.drawEllipse(QPointF(80, 70), 7, 7);
    // Marks on the wheel: menu, back, forward, play.
    p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(76, 56), QPointF(84, 56));
    p.drawLine(QPointF(66, 67), QPointF(66, 73));
    p.drawLine(QPointF(94, 67), QPointF(94, 73));
    p.drawLine(QPointF(78, 84), QPointF(82, 84));
    // A track list on the screen.
    p.setPen(QPen(QColor(255, 255, 255, 200), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(65, 17 + i * 6.5), QPointF(i % 2 ? 86 : 93, 17 + i * 6.5));
}

void drawFeaturePhone(QPainter& p) {
    body(p, QRectF(57, 3, 46, 94), 9);
    screen(p, QRectF(62, 11, 36, 31), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(74, 6, 12, 2.4), 1.2, 1.2);
    // Call keys, then the 3x4 keypad.
    p.setBrush(kGreen);
    p.drawRoundedRect(QRectF(63, 46, 11, 5), 2.5, 2.5);
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(86, 46, 11, 5), 2.5, 2.5);
    p.setBrush(vertical(54, 92, kMetalTop, kMetalBottom));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(63 + col * 12, 55 + row * 9.5, 10, 6.5), 2, 2);
    playMark(p, QPointF(80.5, 26.5), 12);
}

void drawBell(QPainter& p) {
    const double cx = 74;
    // Sound waves on both sides.
    p.setPen(QPen(kBlue, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const double r = 36 + i * 10;
        const QRectF arc(cx - r, 46 - r, 2 * r, 2 * r);
        p.drawArc(arc, (150 + i * 4) * 16, (56 - i * 8) * 16);
        p.drawArc(arc, (-26 + i * 4) * 16, (56 - i * 8) * 16);
    }
    p.setPen(outline());
    p.setBrush(vertical(78, 94, kBodyTop, kBodyBottom));
    p.drawEllipse(QPointF(cx, 86), 8, 8);  // clapper
    QPainterPath bell;
    bell.moveTo(cx - 28, 76);
    bell.cubicTo(cx - 22, 66, cx - 26, 36, cx - 16, 22);
    bell.cubicTo(cx - 8, 10, cx + 8, 10, cx + 16, 22);
    bell.cubicTo(cx + 26, 36, cx + 22, 66, cx + 28, 76);
    bell.cubicTo(cx + 35, 80, cx + 35, 85, cx + 28, 85);
    bell.lineTo(cx - 28, 85);
    bell.cubicTo(cx - 35, 85, cx - 35, 80, cx - 28, 76);
    bell.closeSubpath();
    p.setBrush(vertical(10, 85, kBodyTop, kBodyBottom));
    p.drawPath(bell);
    p.drawEllipse(QPointF(cx, 9), 5, 5);
    p.setPen(QPen(QColor(255, 255, 255, 70), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx - 11, 28), QPointF(cx - 15, 62));
}

void drawBook(QPainter& p) {
    // Headphones arching over an open book.
    p.setPen(QPen(kInk, 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(28, 4, 104, 84), 20 * 16, 140 * 16);
    p.setPen(QPen(kBodyTop, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(28, 4, 104, 84), 20 * 16, 140 * 16);
    for (double x : {22.0, 124.0}) {
        p.setPen(outline());
        p.setBrush(vertical(30, 60, kBodyTop, kBodyBottom));
        p.drawRoundedRect(QRectF(x, 30, 14, 30), 6, 6);
    }
    for (int side = 0; side < 2; ++side) {
        const double s = side ? 1 : -1;
        QPainterPath page;
        page.moveTo(80, 48);
        page.cubicTo(80 + s * 14, 42, 80 + s * 32, 42, 80 + s * 44, 46);
        page.lineTo(80 + s * 44, 90);
        page.cubicTo(80 + s * 32, 86, 80 + s * 14, 86, 80, 92);
        page.closeSubpath();
        p.setPen(outline(1.8));
        p.setBrush(side ? kPaper : kPaper.darker(104));
        p.drawPath(page);
        p.setPen(QPen(QColor(0x9a, 0xa8, 0xb8), 1.6, Qt::SolidLine, Qt::RoundCap));
        for (int line = 0; line < 4; ++line) {
            const double y = 56 + line * 8;
            p.drawLine(QPointF(80 + s * 8, y), QPointF(80 + s * (line == 3 ? 26 : 37), y - 1));
        }
    }
}

void drawMonitor(QPainter& p) {
    p.setPen(outline());
    p.setBrush(vertical(72, 86, kBodyTop, kBodyBottom));
    p.drawRect(QRectF(72, 72, 16, 14));
    body(p, QRectF(52, 84, 56, 9), 4);
    body(p, QRectF(20, 5, 120, 70), 5);
    screen(p, QRectF(26, 11, 108, 58), 1.5);
    // A document window on the desktop.
    const QRectF window(44, 21, 66, 40);
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRoundedRect(window, 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(window.left(), window.top(), window.width(), 7), 2, 2);
    p.setBrush(vertical(window.top() + 10, window.bottom() - 3, kScreenTop, kScreenBottom));
    p.drawRect(QRectF(window.left() + 3, window.top() + 10, window.width() - 6, window.height() - 13));
    playMark(p, QPointF(window.center().x(), window.center().y() + 3.5), 14);
}

void drawConsole(QPainter& p) {
    QPainterPath pad;
    pad.addRoundedRect(QRectF(22, 26, 116, 42), 20, 20);
    QPainterPath grips;
    grips.addEllipse(QPointF(42, 66), 18, 24);
    grips.addEllipse(QPointF(118, 66), 18, 24);
    pad = pad.united(grips);
    p.setPen(outline());
    p.setBrush(vertical(26, 90, kBodyTop, kBodyBottom));
    p.drawPath(pad);
    // Direction pad.
    p.setPen(Qt::NoPen);
    p.setBrush(kMetalTop);
    p.drawRoundedRect(QRectF(34, 42, 20, 7), 1.5, 1.5);
    p.drawRoundedRect(QRectF(40.5, 35.5, 7, 20), 1.5, 1.5);
    // Four face buttons.
    const QColor faces[] = {kGreen, kRed, kBlue, kOrange};
    const QPointF at[] = {{118, 53}, {127, 45}, {109, 45}, {118, 37}};
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(faces[i]);
        p.drawEllipse(at[i], 4.2, 4.2);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kMetalBottom);
    p.drawRoundedRect(QRectF(68, 43, 9, 4), 2, 2);
    p.drawRoundedRect(QRectF(83, 43, 9, 4), 2, 2);
    // Thumb sticks.
    for (double x : {62.0, 98.0}) {
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kBodyBottom.darker(130));
        p.drawEllipse(QPointF(x, 60), 7, 7);
        p.setBrush(kBodyTop);
        p.drawEllipse(QPointF(x, 60), 4, 4);
    }
}

void drawHandheld(QPainter& p) {
    body(p, QRectF(8, 24, 144, 54), 27);
    screen(p, QRectF(42, 30, 76, 42), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kMetalTop);
    p.drawRoundedRect(QRectF(17, 48, 17, 6), 1.5, 1.5);
    p.drawRoundedRect(QRectF(22.5, 42.5, 6, 17), 1.5, 1.5);
    const QPointF at[] = {{135, 59}, {143, 51}, {127, 51}, {135, 43}};
    for (const QPointF& c : at) {
        p.setPen(QPen(kInk, 1.0));
        p.setBrush(kMetalBottom);
        p.drawEllipse(c, 3.5, 3.5);
    }
    playMark(p, QPointF(80.5, 51), 18);
}

void drawGlobe(QPainter& p) {
    const QPointF c(74, 50);
    const double r = 42;
    QRadialGradient sea(QPointF(c.x() - 14, c.y() - 16), r * 1.5);
    sea.setColorAt(0, kScreenTop);
    sea.setColorAt(1, kScreenBottom);
    p.setPen(outline());
    p.setBrush(sea);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(QColor(255, 255, 255, 190), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r * 0.42, r - 1);
    p.drawLine(QPointF(c.x(), c.y() - r + 1), QPointF(c.x(), c.y() + r - 1));
    p.drawLine(QPointF(c.x() - r + 1, c.y()), QPointF(c.x() + r - 1, c.y()));
    for (double dy : {-0.55, 0.55}) {
        const double y = c.y() + dy * r;
        const double half = std::sqrt(r * r - (dy * r) * (dy * r)) - 1.5;
        p.drawLine(QPointF(c.x() - half, y), QPointF(c.x() + half, y));
    }
    p.setPen(outline());
    p.drawEllipse(c, r, r);
}

void drawDisc(QPainter& p) {
    const QPointF c(74, 50);
    QRadialGradient metal(QPointF(c.x() - 12, c.y() - 14), 60);
    metal.setColorAt(0, kMetalTop);
    metal.setColorAt(1, kMetalBottom);
    p.setPen(outline());
    p.setBrush(metal);
    p.drawEllipse(c, 44, 44);
    // Rainbow sheen that a pressed disc throws back.
    QConicalGradient sheen(c, 35);
    sheen.setColorAt(0.00, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.08, QColor(0x86, 0xcc, 0xff, 150));
    sheen.setColorAt(0.16, QColor(0xc9, 0x9c, 0xf0, 140));
    sheen.setColorAt(0.24, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.50, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.58, QColor(0xff, 0xd6, 0x8a, 140));
    sheen.setColorAt(0.66, QColor(0x8c, 0xe0, 0xb4, 140));
    sheen.setColorAt(0.74, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.00, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawEllipse(c, 42.5, 42.5);
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(0xdd, 0xe3, 0xea));
    p.drawEllipse(c, 15, 15);
    // The hole is real: cut it out of the picture.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setBrush(Qt::black);
    p.drawEllipse(c, 6, 6);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(outline(1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 6, 6);
}

void drawCamera(QPainter& p) {
    // Two film reels on a cine camera with its lens hood to the right.
    for (const auto& [x, r] : {std::pair{46.0, 16.0}, std::pair{82.0, 18.0}}) {
        const QPointF c(x, 24 + (18 - r));
        p.setPen(outline());
        p.setBrush(vertical(c.y() - r, c.y() + r, kBodyTop, kBodyBottom));
        p.drawEllipse(c, r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(kMetalTop);
        for (int i = 0; i < 3; ++i) {
            const double a = (i * 120 + 90) * std::numbers::pi / 180;
            p.drawEllipse(QPointF(c.x() + std::cos(a) * r * 0.52, c.y() - std::sin(a) * r * 0.52),
                          r * 0.2, r * 0.2);
        }
        p.drawEllipse(c, 2, 2);
    }
    QPainterPath hood;
    hood.moveTo(112, 54);
    hood.lineTo(146, 42);
    hood.lineTo(146, 86);
    hood.lineTo(112, 74);
    hood.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(42, 86, kBodyTop, kBodyBottom));
    p.drawPath(hood);
    body(p, QRectF(22, 44, 92, 46), 7);
    screen(p, QRectF(30, 52, 36, 24), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(104, 53), 3, 3);
    playMark(p, QPointF(48.5, 64), 12);
}

void drawNote(QPainter& p) {
    // Beamed quavers, kept left of the badge corner.
    QPainterPath note;
    note.addRect(QRectF(58, 16, 7, 62));
    note.addRect(QRectF(101, 8, 7, 62));
    QPainterPath beam;
    beam.moveTo(58, 16);
    beam.lineTo(108, 6);
    beam.lineTo(108, 20);
    beam.lineTo(58, 30);
    beam.closeSubpath();
    note = note.united(beam);
    for (const QPointF& head : {QPointF(48, 80), QPointF(91, 72)}) {
        QPainterPath h;
        h.addEllipse(QPointF(0, 0), 16, 11);
        QTransform t;
        t.translate(head.x(), head.y());
        t.rotate(-22);
        note = note.united(t.map(h));
    }
    p.setPen(outline());
    p.setBrush(vertical(6, 92, kBodyTop, kBodyBottom));
    p.drawPath(note.simplified());
    p.setPen(QPen(QColor(255, 255, 255, 70), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(64, 22), QPointF(102, 14.5));
}

void drawMic(QPainter& p) {
    p.setPen(QPen(kInk, 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(56, 20, 48, 52), 180 * 16, 180 * 16);
    p.drawLine(QPointF(80, 72), QPointF(80, 86));
    p.setPen(QPen(kBodyTop, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(56, 20, 48, 52), 180 * 16, 180 * 16);
    p.drawLine(QPointF(80, 72), QPointF(80, 86));
    body(p, QRectF(60, 86, 40, 8), 4);
    QLinearGradient capsule(66, 0, 94, 0);
    capsule.setColorAt(0, kMetalBottom);
    capsule.setColorAt(0.4, kMetalTop);
    capsule.setColorAt(1, kMetalBottom);
    p.setPen(outline());
    p.setBrush(capsule);
    p.drawRoundedRect(QRectF(66, 4, 28, 56), 14, 14);
    p.setPen(QPen(QColor(0x7d, 0x8b, 0x9b), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(71, 16 + i * 7), QPointF(89, 16 + i * 7));
}

struct Shape {
    std::function<void(QPainter&)> draw;
    QColor badge;
};

const std::map<QString, Shape>& shapes() {
    static const std::map<QString, Shape> table = {
        {"film", {drawFilm, kOrange}},       {"camera", {drawCamera, kOrange}},
        {"phone", {drawPhone, kBlue}},       {"tablet", {drawTablet, kBlue}},
        {"tv", {drawTv, kBlue}},             {"player", {drawPlayer, kBlue}},
        {"featurephone", {drawFeaturePhone, kBlue}},
        {"monitor", {drawMonitor, kBlue}},   {"console", {drawConsole, kBlue}},
        {"handheld", {drawHandheld, kBlue}}, {"globe", {drawGlobe, kTeal}},
        {"disc", {drawDisc, kPurple}},       {"note", {drawNote, kGreen}},
        {"bell", {drawBell, kGreen}},        {"book", {drawBook, kGreen}},
        {"mic", {drawMic, kGreen}},
    };
    return table;
}

void drawBadge(QPainter& p, const QString& text, const QColor& colour) {
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(text.size() > 3 ? 16 : 18);
    const QFontMetricsF metrics(font);
    const double width = std::max(40.0, metrics.horizontalAdvance(text) + 14);
    const QRectF badge(kWidth - 3 - width, kHeight - 3 - 28, width, 28);
    // The white rim keeps the badge readable where it overlaps the picture.
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(vertical(badge.top(), badge.bottom(), colour.lighter(115), colour.darker(112)));
    p.drawRoundedRect(badge, 7, 7);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(badge.adjusted(0, 0, 0, -1), Qt::AlignCenter, text);
}

QImage drawIcon(const Shape& shape, const QString& label) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    shape.draw(p);
    if (!label.isEmpty())
        drawBadge(p, label.toUpper(), shape.badge);
    p.end();
    return image;
}

bool collectIcons(const QString& path, QSet<QString>& names) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            const QString icon = xml.attributes().value("Icon").toString();
            if (!icon.isEmpty())
                names.insert(icon);
        }
    }
    if (xml.hasError()) {
        std::fprintf(stderr, "%s:%lld: %s\n", qPrintable(path), xml.lineNumber(),
                     qPrintable(xml.errorString()));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR PROFILELIST_XML FORMAT_XML\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString listPath = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const QString formatPath = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath();

    // Without a font the badges would come out as empty lozenges.
    if (QFontDatabase::families().isEmpty()) {
        std::fprintf(stderr, "no fonts available to label the icons\n");
        return 1;
    }

    QSet<QString> nameSet;
    if (!collectIcons(listPath, nameSet) || !collectIcons(formatPath, nameSet))
        return 1;
    QStringList names = nameSet.values();
    names.sort();

    if (!out.mkpath("ICONS")) {
        std::fprintf(stderr, "cannot create %s/ICONS\n", qPrintable(out.path()));
        return 1;
    }
    const QDir icons(out.filePath("ICONS"));
    // Pictures of names the documents no longer use must not linger in the bundle's folder.
    for (const QString& stale : icons.entryList({"*.png"}, QDir::Files))
        if (!nameSet.contains(QFileInfo(stale).completeBaseName()))
            QFile::remove(icons.filePath(stale));

    static const QRegularExpression pattern("^([a-z]+)(?:_([a-z0-9]{1,5}))?$");
    for (const QString& name : names) {
        const QRegularExpressionMatch m = pattern.match(name);
        const auto shape = m.hasMatch() ? shapes().find(m.captured(1)) : shapes().end();
        if (shape == shapes().end()) {
            std::fprintf(stderr, "icon \"%s\": no such shape (expected shape or shape_label)\n",
                         qPrintable(name));
            return 1;
        }
        const QString file = icons.filePath(name + ".png");
        if (!drawIcon(shape->second, m.captured(2)).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }

    QFile qrc(out.filePath("profile.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(qrc.fileName()));
        return 1;
    }
    QTextStream s(&qrc);
    s << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    s << "  <file alias=\"profile/profilelist.xml\">" << listPath.toHtmlEscaped() << "</file>\n";
    s << "  <file alias=\"profile/format.xml\">" << formatPath.toHtmlEscaped() << "</file>\n";
    for (const QString& name : names)
        s << "  <file alias=\"profile/ICONS/" << name << ".png\">"
          << icons.absoluteFilePath(name + ".png").toHtmlEscaped() << "</file>\n";
    s << "</qresource>\n</RCC>\n";
    s.flush();
    return qrc.error() == QFile::NoError ? 0 : 1;
}
