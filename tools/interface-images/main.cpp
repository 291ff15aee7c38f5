// pellucine-interface-images: draws the interface images of the program.
//
//   pellucine-interface-images OUTPUT_FOLDER LIST_FILE [FONT_FILE]
//
// Every image is drawn with QPainter at twice the size it is shown at, so it
// stays sharp on screens of device-pixel ratio 2; the widgets draw them at
// half size, and border images use slices twice their border widths. One
// dark theme: charcoal panels with a faint light rim and a dark outline,
// light grey glyphs on 2-pixel strokes, and one blue accent for what is
// active. The file names go to LIST_FILE, one a line, for the resource list.
// FONT_FILE (the bold Vera) sets the few words drawn into images.
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Draw = std::function<void(QPainter&, const QRectF&)>;

struct ImageEntry {
    const char* name;
    int width;
    int height;
    Draw draw;
};

// The palette of the theme.
const QColor kAccent(86, 158, 230);
const QColor kGlyph(218, 218, 218);
const QColor kGlyphDim(150, 150, 150);
const QColor kOutline(22, 22, 22);
const QColor kRim(255, 255, 255, 26);
QString gFontFamily;

QFont themeFont(qreal pixelSize) {
    QFont font(gFontFamily.isEmpty() ? QStringLiteral("Sans") : gFontFamily);
    font.setPixelSize(static_cast<int>(pixelSize));
    font.setBold(true);
    return font;
}

// A rounded panel: vertical gradient, dark outline, light rim along the top.
void panel(QPainter& p, const QRectF& box, qreal radius, QColor top, QColor bottom, QColor outline = kOutline) {
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(outline, 2.0));
    p.setBrush(fill);
    p.drawRoundedRect(box.adjusted(1, 1, -1, -1), radius, radius);
    p.setPen(QPen(kRim, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(3, 3, -3, -3), radius - 2, radius - 2);
}

// A soft shadow under a rounded box: a few widening translucent outlines.
void shadow(QPainter& p, const QRectF& box, qreal radius, int spread) {
    p.setBrush(Qt::NoBrush);
    for (int i = spread; i >= 1; --i) {
        p.setPen(QPen(QColor(0, 0, 0, 60 / spread), 2.0 * i));
        p.drawRoundedRect(box, radius, radius);
    }
}

QPen glyphPen(const QColor& color, qreal width = 2.6) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// ----- frames and backgrounds (border images) -----

void genericToolBg(QPainter& p, const QRectF& r) {
    panel(p, r.adjusted(2, 2, -2, -2), 14, QColor(74, 74, 74), QColor(60, 60, 60));
}

void toolPanelBg(QPainter& p, const QRectF& r) {
    panel(p, r.adjusted(1, 1, -1, -1), 12, QColor(54, 54, 54), QColor(46, 46, 46));
}

void floatingMenuBg(QPainter& p, const QRectF& r) {
    panel(p, r, 7, QColor(46, 46, 46), QColor(40, 40, 40), QColor(14, 14, 14));
}

void trayListBg(QPainter& p, const QRectF& r) {
    panel(p, r.adjusted(1, 1, -1, -1), 10, QColor(48, 48, 48), QColor(40, 40, 40), QColor(14, 14, 14));
}

void miniButtonBg(QPainter& p, const QRectF& r) {
    panel(p, r, 7, QColor(84, 84, 84), QColor(64, 64, 64));
}

void textEntryBg(QPainter& p, const QRectF& r) {
    const QRectF box = r.adjusted(1, 1, -1, -1);
    p.setPen(QPen(QColor(16, 16, 16), 2.0));
    p.setBrush(QColor(30, 30, 30));
    p.drawRoundedRect(box, 6, 6);
    // Inner shadow at the top, a light edge at the bottom: an inset field.
    p.setPen(QPen(QColor(0, 0, 0, 90), 2.0));
    p.drawLine(QPointF(box.left() + 6, box.top() + 3), QPointF(box.right() - 6, box.top() + 3));
    p.setPen(QPen(QColor(255, 255, 255, 22), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(box.left() + 6, box.bottom() + 1), QPointF(box.right() - 6, box.bottom() + 1));
}

void controlLabelBg(QPainter& p, const QRectF& r) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}

void activeMediaPanelBg(QPainter& p, const QRectF& r) {
    // A blue rim with a soft outer glow; the inside stays clear.
    const QRectF box = r.adjusted(5, 5, -5, -5);
    p.setBrush(Qt::NoBrush);
    for (int i = 4; i >= 1; --i) {
        p.setPen(QPen(QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 22 * (5 - i)), 2.0 * i));
        p.drawRoundedRect(box, 10, 10);
    }
    p.setPen(QPen(kAccent, 2.5));
    p.drawRoundedRect(box, 10, 10);
}

void mainBg(QPainter& p, const QRectF& r) {
    // A flat charcoal tile with a faint, repeatable grain (a fixed
    // pseudo-random sequence, so every build draws the same image).
    p.fillRect(r, QColor(58, 58, 58));
    uint32_t state = 12345u;
    for (int y = 0; y < static_cast<int>(r.height()); ++y) {
        for (int x = 0; x < static_cast<int>(r.width()); ++x) {
            state = state * 1664525u + 1013904223u;
            const int v = static_cast<int>((state >> 24) & 0xFF);
            if (v < 40) {
                p.fillRect(QRectF(x, y, 1, 1), QColor(0, 0, 0, 10));
            } else if (v > 215) {
                p.fillRect(QRectF(x, y, 1, 1), QColor(255, 255, 255, 7));
            }
        }
    }
}

void sliderBg(QPainter& p, const QRectF& r) {
    panel(p, r.adjusted(2, 2, -2, -2), 14, QColor(74, 74, 74), QColor(60, 60, 60));
    // The groove the handle runs in, in the middle row of the nine slices.
    const qreal y = r.center().y();
    const QRectF groove(36, y - 4, r.width() - 72, 8);
    p.setPen(QPen(QColor(18, 18, 18), 2.0));
    p.setBrush(QColor(34, 34, 34));
    p.drawRoundedRect(groove, 4, 4);
    p.setPen(QPen(QColor(255, 255, 255, 24), 2.0));
    p.drawLine(QPointF(groove.left() + 4, groove.bottom() + 2), QPointF(groove.right() - 4, groove.bottom() + 2));
}

void sliderHandle(QPainter& p, const QRectF& r) {
    const QRectF box = r.adjusted(4, 3, -4, -5);
    shadow(p, box.translated(0, 2), 7, 2);
    panel(p, box, 7, QColor(236, 236, 236), QColor(186, 186, 186), QColor(30, 30, 30));
    p.setPen(QPen(QColor(120, 120, 120), 2.0));
    p.drawLine(QPointF(box.center().x(), box.top() + 9), QPointF(box.center().x(), box.bottom() - 9));
}

void sliderTickmark(QPainter& p, const QRectF& r) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 150, 150));
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 1, 1);
}

void hueHandle(QPainter& p, const QRectF& r) {
    const QRectF box = r.adjusted(6, 4, -6, -6);
    shadow(p, box.translated(0, 2), 6, 2);
    p.setPen(QPen(QColor(20, 20, 20), 2.0));
    p.setBrush(QColor(240, 240, 240));
    p.drawRoundedRect(box, 6, 6);
    p.setPen(QPen(QColor(20, 20, 20), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(5, 5, -5, -5), 3, 3);
}

void colorIndicator(QPainter& p, const QRectF& r) {
    // A ring that reads on any colour: white inside a black outline.
    const QPointF c = r.center();
    const qreal radius = r.width() / 2.0 - 4;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 200), 6.0));
    p.drawEllipse(c, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255), 3.0));
    p.drawEllipse(c, radius, radius);
}

void hueIndicator(QPainter& p, const QRectF& r) {
    const QRectF box = r.adjusted(4, 3, -4, -3);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 200), 6.0));
    p.drawRoundedRect(box, 4, 4);
    p.setPen(QPen(QColor(255, 255, 255), 3.0));
    p.drawRoundedRect(box, 4, 4);
}

// ----- glyphs (32 x 32 unless said) -----

void ellipsisButton(QPainter& p, const QRectF& r) {
    panel(p, r.adjusted(2, 4, -2, -4), 7, QColor(84, 84, 84), QColor(64, 64, 64));
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    for (int i = -1; i <= 1; ++i) p.drawEllipse(QPointF(r.center().x() + i * 9, r.center().y() + 1), 2.6, 2.6);
}

void listChooserArrow(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    p.setPen(glyphPen(kGlyphDim, 2.8));
    p.drawPolyline(QPolygonF({c + QPointF(-6, -3), c + QPointF(0, 3.5), c + QPointF(6, -3)}));
}

void chevronDown(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    p.setPen(glyphPen(kGlyph, 2.8));
    p.drawPolyline(QPolygonF({c + QPointF(-6, -3), c + QPointF(0, 3.5), c + QPointF(6, -3)}));
}

void chevronRight(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    p.setPen(glyphPen(kGlyph, 2.8));
    p.drawPolyline(QPolygonF({c + QPointF(-3, -6), c + QPointF(3.5, 0), c + QPointF(-3, 6)}));
}

void crossGlyph(QPainter& p, const QPointF& c, qreal half, const QColor& color, qreal width) {
    p.setPen(glyphPen(color, width));
    p.drawLine(c + QPointF(-half, -half), c + QPointF(half, half));
    p.drawLine(c + QPointF(half, -half), c + QPointF(-half, half));
}

void miniIconClose(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    p.setPen(QPen(QColor(10, 10, 10), 2.0));
    p.setBrush(QColor(70, 70, 70));
    p.drawEllipse(c, r.width() / 2 - 2, r.height() / 2 - 2);
    crossGlyph(p, c, 5.5, kGlyph, 3.0);
}

void miniIconCancel(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    p.setPen(QPen(QColor(10, 10, 10), 2.0));
    p.setBrush(QColor(160, 62, 56));
    p.drawEllipse(c, r.width() / 2 - 2, r.height() / 2 - 2);
    crossGlyph(p, c, 5.5, QColor(255, 255, 255), 3.0);
}

void trashGlyph(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    p.setPen(glyphPen(kGlyph, 2.4));
    p.setBrush(Qt::NoBrush);
    // Lid, handle and can with three ribs.
    p.drawLine(c + QPointF(-10, -8), c + QPointF(10, -8));
    p.drawPolyline(QPolygonF({c + QPointF(-4, -8), c + QPointF(-4, -11.5), c + QPointF(4, -11.5), c + QPointF(4, -8)}));
    QPainterPath can;
    can.moveTo(c + QPointF(-8, -5));
    can.lineTo(c + QPointF(-6.5, 11));
    can.lineTo(c + QPointF(6.5, 11));
    can.lineTo(c + QPointF(8, -5));
    p.drawPath(can);
    for (int i = -1; i <= 1; ++i) p.drawLine(c + QPointF(i * 3.5, -1.5), c + QPointF(i * 3.0, 7.5));
}

void eyeGlyph(QPainter& p, const QRectF& r) {
    const QPointF c = r.center();
    QPainterPath eye;
    eye.moveTo(c + QPointF(-12, 0));
    eye.quadTo(c + QPointF(0, -12), c + QPointF(12, 0));
    eye.quadTo(c + QPointF(0, 12), c + QPointF(-12, 0));
    p.setPen(glyphPen(kGlyph, 2.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(eye);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawEllipse(c, 4.2, 4.2);
}

// A window outline with the side panel (right) or the tray (bottom) filled,
// and an arrow saying whether the button hides (out) or shows (in) it.
void panelGlyph(QPainter& p, const QRectF& r, bool side, bool hide) {
    const QRectF frame = r.adjusted(5, 7, -5, -7);
    p.setPen(glyphPen(kGlyph, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    QRectF part;
    if (side) {
        part = QRectF(frame.right() - 7, frame.top(), 7, frame.height());
    } else {
        part = QRectF(frame.left(), frame.bottom() - 6, frame.width(), 6);
    }
    p.drawRect(part);
    p.setPen(glyphPen(kGlyph, 2.2));
    const QPointF c = side ? QPointF(frame.left() + (frame.width() - 7) / 2, frame.center().y())
                           : QPointF(frame.center().x(), frame.top() + (frame.height() - 6) / 2);
    // Hiding pushes the part out (towards it), showing pulls it in.
    const qreal s = hide ? 1.0 : -1.0;
    if (side) {
        p.drawPolyline(QPolygonF({c + QPointF(-2.5 * s, -4), c + QPointF(2.5 * s, 0), c + QPointF(-2.5 * s, 4)}));
    } else {
        p.drawPolyline(QPolygonF({c + QPointF(-4, -2 * s), c + QPointF(0, 2 * s), c + QPointF(4, -2 * s)}));
    }
}

// View layout buttons: one view, two side by side, two stacked.
void viewLayoutGlyph(QPainter& p, const QRectF& r, int mode, bool active) {
    const QRectF frame = r.adjusted(6, 6, -6, -6);
    const QColor line = active ? QColor(255, 255, 255) : kGlyphDim;
    p.setPen(QPen(active ? QColor(20, 20, 20) : QColor(16, 16, 16), 2.0));
    p.setBrush(active ? QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 150) : QColor(50, 50, 50));
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 7, 7);
    p.setPen(glyphPen(line, 2.4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, 2.5, 2.5);
    if (mode == 1) p.drawLine(QPointF(frame.center().x(), frame.top()), QPointF(frame.center().x(), frame.bottom()));
    if (mode == 2) p.drawLine(QPointF(frame.left(), frame.center().y()), QPointF(frame.right(), frame.center().y()));
}

// Section icons of the tool panel.
void iconBasics(QPainter& p, const QRectF& r) {
    // Three slider lines with knobs: the basic adjustments.
    const QPointF c = r.center();
    const qreal xs[3] = {-4, 5, -1};
    for (int i = 0; i < 3; ++i) {
        const qreal y = c.y() - 8 + i * 8;
        p.setPen(glyphPen(kGlyphDim, 2.2));
        p.drawLine(QPointF(c.x() - 11, y), QPointF(c.x() + 11, y));
        p.setPen(QPen(QColor(30, 30, 30), 1.5));
        p.setBrush(kGlyph);
        p.drawEllipse(QPointF(c.x() + xs[i], y), 3.6, 3.6);
    }
}

void iconLight(QPainter& p, const QRectF& r) {
    // A sun: the light and tone tiles.
    const QPointF c = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 206, 98));
    p.drawEllipse(c, 6, 6);
    p.setPen(glyphPen(QColor(245, 206, 98), 2.4));
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        p.drawLine(c + QPointF(std::cos(a) * 9.5, std::sin(a) * 9.5), c + QPointF(std::cos(a) * 13, std::sin(a) * 13));
    }
}

void iconColor(QPainter& p, const QRectF& r) {
    // Three overlapping primaries: the colour tiles.
    const QPointF c = r.center();
    p.setPen(Qt::NoPen);
    p.setCompositionMode(QPainter::CompositionMode_Screen);
    p.setBrush(QColor(220, 60, 60));
    p.drawEllipse(c + QPointF(0, -4.5), 7.5, 7.5);
    p.setBrush(QColor(60, 190, 80));
    p.drawEllipse(c + QPointF(-4.5, 3.5), 7.5, 7.5);
    p.setBrush(QColor(70, 110, 230));
    p.drawEllipse(c + QPointF(4.5, 3.5), 7.5, 7.5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void iconPhotographic(QPainter& p, const QRectF& r) {
    // A camera: the photographic effects.
    const QPointF c = r.center();
    p.setPen(glyphPen(kGlyph, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(c.x() - 12, c.y() - 7, 24, 17), 3, 3);
    p.drawPolyline(QPolygonF({c + QPointF(-5, -7), c + QPointF(-3, -10.5), c + QPointF(3, -10.5), c + QPointF(5, -7)}));
    p.drawEllipse(c + QPointF(0, 1.5), 5, 5);
}

void iconSelectors(QPainter& p, const QRectF& r) {
    // A dashed selection around a filled half: the masks.
    const QPointF c = r.center();
    QPen dashed = glyphPen(kGlyph, 2.2);
    dashed.setDashPattern({2.0, 1.6});
    p.setPen(dashed);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(c.x() - 11, c.y() - 11, 22, 22), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyphDim);
    QPainterPath half;
    half.moveTo(c + QPointF(-7, 7));
    half.lineTo(c + QPointF(7, -7));
    half.lineTo(c + QPointF(7, 7));
    half.closeSubpath();
    p.drawPath(half);
}

void iconBorders(QPainter& p, const QRectF& r) {
    // A picture in a thick frame.
    const QPointF c = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(c.x() - 12, c.y() - 10, 24, 20), 2, 2);
    frame.addRect(QRectF(c.x() - 7.5, c.y() - 5.5, 15, 11));
    frame.setFillRule(Qt::OddEvenFill);
    p.drawPath(frame);
    p.setBrush(kGlyphDim);
    QPainterPath hill;
    hill.moveTo(c + QPointF(-7.5, 5.5));
    hill.lineTo(c + QPointF(-2, -0.5));
    hill.lineTo(c + QPointF(2, 3));
    hill.lineTo(c + QPointF(4, 1));
    hill.lineTo(c + QPointF(7.5, 5.5));
    hill.closeSubpath();
    p.drawPath(hill);
}

void iconUtility(QPainter& p, const QRectF& r) {
    // A wrench: sizing and repair.
    p.save();
    p.translate(r.center());
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawRoundedRect(QRectF(-2.8, -2, 5.6, 14), 2.5, 2.5);
    QPainterPath head;
    head.addEllipse(QPointF(0, -6), 7, 7);
    QPainterPath notch;
    notch.addRect(QRectF(-2.6, -14, 5.2, 8.5));
    p.drawPath(head.subtracted(notch));
    p.restore();
}

// ----- the start screen and the empty view -----

void photoGlyph(QPainter& p, const QRectF& box, const QColor& line, qreal width) {
    p.setPen(glyphPen(line, width));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, width * 2, width * 2);
    QPainterPath hills;
    hills.moveTo(box.left() + box.width() * 0.08, box.bottom() - box.height() * 0.14);
    hills.lineTo(box.left() + box.width() * 0.38, box.top() + box.height() * 0.45);
    hills.lineTo(box.left() + box.width() * 0.58, box.top() + box.height() * 0.66);
    hills.lineTo(box.left() + box.width() * 0.70, box.top() + box.height() * 0.54);
    hills.lineTo(box.right() - box.width() * 0.08, box.bottom() - box.height() * 0.14);
    p.drawPath(hills);
    p.drawEllipse(QPointF(box.left() + box.width() * 0.72, box.top() + box.height() * 0.28), box.width() * 0.07,
                  box.width() * 0.07);
}

void startupLoadPhoto(QPainter& p, const QRectF& r, bool high) {
    const QRectF box = r.adjusted(6, 6, -6, -6);
    p.setPen(Qt::NoPen);
    p.setBrush(high ? QColor(255, 255, 255, 22) : QColor(0, 0, 0, 40));
    p.drawRoundedRect(box, 24, 24);
    QPen dashed(high ? kAccent : QColor(130, 130, 130), 4.0, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
    dashed.setDashPattern({4.0, 3.0});
    p.setPen(dashed);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, 24, 24);
    const QColor line = high ? QColor(255, 255, 255) : QColor(190, 190, 190);
    const QRectF glyph(r.center().x() - 62, box.top() + 52, 124, 92);
    photoGlyph(p, glyph, line, 6.0);
    p.setPen(line);
    p.setFont(themeFont(34));
    p.drawText(QRectF(box.left(), glyph.bottom() + 22, box.width(), 48), Qt::AlignCenter,
               QStringLiteral("Open a Photo"));
    p.setPen(high ? QColor(210, 210, 210) : QColor(140, 140, 140));
    QFont small = themeFont(22);
    small.setBold(false);
    p.setFont(small);
    p.drawText(QRectF(box.left(), glyph.bottom() + 70, box.width(), 36), Qt::AlignCenter,
               QStringLiteral("or drop one here"));
}

void defaultImageThumb(QPainter& p, const QRectF& r) {
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, QColor(52, 52, 52));
    fill.setColorAt(1, QColor(40, 40, 40));
    p.fillRect(r, fill);
    const QRectF glyph(r.center().x() - 80, r.center().y() - 60, 160, 120);
    photoGlyph(p, glyph, QColor(72, 72, 72), 6.0);
}

std::vector<ImageEntry> imageEntries() {
    using namespace std::placeholders;
    return {
        // Border images (slices are twice the border widths the widgets use).
        {"generic_tool_bg.png", 128, 128, genericToolBg},
        {"toolpanelbg.png", 64, 64, toolPanelBg},
        {"floating_menu_bg_plain.png", 48, 48, floatingMenuBg},
        {"traylistbg.png", 64, 64, trayListBg},
        {"mini_button_bg.png", 32, 32, miniButtonBg},
        {"text_entry_bg.png", 32, 32, textEntryBg},
        {"control_label_bg.png", 16, 16, controlLabelBg},
        {"active_media_panel_bg.png", 64, 64, activeMediaPanelBg},
        {"slider_bg.png", 400, 108, sliderBg},
        {"main_bg.png", 256, 256, mainBg},
        // Handles and indicators.
        {"slider_handle.png", 28, 44, sliderHandle},
        {"slider_tickmark.png", 4, 14, sliderTickmark},
        {"hue_handle.png", 32, 40, hueHandle},
        {"color_chooser_color_indicator.png", 28, 28, colorIndicator},
        {"color_chooser_hue_indicator.png", 20, 40, hueIndicator},
        // Buttons and glyphs.
        {"button_ellipsis.png", 40, 40, ellipsisButton},
        {"list_chooser_arrow.png", 24, 24, listChooserArrow},
        {"preview_chooser_collapse.png", 24, 24, chevronDown},
        {"preview_chooser_uncollapse.png", 24, 24, chevronRight},
        {"mini_icon_close.png", 36, 36, miniIconClose},
        {"mini_icon_cancel.png", 36, 36, miniIconCancel},
        {"minib_icon_del.png", 32, 32, trashGlyph},
        {"minib_icon_visible.png", 32, 32, eyeGlyph},
        {"minib_icon_hide_p.png", 32, 32, std::bind(panelGlyph, _1, _2, true, true)},
        {"minib_icon_show_p.png", 32, 32, std::bind(panelGlyph, _1, _2, true, false)},
        {"minib_icon_hide_t.png", 32, 32, std::bind(panelGlyph, _1, _2, false, true)},
        {"minib_icon_show_t.png", 32, 32, std::bind(panelGlyph, _1, _2, false, false)},
        {"panels_single_inactive.png", 52, 40, std::bind(viewLayoutGlyph, _1, _2, 0, false)},
        {"panels_single_active.png", 52, 40, std::bind(viewLayoutGlyph, _1, _2, 0, true)},
        {"panels_vertical_inactive.png", 52, 40, std::bind(viewLayoutGlyph, _1, _2, 1, false)},
        {"panels_vertical_active.png", 52, 40, std::bind(viewLayoutGlyph, _1, _2, 1, true)},
        {"panels_horizontal_inactive.png", 52, 40, std::bind(viewLayoutGlyph, _1, _2, 2, false)},
        {"panels_horizontal_active.png", 52, 40, std::bind(viewLayoutGlyph, _1, _2, 2, true)},
        // Section icons of the tool panel.
        {"tools_icon_basics.png", 32, 32, iconBasics},
        {"tools_icon_light.png", 32, 32, iconLight},
        {"tools_icon_color.png", 32, 32, iconColor},
        {"tools_icon_photographic.png", 32, 32, iconPhotographic},
        {"tools_icon_selectors.png", 32, 32, iconSelectors},
        {"tools_icon_borders.png", 32, 32, iconBorders},
        {"tools_icon_utility.png", 32, 32, iconUtility},
        // The start screen and the empty view.
        {"startup_loadphoto.png", 440, 300, std::bind(startupLoadPhoto, _1, _2, false)},
        {"startup_loadphoto_high.png", 440, 300, std::bind(startupLoadPhoto, _1, _2, true)},
        {"default_image_thumb.png", 640, 426, defaultImageThumb},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: pellucine-interface-images OUTPUT_FOLDER LIST_FILE [FONT_FILE]\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    if (argc == 4) {
        const int id = QFontDatabase::addApplicationFont(QFile::decodeName(argv[3]));
        if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty()) {
            gFontFamily = QFontDatabase::applicationFontFamilies(id).first();
        }
    }
    const QString folder = QFile::decodeName(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "interface-images: cannot create %s\n", argv[1]);
        return 1;
    }
    QFile list(QFile::decodeName(argv[2]));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "interface-images: cannot write %s\n", argv[2]);
        return 1;
    }
    QTextStream names(&list);
    for (const ImageEntry& entry : imageEntries()) {
        QImage image(entry.width, entry.height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.setRenderHint(QPainter::TextAntialiasing);
            entry.draw(painter, QRectF(0, 0, entry.width, entry.height));
        }
        const QString path = folder + QLatin1Char('/') + QLatin1String(entry.name);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "interface-images: cannot write %s\n", qPrintable(path));
            return 1;
        }
        names << entry.name << '\n';
    }
    return 0;
}
