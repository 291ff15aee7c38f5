#include "adjustments/SplitTone.h"

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

const float SplitToneMod::kStartDark[4] = {0.0f, 24.415525f, 101.20623f, 255.0f};
const float SplitToneMod::kStartLight[4] = {255.0f, 220.66708f, 107.36842f, 255.0f};

namespace {

// The vars, in the order the constructor adds them.
enum SplitToneVar : int32_t { kAmount = 0, kDark = 1, kLight = 2 };

struct SplitToneParams {
    float amount = 0.0f;
    float dark[3] = {0.0f, 0.0f, 0.0f};
    float light[3] = {0.0f, 0.0f, 0.0f};
    tileloop::Selector selector;
};

const ColorValue* colourAt(const ImageMod& mod, int32_t index) {
    const ModVar* v = mod.var(index);
    return v ? v->colorValue() : nullptr;
}

bool prepareSplitTone(const SplitToneMod& mod, const ImageBuffer& image, const RenderArgs* args,
                      SplitToneParams& p) {
    if (!tileloop::hasPixels(image)) return false;
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 0.0f) return false;
    const ColorValue* dark = colourAt(mod, kDark);
    const ColorValue* light = colourAt(mod, kLight);
    if (!dark || !light) return false;
    const float darkRgb[3] = {dark->red, dark->green, dark->blue};
    const float lightRgb[3] = {light->red, light->green, light->blue};
    for (int32_t k = 0; k < 3; ++k) {
        p.dark[k] = darkRgb[k];
        p.light[k] = lightRgb[k];
    }
    p.selector = tileloop::selectorOf(args);
    return true;
}

// One pixel toward its target with the strength p: the target
// D_k (1 - x) in double plus H_k x in float; X' = target p + X (1 - p) in
// double, rounded to float.
template <class Sample, class N>
TILE_INLINE void splitTonePixel(Sample* px, N n, const float dark[3], const float light[3], float p) {
    const float x = pixel::luminance(px, n) * pixel::kInv255;
    const double darkWeight = 1.0 - static_cast<double>(x);
    const double keep = 1.0 - static_cast<double>(p);
    const int32_t toned = n < 3 ? static_cast<int32_t>(n) : 3;
    TILE_EACH_SAMPLE
    for (int32_t k = 0; k < toned; ++k) {
        const double target = static_cast<double>(dark[k]) * darkWeight + static_cast<double>(light[k] * x);
        const double mixed = target * static_cast<double>(p) + static_cast<double>(static_cast<float>(px[k])) * keep;
        tileloop::store(px[k], static_cast<float>(mixed));
    }
}

// The colours, copied so that the kernel keeps them in registers.
struct SplitToneColours {
    float dark[3];
    float light[3];
};

template <class Sample>
TILE_ROW_KERNEL void splitToneRow(Sample* __restrict s, int64_t pixels, int32_t channels, SplitToneColours c,
                                  float a) {
    tileloop::forEachPixelIn(s, pixels, channels, [&c, a](Sample* px, auto n) TILE_INLINE_LAMBDA {
        splitTonePixel(px, n, c.dark, c.light, a);
    });
}

template <class Sample>
void splitTone(const SplitToneMod& mod, ImageBuffer& image, const RenderArgs* args) {
    SplitToneParams p;
    if (!prepareSplitTone(mod, image, args, p)) return;
    const float a = p.amount;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto n, float w) {
            splitTonePixel(px, n, p.dark, p.light, a * w);
        });
        return;
    }
    SplitToneColours c;
    for (int32_t k = 0; k < 3; ++k) {
        c.dark[k] = p.dark[k];
        c.light[k] = p.light[k];
    }
    splitToneRow(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                   image.channelCount(), c, a);
}

}  // namespace

SplitToneMod::SplitToneMod(const float dark[4], const float light[4], float amount)
    : ImageMod(GrowString("Split Tone"), GrowString("")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, tilevars::addStrengthAmount(*this, amount));
    ModVar* darkVar = tilevars::placed(
        *this, kDark, addVar(ModVar("Dark Color", new ColorValue(dark[0], dark[1], dark[2], dark[3]))));
    ModVar* lightVar = tilevars::placed(
        *this, kLight, addVar(ModVar("Light Color", new ColorValue(light[0], light[1], light[2], light[3]))));

    // The hover preview holds Amount at 1 and sweeps both hues.
    addAnimTrack(amountVar, "1", 1.0f);
    addColorAnimTrack(darkVar, "0 1 .25 1 360 1 .25 1", 2.787f);
    addColorAnimTrack(lightVar, "360 .2 1 1 0 .2 1 1", 3.155f);

    description = "Create a two-toned image by selecting the lightest and darkest colors.";
}

ImageMod* SplitToneMod::clone() const { return new SplitToneMod(kStartDark, kStartLight, 1.0f); }

void SplitToneMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void SplitToneMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void SplitToneMod::apply8(ImageBuffer& image, const RenderArgs* args) const { splitTone<uint8_t>(*this, image, args); }

void SplitToneMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    splitTone<float>(*this, image, args);
}
