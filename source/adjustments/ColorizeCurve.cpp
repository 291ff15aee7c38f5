#include "adjustments/ColorizeCurve.h"

#include "adjustments/ColorMethods.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them.
enum ColorizeCurveVar : int32_t { kRegion = 0, kColour = 1, kAmount = 2, kMethod = 3 };

const float kStartColour[4] = {127.0f, 63.0f, 0.0f, 255.0f};

struct ColorizeCurveParams {
    const float* table = nullptr;  // the region curve's 2048 heights
    float amount = 0.0f;
    ColorMethod method = kColorizeMethod;
    ColorMethodColours colours;
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged: Amount 0, no pixels, a
// region or colour var of another kind, or a method that reads three
// samples on an image of fewer channels.
bool prepareColorizeCurve(const ColorizeCurveMod& mod, const ImageBuffer& image, const RenderArgs* args,
                          ColorizeCurveParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    const ModVar* regionVar = mod.var(kRegion);
    const CurveValue* region = regionVar ? regionVar->curveValue() : nullptr;
    const ModVar* colourVar = mod.var(kColour);
    const ColorValue* colour = colourVar ? colourVar->colorValue() : nullptr;
    if (!region || !colour || region->curve.table.count < Curve::kTableSize) return false;
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 0.0f) return false;
    const ModVar* methodVar = mod.var(kMethod);
    const ChoiceValue* choice = methodVar ? methodVar->choiceValue() : nullptr;
    p.method = colorMethodFromIndex(choice ? choice->selected : 0);
    const bool dyeKeepsDetail = mod.version == 2;
    if (image.channelCount() < 3 && colorMethodNeedsThreeChannels(p.method, dyeKeepsDetail)) return false;
    p.table = region->curve.table.data;
    prepareColorMethod(p.colours, colour->red, colour->green, colour->blue, dyeKeepsDetail);
    p.selector = tileloop::selectorOf(args);
    return true;
}

// The signed strength at a pixel: (t - 0.5) 2a in double, t the region's
// height at the pixel's luminance.
template <class Sample, class N>
inline float regionStrength(const Sample* px, N n, const float* table, double twiceAmount) {
    const float t = pixel::curveLookup(table, pixel::luminance(px, n));
    return static_cast<float>((static_cast<double>(t) - 0.5) * twiceAmount);
}

template <ColorMethod M, class Sample>
void colorizeCurvePixels(ImageBuffer& image, const ColorizeCurveParams& p) {
    const float* table = p.table;
    const double twiceAmount = 2.0 * static_cast<double>(p.amount);
    const ColorMethodColours& colours = p.colours;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto n, float w) {
            const float s = regionStrength(px, n, table, twiceAmount) * w;
            applyColorMethod<M>(colours, px, n, s);
        });
        return;
    }
    tileloop::forEachPixel<Sample>(image, [&](Sample* px, auto n) {
        applyColorMethod<M>(colours, px, n, regionStrength(px, n, table, twiceAmount));
    });
}

// The method switch, once per call.
template <class Sample>
void colorizeCurve(const ColorizeCurveMod& mod, ImageBuffer& image, const RenderArgs* args) {
    ColorizeCurveParams p;
    if (!prepareColorizeCurve(mod, image, args, p)) return;
    switch (p.method) {
    case kTintMethod: colorizeCurvePixels<kTintMethod, Sample>(image, p); break;
    case kColorFilterMethod: colorizeCurvePixels<kColorFilterMethod, Sample>(image, p); break;
    case kDyeMethod: colorizeCurvePixels<kDyeMethod, Sample>(image, p); break;
    case kColorBalanceMethod: colorizeCurvePixels<kColorBalanceMethod, Sample>(image, p); break;
    case kScreenMethod: colorizeCurvePixels<kScreenMethod, Sample>(image, p); break;
    case kMultiplyMethod: colorizeCurvePixels<kMultiplyMethod, Sample>(image, p); break;
    default: colorizeCurvePixels<kColorizeMethod, Sample>(image, p); break;
    }
}

}  // namespace

ColorizeCurveMod::ColorizeCurveMod(const Curve& region, const float colour[4], uint32_t methodIndex, float amount)
    : ImageMod(GrowString("Colorize Curve"), GrowString("Coloring Curve")) {
    ModVar* regionVar = tilevars::placed(*this, kRegion, addVar(ModVar("Luminance Region", new CurveValue(region))));
    regionVar->controlCode = kControlCurveA;
    regionVar->setAlias("Affected Brightness");
    ModVar* colourVar = tilevars::placed(
        *this, kColour, addVar(ModVar("Color", new ColorValue(colour[0], colour[1], colour[2], colour[3]))));
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFloatVar("Amount", amount, 0.0f, 1.0f, 0));
    amountVar->shown = 0;  // driven by the owning tiles, never by a control
    const GrowArray<GrowString> methods = colorMethodOptions();
    ModVar* methodVar = tilevars::placed(
        *this, kMethod, addVar(ModVar("Color Method", new ChoiceValue(methods, static_cast<int32_t>(methodIndex)))));

    // The hover preview moves the region's three points, sweeps the hue and
    // steps through the methods.
    tilevars::addCurvePreview(*this, regionVar, {"0 .25 0 .75 0 .25", ".5 .75 .5 .25 .5 .75", "1 .25 1 .5 1 .25"},
                              {2.135f, 2.737f, 2.464f});
    addColorAnimTrack(colourVar, "0 1 .75 1 360 1 .75 1", 3.0f);
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 1.81f);

    setVersion(kNewestVersion);
    description = "Adjust the color of a specified luminance region.";
}

Curve ColorizeCurveMod::startRegion() {
    Curve curve(0);
    GrowString text("0 .5 .5 .6 1 .5");
    curve.setFromString(text);
    return curve;
}

ModVar* ColorizeCurveMod::amountVar() { return var(kAmount); }
ModVar* ColorizeCurveMod::colorMethodVar() { return var(kMethod); }
ModVar* ColorizeCurveMod::colorVar() { return var(kColour); }

ImageMod* ColorizeCurveMod::clone() const {
    return withVersionOf(*this, new ColorizeCurveMod(startRegion(), kStartColour, 0, 1.0f));
}

void ColorizeCurveMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ColorizeCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void ColorizeCurveMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    colorizeCurve<uint8_t>(*this, image, args);
}

void ColorizeCurveMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    colorizeCurve<float>(*this, image, args);
}
