#include "cameras/MatteCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/Curves.h"
#include "effects/Noise.h"

struct MatteCamera::Recipe {
    std::unique_ptr<CurvesMod> curve;             // version 4
    std::unique_ptr<LuminanceContrastMod> contrast;  // every other version
    std::unique_ptr<RgbCurveMod> rgb;
    std::unique_ptr<NoiseMod> grain;

    Recipe(float a, float v, uint32_t version) {
        if (version == 4) {
            const float w = v + 300.0f;
            const double X = static_cast<double>(w + w);
            curve = std::make_unique<CurvesMod>(
                camera::curveFrom("0.000000 0.000000 0.241304 0.000000 0.491304 0.439130 1.000000 1.000000"),
                camera::wave(X, 0.033740705144660564, 0.0, 0.25, 0.75) * a);
            rgb = std::make_unique<RgbCurveMod>(
                camera::curveFrom("0.000000 0.286956 0.600000 0.597826 1.000000 1.000000"),
                camera::wave(X, 0.06000441866188032, 0.0, 0.25, 0.75) * a);
            const float g = camera::wave(X, 0.08105308810215502, 0.0, 30.0, 0.0);
            grain = std::make_unique<NoiseMod>((g > 0.0f ? g : 0.0f) * a, 5.0f, std::fmod(w * 200.0f, 10000.0f));
            return;
        }
        const float q = (v + 16.0f) * 3.0f;
        const double Q = static_cast<double>(q);
        contrast = std::make_unique<LuminanceContrastMod>(
            (camera::wave(Q, 0.044673449142009804, 0.0, 0.15000000596046448, 0.05000000447034836) +
             0.32555603981018066f) * a + 1.0f,
            camera::wave(Q, 0.029405306921233814, 0.0, 40.0, -10.0) + 116.48148345947266f);
        Curve shape = camera::curveFrom("0.000000 0.186957 0.247826 0.204348 1.000000 1.000000");
        shape.points[1].x = camera::wave(Q, 0.033740705144660564, 0.0, 0.20000001788139343, 0.40000002086162567);
        shape.points[2].y = camera::wave(Q, 0.06000441866188032, 0.0, 0.050000011920928955, 0.949999988079071);
        shape.rebuildTable();
        rgb = std::make_unique<RgbCurveMod>(shape, a);
        grain = std::make_unique<NoiseMod>(
            (static_cast<float>(std::cos(0.08105308810215502 * Q) * 5.0) + 18.0f) * a, 5.0f, 0.0f);
        grain->version = version == 3 ? 4 : (version == 2 ? 3 : 1);
    }

    template <class Step>
    void steps(Step&& step) const {
        if (curve) {
            step(*curve, camera::kBare);
        } else {
            step(*contrast, camera::kWithContext);
        }
        step(*rgb, camera::kBare);
        step(*grain, camera::kWithContext);
    }
};

MatteCamera::MatteCamera(uint32_t styleVersion) : CameraMod("Matte", "Not so glossy.") { setVersion(styleVersion); }

ImageMod* MatteCamera::clone() const { return new MatteCamera(version); }
void MatteCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void MatteCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void MatteCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
