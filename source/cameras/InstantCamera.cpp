#include "cameras/InstantCamera.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/Curves.h"
#include "adjustments/DyeColorFilter.h"
#include "adjustments/GammaExposure.h"
#include "effects/Blur.h"
#include "effects/Discolor.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

struct InstantCamera::Recipe {
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<CurvesMod> curve;
    std::unique_ptr<VignetteMod> vignette;
    std::unique_ptr<ColorFilterMod> filter;
    std::unique_ptr<DiscolorMod> discolor;
    std::unique_ptr<CurvesMod> blacks;
    std::unique_ptr<BlurMod> blur;  // version 2 only

    Recipe(float a, float v, uint32_t version) {
        const float u = static_cast<float>(static_cast<double>(v) + 46.69);
        const double X = static_cast<double>(u);
        gamma = std::make_unique<GammaMod>(
            (camera::wave(X, 0.09738936930894378, 0.1340000033378601, 0.15000003576278687, 1.199999988079071) - 1.0f) *
                a + 1.0f);
        curve = std::make_unique<CurvesMod>(
            camera::curveFrom("0.000000 0.000000 0.313043 0.152174 0.404348 0.597826 1.000000 1.000000"),
            camera::wave(X, 0.16336281206788755, 1.590000033378601, 0.15000000596046448, 0.8499999940395355) * a);
        vignette = std::make_unique<VignetteMod>(0.2878879904747009f * a, 22.56800079345703f, 0.88509601354599f);
        float c1[4] = {119.4756851196289f, 0.0f, 255.0f, 255.0f};
        setRgbHue(c1, camera::wave(X, 0.039207077143335184, 0.3930000066757202, 180.0, 180.0));
        filter = std::make_unique<ColorFilterMod>(c1, 0.12868599593639374f * a);
        float c2[4] = {236.53846740722656f, 140.0556640625f, 197.6834259033203f, 255.0f};
        setRgbHue(c2, camera::wave(X, 0.04969999634139012, 2.0999999046325684, 180.0, 180.0));
        discolor = std::make_unique<DiscolorMod>(c2, 0.3869349956512451f * a, u + 3000.0f, 1.0f, 1.0f);
        blacks = std::make_unique<CurvesMod>(
            camera::curveFrom("0.000000 0.141304 0.278261 0.157826 0.528261 0.652174 1.000000 1.000000"), a);
        if (version == 2) blur = std::make_unique<BlurMod>(25.0f * a, 58.0f);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*gamma, camera::kBare);
        step(*curve, camera::kBare);
        step(*vignette, camera::kWithContext);
        step(*filter, camera::kBare);
        step(*discolor, camera::kWithContext);
        step(*blacks, camera::kBare);
        if (blur) step(*blur, camera::kWithContext);
    }
};

InstantCamera::InstantCamera(uint32_t styleVersion)
    : CameraMod("Instant", "No need to shake this instant-developing film.") {
    setVersion(styleVersion);
}

int32_t InstantCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 2) return 0;
    const float a = amountValue();
    const float k = static_cast<float>(static_cast<double>(a * 25.0f) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(k, width, height), width, height, scale);
}

ImageMod* InstantCamera::clone() const { return new InstantCamera(version); }
void InstantCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void InstantCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void InstantCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
