#include "adjustments/HueCurves.h"

#include <math.h>

#include <cmath>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

using tileloop::clampSample;

namespace {

constexpr float kInv360 = 0.0027777778f;  // 1/360 as a float
constexpr float kInv60 = 0.016666668f;    // 1/60 as a float

// ---- Construction --------------------------------------------------------------

// The two vars every hue tile has: "Amount" (a strength 0..1 shown as
// 0..100) and "Hue Region", a copy of the start curve, whose wrap flag is
// set first.
struct HueCurveVars {
    ModVar* amount = nullptr;
    ModVar* region = nullptr;
};

// The vars of the three hue-curve tiles, in the order addHueCurveVars adds
// them.
enum HueCurveVar : int32_t { kAmount = 0, kRegion = 1 };

HueCurveVars addHueCurveVars(ImageMod& mod, Curve& start) {
    start.setWrap(true);
    HueCurveVars vars;
    vars.amount = tilevars::placed(mod, kAmount, tilevars::addStrengthAmount(mod, 1.0f));

    CurveValue* value = new CurveValue(Curve(0));
    value->curve = start;
    vars.region = tilevars::placed(mod, kRegion, mod.addVar(ModVar("Hue Region", value)));
    vars.region->controlCode = kControlHueCurve;
    return vars;
}

// The preview: a fixed bump (one key per point, 1 s each), the Amount
// swinging from 0.5 to 1 (when amountTrack), and the bump carried once
// around the hue circle every 3 seconds (a numeric track on a curve var
// sets its hue offset).
template <size_t kPoints>
void addHueCurveTracks(ImageMod& mod, const HueCurveVars& vars, const char* const (&pointKeys)[kPoints],
                       bool amountTrack) {
    GrowArray<GrowString> keys;
    GrowArray<float> seconds;
    for (const char* key : pointKeys) {
        keys.append(GrowString(key));
        seconds.append(1.0f);
    }
    mod.addCurveAnimTrack(vars.region, keys, seconds);
    if (amountTrack) mod.addAnimTrack(vars.amount, ".5 1 .5", 4.431f);
    mod.addAnimTrack(vars.region, "0 360", 3.0f);
}

const char* const kBumpKeys[] = {"0 .25", ".25 .5", ".5 .75", ".75 .5", "1 .25"};
const char* const kWideBumpKeys[] = {"0 .125", ".25 .5", ".375 .875", ".625 .875", ".75 .5", "1 .125"};

// ---- Parameters ----------------------------------------------------------------

struct HueCurveParams {
    float amount = 0.0f;
    const float* table = nullptr;
    float turn = 180.0f;  // 360 - hue offset: added to a hue before the lookup
    uint32_t version = 1;
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged: Amount 0, a "Hue Region"
// var that holds no curve (a hand-edited file), a curve without points or
// with every point at height 0.5.
bool prepareHueCurve(const ImageMod& mod, const RenderArgs* args, HueCurveParams& p) {
    p.amount = tileloop::floatVar(mod, kAmount);
    const ModVar* regionVar = mod.var(kRegion);
    const CurveValue* value = regionVar ? regionVar->curveValue() : nullptr;
    if (!value) return false;
    if (p.amount == 0.0f) return false;
    const Curve& curve = value->curve;
    bool flat = true;
    for (const CurvePoint& point : curve.points) flat = flat && point.y == 0.5f;
    if (curve.points.count == 0 || flat) return false;
    if (curve.table.count < Curve::kTableSize) return false;
    p.table = curve.table.data;
    p.turn = 360.0f - curve.hueOffset;
    p.version = mod.version;
    p.selector = tileloop::selectorOf(args);
    return true;
}

// How a hue is brought back onto the circle: fmodf, or remainder360 where
// the call has made sure the hues stay in its range (the same numbers,
// without a library call per pixel, so the row loop vectorises).
struct LibraryRemainder {
    static float of(float x) { return fmodf(x, 360.0f); }
};
struct RangeRemainder {
    static TILE_INLINE float of(float x) { return pixel::remainder360(x); }
};

// The curve height at hue H (degrees). The curve starts at the hue offset;
// an offset outside 0..360 (from a file) still wraps onto the circle, and a
// NaN position reads the first entry.
template <class Remainder>
TILE_INLINE float hueHeightBy(const float* table, float H, float turn) {
    float h = Remainder::of(H + turn);
    h = h < 0.0f ? h + 360.0f : h;
    return pixel::curveLookupUnit(table, h * kInv360);
}

inline float hueHeight(const float* table, float H, float turn) {
    return hueHeightBy<LibraryRemainder>(table, H, turn);
}

// t |t| with t = 2y - 1: the signed square of the height's distance from 0.5.
TILE_INLINE float signedSquare(float y) {
    const float t = 2.0f * y - 1.0f;
    return t > 0.0f ? t * t : -(t * t);
}

// Runs op(pixel, channelCount, strength) on every pixel; the strength is
// the Amount, times the selector weight when there is a selector. Images of
// fewer than three channels are left alone: every body reads three samples.
template <class Sample, class Op>
void hueCurvePixels(ImageBuffer& image, const HueCurveParams& p, Op op) {
    if (image.channelCount() < 3) return;
    const float a = p.amount;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector,
                                               [&op, a](Sample* px, auto n, float w) { op(px, n, a * w); });
    } else {
        tileloop::forEachPixel<Sample>(image, [&op, a](Sample* px, auto n) { op(px, n, a); });
    }
}

// ---- Hue Shift -------------------------------------------------------------------

// One pixel: the hue turned by the curve's height at it, saturation and
// value kept; a grey pixel (S = 0) takes its value in all three samples.
// Every case is formed and the pixel's one picked, so the row loop
// vectorises (with RangeRemainder).
template <class Sample, bool kVersion2, class Remainder>
TILE_INLINE void hueShiftPixel(Sample* px, const float* table, float turn, float w) {
    const hsvpixel::Hsv c = hsvpixel::hsvOf(px);
    const float V = c.v;
    const float S = c.s;
    const float y = hueHeightBy<Remainder>(table, c.h, turn);
    const float turned = kVersion2 ? w * 180.0f * signedSquare(y) : (y * 360.0f - 180.0f) * w;
    float H = Remainder::of(turned + (c.h + 360.0f));
    H = H < 0.0f ? H + 360.0f : H;  // a turn beyond -180 degrees (Amount above 1 from a file)

    const float q6 = (H * kInv360) * 6.0f;
    const float i = floorf(q6);
    const float f = q6 - i;
    const float p = (1.0f - S) * V;
    const float q = (1.0f - f * S) * V;
    const float t = ((f - 1.0f) * S + 1.0f) * V;
    float r, g, b;
    hsvpixel::pickSector(i, V, p, q, t, &r, &g, &b);
    const bool grey = S == 0.0f;
    tileloop::store(px[0], (grey ? V : r) * 255.0f);
    tileloop::store(px[1], (grey ? V : g) * 255.0f);
    tileloop::store(px[2], (grey ? V : b) * 255.0f);
}

// Whether every hue a call forms stays where remainder360 equals fmodf:
// the hue offset's turn within 0..720 (a hue of 0..360 plus it stays below
// 1080) and the curve's turn of a hue, at most 180 |w| t^2 (version 2) or
// |w| |360 y - 180| over the table's entries, well below 360 (the turned
// hue then stays within -360..1440, with room for rounding). A table entry
// that is not finite sends the call to fmodf too.
bool hueShiftInRange(const float* table, float turn, float w, bool version2) {
    if (!(turn >= 0.0f && turn < 720.0f) || !std::isfinite(w)) return false;
    double largest = 0.0;
    for (int32_t k = 0; k < Curve::kTableSize; ++k) {
        const double y = table[k];
        if (!std::isfinite(y)) return false;
        const double t = 2.0 * y - 1.0;
        const double reach = version2 ? 180.0 * t * t : std::fabs(360.0 * y - 180.0);
        if (reach > largest) largest = reach;
    }
    return largest * std::fabs(static_cast<double>(w)) * 1.001 < 700.0;
}

template <class Sample, bool kVersion2>
TILE_INLINE void hueShiftRows(Sample* s, int64_t pixels, int32_t channels, const float* table, float turn, float w) {
    tileloop::forEachPixelIn(s, pixels, channels, [=](Sample* px, auto) TILE_INLINE_LAMBDA {
        hueShiftPixel<Sample, kVersion2, RangeRemainder>(px, table, turn, w);
    });
}

template <class Sample>
TILE_ROW_KERNEL void hueShiftRow(Sample* __restrict s, int64_t pixels, int32_t channels,
                                 const float* __restrict table, float turn, float w, bool version2) {
    if (version2)
        hueShiftRows<Sample, true>(s, pixels, channels, table, turn, w);
    else
        hueShiftRows<Sample, false>(s, pixels, channels, table, turn, w);
}

template <class Sample>
void runHueShift(const HueShiftMod& mod, ImageBuffer& image, const RenderArgs* args) {
    HueCurveParams p;
    if (!prepareHueCurve(mod, args, p)) return;
    const float* table = p.table;
    const float turn = p.turn;
    const bool version2 = p.version == 2;
    if (!p.selector && tileloop::hasPixels(image) && image.channelCount() >= 3 &&
        hueShiftInRange(table, turn, p.amount, version2)) {
        hueShiftRow(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                    image.channelCount(), table, turn, p.amount, version2);
        return;
    }
    if (version2) {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) {
            hueShiftPixel<Sample, true, LibraryRemainder>(px, table, turn, w);
        });
    } else {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) {
            hueShiftPixel<Sample, false, LibraryRemainder>(px, table, turn, w);
        });
    }
}

// ---- Hue Brightness ----------------------------------------------------------------

// Version 3: the exposure curve with a factor faded toward grey and black.
template <class Sample>
inline void hueExposurePixel(const ImageBuffer& image, Sample* px, const float* table, float turn, float w) {
    const hsvpixel::Hsv c = hsvpixel::hsvOf(px);
    const float e = signedSquare(hueHeight(table, c.h, turn));
    const float s1 = c.s - 1.0f;
    const float v1 = c.v - 1.0f;
    const float s2 = s1 * s1;
    const float v2 = v1 * v1;
    const float X = 1.0f + (1.0f - s2 * s2) * e * ((1.0f - v2 * v2) * w);
    if (X != X) return;  // only from a curve table holding NaN
    applyExposureCurvePixel(image, px, X);
}

// A smooth ramp from 0 to 1: x0 (x / x0)^2 below the knee x0, then
// 1 - (1 - x0) ((1 - x) / (1 - x0))^2; 0 below 0 and 1 above 1.
inline float smoothRamp(float x, float knee, float invKnee, float rest, float invRest) {
    if (x < 0.0f) return 0.0f;
    if (x > 1.0f) return 1.0f;
    if (x < knee) {
        const float u = x * invKnee;
        return knee * (u * u);
    }
    const float u = (1.0f - x) * invRest;
    return 1.0f - rest * (u * u);
}

// R, G, B on the 0..1 scale times 255: unclamped floats; bytes multiplied
// in double and truncated.
inline void storeUnit(float& sample, float v) { sample = v * 255.0f; }
inline void storeUnit(uint8_t& sample, float v) {
    sample = tileloop::storeByteFromDouble(static_cast<double>(v) * 255.0);
}

// Version 2: the HSL lightness moved toward 0 or 1.
template <class Sample>
inline void hueLightnessPixel(Sample* px, const float* table, float turn, float w) {
    float H, Sl, L;
    hslOf(px, &H, &Sl, &L);
    const float y = hueHeight(table, H, turn);
    if (y == 0.5f) return;
    const float lw = 2.0f * (0.5f - fabsf(L - 0.5f));
    const float wl = smoothRamp(lw, 0.3f, 3.3333333f, 0.7f, 1.4285715f);     // 1/0.3, 1/0.7
    const float ws = smoothRamp(Sl, 0.15f, 6.6666665f, 0.85f, 1.1764706f);   // 1/0.15, 1/0.85
    const float k = wl * w * ws;
    float Ln;
    if (y < 0.5f)
        Ln = (k * (2.0f * y - 1.0f)) * L + L;
    else if (y > 0.5f)
        Ln = static_cast<float>((1.0 - static_cast<double>(L)) *
                                    (2.0 * static_cast<double>(k) * (static_cast<double>(y) - 0.5)) +
                                static_cast<double>(L));
    else
        return;  // NaN height

    float r = Ln, g = Ln, b = Ln;
    const float Q = Ln <= 0.5f ? Ln * (1.0f + Sl) : Ln + Sl - Sl * Ln;
    const float hk = H * kInv60;
    // The sector is H/60 truncated toward zero; outside 0..6 (or NaN) the
    // pixel becomes grey at the new lightness.
    if (Q > 0.0f && hk > -1.0f && hk < 7.0f) {
        const int32_t i = static_cast<int32_t>(hk);
        const float P = 2.0f * Ln - Q;
        const float f = hk - static_cast<float>(i);
        const float D = f * Q * ((Q - P) / Q);
        const float down = Q - D;
        const float up = P + D;
        pickHslSector(static_cast<float>(i), P, Q, up, down, &r, &g, &b);  // 6: a hue of exactly 360
    }
    storeUnit(px[0], r);
    storeUnit(px[1], g);
    storeUnit(px[2], b);
}

// Any other version: a signed offset on the three samples.
template <class Sample>
inline void hueOffsetPixel(Sample* px, const float* table, float turn, float w) {
    const hsvpixel::Hsv c = hsvpixel::hsvOf(px);
    const float y = hueHeight(table, c.h, turn);
    const float k = (1.0f - fabsf(2.0f * c.v - 1.0f)) * c.s * w;
    const float delta = (2.0f * y - 1.0f) * k * 255.0f;
    for (int32_t ch = 0; ch < 3; ++ch) tileloop::store(px[ch], clampSample(static_cast<float>(px[ch]) + delta));
}

template <class Sample>
void runHueBrightness(const HueBrightnessMod& mod, ImageBuffer& image, const RenderArgs* args) {
    HueCurveParams p;
    if (!prepareHueCurve(mod, args, p)) return;
    const float* table = p.table;
    const float turn = p.turn;
    if (p.version == 3) {
        ImageBuffer* target = &image;
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) {
            hueExposurePixel(*target, px, table, turn, w);
        });
    } else if (p.version == 2) {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) { hueLightnessPixel(px, table, turn, w); });
    } else {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) { hueOffsetPixel(px, table, turn, w); });
    }
}

// ---- Saturation Curve ---------------------------------------------------------------

// The saturation factor of a height y at strength w; false when it cannot
// be formed (a NaN height, or a zero denominator that only a strength above
// 1 from a file can bring).
template <bool kReshape>
inline bool saturationFactor(float y, float w, float* k) {
    if (kReshape) {
        // Flattens the response around 0.5 and keeps 0, 0.5 and 1.
        const float t = 2.0f * y - 1.0f;
        const float m = t > 0.0f ? powf(t, 1.5f) : -powf(-t, 1.5f);
        y = static_cast<float>(static_cast<double>(m) * 0.5 + 0.5);
    }
    // 1.99999, not 2: at y = 1 and w = 1 the factor stays just below 2.
    float f = static_cast<float>((static_cast<double>(y) * 1.99999 - 1.0) * static_cast<double>(w) + 1.0);
    if (f > 1.0f) {
        const double denominator = 2.0 - static_cast<double>(f);
        if (denominator == 0.0) return false;
        f = static_cast<float>(1.0 / denominator);
    }
    if (f != f) return false;
    *k = f;
    return true;
}

// Versions 3 and 2: the three samples about a root-mean-square brightness.
// Squares in float (exact for bytes), sum and root in double.
template <class Sample, bool kReshape>
inline void saturationPixel(Sample* px, const float* table, float turn, float w) {
    const hsvpixel::Hsv c = hsvpixel::hsvOf(px);
    float k;
    if (!saturationFactor<kReshape>(hueHeight(table, c.h, turn), w, &k)) return;
    const float R = static_cast<float>(px[0]);
    const float G = static_cast<float>(px[1]);
    const float B = static_cast<float>(px[2]);
    const float L = static_cast<float>(sqrt(0.299 * static_cast<double>(R * R) + 0.587 * static_cast<double>(G * G) +
                                            0.114 * static_cast<double>(B * B)));
    tileloop::store(px[0], clampSample((R - L) * k + L));
    tileloop::store(px[1], clampSample((G - L) * k + L));
    tileloop::store(px[2], clampSample((B - L) * k + L));
}

// Any other version: every sample (the fourth included) about the luminance.
template <class Sample, class N>
inline void saturationPixelVersion1(Sample* px, N n, const float* table, float turn, float w) {
    const hsvpixel::Hsv c = hsvpixel::hsvOf(px);
    float k;
    if (!saturationFactor<false>(hueHeight(table, c.h, turn), w, &k)) return;
    const float L = pixel::luminance(px, n);
    const float pull = (1.0f - k) * L;
    for (int32_t ch = 0; ch < n; ++ch) tileloop::store(px[ch], clampSample(static_cast<float>(px[ch]) * k + pull));
}

template <class Sample>
void runSaturationCurve(const SaturationCurveMod& mod, ImageBuffer& image, const RenderArgs* args) {
    HueCurveParams p;
    if (!prepareHueCurve(mod, args, p)) return;
    const float* table = p.table;
    const float turn = p.turn;
    if (p.version == 3) {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) {
            saturationPixel<Sample, true>(px, table, turn, w);
        });
    } else if (p.version == 2) {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto, float w) {
            saturationPixel<Sample, false>(px, table, turn, w);
        });
    } else {
        hueCurvePixels<Sample>(image, p, [=](Sample* px, auto n, float w) {
            saturationPixelVersion1(px, n, table, turn, w);
        });
    }
}

}  // namespace

Curve flatHueRegionCurve() {
    Curve curve(0);
    GrowString text("0 .5 .25 .5 .5 .5 .75 .5 1 .5");
    curve.setFromString(text);
    return curve;
}

// ---- HueShiftMod ---------------------------------------------------------------

HueShiftMod::HueShiftMod(Curve& start) : ImageMod(GrowString("Hue Shift"), GrowString("Hue Shift")) {
    const HueCurveVars vars = addHueCurveVars(*this, start);
    addHueCurveTracks(*this, vars, kBumpKeys, true);
    setVersion(kNewestVersion);
    description = "Shift selected hues using a curve editor.";
}

ImageMod* HueShiftMod::clone() const {
    Curve start = flatHueRegionCurve();
    return withVersionOf(*this, new HueShiftMod(start));
}

void HueShiftMod::process8(ImageBuffer& image, const RenderArgs* args) { runHueShift<uint8_t>(*this, image, args); }

void HueShiftMod::processFloat(ImageBuffer& image, const RenderArgs* args) { runHueShift<float>(*this, image, args); }

// ---- HueBrightnessMod ------------------------------------------------------------

HueBrightnessMod::HueBrightnessMod(Curve& start)
    : ImageMod(GrowString("Hue Brightness"), GrowString("Hue Brightness")) {
    const HueCurveVars vars = addHueCurveVars(*this, start);
    setVersion(kNewestVersion);
    addHueCurveTracks(*this, vars, kWideBumpKeys, true);
    description = "Adjust the brightness of selected hues using a curve editor.";
}

void HueBrightnessMod::setVersion(uint32_t newVersion) {
    version = newVersion;
    displayName = static_cast<int32_t>(version) < 3 ? "Hue Brightness" : "Hue Exposure";
}

ImageMod* HueBrightnessMod::clone() const {
    Curve start = flatHueRegionCurve();
    return withVersionOf(*this, new HueBrightnessMod(start));
}

void HueBrightnessMod::process8(ImageBuffer& image, const RenderArgs* args) {
    runHueBrightness<uint8_t>(*this, image, args);
}

void HueBrightnessMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    runHueBrightness<float>(*this, image, args);
}

// ---- SaturationCurveMod -----------------------------------------------------------

SaturationCurveMod::SaturationCurveMod(Curve& start)
    : ImageMod(GrowString("Saturation Curve"), GrowString("Hue Saturation")) {
    const HueCurveVars vars = addHueCurveVars(*this, start);
    addHueCurveTracks(*this, vars, kBumpKeys, false);
    setVersion(kNewestVersion);
    description = "Adjust the saturation of selected hues using a curve editor.";
}

ImageMod* SaturationCurveMod::clone() const {
    Curve start = flatHueRegionCurve();
    return withVersionOf(*this, new SaturationCurveMod(start));
}

void SaturationCurveMod::process8(ImageBuffer& image, const RenderArgs* args) {
    runSaturationCurve<uint8_t>(*this, image, args);
}

void SaturationCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    runSaturationCurve<float>(*this, image, args);
}
