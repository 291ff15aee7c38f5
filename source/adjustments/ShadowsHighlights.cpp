#include "adjustments/ShadowsHighlights.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The fixed curves of the two building blocks, x and y of each point in turn.
const char* const kShadowsBrighten =
    "0.000000 0.000000 0.023913 0.054348 0.071739 0.271739 0.311956 0.455435 0.566522 0.562174 "
    "0.750000 0.750000 1.000000 1.000000";
const char* const kShadowsDarken =
    "0.000000 0.000000 0.149457 0.021739 0.342391 0.116304 0.454348 0.336956 0.575217 0.575217 "
    "0.750000 0.750000 1.000000 1.000000";
const char* const kHighlightsBrighten =
    "0.000000 0.000000 0.245000 0.245000 0.503043 0.503043 0.608696 0.802174 0.813044 0.959239 "
    "1.000000 1.000000";
const char* const kHighlightsDarken =
    "0.000000 0.000000 0.245000 0.245000 0.472609 0.472609 0.630435 0.563044 0.834783 0.650543 "
    "0.960870 0.810054 1.000000 1.000000";

// The five points of the Shadows/Highlights tone curve at rest.
const char* const kFivePointIdentity = "0 0 .25 .25 .5 .5 .75 .75 1 1";

constexpr double kInv360d = 1.0 / 360.0;

// A curve read from a point text (hue offset 180).
Curve curveFromText(const char* text) {
    Curve curve(0);
    GrowString points(text);
    curve.setFromString(points);
    return curve;
}

// Builds the one var of both building blocks: "Amount", a factor 0..2 shown
// as 0..100, and its preview track.
// The vars of Shadows/Highlights, in the order its constructor adds them;
// the two building blocks have the Amount only.
enum ShadowsHighlightsVar : int32_t { kShadows = 0, kMidtones = 1, kHighlights = 2, kMethod = 3 };
enum ToneEndVar : int32_t { kBlockAmount = 0 };

void addBlockAmount(ImageMod& mod, float amount) {
    ModVar* v = tilevars::placed(mod, kBlockAmount, tilevars::addFactorAmount(mod, amount));
    mod.addAnimTrack(v, ".3 1.7 .3", 3.0f);
}

// ---- Shadows and Highlights bodies ------------------------------------------------

enum class ToneEnd { kShadows, kHighlights };

// What one call runs, read from the tile before any pixel is touched.
struct ToneEndParams {
    bool valueCurve = true;        // version 2
    const float* table = nullptr;  // version 2: the brighten or darken table
    float strength = 0.0f;         // version 2: |a - 1|
    Curve luminanceCurve;          // other versions: built from the Amount
    tileloop::Selector selector;
};

// Version 1: (0,0), the moved quarter point, (0.5,0.5), (1,1) for Shadows;
// (0,0), (0.5,0.5), the moved three-quarter point, (1,1) for Highlights.
// The moved coordinates are formed in double and stored as float.
void buildVersion1Curve(ToneEnd end, float a, Curve& curve) {
    const double ad = a;
    GrowArray<CurvePoint> points;
    points.append(CurvePoint{0.0f, 0.0f});
    if (end == ToneEnd::kShadows) {
        if (a < 1.0f) points.append(CurvePoint{0.25f, static_cast<float>(0.25 + 0.25 * (ad - 1.0))});
        if (a > 1.0f) points.append(CurvePoint{static_cast<float>(0.25 + 0.25 * (1.0 - ad)), 0.25f});
        points.append(CurvePoint{0.5f, 0.5f});
    } else {
        points.append(CurvePoint{0.5f, 0.5f});
        if (a < 1.0f) points.append(CurvePoint{static_cast<float>(0.75 + 0.25 * (1.0 - ad)), 0.75f});
        if (a > 1.0f) points.append(CurvePoint{0.75f, static_cast<float>(0.75 + 0.25 * (ad - 1.0))});
    }
    points.append(CurvePoint{1.0f, 1.0f});
    curve.setPoints(points);
}

// False when the call leaves the image unchanged (Amount exactly 1, or a
// NaN Amount that no file can store).
bool prepareToneEnd(const ImageMod& mod, ToneEnd end, const Curve& brighten, const Curve& darken,
                    const RenderArgs* args, ToneEndParams& p) {
    const float a = tileloop::floatVar(mod, kBlockAmount);
    if (a == 1.0f || a != a) return false;
    p.selector = tileloop::selectorOf(args);
    if (mod.version == 2) {
        const Curve& curve = a > 1.0f ? brighten : darken;
        if (curve.table.count < Curve::kTableSize) return false;
        p.valueCurve = true;
        p.table = curve.table.data;
        p.strength = a > 1.0f ? a - 1.0f : 1.0f - a;
        return true;
    }
    p.valueCurve = false;
    buildVersion1Curve(end, a, p.luminanceCurve);
    return p.luminanceCurve.table.count >= Curve::kTableSize;
}

// Version 2 on one pixel: the HSV value through the table with strength k,
// the colour rebuilt from hue and saturation, three samples written.
template <class Sample>
inline void valueCurvePixel(Sample* px, const float* table, float k) {
    const hsvpixel::Hsv c = hsvpixel::hsvOf(px);
    const float looked = pixel::curveLookupUnit(table, c.v);
    const float v = (looked - c.v) * k + c.v;
    const float s = c.s;
    const float hh = static_cast<float>(static_cast<double>(c.h) * kInv360d) * 6.0f;
    const float n = floorf(hh);
    const float f = hh - n;
    const float p = (1.0f - s) * v;
    const float q = (1.0f - f * s) * v;
    const float t = (1.0f - (1.0f - f) * s) * v;
    float r, g, b;
    hsvpixel::pickSector(n, v, p, q, t, &r, &g, &b);
    const bool grey = s == 0.0f;  // a grey pixel takes the new value in all three
    tileloop::store(px[0], (grey ? v : r) * 255.0f);
    tileloop::store(px[1], (grey ? v : g) * 255.0f);
    tileloop::store(px[2], (grey ? v : b) * 255.0f);
}

inline void luminanceCurveRows(float* s, int64_t pixels, int32_t n, const float* table) {
    applyLuminanceCurveRow(s, pixels, n, table, 1.0f);
}
inline void luminanceCurveRows(uint8_t* s, int64_t pixels, int32_t n, const float* table) {
    applyLuminanceCurveRow8(s, pixels, n, table, 1.0f);
}

template <class Sample>
void toneEndPixels(ImageBuffer& image, const ToneEndParams& p) {
    if (p.valueCurve) {
        // The value curve reads three samples per pixel.
        if (image.channelCount() < 3) return;
        const float* table = p.table;
        const float k = p.strength;
        if (p.selector) {
            tileloop::forEachWeightedPixel<Sample>(
                image, p.selector, [=](Sample* px, auto, float w) { valueCurvePixel(px, table, k * w); });
        } else {
            tileloop::forEachPixel<Sample>(image, [=](Sample* px, auto) { valueCurvePixel(px, table, k); });
        }
        return;
    }
    const float* table = p.luminanceCurve.table.data;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [=](Sample* px, auto n, float w) {
            pixel::luminanceCurvePixel(px, n, table, w);
        });
    } else if (tileloop::hasPixels(image)) {
        luminanceCurveRows(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                           image.channelCount(), table);
    }
}

template <class Sample>
void runToneEnd(const ImageMod& mod, ToneEnd end, const Curve& brighten, const Curve& darken, ImageBuffer& image,
                const RenderArgs* args) {
    ToneEndParams p;
    if (prepareToneEnd(mod, end, brighten, darken, args, p)) toneEndPixels<Sample>(image, p);
}

// ---- Shadows/Highlights ------------------------------------------------------------

// A signed slider -1..1 shown as 0..100, with its preview track.
ModVar* addSlider(ImageMod& mod, const char* name, float seconds) {
    ModVar* v = mod.addFloatVar(name, 0.0f, -1.0f, 1.0f, 0);
    tilevars::showAsPercent(*v->floatValue(), 0.0f);
    mod.addAnimTrack(v, "-.5 .5 -.5", seconds);
    return v;
}

}  // namespace

// ---- ShadowsMod ------------------------------------------------------------------

ShadowsMod::ShadowsMod(float amount) : ImageMod(GrowString("Shadows"), GrowString("Shadows")), brighten(0), darken(0) {
    brighten = curveFromText(kShadowsBrighten);
    darken = curveFromText(kShadowsDarken);
    addBlockAmount(*this, amount);
    setVersion(kNewestVersion);
    description = "Adjust the brightness of only the darker portions of an image.";
}

ImageMod* ShadowsMod::clone() const { return new ShadowsMod(1.0f); }

void ShadowsMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ShadowsMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void ShadowsMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    runToneEnd<uint8_t>(*this, ToneEnd::kShadows, brighten, darken, image, args);
}

void ShadowsMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    runToneEnd<float>(*this, ToneEnd::kShadows, brighten, darken, image, args);
}

// ---- HighlightsMod -------------------------------------------------------------

HighlightsMod::HighlightsMod()
    : ImageMod(GrowString("Highlights"), GrowString("Highlights")), brighten(0), darken(0) {
    brighten = curveFromText(kHighlightsBrighten);
    darken = curveFromText(kHighlightsDarken);
    addBlockAmount(*this, 1.0f);
    setVersion(kNewestVersion);
    description = "Adjust the brightness of only the lighter portions of an image.";
}

ImageMod* HighlightsMod::clone() const { return new HighlightsMod(); }

void HighlightsMod::process8(ImageBuffer& image, const RenderArgs* args) {
    runToneEnd<uint8_t>(*this, ToneEnd::kHighlights, brighten, darken, image, args);
}

void HighlightsMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    runToneEnd<float>(*this, ToneEnd::kHighlights, brighten, darken, image, args);
}

// ---- ShadowsHighlightsMod ----------------------------------------------------------

ShadowsHighlightsMod::ShadowsHighlightsMod()
    : ImageMod(GrowString("Shadows/Highlights"), GrowString("Shadows/Highlights")), tone(Curve(0)) {
    version = kNewestVersion;
    if (ModVar* curveVar = tone.var(kToneCurveCurve)) curveVar->makeCurve()->curve = curveFromText(kFivePointIdentity);

    tilevars::placed(*this, kShadows, addSlider(*this, "Shadows", 3.0f));
    tilevars::placed(*this, kMidtones, addSlider(*this, "Midtones", 2.47f));
    tilevars::placed(*this, kHighlights, addSlider(*this, "Highlights", 3.53f));

    // "Method" is a copy of the tone curve's own, set to "Value".
    const ModVar* toneMethod = tone.var(kToneCurveMethod);
    ModVar* method = tilevars::placed(*this, kMethod, addVar(toneMethod ? *toneMethod : ModVar("Method", nullptr)));
    ChoiceValue* choice = method->makeChoice();
    choice->selected = 2;
    GrowArray<GrowString> options;
    if (choice->lists.count > 0) options = choice->lists[0];
    addChoiceAnimTrack(method, options, static_cast<float>(options.count) * 2.47f);

    description = "Separately adjust the brightness of dark, midtone, and light areas of an image.";
}

ImageMod* ShadowsHighlightsMod::clone() const { return new ShadowsHighlightsMod(); }

void ShadowsHighlightsMod::copyFrom(const ImageMod& other) {
    ImageMod::copyFrom(other);
    const auto* source = dynamic_cast<const ShadowsHighlightsMod*>(&other);
    if (source && source != this) tone.copyFrom(source->tone);
}

void ShadowsHighlightsMod::process8(ImageBuffer& image, const RenderArgs* args) { applyToneCurve8(tone, image, args); }

void ShadowsHighlightsMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    applyToneCurve(tone, image, args);
}

void ShadowsHighlightsMod::varChanged(int32_t) {
    ModVar* curveVar = tone.var(kToneCurveCurve);
    if (!curveVar) return;
    Curve& curve = curveVar->makeCurve()->curve;
    if (curve.points.count != 5) curve = curveFromText(kFivePointIdentity);

    const float S = tileloop::floatVar(*this, kShadows);
    const float M = tileloop::floatVar(*this, kMidtones);
    const float H = tileloop::floatVar(*this, kHighlights);

    // Midtones move the middle point along the anti-diagonal.
    const double d = 0.25 * static_cast<double>(M);
    const float x2 = static_cast<float>(0.5 - d);
    const float y2 = static_cast<float>(0.5 + d);

    // Shadows: raising moves P1 left and up, lowering moves it down.
    CurvePoint p1;
    if (S >= 0.0f)
        p1 = CurvePoint{0.5f * x2 * (1.0f - S), 0.5f * y2 * (1.0f + S)};
    else
        p1 = CurvePoint{0.5f * x2, 0.5f * y2 * (1.0f + S)};

    // Highlights: between the middle point and white.
    const float u = (x2 + 1.0f) * 0.5f;
    const float w = (y2 + 1.0f) * 0.5f;
    const CurvePoint p3{H > 0.0f ? u : (u - 1.0f) * H + u, (1.0f - w) * H + w};

    curve.points[1] = p1;
    curve.points[2] = CurvePoint{x2, y2};
    curve.points[3] = p3;
    curve.rebuildTable();

    if (ModVar* method = var(kMethod)) {
        if (ModVar* target = tone.var(kToneCurveMethod)) *target = *method;
    }
}
