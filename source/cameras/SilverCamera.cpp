#include "cameras/SilverCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/MonoCamera.h"

namespace {

// Whole turns as the hue wrap counts them, times 360, as an integer. Large
// counts (beyond what 360 q holds in 32 bits) wrap through fmod instead.
constexpr double kMaxTurns = 5965231.0;  // 360 * (q + 1) still fits in int32

}  // namespace

float SilverCamera::tintHue(float variation) {
    const float u = variation + 6.0f;
    float h = u * 5.0f;
    if (!std::isfinite(h)) return 0.0f;
    if (h < 0.0f) {
        const double q = std::trunc(-static_cast<double>(h) / 360.0);
        if (q <= kMaxTurns) {
            h += static_cast<float>(360 * static_cast<int32_t>(q) + 360);
        } else {
            h = std::fmod(h, 360.0f) + 360.0f;
        }
    }
    if (h >= 360.0f) {
        const double q = std::trunc(static_cast<double>(h) / 360.0);
        if (q <= kMaxTurns) {
            h -= static_cast<float>(360 * static_cast<int32_t>(q));
        } else {
            h = std::fmod(h, 360.0f);
        }
    }
    return h;
}

struct SilverCamera::Recipe {
    bool toned;
    std::unique_ptr<ContrastMod> contrast;
    std::unique_ptr<MonoCamera> mono;
    std::unique_ptr<ColorizeCurveMod> tint;
    std::unique_ptr<BrightnessMod> brightness;
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<ColorcrossCamera> cross;

    Recipe(float a, float v, uint32_t version) : toned(version == 2) {
        if (toned) {
            const float u = v + 6.0f;
            const double xd = static_cast<double>(u);
            contrast = std::make_unique<ContrastMod>(2u, 0.34800004959106445f * a + 1.0f, 40.0f);
            mono = std::make_unique<MonoCamera>();

            Curve region = camera::curveFrom("0 0 .5 .5 1 1");
            region.points[1].y =
                static_cast<float>(std::cos(0.06000441866188032 * xd) * 0.30000001192092896 + 0.5000000149011612);
            region.rebuildTable();

            const float h = tintHue(v);
            const float s =
                static_cast<float>(std::cos(0.07037167577160562 * xd) * 0.20000001788139343 + 0.40000002086162567);
            float colour[4] = {127.5f, 127.5f, 127.5f, 255.0f};
            if (s != 0.0f) {
                const float f = static_cast<float>(static_cast<double>(h) * 0.002777777777777778) * 6.0f;
                const float i = std::floor(f);
                const float r = f - i;
                const float p = (1.0f - s) * 0.5f;
                const float q = (1.0f - r * s) * 0.5f;
                const float t = ((r - 1.0f) * s + 1.0f) * 0.5f;
                float rgb[3];
                switch (i >= 0.0f && i < 5.0f ? static_cast<int32_t>(i) : 5) {
                    case 0: rgb[0] = 0.5f; rgb[1] = t; rgb[2] = p; break;
                    case 1: rgb[0] = q; rgb[1] = 0.5f; rgb[2] = p; break;
                    case 2: rgb[0] = p; rgb[1] = 0.5f; rgb[2] = t; break;
                    case 3: rgb[0] = p; rgb[1] = q; rgb[2] = 0.5f; break;
                    case 4: rgb[0] = t; rgb[1] = p; rgb[2] = 0.5f; break;
                    default: rgb[0] = 0.5f; rgb[1] = p; rgb[2] = q; break;
                }
                for (int c = 0; c < 3; ++c) colour[c] = rgb[c] * 255.0f;
            }
            tint = std::make_unique<ColorizeCurveMod>(region, colour, 0u, a);
            const float b = static_cast<float>(std::cos(0.088027427631207 * xd) * 0.10000002384185791 +
                                               1.100000023841858);
            brightness = std::make_unique<BrightnessMod>((b - 1.0f) * a + 1.0f);
        } else {
            const float w = static_cast<float>(static_cast<double>(v) + 4367.98);
            const double wd = static_cast<double>(w);
            const float g = camera::wave(wd, 0.16524778084353495, 1.8799999952316284, 0.22499999403953552,
                                         0.024999991059303284);
            gamma = std::make_unique<GammaMod>((g + 0.2879120111465454f) * a + 1.0f);
            saturation = std::make_unique<SaturationMod>(1u, 1.0f - a);
            cross = std::make_unique<ColorcrossCamera>(a, w + 3000.0f);
        }
    }

    template <class Step>
    void steps(Step&& step) const {
        if (toned) {
            step(*contrast, camera::kWithContext);
            step(*mono, camera::kWithContext);
            step(*tint, camera::kWithContext);
            step(*brightness, camera::kWithContext);
        } else {
            step(*gamma, camera::kBare);
            step(*saturation, camera::kWithContext);
            step(*cross, camera::kBare);
        }
    }
};

SilverCamera::SilverCamera(uint32_t styleVersion)
    : CameraMod("Silver", "Not color, but not quite monochromatic either.") {
    setVersion(styleVersion);
}

ImageMod* SilverCamera::clone() const { return new SilverCamera(version); }


void SilverCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void SilverCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void SilverCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
