#include "cameras/MonoCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ContrastSaturation.h"
#include "cameras/ColorcrossCamera.h"
#include "pixels/SampleRules.h"

namespace {

// The filtered grey of version 2: filter weights and the normalising gain.
struct FilteredGrey {
    float wR = 0.0f, wG = 0.0f, wB = 0.0f, k = 1.0f;

    explicit FilteredGrey(float v) {
        wR = static_cast<float>(std::cos(static_cast<double>(3.0f + v) * 0.1884955593) * 0.5 + 0.5);
        wG = static_cast<float>(std::cos(static_cast<double>(4.0f + v) * 0.10053096645802811) * 0.5 + 0.5);
        wB = static_cast<float>(std::cos(static_cast<double>(5.0f + v) * 0.15079645343211245) * 0.5 + 0.5);
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
// or the three blocks of the chain of every other version.
struct MonoCamera::Recipe {
    bool filtered;
    FilteredGrey grey;
    std::unique_ptr<ColorcrossCamera> cross;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<LuminanceContrastMod> contrast;

    Recipe(float a, float v, uint32_t version) : filtered(version == 2), grey(v) {
        if (filtered) return;
        const double x = static_cast<double>(v);
        cross = std::make_unique<ColorcrossCamera>(a, static_cast<float>(static_cast<double>(v) + 970.699));
        saturation = std::make_unique<SaturationMod>(1u, 1.0f - a);
        const float k =
            (camera::toFloat(std::cos(0.10838494809552812 * x + 1.725000023841858) * 0.10000000149011612) +
             0.10000002384185791f) * a + 1.0f;
        const float center = camera::wave(x, 0.13320352138146505, 2.119999885559082, 25.0, 5.0) + 63.0f;
        contrast = std::make_unique<LuminanceContrastMod>(k, center);
    }

    template <class Step>
    void steps(Step&& step) const {
        if (filtered) return;
        step(*cross, camera::kBare);
        step(*saturation, camera::kWithContext);
        step(*contrast, camera::kWithContext);
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
        runRecipe<Recipe, Sample>(image, args);
    }
}

void MonoCamera::apply8(ImageBuffer& image, const RenderArgs* args) const { run<uint8_t>(image, args); }
void MonoCamera::applyFloat(ImageBuffer& image, const RenderArgs* args) const { run<float>(image, args); }
void MonoCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
void MonoCamera::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void MonoCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }
