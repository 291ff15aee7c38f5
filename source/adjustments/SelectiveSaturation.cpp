#include "adjustments/SelectiveSaturation.h"

#include <cmath>

#include "adjustments/TileVars.h"
#include "foundation/ColorConversions.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them.
enum SelectiveSaturationVar : int32_t { kColour = 0, kTolerance = 1, kSaturation = 2 };

const float kStartColour[4] = {229.0f, 182.0f, 171.0f, 255.0f};

struct SelectiveParams {
    float targetHue = 0.0f;  // degrees
    float tolerance = 0.0f;  // degrees: full effect up to here
    double fadeEnd = 0.0;    // degrees: no effect beyond here
    float factor = 1.0f;     // the saturation factor q
};

// False when the call leaves the image unchanged: Saturation exactly 1, a
// colour var of another kind, NaN parameters, no pixels or fewer than three
// channels.
bool prepareSelective(const SelectiveSaturationMod& mod, const ImageBuffer& image, SelectiveParams& p) {
    const ModVar* colourVar = mod.var(kColour);
    const ColorValue* colour = colourVar ? colourVar->colorValue() : nullptr;
    if (!colour) return false;
    float s = tileloop::floatVar(mod, kSaturation);
    if (s == 1.0f || std::isnan(s)) return false;
    const float tolerance = static_cast<float>(static_cast<double>(tileloop::floatVar(mod, kTolerance)) * 1.8);
    if (std::isnan(tolerance)) return false;
    if (!tileloop::hasPixels(image) || image.channelCount() < 3) return false;
    p.targetHue = rgbHue(colour->red, colour->green, colour->blue);
    p.tolerance = tolerance;
    p.fadeEnd = static_cast<double>(tolerance) * 1.5;
    // The factor mapping of the Saturation tile: above 1 stretched toward
    // large gains, held below 2 (1.99999 as a float) so it stays finite.
    if (s > 1.99999f) s = 1.99999f;
    p.factor = s > 1.0f ? static_cast<float>(1.0 / (2.0 - static_cast<double>(s))) : s;
    return true;
}

// The weight of a hue distance d beyond the tolerance: 1 at d = tol,
// falling along two parabolas to 0 at d = 1.5 tol.
inline float fadeWeight(float d, float tol) {
    const float t = (d - tol) / (0.5f * tol);
    float e;
    if (t <= 0.0f) {
        e = 0.0f;
    } else if (t < 0.5f) {
        const float twice = 2.0f * t;
        e = twice * twice * 0.5f;
    } else if (t >= 1.0f) {
        e = 1.0f;
    } else {
        const float rest = static_cast<float>(2.0 - 2.0 * static_cast<double>(t));
        e = static_cast<float>(1.0 - 0.5 * static_cast<double>(rest * rest));
    }
    return 1.0f - e;
}

inline float clampOrZero(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v < 255.0f ? v : 255.0f;
}

template <class Sample>
void selectivePixels(ImageBuffer& image, const SelectiveParams& p) {
    const float hc = p.targetHue;
    const float tol = p.tolerance;
    const double fadeEnd = p.fadeEnd;
    const float q = p.factor;
    tileloop::forEachPixel<Sample>(image, [=](Sample* px, auto n) {
        const float h = rgbHue(static_cast<float>(px[0]), static_cast<float>(px[1]), static_cast<float>(px[2]));
        float d = std::fabs(h - hc);
        if (d > 180.0f) d = 360.0f - d;
        if (static_cast<double>(d) > fadeEnd) return;
        const float w = d <= tol ? 1.0f : fadeWeight(d, tol);
        const float L = pixel::luminance(px, 3);
        const float k = static_cast<float>((1.0 - static_cast<double>(w)) + static_cast<double>(w * q));
        const float o = (1.0f - k) * L;
        for (int32_t c = 0; c < n; ++c) tileloop::store(px[c], clampOrZero(static_cast<float>(px[c]) * k + o));
    });
}

}  // namespace

SelectiveSaturationMod::SelectiveSaturationMod(const float colour[4])
    : ImageMod(GrowString("Selective Saturation"), GrowString("Selective Saturation")) {
    version = kNewestVersion;
    tilevars::placed(*this, kColour,
                     addVar(ModVar("Color", new ColorValue(colour[0], colour[1], colour[2], colour[3]))));
    tilevars::placed(*this, kTolerance, addFloatVar("Tolerance", 20.0f, 0.0f, 100.0f, 0));
    ModVar* saturation = tilevars::placed(*this, kSaturation, addFloatVar("Saturation", 0.3f, 0.0f, 2.0f, 0));
    tilevars::showAsPercent(*saturation->floatValue(), 0.0f);
    description = "Adjust the saturation of a specific hue only.";
}

ImageMod* SelectiveSaturationMod::clone() const { return new SelectiveSaturationMod(kStartColour); }

void SelectiveSaturationMod::process8(ImageBuffer& image, const RenderArgs*) {
    SelectiveParams p;
    if (prepareSelective(*this, image, p)) selectivePixels<uint8_t>(image, p);
}

void SelectiveSaturationMod::processFloat(ImageBuffer& image, const RenderArgs*) {
    SelectiveParams p;
    if (prepareSelective(*this, image, p)) selectivePixels<float>(image, p);
}
