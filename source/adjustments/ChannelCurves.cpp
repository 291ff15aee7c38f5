#include "adjustments/ChannelCurves.h"

#include "adjustments/Curves.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

using tilevars::addStrengthAmount;  // the "Amount" of the three tiles

// The vars of each tile, in the order its constructor adds them. RGB Curves
// keeps its channel curves first, red to blue, then the common one.
enum RgbCurveVar : int32_t { kRgbCurveAmount = 0, kRgbCurveCurve = 1 };
enum RgbCurvesVar : int32_t { kRedCurve = 0, kGreenCurve = 1, kBlueCurve = 2, kCommonCurve = 3, kCurvesAmount = 4 };
enum ComponentCurveVar : int32_t { kComponentAmount = 0, kComponentCurve = 1, kComponents = 2 };

ModVar* addCurveVar(ImageMod& mod, const char* name, const Curve& curve) {
    return mod.addVar(ModVar(name, new CurveValue(curve)));
}

// The table of curve var `index`, or null when the var holds no curve.
const float* curveTable(const ImageMod& mod, int32_t index, bool& straight) {
    const ModVar* v = mod.var(index);
    const CurveValue* value = v ? v->curveValue() : nullptr;
    if (!value || value->curve.table.count < Curve::kTableSize) return nullptr;
    straight = isStraightCurve(value->curve);
    return value->curve.table.data;
}

// The channel curve blend: X (1 - p) in double, 255 p T(X) in float, the
// sum in double, rounded to float.
inline float channelBlend(float x, float p, const float* table) {
    const double kept = static_cast<double>(x) * (1.0 - static_cast<double>(p));
    const float mapped = 255.0f * p * pixel::curveLookup(table, x);
    return static_cast<float>(kept + static_cast<double>(mapped));
}

template <class Sample>
inline void blendSample(Sample& sample, float p, const float* table) {
    tileloop::store(sample, channelBlend(static_cast<float>(sample), p, table));
}

// The 256 results of the blend on bytes: an 8-bit pass without a selector
// is one lookup per sample.
void byteBlendTable(uint8_t out[256], float p, const float* table) {
    for (int32_t b = 0; b < 256; ++b) out[b] = storeByte(channelBlend(static_cast<float>(b), p, table));
}

void identityTable(uint8_t out[256]) {
    for (int32_t b = 0; b < 256; ++b) out[b] = static_cast<uint8_t>(b);
}

// One pass of the blend over sample `channel` of every pixel, with the
// strength w x scale, w the selector's weight at the pixel.
template <class Sample>
void weightedCurvePass(ImageBuffer& image, const tileloop::Selector& selector, int32_t channel, const float* table,
                       float scale) {
    tileloop::forEachWeightedPixel<Sample>(image, selector, [&](Sample* px, auto, float w) {
        blendSample(px[channel], w * scale, table);
    });
}

// ---- RGB Curve -----------------------------------------------------------------

struct RgbCurveParams {
    float amount = 0.0f;
    const float* table = nullptr;
};

bool prepareRgbCurve(const RgbCurveMod& mod, const ImageBuffer& image, RgbCurveParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    p.amount = tileloop::floatVar(mod, kRgbCurveAmount);
    if (p.amount == 0.0f) return false;
    bool straight = true;
    p.table = curveTable(mod, kRgbCurveCurve, straight);
    return p.table && !straight;
}

TILE_VECTOR_LOOP void rgbCurveFloats(ImageBuffer& image, const RgbCurveParams& p) {
    float* samples = image.floats();
    const int64_t count = image.sampleCount();
    const float a = p.amount;
    const float* table = p.table;
    for (int64_t i = 0; i < count; ++i) samples[i] = channelBlend(samples[i], a, table);
}

void rgbCurveBytes(ImageBuffer& image, const RgbCurveParams& p) {
    const float a = p.amount;
    const float* table = p.table;
    tileloop::mapEveryByte(image, [=](uint8_t b) { return storeByte(channelBlend(static_cast<float>(b), a, table)); });
}

// ---- RGB Curves ------------------------------------------------------------------

struct RgbCurvesParams {
    float amount = 0.0f;
    const float* channel[3] = {nullptr, nullptr, nullptr};  // null: straight, skipped
    const float* common = nullptr;
    int32_t channels = 3;  // red, green, blue that the image has
    tileloop::Selector selector;
};

bool prepareRgbCurves(const RgbCurvesMod& mod, const ImageBuffer& image, const RenderArgs* args,
                      RgbCurvesParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    p.amount = tileloop::floatVar(mod, kCurvesAmount);
    if (p.amount == 0.0f) return false;
    const float* tables[4];
    bool straight[4];
    for (int32_t i = 0; i < 4; ++i) {
        straight[i] = true;
        tables[i] = curveTable(mod, kRedCurve + i, straight[i]);
        if (!tables[i]) return false;
    }
    for (int32_t k = 0; k < 3; ++k) p.channel[k] = straight[k] ? nullptr : tables[k];
    p.common = straight[3] ? nullptr : tables[3];
    if (!p.common && !p.channel[0] && !p.channel[1] && !p.channel[2]) return false;  // no pass runs
    const int32_t n = image.channelCount();
    p.channels = n < 3 ? n : 3;
    p.selector = tileloop::selectorOf(args);
    return true;
}

// Without a selector every sample is independent of the others, so the
// passes fold into one walk: channel curve, then the common curve.
TILE_VECTOR_LOOP void rgbCurvesFloats(ImageBuffer& image, const RgbCurvesParams& p) {
    const float a = p.amount;
    const int32_t channels = p.channels;
    tileloop::forEachPixel<float>(image, [&](float* px, auto) {
        for (int32_t k = 0; k < channels; ++k) {
            if (p.channel[k]) px[k] = channelBlend(px[k], a, p.channel[k]);
            if (p.common) px[k] = channelBlend(px[k], a, p.common);
        }
    });
}

// On bytes each pass stores a byte that the next pass reads: the two
// tables compose into one per channel.
void rgbCurvesBytes(ImageBuffer& image, const RgbCurvesParams& p) {
    uint8_t common[256];
    if (p.common) {
        byteBlendTable(common, p.amount, p.common);
    } else {
        identityTable(common);
    }
    uint8_t tables[3][256];
    for (int32_t k = 0; k < 3; ++k) {
        uint8_t own[256];
        if (p.channel[k]) {
            byteBlendTable(own, p.amount, p.channel[k]);
        } else {
            identityTable(own);
        }
        for (int32_t b = 0; b < 256; ++b) tables[k][b] = common[own[b]];
    }
    const int32_t channels = p.channels;
    tileloop::forEachPixel<uint8_t>(image, [&](uint8_t* px, auto) {
        for (int32_t k = 0; k < channels; ++k) px[k] = tables[k][px[k]];
    });
}

// With a selector the passes run one after another, each asking the
// selector for every pixel's weight (a mask may read the samples that the
// pass before changed). The weight alone is the strength.
template <class Sample>
void rgbCurvesWeighted(ImageBuffer& image, const RgbCurvesParams& p) {
    for (int32_t k = 0; k < p.channels; ++k) {
        if (p.channel[k]) weightedCurvePass<Sample>(image, p.selector, k, p.channel[k], 1.0f);
        if (p.common) weightedCurvePass<Sample>(image, p.selector, k, p.common, 1.0f);
    }
}

// ---- Component Curve ---------------------------------------------------------------

struct ComponentCurveParams {
    float amount = 0.0f;
    const float* table = nullptr;
    bool channel[3] = {false, false, false};
    tileloop::Selector selector;
};

bool prepareComponentCurve(const ComponentCurveMod& mod, const ImageBuffer& image, const RenderArgs* args,
                           ComponentCurveParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    p.amount = tileloop::floatVar(mod, kComponentAmount);
    if (p.amount == 0.0f) return false;
    bool straight = true;
    p.table = curveTable(mod, kComponentCurve, straight);
    if (!p.table || straight) return false;
    const ModVar* componentsVar = mod.var(kComponents);
    const ChoiceValue* choice = componentsVar ? componentsVar->choiceValue() : nullptr;
    const int32_t set = choice ? choice->selected : 0;
    // Red, Green, Blue, Red+Green, Green+Blue, Blue+Red; other indices
    // (a hand-edited file) name no channel.
    static const bool kSets[6][3] = {{true, false, false}, {false, true, false}, {false, false, true},
                                     {true, true, false},  {false, true, true},  {true, false, true}};
    if (set < 0 || set > 5) return false;
    const int32_t n = image.channelCount();
    bool any = false;
    for (int32_t k = 0; k < 3; ++k) {
        p.channel[k] = kSets[set][k] && k < n;
        any = any || p.channel[k];
    }
    p.selector = tileloop::selectorOf(args);
    return any;
}

template <class Sample>
void componentCurve(const ComponentCurveMod& mod, ImageBuffer& image, const RenderArgs* args) {
    ComponentCurveParams p;
    if (!prepareComponentCurve(mod, image, args, p)) return;
    if (p.selector) {
        for (int32_t k = 0; k < 3; ++k) {
            if (p.channel[k]) weightedCurvePass<Sample>(image, p.selector, k, p.table, p.amount);
        }
        return;
    }
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        uint8_t table[256];
        byteBlendTable(table, p.amount, p.table);
        tileloop::forEachPixel<uint8_t>(image, [&](uint8_t* px, auto) {
            for (int32_t k = 0; k < 3; ++k) {
                if (p.channel[k]) px[k] = table[px[k]];
            }
        });
    } else {
        const float a = p.amount;
        const float* table = p.table;
        tileloop::forEachPixel<float>(image, [&](float* px, auto) {
            for (int32_t k = 0; k < 3; ++k) {
                if (p.channel[k]) px[k] = channelBlend(px[k], a, table);
            }
        });
    }
}

}  // namespace

// ---- RgbCurveMod -----------------------------------------------------------------------

RgbCurveMod::RgbCurveMod(const Curve& curve, float amount)
    : ImageMod(GrowString("RGB Curve"), GrowString("RGB Curve")) {
    version = kNewestVersion;
    tilevars::placed(*this, kRgbCurveAmount, addStrengthAmount(*this, amount));
    tilevars::placed(*this, kRgbCurveCurve, addCurveVar(*this, "Curve", curve));
    description = "Adjust RGB values together using a curve editor.";
}

ImageMod* RgbCurveMod::clone() const { return new RgbCurveMod(Curve(0), 1.0f); }

void RgbCurveMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void RgbCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void RgbCurveMod::apply8(ImageBuffer& image, const RenderArgs*) const {
    RgbCurveParams p;
    if (prepareRgbCurve(*this, image, p)) rgbCurveBytes(image, p);
}

void RgbCurveMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    RgbCurveParams p;
    if (prepareRgbCurve(*this, image, p)) rgbCurveFloats(image, p);
}

// ---- RgbCurvesMod ----------------------------------------------------------------------

RgbCurvesMod::RgbCurvesMod(const Curve& red, const Curve& green, const Curve& blue, const Curve& rgb, float amount)
    : ImageMod(GrowString("RGB Curves"), GrowString("R,G,B Curves")) {
    version = kNewestVersion;
    ModVar* channelVars[3];
    channelVars[0] = tilevars::placed(*this, kRedCurve, addCurveVar(*this, "Red", red));
    channelVars[1] = tilevars::placed(*this, kGreenCurve, addCurveVar(*this, "Green", green));
    channelVars[2] = tilevars::placed(*this, kBlueCurve, addCurveVar(*this, "Blue", blue));
    tilevars::placed(*this, kCommonCurve, addCurveVar(*this, "RGB", rgb))->shown = 0;
    // The Amount is set by camera styles, never by a control.
    tilevars::placed(*this, kCurvesAmount, addStrengthAmount(*this, amount))->shown = 0;

    // The hover preview moves the three points of each channel's curve, each
    // channel at its own pace (periods in double, stored as float).
    for (int32_t i = 0; i < 3; ++i) {
        tilevars::addCurvePreview(*this, channelVars[i], {"0 0 0 .1 0 0", ".5 .7 .5 .3 .5 .7", "1 1 1 .9 1 1"},
                                  {static_cast<float>(2.135 + 0.32 * i), static_cast<float>(2.737 - 0.25 * i),
                                   static_cast<float>(2.464 - 0.37 * i)});
    }
    description = "Adjust separate curves for red, green, and blue components.";
}

ImageMod* RgbCurvesMod::clone() const { return new RgbCurvesMod(Curve(0), Curve(0), Curve(0), Curve(0), 1.0f); }

void RgbCurvesMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void RgbCurvesMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void RgbCurvesMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    RgbCurvesParams p;
    if (!prepareRgbCurves(*this, image, args, p)) return;
    if (p.selector) {
        rgbCurvesWeighted<uint8_t>(image, p);
    } else {
        rgbCurvesBytes(image, p);
    }
}

void RgbCurvesMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    RgbCurvesParams p;
    if (!prepareRgbCurves(*this, image, args, p)) return;
    if (p.selector) {
        rgbCurvesWeighted<float>(image, p);
    } else {
        rgbCurvesFloats(image, p);
    }
}

// ---- ComponentCurveMod -----------------------------------------------------------------

ComponentCurveMod::ComponentCurveMod(const Curve& curve)
    : ImageMod(GrowString("Component Curve"), GrowString("Component Curve")) {
    version = kNewestVersion;
    tilevars::placed(*this, kComponentAmount, addStrengthAmount(*this, 1.0f));
    ModVar* curveVar = tilevars::placed(*this, kComponentCurve, addCurveVar(*this, "Curve", curve));
    // Two lists of the same six options: the names shown, and the short
    // forms that preset files may name the selection by.
    GrowArray<GrowArray<GrowString>> lists;
    GrowArray<GrowString> names;
    GrowArray<GrowString> shortNames;
    for (const char* text : {"Red", "Green", "Blue", "Red+Green", "Green+Blue", "Blue+Red"}) names.append(GrowString(text));
    for (const char* text : {"R", "G", "B", "RG", "GB", "BR"}) shortNames.append(GrowString(text));
    lists.append(names);
    lists.append(shortNames);
    ModVar* componentsVar =
        tilevars::placed(*this, kComponents, addVar(ModVar("Components", ChoiceValue::initLists(lists, 0))));

    // The hover preview lets the middle point wander while the ends stay,
    // and steps through the channel sets.
    tilevars::addCurvePreview(*this, curveVar, {"0 0", ".3 .15 .15 .3 .65 .85 .85 .65 .3 .15", "1 1"},
                              {1.0f, 3.0f, 1.0f});
    addChoiceAnimTrack(componentsVar, names, static_cast<float>(names.count) * 2.33f);

    description = "Adjust a single curve for individual or combined red, green, and blue components.";
}

ImageMod* ComponentCurveMod::clone() const { return new ComponentCurveMod(Curve(0)); }

void ComponentCurveMod::process8(ImageBuffer& image, const RenderArgs* args) {
    componentCurve<uint8_t>(*this, image, args);
}

void ComponentCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    componentCurve<float>(*this, image, args);
}
