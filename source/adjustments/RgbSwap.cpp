#include "adjustments/RgbSwap.h"

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them: the colours that red,
// green and blue become.
enum RgbSwapVar : int32_t { kRed = 0, kGreen = 1, kBlue = 2 };

const float kIdentity[3][4] = {
    {255.0f, 0.0f, 0.0f, 255.0f},
    {0.0f, 255.0f, 0.0f, 255.0f},
    {0.0f, 0.0f, 255.0f, 255.0f},
};

struct SwapParams {
    // Scaled colours by input channel: colour[i][j] is the share of input
    // channel i (red, green, blue) in output channel j.
    float colour[3][3] = {};
};

// False when the call leaves the image unchanged: the identity colours
// (all twelve components compared exactly), a colour var of another kind,
// no pixels, or fewer than three channels.
bool prepareSwap(const RgbSwapMod& mod, const ImageBuffer& image, SwapParams& p) {
    float c[3][4];
    bool identity = true;
    for (int32_t i = 0; i < 3; ++i) {
        const ModVar* v = mod.var(kRed + i);
        const ColorValue* colour = v ? v->colorValue() : nullptr;
        if (!colour) return false;
        c[i][0] = colour->red;
        c[i][1] = colour->green;
        c[i][2] = colour->blue;
        c[i][3] = colour->fourth;
        for (int32_t j = 0; j < 4; ++j) identity = identity && c[i][j] == kIdentity[i][j];
    }
    if (identity) return false;
    if (!tileloop::hasPixels(image) || image.channelCount() < 3) return false;
    // k = the smallest of 255 / (G_j + R_j + B_j): white reaches 255 in the
    // output channel with the largest sum. A sum of 0 gives an infinite
    // quotient that the minimum passes over; when all three are 0 the
    // products below are not numbers and every output clamps to 0.
    float k[3];
    for (int32_t j = 0; j < 3; ++j) k[j] = 255.0f / (c[1][j] + c[0][j] + c[2][j]);
    float scale = k[1];
    if (k[0] < scale) scale = k[0];
    if (k[2] < scale) scale = k[2];
    for (int32_t i = 0; i < 3; ++i)
        for (int32_t j = 0; j < 3; ++j) p.colour[i][j] = c[i][j] * scale;
    return true;
}

inline float clampOrZero(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v < 255.0f ? v : 255.0f;
}

template <class Sample>
void swapPixels(ImageBuffer& image, const SwapParams& p) {
    const SwapParams q = p;
    tileloop::forEachPixel<Sample>(image, [q](Sample* px, auto n) {
        const float t0 = static_cast<float>(px[0]) * pixel::kInv255;
        const float t1 = static_cast<float>(px[1]) * pixel::kInv255;
        const float t2 = static_cast<float>(px[2]) * pixel::kInv255;
        const float o0 = clampOrZero(t0 * q.colour[0][0] + t1 * q.colour[1][0] + t2 * q.colour[2][0]);
        const float o1 = clampOrZero(t0 * q.colour[0][1] + t1 * q.colour[1][1] + t2 * q.colour[2][1]);
        const float o2 = clampOrZero(t0 * q.colour[0][2] + t1 * q.colour[1][2] + t2 * q.colour[2][2]);
        tileloop::store(px[0], o0);
        tileloop::store(px[1], o1);
        tileloop::store(px[2], o2);
        // Samples past the third are cleared.
        for (int32_t k = 3; k < n; ++k) px[k] = 0;
    });
}

}  // namespace

RgbSwapMod::RgbSwapMod(const float red[4], const float green[4], const float blue[4])
    : ImageMod(GrowString("RGB Swap"), GrowString("RGB Swap")) {
    version = kNewestVersion;
    tilevars::placed(*this, kRed, addVar(ModVar("Red", new ColorValue(red[0], red[1], red[2], red[3]))));
    tilevars::placed(*this, kGreen, addVar(ModVar("Green", new ColorValue(green[0], green[1], green[2], green[3]))));
    tilevars::placed(*this, kBlue, addVar(ModVar("Blue", new ColorValue(blue[0], blue[1], blue[2], blue[3]))));
    description = "Separately replace red, green, and blue with the selected colors.";
}

ImageMod* RgbSwapMod::clone() const { return new RgbSwapMod(kIdentity[0], kIdentity[1], kIdentity[2]); }

void RgbSwapMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void RgbSwapMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void RgbSwapMod::apply8(ImageBuffer& image, const RenderArgs*) const {
    SwapParams p;
    if (prepareSwap(*this, image, p)) swapPixels<uint8_t>(image, p);
}

void RgbSwapMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    SwapParams p;
    if (prepareSwap(*this, image, p)) swapPixels<float>(image, p);
}
