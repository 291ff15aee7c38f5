#include "effects/masks/HueMask.h"

#include "adjustments/TileVars.h"
#include "effects/masks/MaskPixels.h"

namespace {

// The one var: the chosen hue bands.
enum HueMaskVar : int32_t { kHueBands = 0 };

struct BandRow {
    const char* option;
    HueBand band;
};

// The seven bands, in the order of the swatches.
const BandRow kBands[] = {
    {"255 0 0", {-60.0f, -10.0f, 0.0f, 50.0f}},     {"255 127 0", {-25.0f, 30.0f, 40.0f, 80.0f}},
    {"255 255 0", {20.0f, 45.0f, 65.0f, 110.0f}},   {"0 255 0", {50.0f, 75.0f, 150.0f, 205.0f}},
    {"0 255 255", {135.0f, 175.0f, 195.0f, 220.0f}}, {"0 0 255", {180.0f, 205.0f, 260.0f, 300.0f}},
    {"255 0 255", {250.0f, 290.0f, 310.0f, 350.0f}},
};

// 1 - (1 - t)^2 for t = 2x limited to 0..1: the fade of pixels of low
// saturation or value.
inline float fadeFactor(float x) {
    float t = 2.0f * x;
    if (t < 0.0f) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    const float u = 1.0f - t;
    return 1.0f - u * u;
}

}  // namespace

HueMask::HueMask() : SelectorMod(GrowString("Hue Mask"), GrowString("")) {
    version = kNewestVersion;
    description =
        "Place to the left of a tile (or nested group of tiles) to make that tile only affect selected hues.";
    wrapThreshold = 290.0f;
    GrowArray<GrowString> options;
    for (const BandRow& row : kBands) {
        bands.append(row.band);
        options.append(GrowString(row.option));
    }
    tilevars::placed(*this, kHueBands, addVar(ModVar("Hue", new MultiChoiceValue(options, 0), kControlColorSwatches)));
}

ImageMod* HueMask::clone() const { return new HueMask(); }

float HueMask::bandWeight(const GrowArray<HueBand>& bands, int32_t index, float hue) {
    if (index < 0 || index >= bands.count) return 0.0f;
    const HueBand& b = bands[index];
    // Written so that NaN falls into the first case.
    if (!(hue >= b.riseStart && hue <= b.fallEnd)) return 0.0f;
    if (b.fullStart <= hue && hue <= b.fullEnd) return 1.0f;
    const float t = hue <= b.fullStart ? (hue - b.riseStart) / (b.fullStart - b.riseStart)
                                       : (b.fallEnd - hue) / (b.fallEnd - b.fullEnd);
    if (t <= 0.0f) return 0.0f;
    if (t < 0.5f) {
        const float u = 2.0f * t;
        return u * u * 0.5f;
    }
    if (t >= 1.0f) return 1.0f;
    const float u = static_cast<float>(2.0 - 2.0 * static_cast<double>(t));
    const float square = u * u;
    return static_cast<float>(static_cast<double>(square) * -0.5 + 1.0);
}

template <class Sample>
float HueMask::weightAt(const ImageBuffer& image, int32_t x, int32_t y) const {
    const ModVar* hueVar = var(kHueBands);
    // The selection is read in place: nothing writes it during a render.
    const MultiChoiceValue* choice = hueVar ? hueVar->multiChoiceValue() : nullptr;
    if (!choice || choice->selection.count == 0) return 0.0f;
    const Sample* p = maskpixel::pixelAt<Sample>(image, x, y);
    if (!p) return 0.0f;
    const maskpixel::MaskHsv hsv = maskpixel::maskHsv(p, image.channelCount());

    float w = 0.0f;
    const bool wrapped = hsv.hue >= wrapThreshold;
    for (int32_t i = 0; i < choice->selection.count; ++i) {
        const int32_t k = choice->selection[i];
        w += bandWeight(bands, k, hsv.hue);
        if (wrapped) w += bandWeight(bands, k, hsv.hue - 360.0f);
    }
    if (w > 1.0f) w = 1.0f;
    if (hsv.saturation < 0.5f) w *= fadeFactor(hsv.saturation);
    if (hsv.value < 0.5f) w *= fadeFactor(hsv.value);
    return w >= 0.0f ? w : 0.0f;  // NaN samples weigh 0
}

float HueMask::maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    return weightAt<float>(image, x, y);
}

float HueMask::maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    return weightAt<uint8_t>(image, x, y);
}
