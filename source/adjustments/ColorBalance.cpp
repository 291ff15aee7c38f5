#include "adjustments/ColorBalance.h"

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them; the three offsets
// follow each other.
enum ColorBalanceVar : int32_t { kAmount = 0, kRed = 1, kGreen = 2, kBlue = 3 };

struct BalanceParams {
    float offset[3] = {0.0f, 0.0f, 0.0f};
    int32_t changed = 3;  // samples changed per pixel: min(channels, 3)
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged: Amount 0, all three
// offsets 0, or no pixels.
bool prepareBalance(const ColorBalanceMod& mod, const ImageBuffer& image, const RenderArgs* args,
                    BalanceParams& p) {
    const float a = tileloop::floatVar(mod, kAmount);
    if (a == 0.0f) return false;
    for (int32_t c = 0; c < 3; ++c) p.offset[c] = tileloop::floatVar(mod, kRed + c) * a;
    if (p.offset[0] == 0.0f && p.offset[1] == 0.0f && p.offset[2] == 0.0f) return false;
    if (!tileloop::hasPixels(image)) return false;
    const int32_t channels = image.channelCount();
    p.changed = channels < 3 ? channels : 3;
    p.selector = tileloop::selectorOf(args);
    return true;
}

TILE_INLINE float clampOrZero(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v < 255.0f ? v : 255.0f;
}

// The three offsets, copied so that the kernel keeps them in registers.
struct Offsets {
    float d[3];
};

template <class Sample>
TILE_ROW_KERNEL void balanceRow(Sample* __restrict s, int64_t pixels, int32_t channels, Offsets o) {
    const float d0 = o.d[0];
    const float d1 = o.d[1];
    const float d2 = o.d[2];
    tileloop::forEachPixelIn(s, pixels, channels, [=](Sample* px, auto) TILE_INLINE_LAMBDA {
        tileloop::store(px[0], clampOrZero(static_cast<float>(px[0]) + d0));
        tileloop::store(px[1], clampOrZero(static_cast<float>(px[1]) + d1));
        tileloop::store(px[2], clampOrZero(static_cast<float>(px[2]) + d2));
    });
}

template <class Sample>
void balancePixels(ImageBuffer& image, const BalanceParams& p) {
    const int32_t changed = p.changed;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto, float m) {
            for (int32_t k = 0; k < changed; ++k)
                tileloop::store(px[k], clampOrZero(p.offset[k] * m + static_cast<float>(px[k])));
        });
        return;
    }
    if (changed == 3) {
        balanceRow(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                     image.channelCount(), Offsets{{p.offset[0], p.offset[1], p.offset[2]}});
        return;
    }
    const BalanceParams q = p;
    tileloop::forEachPixel<Sample>(image, [q, changed](Sample* px, auto) {
        for (int32_t k = 0; k < changed; ++k)
            tileloop::store(px[k], clampOrZero(static_cast<float>(px[k]) + q.offset[k]));
    });
}

// A channel offset -255..255 with the slider settings of the tiles.
ModVar* addOffset(ImageMod& mod, const char* name) { return mod.addFloatVar(name, 0.0f, -255.0f, 255.0f, 0); }

}  // namespace

ColorBalanceMod::ColorBalanceMod() : ImageMod(GrowString("Color Balance"), GrowString("Color Balance")) {
    version = kNewestVersion;
    ModVar* amount = tilevars::placed(*this, kAmount, tilevars::addStrengthAmount(*this, 1.0f));
    amount->shown = 0;
    ModVar* red = tilevars::placed(*this, kRed, addOffset(*this, "Red"));
    ModVar* green = tilevars::placed(*this, kGreen, addOffset(*this, "Green"));
    ModVar* blue = tilevars::placed(*this, kBlue, addOffset(*this, "Blue"));
    addAnimTrack(amount, ".5 1 .5", 2.554f);
    addAnimTrack(red, "-50 50 -50", 2.376f);
    addAnimTrack(green, "50 -50 50", 2.786f);
    addAnimTrack(blue, "-50 50 -50", 3.05f);
    description = "Balance overall color by dragging individual Red, Green, and Blue sliders.";
}

ImageMod* ColorBalanceMod::clone() const { return new ColorBalanceMod(); }

void ColorBalanceMod::process8(ImageBuffer& image, const RenderArgs* args) {
    BalanceParams p;
    if (prepareBalance(*this, image, args, p)) balancePixels<uint8_t>(image, p);
}

void ColorBalanceMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    BalanceParams p;
    if (prepareBalance(*this, image, args, p)) balancePixels<float>(image, p);
}
