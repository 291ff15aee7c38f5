#include "effects/Discolor.h"

#include <math.h>

#include <cstdint>
#include <vector>

#include "adjustments/TileVars.h"
#include "effects/Noise.h"
#include "pixels/RowLoops.h"
#include "pixels/SampleRules.h"

// ---- Discolor ---------------------------------------------------------------------------

namespace {

// The vars of Discolor, in the order its constructor adds them; the light
// leak has the look vars (adjustments/TileVars.h).
enum DiscolorVar : int32_t { kAmount = 0, kOffset = 1, kColour = 2, kScale = 3, kStretch = 4 };

const float kDiscolorStartColour[4] = {255.0f, 127.0f, 0.0f, 255.0f};

struct DiscolorParams {
    float amount = 0.0f;
    float step[3] = {0.0f, 0.0f, 0.0f};  // (c - 127.5) / 127.5 per colour component
    bool darkens[3] = {true, true, true};
    float sx = 0.0f;
    float sy = 0.0f;
    int64_t xShift = 0;
    int64_t y0 = 0;
};

// Scale and Stretch: 0..1 as they are, above 1 steeply growing (1/(2 - v)),
// 2 itself taken as 1.9999 so that it stays finite.
inline float reshapeFrequency(float v) {
    if (v == 2.0f) v = 1.9999f;
    if (v > 1.0f) v = static_cast<float>(1.0 / (2.0 - static_cast<double>(v)));
    return v;
}

// False when the image stays as it is: Amount 0 (NaN, or not a float var), or a
// content width below one pixel.
bool prepareDiscolor(const DiscolorMod& mod, const ImageBuffer& image, const RenderArgs* args, DiscolorParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    const RenderRegion* region = args ? args->region : nullptr;
    // The whole picture's width (a region without one is the image itself)
    // less the border insets.
    int64_t contentWidth = image.width;
    if (region) {
        if (region->fullWidth > 0) contentWidth = region->fullWidth;
        contentWidth -= static_cast<int64_t>(region->insetLeft) + region->insetRight;
    }
    const FloatValue* amount = mod.floatAt(kAmount);
    if (!amount || amount->value == 0.0f || amount->value != amount->value) return false;  // NaN: no amount
    if (contentWidth < 1) return false;
    p.amount = amount->value;
    const float wc = static_cast<float>(contentWidth);

    const ModVar* colourVar = mod.var(kColour);
    const ColorValue* colour = colourVar ? colourVar->colorValue() : nullptr;
    const float components[3] = {colour ? colour->red : 0.0f, colour ? colour->green : 0.0f,
                                 colour ? colour->blue : 0.0f};
    for (int32_t i = 0; i < 3; ++i) {
        p.step[i] = static_cast<float>((static_cast<double>(components[i]) - 127.5) * 0.00784313725490196);
        p.darkens[i] = components[i] <= 127.5f;
    }

    const float o = tileloop::floatVar(mod, kOffset) + 144.0f;
    const float s = reshapeFrequency(tileloop::floatVar(mod, kScale));
    const float t = reshapeFrequency(tileloop::floatVar(mod, kStretch));
    int64_t x0 = 0;
    if (region) {
        x0 = static_cast<int64_t>(region->originX) - region->insetLeft;
        p.y0 = static_cast<int64_t>(region->originY) - region->insetTop;
    }
    const float k = static_cast<float>(1.35 / static_cast<double>(wc));
    p.sx = s * k;
    p.sy = t * p.sx;
    const float shift = static_cast<float>(x0) + static_cast<float>(static_cast<double>(o) * -0.03) * wc;
    p.xShift = saturatingInt(shift);
    return true;
}

// The eased coverage of the two-octave noise n, times the amount.
inline float coverage(float n, float amount) {
    if (n < -1.0f) return 0.0f;
    const float v = static_cast<float>(static_cast<double>(n < 1.0f ? n : 1.0f) * 0.5 + 0.5);
    float w;
    if (v <= 0.0f) {
        w = 0.0f;
    } else if (v < 0.5f) {
        const float twice = v + v;
        w = twice * twice * v;
    } else if (v >= 1.0f) {
        w = 1.0f;
    } else {
        const float u = static_cast<float>(2.0 - 2.0 * static_cast<double>(v));
        w = static_cast<float>(1.0 - 0.5 * static_cast<double>(u * u * u));
    }
    return w * amount;
}

// Row buffers of the calling thread, reused by its later calls.
struct DiscolorRows {
    std::vector<float> positions;
    std::vector<float> noise;
};

template <class Sample>
void discolorPixels(ImageBuffer& image, const DiscolorParams& p) {
    const int32_t n = image.channelCount();
    const int32_t coloured = n < 3 ? n : 3;
    const int32_t width = image.width;
    static thread_local DiscolorRows rows;
    if (rows.positions.size() < static_cast<size_t>(width)) {
        rows.positions.resize(static_cast<size_t>(width));
        rows.noise.resize(static_cast<size_t>(width));
    }
    float* xs = rows.positions.data();
    float* noise = rows.noise.data();
    for (int32_t c = 0; c < width; ++c) xs[c] = fabsf(static_cast<float>(c + p.xShift) * p.sx);
    Sample* data = static_cast<Sample*>(image.data);
    for (int32_t r = 0; r < image.height; ++r) {
        const float Y = fabsf(static_cast<float>(r + p.y0) * p.sy);
        // Two octaves: N(X, Y) + 0.5 N(2X, 2Y).
        addNoiseOctaveRow(xs, Y, 1.0f, 1.0f, true, width, noise);
        addNoiseOctaveRow(xs, Y, 2.0f, 0.5f, false, width, noise);
        Sample* row = data + static_cast<int64_t>(r) * width * n;
        for (int32_t c = 0; c < width; ++c) {
            const float w = coverage(noise[c], p.amount);
            if (w == 0.0f) continue;
            Sample* px = row + static_cast<int64_t>(c) * n;
            for (int32_t i = 0; i < coloured; ++i) {
                const float v = static_cast<float>(px[i]);
                const float dw = p.step[i] * w;
                const float result = p.darkens[i] ? v + dw * v
                                                  : static_cast<float>(static_cast<double>(dw) *
                                                                           (255.0 - static_cast<double>(v)) +
                                                                       static_cast<double>(v));
                tileloop::store(px[i], pixel::clampSampleNanToZero(result));
            }
        }
    }
}

template <class Sample>
void discolorBody(const DiscolorMod& mod, ImageBuffer& image, const RenderArgs* args) {
    DiscolorParams p;
    if (prepareDiscolor(mod, image, args, p)) discolorPixels<Sample>(image, p);
}

}  // namespace

DiscolorMod::DiscolorMod(const float colour[4], float amount, float offset, float scale, float stretch)
    : ImageMod(GrowString("Discolor"), GrowString("Discolor")) {
    tilevars::placed(*this, kAmount, addFloatVar("Amount", amount, 0.0f, 1.0f, 0));
    FloatValue* shift = tilevars::placed(*this, kOffset, addFloatVar("Offset", offset, 0.0f, 100.0f, 0))->floatValue();
    shift->hasMinimum = 0;  // the offset is not limited
    shift->hasMaximum = 0;
    tilevars::placed(*this, kColour, addVar(ModVar("Color", new ColorValue(colour[0], colour[1], colour[2], colour[3]))));
    tilevars::placed(*this, kScale, addFloatVar("Scale", scale, 0.0f, 2.0f, 0))->shown = 0;
    tilevars::placed(*this, kStretch, addFloatVar("Stretch", stretch, 0.0f, 2.0f, 0))->shown = 0;
    description = "Apply uneven discoloration to the image.";
}

ImageMod* DiscolorMod::clone() const { return new DiscolorMod(kDiscolorStartColour, 1.0f, 0.0f, 1.0f, 1.0f); }

void DiscolorMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void DiscolorMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void DiscolorMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    discolorBody<uint8_t>(*this, image, args);
}
void DiscolorMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    discolorBody<float>(*this, image, args);
}

// ---- Lightleak ------------------------------------------------------------------------------

LightleakRecipe lightleakRecipe(float amount, float variation) {
    LightleakRecipe r;
    r.offset = variation + 248.75f;
    const double x = static_cast<double>(r.offset);
    r.colour[0] = static_cast<float>(cos(0.08105308810215502 * x) * 17.5 + 237.5);
    r.colour[1] = static_cast<float>(cos(0.06000441866188032 * x) * 37.5 + 162.5);
    r.colour[2] = static_cast<float>(cos(0.033740705144660564 * x) * 60.0 + 140.0);
    r.colour[3] = 255.0f;
    r.strength = static_cast<float>(cos(0.029405306921233814 * x) * 0.19999998807907104 + 0.699999988079071) * amount;
    r.stretch = static_cast<float>(cos(0.044673449142009804 * x) * 0.11500000953674316 + 0.1850000098347664);
    return r;
}

namespace {

// The light-leak recipe: a Discolor built from the Variation, run on the
// tile's own image with its own context.
template <class Sample>
void lightleakBody(const LightleakMod& mod, ImageBuffer& image, const RenderArgs* args) {
    const float a = tileloop::floatVar(mod, tilevars::kLookAmount);
    const FloatValue* variation = mod.floatAt(tilevars::kLookVariation);
    if (a == 0.0f || a != a) return;  // NaN is no amount
    const LightleakRecipe r = lightleakRecipe(a, variation ? variation->value : 0.0f);
    DiscolorMod discolor(r.colour, r.strength, r.offset, 1.45f, r.stretch);
    if constexpr (sizeof(Sample) == 1)
        discolor.apply8(image, args);
    else
        discolor.applyFloat(image, args);
}

}  // namespace

LightleakMod::LightleakMod() : ImageMod(GrowString("Lightleak"), GrowString("Lightleak")) {
    tilevars::addLookVars(*this);
    description = "Discolors your film in oranges and purples where a poorly-made camera accidentally lets light in.";
}

ImageMod* LightleakMod::clone() const { return new LightleakMod(); }

void LightleakMod::process8(ImageBuffer& image, const RenderArgs* args) { lightleakBody<uint8_t>(*this, image, args); }
void LightleakMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    lightleakBody<float>(*this, image, args);
}
