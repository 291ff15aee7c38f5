#include "cameras/PoolsideCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "effects/Vignette.h"

namespace {

// A black-point lift: 0 for a negative or NaN value, at most 1.
float lift(float p) { return p > 0.0f ? (p < 1.0f ? p : 1.0f) : 0.0f; }

}  // namespace

struct PoolsideCamera::Recipe {
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<VignetteMod> vignette;  // every version but 2
    std::unique_ptr<RgbCurvesMod> curves;

    Recipe(float a, float v, uint32_t version) {
        const double X = static_cast<double>(static_cast<float>(static_cast<double>(v) * 1.4 + 235.29));
        const float g = camera::wave(X, 0.10631149742259711, 1.6920000314712524, 0.23000000417232513,
                                     -0.04999999701976776) -
                        0.16200000047683716f;
        const float p = camera::wave(X, 0.08061326704793101, 1.2829999923706055, 0.11999999731779099, 0.0);
        const float q = camera::wave(X, 0.05617167628191269, 0.8939999938011169, 0.11999999731779099, 0.0);
        Curve red = camera::curveFrom("0.000000 0.000000 0.361751 0.467742 1.000000 1.000000");
        red.points[0].y += lift(p);
        red.rebuildTable();
        Curve green = camera::curveFrom("0.000000 0.000000 1.000000 1.000000");
        green.points[0].y += lift(q);
        green.rebuildTable();

        gamma = std::make_unique<GammaMod>(g * a + 1.0f);
        saturation = std::make_unique<SaturationMod>(1u, -0.2670000195503235f * a + 1.0f);
        if (version != 2) vignette = std::make_unique<VignetteMod>(0.20100000500679016f * a, 25.0f, 0.7829999923706055f);
        curves = std::make_unique<RgbCurvesMod>(
            red, green, camera::curveFrom("0.000000 0.169725 0.660550 0.555046 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.110091 0.444954 0.802752 1.000000 1.000000"), a);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*gamma, camera::kBare);
        step(*saturation, camera::kWithContext);
        if (vignette) step(*vignette, camera::kWithContext);
        step(*curves, camera::kWithContext);
    }
};

PoolsideCamera::PoolsideCamera(uint32_t styleVersion)
    : CameraMod("Poolside", "Lazy days of summer made hazier, softer.") {
    setVersion(styleVersion);
}

ImageMod* PoolsideCamera::clone() const { return new PoolsideCamera(version); }
void PoolsideCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void PoolsideCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void PoolsideCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
