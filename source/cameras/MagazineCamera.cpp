#include "cameras/MagazineCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/DyeColorFilter.h"
#include "foundation/ColorConversions.h"

struct MagazineCamera::Recipe {
    bool balance;
    std::unique_ptr<LuminanceContrastMod> contrast;
    std::unique_ptr<ColorizeCurveMod> colour;
    std::unique_ptr<ColorFilterMod> filter;
    std::unique_ptr<CurvesMod> curve;
    std::unique_ptr<SaturationMod> saturation;

    Recipe(float a, float v, uint32_t version) : balance(version == 2 || version == 3) {
        const double vd = static_cast<double>(v);
        if (balance) {
            const float a3 = version == 3 ? static_cast<float>(static_cast<double>(a) * 0.7) : a;
            const float u = static_cast<float>(vd + 315.52);
            const double D = static_cast<double>(u + u);
            contrast = std::make_unique<LuminanceContrastMod>(
                0.6f * a3 + 1.0f, static_cast<float>(std::cos(0.052338933901945064 * D) * 30.0 + 60.0));
            float tint[4];
            balanceColour(v, tint);
            colour = std::make_unique<ColorizeCurveMod>(
                camera::curveFrom("0.000000 0.500000 0.111511 0.660837 0.471223 0.708374 0.773381 0.488424 1.000000"),
                tint, 4u, a3);
        } else {
            const double X = static_cast<double>(static_cast<float>(vd + 313.02));
            float tint[4] = {242.0f, 185.0f, 71.0f, 255.0f};
            setRgbHue(tint, camera::wave(X, 0.03839026233398169, 0.3930000066757202, 180.0, 180.0));
            filter = std::make_unique<ColorFilterMod>(
                tint, camera::wave(X, 0.06446548271870699, 1.3899999856948853, 0.02499999850988388,
                                   0.10499999672174454) * a);
            curve = std::make_unique<CurvesMod>(
                camera::curveFrom("0.000000 0.000000 0.146341 0.146341 0.439024 0.371951 0.695122 0.560976 0.878049"),
                a);
            const float k = camera::wave(X, 0.11121237878857751, 1.63100004196167, 0.10000002384185791, 1.75);
            const float center = camera::wave(X, 0.12377875240463374, 0.9959999918937683, 30.0, -10.0) + 80.0f;
            contrast = std::make_unique<LuminanceContrastMod>((k - 1.0f) * a + 1.0f, center);
            const float s = camera::wave(X, 0.16713273463890121, 2.996000051498413, 0.18250000476837158,
                                         1.2324999570846558);
            saturation = std::make_unique<SaturationMod>(1u, (s - 1.0f) * a + 1.0f);
        }
    }

    template <class Step>
    void steps(Step&& step) const {
        if (balance) {
            step(*contrast, camera::kWithContext);
            step(*colour, camera::kWithContext);
        } else {
            step(*filter, camera::kBare);
            step(*curve, camera::kBare);
            step(*contrast, camera::kWithContext);
            step(*saturation, camera::kWithContext);
        }
    }
};

void MagazineCamera::balanceColour(float variation, float colour[4]) {
    const float u = static_cast<float>(static_cast<double>(variation) + 315.52);
    colour[0] = 124.0f;
    colour[1] = 116.0f;
    colour[2] = 75.0f;
    colour[3] = 255.0f;
    setRgbHue(colour, u * 8.0f);
}

MagazineCamera::MagazineCamera(uint32_t styleVersion)
    : CameraMod("Magazine", "Rich tones and contrast perfect for glossy pages.") {
    setVersion(styleVersion);
}

ImageMod* MagazineCamera::clone() const { return new MagazineCamera(version); }


void MagazineCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void MagazineCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void MagazineCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
