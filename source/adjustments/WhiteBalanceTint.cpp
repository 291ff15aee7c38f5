#include "adjustments/WhiteBalanceTint.h"

#include <type_traits>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

using tileloop::clampSample;

namespace {

// The prototypes' colour: red, which no tool-panel section shows.
const float kStartColour[4] = {255.0f, 0.0f, 0.0f, 255.0f};

// Vars of all three tiles: "Amount" 0..1 shown as 0..100, then "Color".
// The vars of the three tiles, in the order addAmountAndColour adds them.
enum ColourTileVar : int32_t { kAmount = 0, kColour = 1 };

void addAmountAndColour(ImageMod& mod, float amount, const float colour[4]) {
    tilevars::placed(mod, kAmount, tilevars::addStrengthAmount(mod, amount));
    tilevars::placed(mod, kColour,
                     mod.addVar(ModVar("Color", new ColorValue(colour[0], colour[1], colour[2], colour[3]))));
}

// The Amount and the picked colour, read once per call.
struct ColourParams {
    float amount = 0.0f;
    float colour[3] = {0.0f, 0.0f, 0.0f};
};

// False when the call leaves the image unchanged: Amount 0, no pixels, or
// a "Color" var of another kind.
bool prepareColour(const ImageMod& mod, const ImageBuffer& image, ColourParams& p) {
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 0.0f || !tileloop::hasPixels(image)) return false;
    const ModVar* colourVar = mod.var(kColour);
    const ColorValue* c = colourVar ? colourVar->colorValue() : nullptr;
    if (!c) return false;
    p.colour[0] = c->red;
    p.colour[1] = c->green;
    p.colour[2] = c->blue;
    return true;
}

// The colour's grey mean: the float sum times 1/3 in double.
inline float greyMean(const float c[3]) {
    return static_cast<float>(static_cast<double>(c[1] + c[0] + c[2]) * 0.3333333333333333);
}

TILE_INLINE float shifted(float v, float offset) { return clampSample(v + offset); }

// The three offsets, copied so that the kernel keeps them in registers.
struct Offsets {
    float o[3];
};

// Adds o[k] to the first `shiftedCount` samples (1 to 3, at most the
// channel count) of every float pixel, clamped.
TILE_ROW_KERNEL void shiftRow(float* __restrict s, int64_t pixels, int32_t channels, int32_t shiftedCount,
                              Offsets offsets) {
    const float o0 = offsets.o[0];
    const float o1 = offsets.o[1];
    const float o2 = offsets.o[2];
    if (shiftedCount >= 3) {
        tileloop::forEachPixelIn(s, pixels, channels, [=](float* px, auto) TILE_INLINE_LAMBDA {
            px[0] = shifted(px[0], o0);
            px[1] = shifted(px[1], o1);
            px[2] = shifted(px[2], o2);
        });
        return;
    }
    for (int64_t i = 0; i < pixels; ++i) {
        float* px = s + i * channels;
        px[0] = shifted(px[0], o0);
        if (shiftedCount > 1) px[1] = shifted(px[1], o1);
    }
}

// Adds offset[k] to the first `Shifted` samples of every pixel, clamped.
// Bytes go through one table per channel (the same arithmetic per value).
template <class Sample, int32_t Shifted>
void shiftPixels(ImageBuffer& image, const float offset[3]) {
    const float o[3] = {offset[0], offset[1], offset[2]};
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        tileloop::mapLeadingBytes(image, Shifted, [&o](int32_t k, uint8_t b) { return storeByte(shifted(b, o[k])); });
    } else if (tileloop::hasPixels(image)) {
        shiftRow(image.floats(), static_cast<int64_t>(image.width) * image.height, image.channelCount(), Shifted,
                 Offsets{{o[0], o[1], o[2]}});
    }
}

// Every channel moves by the colour's distance from its grey mean:
// v - (m - c_k) a, written as v + (-(m - c_k) a), which is the same number.
template <class Sample>
void whiteBalance(const ImageMod& mod, ImageBuffer& image) {
    ColourParams p;
    if (!prepareColour(mod, image, p)) return;
    const float m = greyMean(p.colour);
    float offset[3];
    for (int32_t k = 0; k < 3; ++k) offset[k] = -((m - p.colour[k]) * p.amount);
    switch (image.channelCount()) {
    case 1: shiftPixels<Sample, 1>(image, offset); break;
    case 2: shiftPixels<Sample, 2>(image, offset); break;
    default: shiftPixels<Sample, 3>(image, offset); break;
    }
}

// Samples 0, 1, 2 move by (c_k - m) a; the tile needs three channels.
template <class Sample>
void colorize(const ImageMod& mod, ImageBuffer& image) {
    ColourParams p;
    if (!prepareColour(mod, image, p) || image.channelCount() < 3) return;
    const float m = greyMean(p.colour);
    float offset[3];
    for (int32_t k = 0; k < 3; ++k) offset[k] = (p.colour[k] - m) * p.amount;
    shiftPixels<Sample, 3>(image, offset);
}

// Samples 0, 1, 2 of every float pixel: v keep + t[k].
TILE_ROW_KERNEL void tintRow(float* __restrict s, int64_t pixels, int32_t channels, float keep, Offsets t) {
    const float t0 = t.o[0];
    const float t1 = t.o[1];
    const float t2 = t.o[2];
    tileloop::forEachPixelIn(s, pixels, channels, [=](float* px, auto) TILE_INLINE_LAMBDA {
        px[0] = px[0] * keep + t0;
        px[1] = px[1] * keep + t1;
        px[2] = px[2] * keep + t2;
    });
}

// Samples 0, 1, 2 blended toward the colour: v (1 - a) + c a.
template <class Sample>
void tint(const ImageMod& mod, ImageBuffer& image) {
    ColourParams p;
    if (!prepareColour(mod, image, p) || image.channelCount() < 3) return;
    const float keep = 1.0f - p.amount;
    const float t[3] = {p.colour[0] * p.amount, p.colour[1] * p.amount, p.colour[2] * p.amount};
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        tileloop::mapLeadingBytes(image, 3, [&](int32_t k, uint8_t b) { return storeByte(b * keep + t[k]); });
    } else {
        tintRow(image.floats(), static_cast<int64_t>(image.width) * image.height, image.channelCount(), keep,
                Offsets{{t[0], t[1], t[2]}});
    }
}

}  // namespace

// ---- WhiteBalanceMod -------------------------------------------------------------

WhiteBalanceMod::WhiteBalanceMod(const float colour[4])
    : ImageMod(GrowString("White Balance"), GrowString("White Balance")) {
    version = kNewestVersion;
    addAmountAndColour(*this, 0.1f, colour);
    description =
        "Correct the overall color of an image, particularly if surfaces which should be white appear "
        "tinted. Use the color picker to select a hue which should represent white.";
}

ImageMod* WhiteBalanceMod::clone() const { return new WhiteBalanceMod(kStartColour); }
void WhiteBalanceMod::process8(ImageBuffer& image, const RenderArgs*) { whiteBalance<uint8_t>(*this, image); }
void WhiteBalanceMod::processFloat(ImageBuffer& image, const RenderArgs*) { whiteBalance<float>(*this, image); }

// ---- TintMod -----------------------------------------------------------------------

TintMod::TintMod(const float colour[4]) : ImageMod(GrowString("Tint"), GrowString("Tint")) {
    version = kNewestVersion;
    addAmountAndColour(*this, 0.0f, colour);
    description = "Tint the image by overlaying the selected color. Compare this result with Color Filter and Dye.";
}

ImageMod* TintMod::clone() const { return new TintMod(kStartColour); }
void TintMod::process8(ImageBuffer& image, const RenderArgs*) { tint<uint8_t>(*this, image); }
void TintMod::processFloat(ImageBuffer& image, const RenderArgs*) { tint<float>(*this, image); }

// ---- ColorizeMod ---------------------------------------------------------------------

ColorizeMod::ColorizeMod(const float colour[4]) : ImageMod(GrowString("Colorize"), GrowString("Colorize")) {
    version = kNewestVersion;
    addAmountAndColour(*this, 0.0f, colour);
    description =
        "Adjust the color of the image by adding or subtracting RGB values. Compare this result with Color "
        "Filter, Dye, and Tint.";
}

ImageMod* ColorizeMod::clone() const { return new ColorizeMod(kStartColour); }
void ColorizeMod::process8(ImageBuffer& image, const RenderArgs*) { colorize<uint8_t>(*this, image); }
void ColorizeMod::processFloat(ImageBuffer& image, const RenderArgs*) { colorize<float>(*this, image); }
