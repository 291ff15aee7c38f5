#include "cameras/MonoCamera.h"

#include <cmath>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ContrastSaturation.h"
#include "cameras/ColorcrossCamera.h"
#include "pixels/SampleRules.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Version 2's filter weights, over the phases 3 + v, 4 + v and 5 + v.
constexpr camera::Wave kRedWeightWave{0.1884955593, 0.0, 0.5, 0.5};
constexpr camera::Wave kGreenWeightWave{0.10053096645802811, 0.0, 0.5, 0.5};
constexpr camera::Wave kBlueWeightWave{0.15079645343211245, 0.0, 0.5, 0.5};
// The chain of the other versions, over the phase v.
constexpr camera::Wave kContrastWave{0.10838494809552812, 1.725000023841858, 0.10000000149011612, 0.0};
constexpr camera::Wave kCenterWave{0.13320352138146505, 2.119999885559082, 25.0, 5.0};

// The filtered grey of version 2: filter weights and the normalising gain.
struct FilteredGrey {
    float wR = 0.0f, wG = 0.0f, wB = 0.0f, k = 1.0f;

    explicit FilteredGrey(float v) {
        wR = camera::wave(static_cast<double>(3.0f + v), kRedWeightWave);
        wG = camera::wave(static_cast<double>(4.0f + v), kGreenWeightWave);
        wB = camera::wave(static_cast<double>(5.0f + v), kBlueWeightWave);
        const float sum = static_cast<float>(static_cast<double>(wR) * 0.3 + static_cast<double>(wG) * 0.59 +
                                             static_cast<double>(wB) * 0.11);
        k = sum >= 0.009999999776482582f ? 1.0f / (sum < 1.0f ? sum : 1.0f) : 100.0f;
    }
};

// Clamped to 0..255, NaN as 0.
inline float clampGrey(float v) { return v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f; }

template <class Sample>
void filteredGrey(const FilteredGrey& f, float a, ImageBuffer& image) {
    const int32_t channels = image.channelCount();
    const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
    const float gain = f.k * a;
    const float keep = 1.0f - a;
    Sample* p = static_cast<Sample*>(image.data);
    constexpr bool bytes = std::is_same<Sample, uint8_t>::value;
    for (int64_t i = 0; i < pixels; ++i, p += channels) {
        if (channels >= 3) {
            double r, g, b;
            if (bytes) {
                r = static_cast<double>(static_cast<int32_t>(clampGrey(p[0] * f.wR)));
                g = static_cast<double>(static_cast<int32_t>(clampGrey(p[1] * f.wG)));
                b = static_cast<double>(static_cast<int32_t>(clampGrey(p[2] * f.wB)));
            } else {
                r = static_cast<double>(static_cast<float>(p[0]) * f.wR);
                g = static_cast<double>(static_cast<float>(p[1]) * f.wG);
                b = static_cast<double>(static_cast<float>(p[2]) * f.wB);
            }
            const float L = static_cast<float>(0.299 * r + 0.587 * g + 0.114 * b);
            const float m = L * gain;
            for (int c = 0; c < 3; ++c) {
                pixel::storeSample(p[c], clampGrey(static_cast<float>(p[c]) * keep + m));
            }
        } else {
            // One or two channels: the first channel is the grey and the
            // only one written.
            float grey = static_cast<float>(p[0]) * f.wR;
            if (bytes) grey = static_cast<float>(static_cast<int32_t>(clampGrey(grey)));
            const float L = static_cast<float>(0.299 * static_cast<double>(grey));
            pixel::storeSample(p[0], clampGrey(static_cast<float>(p[0]) * keep + L * gain));
        }
    }
}

}  // namespace

// What a Mono tile prepares for one set of values: the filter of version 2,
// or the three steps of the chain of every other version.
struct MonoCamera::Recipe : camera::Recipe {
    bool filtered;
    FilteredGrey grey;

    Recipe(float a, float v, uint32_t version) : filtered(version == 2), grey(v) {
        if (filtered) return;
        const double x = static_cast<double>(v);
        add<ColorcrossCamera>(kBare, a, static_cast<float>(static_cast<double>(v) + 970.699));
        add<SaturationMod>(kWithContext, 1u, 1.0f - a);
        add<LuminanceContrastMod>(kWithContext, (camera::wave(x, kContrastWave) + 0.10000002384185791f) * a + 1.0f,
                                  camera::wave(x, kCenterWave) + 63.0f);
    }
};

MonoCamera::MonoCamera()
    : CameraMod("Mono", "Smoothly filtered black and white, for those times when less is more.") {
    setVersion(2);
}

ImageMod* MonoCamera::clone() const {
    MonoCamera* copy = new MonoCamera();
    copy->setVersion(version);
    return copy;
}

// Version 2 is a kernel of its own; every other version runs its chain.
template <class Sample>
void MonoCamera::run(ImageBuffer& image, const RenderArgs* args) const {
    float a, v;
    if (!readValues(a, v) || !camera::hasPixels(image)) return;
    const auto recipe = prepared<Recipe>(a, v);
    if (recipe->filtered) {
        filteredGrey<Sample>(recipe->grey, a, image);
    } else {
        recipe->run<Sample>(image, args);
    }
}

void MonoCamera::apply8(ImageBuffer& image, const RenderArgs* args) const { run<uint8_t>(image, args); }
void MonoCamera::applyFloat(ImageBuffer& image, const RenderArgs* args) const { run<float>(image, args); }
void MonoCamera::recipeChain(GrowArray<ImageMod*>& out) const {
    float a, v;
    if (readValues(a, v)) prepared<Recipe>(a, v)->appendChain(out);
}
void MonoCamera::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void MonoCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }
