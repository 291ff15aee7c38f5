// pellucine-frame-generator: draws the built-in border frames.
//
//   pellucine-frame-generator OUTPUT_FOLDER
//
// Writes every frame twice into the folder as PNG, at its full size and as
// a thumbnail, and frames.qrc listing them under the prefix "/img". Each
// frame is opaque outside its window and transparent inside it, the
// window's edges given as fractions of the frame's sides (the insets the
// border tiles use); the frame overlaps the window by a pixel or two so no
// seam of the photo shows. Frames without insets are painted over the whole
// photo by their alpha. Both sizes come from the same drawing code in
// coordinates relative to the frame, so the thumbnail looks like the full
// frame. Textures come from a seeded value noise: the output is the same on
// every run and machine.
//
// Exit status 0 on success; a failure prints one line on standard error.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

// ---- Noise ------------------------------------------------------------------------------

float hashUnit(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xffffffu) / 16777216.0f;
}

float smooth(float t) { return t * t * (3.0f - 2.0f * t); }

// Value noise on 0..1 with a period of one unit.
float valueNoise(float x, float y, uint32_t seed) {
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int32_t ix = static_cast<int32_t>(fx);
    const int32_t iy = static_cast<int32_t>(fy);
    const float tx = smooth(x - fx);
    const float ty = smooth(y - fy);
    const float a = hashUnit(ix, iy, seed);
    const float b = hashUnit(ix + 1, iy, seed);
    const float c = hashUnit(ix, iy + 1, seed);
    const float d = hashUnit(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Three octaves, 0..1 around 0.5.
float fbm(float x, float y, uint32_t seed) {
    return 0.5f * valueNoise(x, y, seed) + 0.3f * valueNoise(2.03f * x, 2.03f * y, seed + 1) +
           0.2f * valueNoise(4.11f * x, 4.11f * y, seed + 2);
}

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// ---- Frames -----------------------------------------------------------------------------

struct Insets {
    float left, right, top, bottom;
};

enum class Style {
    Square47,
    Bleed35,
    Eroded,
    Cut,
    Infini,
    Instant,
    PrintWhite,
    PrintBlack,
    Vinyl,
    Strip75,
    Slide,
    Notched,
    SafetyFilm,
    Paper,
};

struct FrameLayout {
    Style style;
    const char* large;
    int largeWidth, largeHeight;
    const char* thumb;
    int thumbWidth, thumbHeight;
    Insets insets;
};

const FrameLayout kFrames[] = {
    {Style::Square47, "E1005.png", 2000, 1872, "E1005_thumb.png", 450, 421, {0.077f, 0.05f, 0.041f, 0.041f}},
    {Style::Bleed35, "35mm_holga.png", 2000, 1192, "35mm_holga_thumb.png", 450, 268, {0, 0, 0, 0}},
    {Style::Eroded, "blotchy_black.png", 2000, 1750, "blotchy_black_thumb.png", 450, 394, {0, 0, 0, 0}},
    {Style::Cut, "greenish_film.png", 2000, 1486, "greenish_film_thumb.png", 450, 334, {0.035f, 0.035f, 0.064f, 0.064f}},
    {Style::Infini, "infini_50.png", 2000, 1500, "infini_50_thumb.png", 450, 338, {0.04f, 0.045f, 0.025f, 0.031f}},
    {Style::Instant, "instant.png", 2000, 1261, "instant_thumb.png", 450, 284,
     {0.07986111f, 0.1796875f, 0.06400551f, 0.06400551f}},
    {Style::PrintWhite, "pl_print_w_large.png", 2000, 2000, "pl_print_w_small.png", 640, 640, {0, 0, 0.062f, 0.0725f}},
    {Style::PrintBlack, "pl_print_b_large.png", 2000, 2000, "pl_print_b_small.png", 640, 640, {0, 0, 0.062f, 0.0725f}},
    {Style::Vinyl, "record.png", 2000, 2000, "record_thumb.png", 450, 450, {0.025f, 0.025f, 0.025f, 0.025f}},
    {Style::Strip75, "lumiere.png", 2000, 1297, "lumiere_thumb.png", 450, 292, {0.0955f, 0.0965f, 0, 0}},
    {Style::Slide, "subject_slide.png", 2000, 1993, "subject_slide_thumb.png", 450, 448,
     {0.156f, 0.152f, 0.25977933f, 0.26379138f}},
    {Style::Notched, "wide_cutout.png", 2000, 1292, "wide_cutout_thumb.png", 450, 291,
     {0.025f, 0.023f, 0.0503096f, 0.051857587f}},
    {Style::SafetyFilm, "safety_film.png", 2000, 1500, "safety_film_thumb.png", 450, 338,
     {0.023f, 0.023f, 0.023f, 0.023f}},
    {Style::Paper, "rounded_offwhite.png", 2000, 1490, "rounded_offwhite_thumb.png", 450, 335,
     {0.016f, 0.02f, 0.033557046f, 0.033557046f}},
};

// One frame being drawn: the image, its size, the pixel unit (1 at the
// full size of 2000 pixels wide) and the window.
struct Canvas {
    QImage image;
    float W = 0, H = 0;
    float unit = 1;
    QRectF window;  // the photo's window at the insets
    float overlap = 1;

    Canvas(int width, int height, const Insets& in) : image(width, height, QImage::Format_ARGB32_Premultiplied) {
        image.fill(Qt::transparent);
        W = static_cast<float>(width);
        H = static_cast<float>(height);
        unit = W / 2000.0f;
        window = QRectF(in.left * W, in.top * H, W - (in.left + in.right) * W, H - (in.top + in.bottom) * H);
        overlap = unit > 0.5f ? 2.0f : 1.0f;
    }
    // The transparent area: the window less the overlap, on whole pixels.
    // A side without an inset has no frame to overlap: the window reaches
    // the bitmap's edge there.
    QRectF clearArea() const {
        const float l = window.left() > 0 ? std::floor(static_cast<float>(window.left())) + overlap : 0.0f;
        const float t = window.top() > 0 ? std::floor(static_cast<float>(window.top())) + overlap : 0.0f;
        const float r = window.right() < W ? std::ceil(static_cast<float>(window.right())) - overlap : W;
        const float b = window.bottom() < H ? std::ceil(static_cast<float>(window.bottom())) - overlap : H;
        return QRectF(l, t, r - l, b - t);
    }
};

// Per-pixel pass over every pixel: f(x, y, u, v, argb&) with u, v the
// position relative to the frame (0..1), on non-premultiplied colours.
void eachPixel(Canvas& c, const std::function<void(int, int, float, float, QRgb&)>& f) {
    c.image = c.image.convertToFormat(QImage::Format_ARGB32);
    const int w = c.image.width();
    const int h = c.image.height();
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(c.image.scanLine(y));
        const float v = (static_cast<float>(y) + 0.5f) / c.H;
        for (int x = 0; x < w; ++x) f(x, y, (static_cast<float>(x) + 0.5f) / c.W, v, row[x]);
    }
    c.image = c.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int channel(float v) { return static_cast<int>(std::lround(clamp01(v / 255.0f) * 255.0f)); }

// Mottles the opaque pixels: a low-frequency brightness change of up to
// `levels` levels and a faint finer one, in relative coordinates so that
// both sizes look alike.
void mottle(Canvas& c, float levels, float cycles, uint32_t seed, float fine = 0.0f) {
    const float aspect = c.H / c.W;
    eachPixel(c, [&](int, int, float u, float v, QRgb& p) {
        if (qAlpha(p) == 0) return;
        float d = (fbm(u * cycles, v * cycles * aspect, seed) - 0.5f) * 2.0f * levels;
        if (fine > 0.0f) d += (valueNoise(u * 180.0f, v * 180.0f * aspect, seed + 7) - 0.5f) * 2.0f * fine;
        p = qRgba(channel(qRed(p) + d), channel(qGreen(p) + d), channel(qBlue(p) + d), qAlpha(p));
    });
}

// Darkens (amount < 0) or lightens the pixels near the outer edge, unevenly:
// handling and age.
void wearOuterEdge(Canvas& c, float width, float amount, uint32_t seed, QColor toward) {
    eachPixel(c, [&](int x, int y, float u, float v, QRgb& p) {
        if (qAlpha(p) == 0) return;
        const float d = std::fmin(std::fmin(static_cast<float>(x), c.W - 1 - x), std::fmin(static_cast<float>(y), c.H - 1 - y));
        const float reach = width * c.unit * (0.5f + fbm(u * 9.0f, v * 9.0f, seed));
        if (d >= reach) return;
        const float k = amount * (1.0f - d / reach) * (1.0f - d / reach);
        p = qRgba(channel(qRed(p) + (toward.red() - qRed(p)) * k), channel(qGreen(p) + (toward.green() - qGreen(p)) * k),
                  channel(qBlue(p) + (toward.blue() - qBlue(p)) * k), qAlpha(p));
    });
}

// A few specks of dust and hairline scratches in a colour, inside `area`.
void dust(Canvas& c, const QRectF& area, QColor colour, int specks, int scratches, uint32_t seed) {
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(area);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < specks; ++i) {
        const float x = area.left() + hashUnit(i, 1, seed) * area.width();
        const float y = area.top() + hashUnit(i, 2, seed) * area.height();
        const float r = c.unit * (0.6f + 2.2f * hashUnit(i, 3, seed) * hashUnit(i, 4, seed));
        QColor k = colour;
        k.setAlphaF(0.25 + 0.5 * hashUnit(i, 5, seed));
        p.setBrush(k);
        p.drawEllipse(QPointF(x, y), r, r);
    }
    for (int i = 0; i < scratches; ++i) {
        QColor k = colour;
        k.setAlphaF(0.12 + 0.15 * hashUnit(i, 6, seed));
        p.setPen(QPen(k, c.unit * 0.9f));
        const float x = area.left() + hashUnit(i, 7, seed) * area.width();
        const float y = area.top() + hashUnit(i, 8, seed) * area.height();
        const float len = c.unit * (40.0f + 260.0f * hashUnit(i, 9, seed));
        const float turn = (hashUnit(i, 10, seed) - 0.5f) * 0.5f;
        QPainterPath line(QPointF(x, y));
        line.cubicTo(QPointF(x + len * 0.3f, y + len * turn), QPointF(x + len * 0.6f, y - len * turn * 0.5f),
                     QPointF(x + len, y + len * turn * 0.2f));
        p.drawPath(line);
    }
}

void fillAll(Canvas& c, QColor colour) {
    QPainter p(&c.image);
    p.fillRect(QRectF(0, 0, c.W, c.H), colour);
}

// Clears the window (less the overlap), with rounded corners of radius r.
void cutWindow(Canvas& c, float radius = 0.0f) {
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing, radius > 0.0f);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    QPainterPath path;
    if (radius > 0.0f)
        path.addRoundedRect(c.clearArea(), radius, radius);
    else
        path.addRect(c.clearArea());
    p.fillPath(path, Qt::black);
}

// A soft shadow line along the inside of the window's edge (a print's
// bevel): a band of `width` pixels of darkening.
void windowShade(Canvas& c, float width, float strength, QColor shade) {
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF w = c.window;
    for (int i = 0; i < 4; ++i) {
        QColor k = shade;
        k.setAlphaF(strength * (1.0 - i / 4.0));
        p.setPen(QPen(k, c.unit * width / 4.0f));
        const float o = (i + 0.5f) * c.unit * width / 4.0f;
        p.setBrush(Qt::NoBrush);
        p.drawRect(w.adjusted(-o, -o, o, o));
    }
}

// Rounded sprocket holes (light where the film is cut away).
void sprocketHoles(Canvas& c, bool alongTop, float across, float pitch, float holeAlong, float holeAcross,
                   float radius, QColor hole, float start) {
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing);
    const float length = alongTop ? c.W : c.H;
    for (float t = start; t + holeAlong < length; t += pitch) {
        const QRectF r = alongTop ? QRectF(t, across - holeAcross / 2, holeAlong, holeAcross)
                                  : QRectF(across - holeAcross / 2, t, holeAcross, holeAlong);
        p.setPen(QPen(QColor(0, 0, 0, 90), c.unit * 1.5f));
        p.setBrush(hole);
        p.drawRoundedRect(r, radius, radius);
    }
}

// ---- The fourteen frames ------------------------------------------------------------------

void drawSquare47(Canvas& c) {
    fillAll(c, QColor(26, 23, 21));
    mottle(c, 7.0f, 5.0f, 11, 1.5f);
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // Edge markings of the wide left rebate: clear dashes and a notch.
    const float x = c.window.left() * 0.42f;
    p.setBrush(QColor(214, 196, 150, 200));
    for (int i = 0; i < 6; ++i) {
        const float y = c.H * (0.12f + 0.14f * i);
        p.drawRoundedRect(QRectF(x, y, c.unit * 26, c.unit * (i % 3 == 0 ? 44 : 18)), c.unit * 3, c.unit * 3);
    }
    QPainterPath notch;
    notch.moveTo(0, c.H * 0.06f);
    notch.lineTo(c.unit * 30, c.H * 0.06f + c.unit * 24);
    notch.lineTo(0, c.H * 0.06f + c.unit * 48);
    notch.closeSubpath();
    p.setBrush(QColor(238, 236, 230));
    p.drawPath(notch);
    // A faint warm fog where light crept along the film edge.
    QLinearGradient fog(0, 0, c.window.left(), 0);
    fog.setColorAt(0, QColor(140, 60, 20, 0));
    fog.setColorAt(1, QColor(140, 60, 20, 40));
    p.setBrush(fog);
    p.drawRect(QRectF(0, 0, c.window.left(), c.H));
    p.end();
    dust(c, QRectF(0, 0, c.W, c.H), QColor(235, 230, 215), 60, 4, 12);
    cutWindow(c, c.unit * 6);
}

void drawBleed35(Canvas& c) {
    const float band = c.H * 0.085f;
    {
        QPainter p(&c.image);
        for (int side = 0; side < 2; ++side) {
            const float y0 = side == 0 ? 0 : c.H - band;
            QLinearGradient g(0, side == 0 ? 0 : c.H, 0, side == 0 ? band * 1.35f : c.H - band * 1.35f);
            g.setColorAt(0, QColor(22, 17, 13, 232));
            g.setColorAt(0.72, QColor(22, 17, 13, 210));
            g.setColorAt(1, QColor(22, 17, 13, 0));
            p.fillRect(QRectF(0, side == 0 ? 0 : y0 - band * 0.35f, c.W, band * 1.35f), g);
        }
    }
    mottle(c, 6.0f, 6.0f, 21);
    const float pitch = c.W * 0.0585f;
    for (int side = 0; side < 2; ++side)
        sprocketHoles(c, true, side == 0 ? band * 0.5f : c.H - band * 0.5f, pitch, c.W * 0.026f, band * 0.56f,
                      c.unit * 7, QColor(242, 238, 226), pitch * 0.35f);
    // Light spilling around the frame's ends.
    QPainter p(&c.image);
    for (int side = 0; side < 2; ++side) {
        QLinearGradient g(side == 0 ? 0 : c.W, 0, side == 0 ? c.W * 0.05f : c.W * 0.95f, 0);
        g.setColorAt(0, QColor(20, 15, 12, 150));
        g.setColorAt(1, QColor(20, 15, 12, 0));
        p.fillRect(QRectF(side == 0 ? 0 : c.W * 0.95f, 0, c.W * 0.05f, c.H), g);
    }
}

void drawEroded(Canvas& c) {
    const float shorter = std::fmin(c.W, c.H);
    eachPixel(c, [&](int x, int y, float u, float v, QRgb& p) {
        const float d = std::fmin(std::fmin(static_cast<float>(x), c.W - 1 - x), std::fmin(static_cast<float>(y), c.H - 1 - y)) /
                        shorter;
        const float reach = 0.028f + 0.045f * fbm(u * 7.0f, v * 7.0f * c.H / c.W, 31) +
                            0.018f * (valueNoise(u * 40.0f, v * 40.0f, 32) - 0.5f);
        // Blotches that reach further in here and there.
        const float blot = valueNoise(u * 5.0f, v * 5.0f, 33);
        const float edge = reach + (blot > 0.78f ? (blot - 0.78f) * 0.35f : 0.0f);
        const float soft = 0.0035f;
        const float a = clamp01((edge - d) / soft + 0.5f);
        const float shade = 10.0f + 14.0f * fbm(u * 20.0f, v * 20.0f, 34);
        p = qRgba(channel(shade), channel(shade), channel(shade * 0.95f), channel(a * 255.0f));
    });
}

void drawCut(Canvas& c) {
    fillAll(c, QColor(34, 52, 44));
    mottle(c, 9.0f, 4.0f, 41, 1.5f);
    {
        QPainter p(&c.image);
        p.setRenderHint(QPainter::Antialiasing);
        // The trimmed film's edge catches the light, a little unevenly.
        p.setPen(QPen(QColor(120, 150, 132, 140), c.unit * 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(c.unit * 1.5f, c.unit * 1.5f, c.W - c.unit * 3, c.H - c.unit * 3));
        // The darker line of the frame's edge on the emulsion.
        p.setPen(QPen(QColor(12, 22, 18, 200), c.unit * 5));
        p.drawRect(c.window.adjusted(-c.unit * 3, -c.unit * 3, c.unit * 3, c.unit * 3));
    }
    wearOuterEdge(c, 30.0f, 0.35f, 42, QColor(150, 170, 150));
    dust(c, QRectF(0, 0, c.W, c.H), QColor(200, 220, 205), 80, 10, 43);
    cutWindow(c);
}

void drawInfini(Canvas& c) {
    fillAll(c, QColor(24, 20, 18));
    // Developer reagent that spread unevenly from the edges of the window.
    const QRectF w = c.window;
    eachPixel(c, [&](int x, int y, float u, float v, QRgb& p) {
        const float fx = static_cast<float>(x);
        const float fy = static_cast<float>(y);
        const float dx = fx < w.left() ? static_cast<float>(w.left()) - fx : (fx > w.right() ? fx - static_cast<float>(w.right()) : 0.0f);
        const float dy = fy < w.top() ? static_cast<float>(w.top()) - fy : (fy > w.bottom() ? fy - static_cast<float>(w.bottom()) : 0.0f);
        const float d = std::fmax(dx, dy) / c.unit;
        const float reach = 10.0f + 38.0f * fbm(u * 11.0f, v * 11.0f, 51);
        float k = d < reach ? (1.0f - d / reach) : 0.0f;
        k = k * k * (0.6f + 0.4f * valueNoise(u * 60.0f, v * 60.0f, 52));
        const float n = (fbm(u * 6.0f, v * 6.0f, 53) - 0.5f) * 10.0f;
        p = qRgba(channel(24 + n + (118 - 24) * k), channel(20 + n + (72 - 20) * k), channel(18 + n + (38 - 18) * k), 255);
    });
    dust(c, QRectF(0, 0, c.W, c.H), QColor(210, 200, 180), 40, 3, 54);
    cutWindow(c);
}

// A white (or black) print's paper: mottled, a faint bevel at the window.
void printPaper(Canvas& c, QColor paper, float levels, uint32_t seed, float shade) {
    fillAll(c, paper);
    mottle(c, levels, 5.0f, seed, levels * 0.35f);
    windowShade(c, 5.0f, shade, QColor(0, 0, 0));
}

void drawInstant(Canvas& c) {
    printPaper(c, QColor(236, 234, 226), 3.5f, 61, 0.22f);
    wearOuterEdge(c, 18.0f, 0.18f, 62, QColor(190, 184, 170));
    // The wide edge holds the spread reagent pod: a faint ridge along it.
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing);
    const float x = c.W - c.W * 0.1796875f * 0.5f;
    QLinearGradient g(x - c.unit * 40, 0, x + c.unit * 40, 0);
    g.setColorAt(0, QColor(0, 0, 0, 0));
    g.setColorAt(0.5, QColor(0, 0, 0, 10));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(x - c.unit * 40, c.H * 0.04f, c.unit * 80, c.H * 0.92f), g);
    p.end();
    cutWindow(c, c.unit * 2);
}

void drawPrint(Canvas& c, bool white) {
    if (white)
        printPaper(c, QColor(243, 242, 237), 3.0f, 71, 0.18f);
    else
        printPaper(c, QColor(20, 20, 21), 4.0f, 72, 0.5f);
    wearOuterEdge(c, 14.0f, 0.2f, 73, white ? QColor(200, 196, 186) : QColor(60, 58, 56));
    cutWindow(c);
}

void drawVinyl(Canvas& c) {
    fillAll(c, QColor(222, 214, 196));
    mottle(c, 8.0f, 4.0f, 81, 3.0f);
    {
        QPainter p(&c.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        // The opening: a sliver of black vinyl along the top edge.
        p.setBrush(QColor(16, 16, 18));
        p.drawRoundedRect(QRectF(c.W * 0.08f, c.unit * 10, c.W * 0.84f, c.unit * 11), c.unit * 5, c.unit * 5);
        p.setBrush(QColor(90, 90, 96, 120));
        p.drawRect(QRectF(c.W * 0.1f, c.unit * 12, c.W * 0.8f, c.unit * 2));
        // Ring wear of the record inside, where it meets the sleeve's edge.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 252, 240, 70), c.unit * 9));
        p.drawEllipse(QPointF(c.W / 2, c.H / 2), c.W * 0.475f, c.H * 0.475f);
        // The fold of the sleeve's spine on the left.
        p.setPen(QPen(QColor(120, 110, 95, 90), c.unit * 3));
        p.drawLine(QPointF(c.unit * 6, 0), QPointF(c.unit * 6, c.H));
    }
    wearOuterEdge(c, 40.0f, 0.55f, 82, QColor(248, 245, 236));
    windowShade(c, 4.0f, 0.25f, QColor(40, 30, 20));
    cutWindow(c);
}

void drawStrip75(Canvas& c) {
    fillAll(c, QColor(30, 25, 21));
    mottle(c, 7.0f, 5.0f, 91, 1.5f);
    const float left = c.window.left();
    const float rightWidth = c.W - static_cast<float>(c.window.right());
    const float pitch = c.H / 11.0f;
    sprocketHoles(c, false, left * 0.46f, pitch, pitch * 0.55f, left * 0.42f, c.unit * 9, QColor(240, 236, 224), pitch * 0.22f);
    sprocketHoles(c, false, c.W - rightWidth * 0.46f, pitch, pitch * 0.55f, rightWidth * 0.42f, c.unit * 9,
                  QColor(240, 236, 224), pitch * 0.22f);
    {
        QPainter p(&c.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(90, 80, 66, 130), c.unit * 2.5f));
        p.drawLine(QPointF(c.unit * 2, 0), QPointF(c.unit * 2, c.H));
        p.drawLine(QPointF(c.W - c.unit * 2, 0), QPointF(c.W - c.unit * 2, c.H));
    }
    dust(c, QRectF(0, 0, c.W, c.H), QColor(230, 220, 200), 50, 6, 92);
    cutWindow(c);
}

void drawSlide(Canvas& c) {
    fillAll(c, QColor(236, 234, 228));
    mottle(c, 4.0f, 4.0f, 101, 1.2f);
    {
        QPainter p(&c.image);
        p.setRenderHint(QPainter::Antialiasing);
        // The embossed step around the window: lit from the upper left.
        const QRectF w = c.window;
        const float step = c.unit * 26;
        QPainterPath outer;
        outer.addRoundedRect(w.adjusted(-step, -step, step, step), c.unit * 22, c.unit * 22);
        QPainterPath inner;
        inner.addRoundedRect(w, c.unit * 10, c.unit * 10);
        QLinearGradient g(w.topLeft() - QPointF(step, step), w.bottomRight() + QPointF(step, step));
        g.setColorAt(0, QColor(252, 251, 248));
        g.setColorAt(0.5, QColor(232, 230, 224));
        g.setColorAt(1, QColor(206, 204, 197));
        p.fillPath(outer.subtracted(inner), g);
        p.setPen(QPen(QColor(190, 187, 180), c.unit * 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(outer);
        // The mount's outer rim.
        p.setPen(QPen(QColor(200, 197, 190), c.unit * 4));
        p.drawRect(QRectF(c.unit * 2, c.unit * 2, c.W - c.unit * 4, c.H - c.unit * 4));
    }
    wearOuterEdge(c, 16.0f, 0.15f, 102, QColor(180, 176, 168));
    cutWindow(c, c.unit * 10);
}

void drawNotched(Canvas& c) {
    fillAll(c, QColor(27, 25, 23));
    mottle(c, 7.0f, 5.0f, 111, 1.5f);
    {
        QPainter p(&c.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(236, 234, 228));
        // The code notches in the top edge near the right corner: a V, a
        // half round and a square, as sheet film carries them.
        const float depth = c.window.top() * 0.62f;
        const float x0 = c.W * 0.86f;
        const float s = c.unit * 34;
        QPainterPath v;
        v.moveTo(x0, 0);
        v.lineTo(x0 + s * 0.5f, depth);
        v.lineTo(x0 + s, 0);
        v.closeSubpath();
        p.drawPath(v);
        p.drawEllipse(QPointF(x0 + s * 1.9f, 0), s * 0.5f, depth);
        p.drawRect(QRectF(x0 + s * 2.8f, 0, s * 0.8f, depth));
        // Scratches off the film holder's rails.
        p.setPen(QPen(QColor(70, 66, 60, 120), c.unit * 1.2f));
        p.drawLine(QPointF(0, c.window.top() * 0.3f), QPointF(c.W * 0.7f, c.window.top() * 0.33f));
    }
    dust(c, QRectF(0, 0, c.W, c.H), QColor(225, 220, 205), 60, 6, 112);
    cutWindow(c);
}

void drawSafetyFilm(Canvas& c) {
    fillAll(c, QColor(36, 31, 27));
    mottle(c, 8.0f, 4.5f, 121, 1.5f);
    {
        QPainter p(&c.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        // Edge markings printed in by the maker: dashes and dots, no words.
        p.setBrush(QColor(196, 180, 140, 170));
        const float y = c.window.top() * 0.45f;
        for (int i = 0; i < 9; ++i) {
            const float x = c.W * (0.1f + 0.09f * i);
            if (i % 3 == 1)
                p.drawEllipse(QPointF(x, y + c.unit * 6), c.unit * 6, c.unit * 6);
            else
                p.drawRoundedRect(QRectF(x, y, c.unit * 48, c.unit * 12), c.unit * 3, c.unit * 3);
        }
        p.drawRoundedRect(QRectF(c.W * 0.04f, c.H - c.window.top() * 0.55f, c.unit * 12, c.unit * 12), c.unit * 2,
                          c.unit * 2);
    }
    wearOuterEdge(c, 20.0f, 0.3f, 122, QColor(80, 70, 58));
    dust(c, QRectF(0, 0, c.W, c.H), QColor(220, 214, 200), 70, 8, 123);
    cutWindow(c, c.unit * 4);
}

void drawPaper(Canvas& c) {
    fillAll(c, QColor(240, 236, 224));
    mottle(c, 5.0f, 6.0f, 131, 2.5f);
    wearOuterEdge(c, 22.0f, 0.25f, 132, QColor(205, 196, 176));
    windowShade(c, 3.0f, 0.15f, QColor(60, 50, 35));
    cutWindow(c, c.unit * 24);
}

void draw(Style style, Canvas& c) {
    switch (style) {
        case Style::Square47: drawSquare47(c); break;
        case Style::Bleed35: drawBleed35(c); break;
        case Style::Eroded: drawEroded(c); break;
        case Style::Cut: drawCut(c); break;
        case Style::Infini: drawInfini(c); break;
        case Style::Instant: drawInstant(c); break;
        case Style::PrintWhite: drawPrint(c, true); break;
        case Style::PrintBlack: drawPrint(c, false); break;
        case Style::Vinyl: drawVinyl(c); break;
        case Style::Strip75: drawStrip75(c); break;
        case Style::Slide: drawSlide(c); break;
        case Style::Notched: drawNotched(c); break;
        case Style::SafetyFilm: drawSafetyFilm(c); break;
        case Style::Paper: drawPaper(c); break;
    }
}

bool writeFrame(const QString& folder, const char* name, int width, int height, const FrameLayout& layout) {
    Canvas canvas(width, height, layout.insets);
    draw(layout.style, canvas);
    const QImage out = canvas.image.convertToFormat(QImage::Format_ARGB32);
    return out.save(folder + QLatin1Char('/') + QLatin1String(name), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pellucine-frame-generator OUTPUT_FOLDER\n");
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "pellucine-frame-generator: %s: cannot make the folder\n", argv[1]);
        return 1;
    }
    // Each frame on a thread of its own: they share nothing.
    const size_t count = sizeof kFrames / sizeof kFrames[0];
    std::vector<int> ok(count, 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
            const FrameLayout& f = kFrames[i];
            ok[i] = writeFrame(folder, f.large, f.largeWidth, f.largeHeight, f) &&
                    writeFrame(folder, f.thumb, f.thumbWidth, f.thumbHeight, f);
        });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < count; ++i)
        if (!ok[i]) {
            std::fprintf(stderr, "pellucine-frame-generator: %s: cannot write the frame\n", kFrames[i].large);
            return 1;
        }
    // The resource list: every frame under ":/img/".
    QString qrc = QStringLiteral("<RCC>\n<qresource prefix=\"/img\">\n");
    for (const FrameLayout& f : kFrames)
        for (const char* name : {f.large, f.thumb})
            qrc += QStringLiteral("<file>%1</file>\n").arg(QLatin1String(name));
    qrc += QStringLiteral("</qresource>\n</RCC>\n");
    QSaveFile file(folder + QStringLiteral("/frames.qrc"));
    if (!file.open(QIODevice::WriteOnly) || file.write(qrc.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "pellucine-frame-generator: frames.qrc: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
