#include "effects/Vignette.h"

#include <math.h>

#include <cstddef>

#include "adjustments/TileVars.h"
#include "framework/SelectorMod.h"
#include "pixels/RowLoops.h"

namespace {

// The vars, in the order the constructor adds them.
enum VignetteVar : int32_t { kAmount = 0, kSharpness = 1, kRadius = 2 };

const char* const kDescription =
    "Simulate vignetting around the corners of the image. Falloff and Radius affect the intensity and size of the "
    "effect.";

// The call's parameters, read once.
struct VignetteParams {
    float shift = 0.0f;  // Amount x 255, the shift at full reach without a selector
    float amount = 0.0f;
    float exponent = 1.0f;
    float reach = 0.0f;  // D: the distance at which t = 1
    PhotoRect rect;
    tileloop::Selector selector;
};

// False when the image stays as it is: no pixels, Amount 0, not a float or
// not a number.
bool prepareVignette(const VignetteMod& mod, const ImageBuffer& image, const RenderArgs* args, VignetteParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    const FloatValue* amount = mod.floatAt(kAmount);
    if (!amount || amount->value == 0.0f || isnan(amount->value)) return false;
    p.amount = amount->value;
    p.shift = p.amount * 255.0f;
    p.exponent = vignetteExponent(tileloop::floatVar(mod, kSharpness));
    const float radius = tileloop::floatVar(mod, kRadius);
    const RenderRegion* region = args ? args->region : nullptr;
    p.rect = photoRectOf(image, region);
    const float hw = static_cast<float>(static_cast<double>(p.rect.width) * 0.5);
    const float hh = static_cast<float>(static_cast<double>(p.rect.height) * 0.5);
    const float halfDiagonal = sqrtf(hw * hw + hh * hh);
    p.reach = halfDiagonal * (2.0f * radius);
    p.selector.mod = args ? asSelector(args->selector) : nullptr;
    p.selector.region = region;
    return true;
}

// v - delta clamped to 0..255, NaN as 0; bytes truncated toward zero.
TILE_INLINE float shifted(float v, float delta) {
    const float r = v - delta;
    return r > 0.0f ? (r < 255.0f ? r : 255.0f) : 0.0f;
}

template <class Sample>
void vignetteBody(const VignetteMod& mod, ImageBuffer& image, const RenderArgs* args) {
    VignetteParams p;
    if (!prepareVignette(mod, image, args, p)) return;
    const int32_t width = image.width;
    const int32_t channels = image.channelCount();
    Sample* data = static_cast<Sample*>(image.data);
    for (int32_t y = 0; y < image.height; ++y) {
        const float dy = static_cast<float>(static_cast<int64_t>(y) - p.rect.cy);
        const float dy2 = dy * dy;
        Sample* row = data + static_cast<ptrdiff_t>(y) * width * channels;
        for (int32_t x = 0; x < width; ++x) {
            const float dx = static_cast<float>(static_cast<int64_t>(x) - p.rect.cx);
            const float t = sqrtf(dx * dx + dy2) / p.reach;
            const float f = vignetteRamp(t, p.exponent);
            float delta;
            if (p.selector) {
                const float k = tileloop::weightAt(p.selector, image, x, y, data) * p.amount;
                delta = k * 255.0f * f;
            } else {
                delta = p.shift * f;
            }
            Sample* px = row + static_cast<ptrdiff_t>(x) * channels;
            for (int32_t c = 0; c < channels; ++c)
                tileloop::store(px[c], shifted(static_cast<float>(px[c]), delta));
        }
    }
}

}  // namespace

PhotoRect photoRectOf(const ImageBuffer& image, const RenderRegion* region) {
    PhotoRect rect;
    if (!region) {
        rect.width = image.width;
        rect.height = image.height;
        rect.cx = image.width / 2;
        rect.cy = image.height / 2;
        return rect;
    }
    rect.width = static_cast<int64_t>(region->fullWidth) - region->insetLeft - region->insetRight;
    rect.height = static_cast<int64_t>(region->fullHeight) - region->insetTop - region->insetBottom;
    // The whole picture's centre (floor, so that it is one pixel for every
    // band), then in this image's coordinates.
    const double left = static_cast<double>(region->insetLeft) + static_cast<double>(rect.width) * 0.5;
    const double top = static_cast<double>(region->insetTop) + static_cast<double>(rect.height) * 0.5;
    rect.cx = static_cast<int64_t>(floor(left)) - region->originX;
    rect.cy = static_cast<int64_t>(floor(top)) - region->originY;
    return rect;
}

float vignetteExponent(float sharpness) {
    const float base = static_cast<float>(1.0 - 0.01 * static_cast<double>(sharpness));
    return 1.0f / powf(base, 1.68f);
}

float vignetteRamp(float t, float E) {
    if (!(t > 0.0f)) return 0.0f;
    const float u = t * 1.05f;
    float f;
    if (u < 0.5f)
        f = 0.5f * powf(t * 2.1f, E);
    else if (u < 1.0f)
        f = static_cast<float>(1.0 - 0.5 * static_cast<double>(powf(static_cast<float>(2.0 - 2.0 * double(u)), E)));
    else
        f = 1.0f;
    if (isnan(f)) return 0.0f;
    return f < 1.0f ? f : 1.0f;
}

VignetteMod::VignetteMod(float amount, float sharpness, float radius)
    : ImageMod(GrowString("Vignette"), GrowString("Vignette")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFloatVar("Amount", amount, -1.0f, 1.0f));
    tilevars::showAsPercent(*amountVar->floatValue(), -100.0f);
    ModVar* sharpnessVar = tilevars::placed(*this, kSharpness, addFloatVar("Sharpness", sharpness, 0.0f, 100.0f));
    sharpnessVar->setAlias("Falloff");
    ModVar* radiusVar = tilevars::placed(*this, kRadius, addFloatVar("Radius", radius, 0.0f, 2.0f));
    description = kDescription;
    addAnimTrack(amountVar, ".5 1 .5", 2.348f);
    addAnimTrack(sharpnessVar, "30 70 30", 1.961f);
    addAnimTrack(radiusVar, ".75 1.2 .75", 2.844f);
}

ImageMod* VignetteMod::clone() const { return new VignetteMod(1.0f, 50.0f, 1.0f); }

void VignetteMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void VignetteMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void VignetteMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    vignetteBody<uint8_t>(*this, image, args);
}
void VignetteMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    vignetteBody<float>(*this, image, args);
}
