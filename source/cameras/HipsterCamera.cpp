#include "cameras/HipsterCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

struct HipsterCamera::Recipe {
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<RgbCurveMod> tone;
    std::unique_ptr<VignetteMod> vignette;
    std::unique_ptr<RgbCurvesMod> channels;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<NoiseMod> grain;
    std::unique_ptr<ColorizeCurveMod> colour;

    Recipe(float a, float v, uint32_t) {
        const double X = static_cast<double>(static_cast<float>(static_cast<double>(v) * 1.7 + 1266.7));
        gamma = std::make_unique<GammaMod>(
            camera::wave(X, 0.029405306921233814, 0.0, 0.15000000596046448, 0.05000000447034836) * a + 1.0f);

        Curve t = camera::curveFrom(
            "0.000000 0.000000 0.117391 0.000000 0.239130 0.291304 0.452174 0.539130 0.695652 0.736956 1.000000 "
            "0.843478 1.000000 1.000000");
        t.points[2].x += static_cast<float>(std::cos(0.044673449142009804 * X) * 0.07000000029802322);
        t.points[2].y += static_cast<float>(std::cos(0.033740705144660564 * X) * 0.07000000029802322);
        t.rebuildTable();
        tone = std::make_unique<RgbCurveMod>(t, a);

        vignette = std::make_unique<VignetteMod>(
            a, camera::wave(X, 0.06000441866188032, 0.0, 7.5, 2.5) + 50.0f,
            camera::wave(X, 0.08105308810215502, 0.0, 0.125, 0.02499999850988388) + 0.9200000166893005f);
        channels = std::make_unique<RgbCurvesMod>(
            camera::curveFrom("0.000000 0.000000 0.259434 0.018868 0.877358 1.000000 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.188679 0.070755 0.686321 0.964623 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.108491 0.165094 0.851415 1.000000 1.000000 1.000000"),
            camera::curveFrom("0 0 1 1"), a);
        saturation = std::make_unique<SaturationMod>(1u, -0.4366000294685364f * a + 1.0f);
        grain = std::make_unique<NoiseMod>(
            (camera::wave(X, 0.07037167577160562, 0.0, 6.0, 4.0) + 17.18630027770996f) * a,
            camera::wave(X, 0.09525309133691824, 0.0, 7.5, -2.5) + 50.5099983215332f, 0.0f);
        grain->version = 1;  // the first grain method

        float tint[4] = {101.35804748535156f, 223.793701171875f, 76.56100463867188f, 255.0f};
        setRgbHue(tint, camera::wave(X, 0.088027427631207, 0.0, 180.0, 180.0));
        colour = std::make_unique<ColorizeCurveMod>(
            camera::curveFrom("0.000000 0.578261 0.302174 0.543478 0.517391 0.491304 1.000000 0.500000"), tint, 0u,
            a);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*gamma, camera::kBare);
        step(*tone, camera::kBare);
        step(*vignette, camera::kWithContext);
        step(*channels, camera::kWithContext);
        step(*saturation, camera::kWithContext);
        // The grain never moves with the frame number of the request.
        step(*grain, camera::kStillContext);
        step(*colour, camera::kWithContext);
    }
};

HipsterCamera::HipsterCamera() : CameraMod("Hipster", "From Brooklyn, with love.") {}

ImageMod* HipsterCamera::clone() const { return new HipsterCamera(); }
void HipsterCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void HipsterCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void HipsterCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
