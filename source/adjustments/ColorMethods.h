#pragma once
// The colour methods: seven ways of moving one pixel toward a colour with a
// strength, shared by the Colorize Curve tile (which the Coloring, Color
// Wheels and Temperature tiles and the camera styles run), and the two dye
// pixel operations, which the Dye tile also uses.
//
// Conventions for everything below:
// - samples and colours are on the 0..255 scale; a pixel's samples are
//   float or bytes (the kernels are templates over the sample type, with
//   the same float arithmetic for both; a byte result is clamped to 0..255
//   and truncated toward zero);
// - a method gets a signed strength s (-1..1 in normal use). For s > 0 it
//   works with the colour e = c and the strength q = s; for s <= 0 with the
//   complement e = 255 - c and q = -s. "Color Balance" is the exception: it
//   always adds c times the signed s;
// - only the first three samples change, except under "Color Filter", which
//   treats the first four alike (the fourth with the colour entry 255);
// - the methods that read three samples need a pixel of at least three
//   channels: colorMethodNeedsThreeChannels tells which, and the callers
//   leave images of fewer channels unchanged for them.
//
// Method by method, X a sample and e_X the matching colour component:
//   0 "Colorize"      X + (e_X - mean(e)) q, clamped (mean: the float sum
//                     of e times 1/3 in double)
//   1 "Tint"          X (1 - q) + e_X q
//   2 "Color Filter"  d = (e_k - 127.5) / 127.5 in double; X + d q X when
//                     e_k <= 127.5, else X + d q (255 - X), in double,
//                     clamped; nothing at all when s is exactly 0
//   3 "Dye"           dyePixel (tiles of version 2) or dyePixelLuma with the
//                     colour e and the weight q
//   4 "Color Balance" X + c_X s, clamped
//   5 "Screen"        ((e_X/255 - 1)(1 - X/255) + 1)(255 q) + X (1 - q), the
//                     two scalings by 1/255 in float, the rest in double
//   6 "Multiply"      X (1 - q) in double + X (q/255) e_X in float, the sum
//                     in double, clamped
// Any index other than 1 to 6 works as "Colorize".
//
// The dye operations blend a colour N into the first min(channels, 3)
// samples with the weight w: X' = N_X w + X (1 - w). N has the picked
// colour's HSV hue and saturation and
// - dyePixel (the detail-preserving dye): the value max(R, G, B)/255 of the
//   pixel times the colour's value; the pixel needs three channels;
// - dyePixelLuma: the value v_c L/255 (L the pixel's luminance) with the
//   saturation s_c (1 - value), which fades as the pixel brightens.
// dyePixel8 truncates N to bytes before the blend; dyePixelLuma8 keeps N in
// float. All of them leave a pixel of fewer than three channels alone where
// they read three samples.

#include <math.h>
#include <stdint.h>

#include <type_traits>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "pixels/PixelKit.h"

enum ColorMethod : int32_t {
    kColorizeMethod = 0,
    kTintMethod = 1,
    kColorFilterMethod = 2,
    kDyeMethod = 3,
    kColorBalanceMethod = 4,
    kScreenMethod = 5,
    kMultiplyMethod = 6,
};

constexpr int32_t kColorMethodCount = 7;

// "Colorize", "Tint", "Color Filter", "Dye", "Color Balance", "Screen",
// "Multiply", in index order.
GrowArray<GrowString> colorMethodOptions();

// The method an index read from a tile selects: anything but 1 to 6 is
// "Colorize".
inline ColorMethod colorMethodFromIndex(int32_t index) {
    return index >= 1 && index <= 6 ? static_cast<ColorMethod>(index) : kColorizeMethod;
}

// Whether the method reads three samples of every pixel. "Dye" does so only
// in its detail-preserving form.
inline bool colorMethodNeedsThreeChannels(ColorMethod method, bool dyeKeepsDetail) {
    if (method == kColorFilterMethod) return false;
    if (method == kDyeMethod) return dyeKeepsDetail;
    return true;
}

// ---- Dye colours -------------------------------------------------------------

// The sector of a hue on the colour circle: j = floor(h6), f = h6 - j with
// h6 = (h / 360 in double, rounded to float) x 6. A non-finite hue falls in
// the last sector.
struct HueSector {
    int32_t j = 0;
    float f = 0.0f;
};

inline HueSector hueSector(float hue) {
    const float h6 = static_cast<float>(static_cast<double>(hue) * (1.0 / 360.0)) * 6.0f;
    const float floorH6 = floorf(h6);
    HueSector sector;
    sector.j = floorH6 >= 0.0f && floorH6 <= 6.0f ? static_cast<int32_t>(floorH6) : 5;
    sector.f = h6 - floorH6;
    return sector;
}

// HSV (saturation and value 0..1) to RGB on the 0..255 scale.
inline void sectorToRgb(const HueSector& sector, float saturation, float value, float rgb[3]) {
    float r, g, b;
    if (saturation == 0.0f) {
        r = g = b = value;
    } else {
        const float f = sector.f;
        const float p = (1.0f - saturation) * value;
        const float qq = (1.0f - f * saturation) * value;
        const float tt = ((f - 1.0f) * saturation + 1.0f) * value;
        hsvpixel::pickSector(static_cast<float>(sector.j), value, p, qq, tt, &r, &g, &b);
    }
    rgb[0] = r * 255.0f;
    rgb[1] = g * 255.0f;
    rgb[2] = b * 255.0f;
}

// A dye colour: its HSV (rgbToHsv), with the hue sectors of both dyes.
struct DyeColour {
    float saturation = 0.0f;
    float value = 0.0f;
    HueSector detailSector;  // the hue as rgbToHsv gives it
    HueSector lumaSector;    // the hue brought into 0..360 first
};

DyeColour prepareDyeColour(float r, float g, float b);

inline float dyeBlend(float n, float x, float w) { return n * w + x * (1.0f - w); }

// The detail-preserving dye with a prepared colour (three channels needed).
template <class Sample, class N>
inline void dyeDetail(Sample* px, N n, const DyeColour& dye, float w) {
    if (n < 3) return;
    const float r = static_cast<float>(static_cast<double>(px[0]) / 255.0);
    const float g = static_cast<float>(static_cast<double>(px[1]) / 255.0);
    const float b = static_cast<float>(static_cast<double>(px[2]) / 255.0);
    float v = b > g ? b : g;
    if (r > v) v = r;
    float rgb[3];
    sectorToRgb(dye.detailSector, dye.saturation, v * dye.value, rgb);
    for (int32_t k = 0; k < 3; ++k) {
        float colour = rgb[k];
        if constexpr (std::is_same<Sample, uint8_t>::value) colour = static_cast<float>(storeByte(colour));
        tileloop::store(px[k], dyeBlend(colour, static_cast<float>(px[k]), w));
    }
}

// The luminance dye with a prepared colour.
template <class Sample, class N>
inline void dyeLuma(Sample* px, N n, const DyeColour& dye, float w) {
    const float v = dye.value * pixel::kInv255 * pixel::luminance(px, n);
    const float s = static_cast<float>(static_cast<double>(dye.saturation) * (1.0 - static_cast<double>(v)));
    float rgb[3];
    sectorToRgb(dye.lumaSector, s, v, rgb);
    const int32_t blended = n < 3 ? static_cast<int32_t>(n) : 3;
    for (int32_t k = 0; k < blended; ++k) tileloop::store(px[k], dyeBlend(rgb[k], static_cast<float>(px[k]), w));
}

// The dye pixel operations on one pixel of the image, colour on 0..255,
// weight 0..1.
void dyePixel(const ImageBuffer& image, float* pixel, float r, float g, float b, float weight);
void dyePixel8(const ImageBuffer& image, uint8_t* pixel, float r, float g, float b, float weight);
void dyePixelLuma(const ImageBuffer& image, float* pixel, float r, float g, float b, float weight);
void dyePixelLuma8(const ImageBuffer& image, uint8_t* pixel, float r, float g, float b, float weight);

// ---- Method operands -----------------------------------------------------------

// One operand colour (the picked colour or its complement) with everything
// the methods derive from it alone.
struct ColorOperand {
    float rgb[3] = {0.0f, 0.0f, 0.0f};
    float deviation[3] = {0.0f, 0.0f, 0.0f};  // e_X - grey mean (Colorize)
    double filter[4] = {0.0, 0.0, 0.0, 1.0};  // (e_k - 127.5) / 127.5 (Color Filter)
    bool filterDarkens[4] = {false, false, false, false};  // e_k <= 127.5
    float unit[3] = {0.0f, 0.0f, 0.0f};  // e_X / 255 in float (Screen, Multiply)
    DyeColour dye;
};

// The picked colour and its complement, prepared once per call.
struct ColorMethodColours {
    ColorOperand colour;      // e for s > 0
    ColorOperand complement;  // e for s <= 0
    bool dyeKeepsDetail = true;  // the "Dye" method: dyePixel, else dyePixelLuma
};

void prepareColorMethod(ColorMethodColours& out, float r, float g, float b, bool dyeKeepsDetail);

// Applies method M to one pixel with the signed strength s.
template <ColorMethod M, class Sample, class N>
inline void applyColorMethod(const ColorMethodColours& colours, Sample* px, N n, float s) {
    if (M == kColorBalanceMethod) {
        const float* c = colours.colour.rgb;
        for (int32_t k = 0; k < 3; ++k)
            tileloop::store(px[k], tileloop::clampSample(static_cast<float>(px[k]) + c[k] * s));
        return;
    }
    const bool positive = s > 0.0f;
    const ColorOperand& e = positive ? colours.colour : colours.complement;
    const float q = positive ? s : -s;
    if (M == kTintMethod) {
        const float keep = 1.0f - q;
        for (int32_t k = 0; k < 3; ++k) tileloop::store(px[k], static_cast<float>(px[k]) * keep + e.rgb[k] * q);
    } else if (M == kColorFilterMethod) {
        if (s == 0.0f) return;
        const int32_t filtered = n < 4 ? static_cast<int32_t>(n) : 4;
        const double dq = static_cast<double>(q);
        for (int32_t k = 0; k < filtered; ++k) {
            const double x = static_cast<double>(px[k]);
            const double scale = e.filter[k] * dq;
            const double moved = e.filterDarkens[k] ? x + scale * x : x + scale * (255.0 - x);
            tileloop::store(px[k], tileloop::clampSample(static_cast<float>(moved)));
        }
    } else if (M == kDyeMethod) {
        if (colours.dyeKeepsDetail)
            dyeDetail(px, n, e.dye, q);
        else
            dyeLuma(px, n, e.dye, q);
    } else if (M == kScreenMethod) {
        const double strength = static_cast<double>(q) * 255.0;
        const double keep = 1.0 - static_cast<double>(q);
        for (int32_t k = 0; k < 3; ++k) {
            const float x = static_cast<float>(px[k]);
            const double xs = static_cast<double>(x * pixel::kInv255);
            const double screened = (static_cast<double>(e.unit[k]) - 1.0) * (1.0 - xs) + 1.0;
            tileloop::store(px[k], static_cast<float>(screened * strength + static_cast<double>(x) * keep));
        }
    } else if (M == kMultiplyMethod) {
        const double keep = 1.0 - static_cast<double>(q);
        const float scaled = q * pixel::kInv255;
        for (int32_t k = 0; k < 3; ++k) {
            const float x = static_cast<float>(px[k]);
            const float multiplied = x * scaled * e.rgb[k];
            const double sum = static_cast<double>(x) * keep + static_cast<double>(multiplied);
            tileloop::store(px[k], tileloop::clampSample(static_cast<float>(sum)));
        }
    } else {  // Colorize
        for (int32_t k = 0; k < 3; ++k)
            tileloop::store(px[k], tileloop::clampSample(static_cast<float>(px[k]) + e.deviation[k] * q));
    }
}

// The same with the method chosen at run time (one switch per pixel; the
// tile bodies switch once per call instead).
template <class Sample>
inline void applyColorMethodPixel(ColorMethod method, const ColorMethodColours& colours, Sample* px,
                                  int32_t channels, float s) {
    if (channels < 3 && colorMethodNeedsThreeChannels(method, colours.dyeKeepsDetail)) return;
    switch (method) {
    case kTintMethod: applyColorMethod<kTintMethod>(colours, px, channels, s); break;
    case kColorFilterMethod: applyColorMethod<kColorFilterMethod>(colours, px, channels, s); break;
    case kDyeMethod: applyColorMethod<kDyeMethod>(colours, px, channels, s); break;
    case kColorBalanceMethod: applyColorMethod<kColorBalanceMethod>(colours, px, channels, s); break;
    case kScreenMethod: applyColorMethod<kScreenMethod>(colours, px, channels, s); break;
    case kMultiplyMethod: applyColorMethod<kMultiplyMethod>(colours, px, channels, s); break;
    default: applyColorMethod<kColorizeMethod>(colours, px, channels, s); break;
    }
}
