#include "cameras/Camera1974.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/ColorCorrection.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/GammaExposure.h"
#include "cameras/ColorcrossCamera.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "foundation/ColorConversions.h"

namespace {

// Version 3's blur Amount at Amount 1.
float blurAmountAtOne(float v) {
    const double S = static_cast<double>(v + 1464.0f);
    return camera::wave(S, 0.029405306921233814, 0.0, 7.5, 12.5);
}

}  // namespace

struct Camera1974::Recipe {
    uint32_t chain;  // 3, 2 or 1 (every other version)
    std::unique_ptr<BlurMod> blur;
    std::unique_ptr<CurvesMod> curve;
    std::unique_ptr<ColorizeCurveMod> colour;
    std::unique_ptr<RgbCurveMod> rgb;
    std::unique_ptr<ColorcrossCamera> cross;
    std::unique_ptr<NoiseMod> grain;
    std::unique_ptr<LuminanceContrastMod> contrast;
    std::unique_ptr<ColorCorrectionMod> correction;
    std::unique_ptr<RgbCurvesMod> curves;
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<SaturationMod> saturation;

    Recipe(float a, float v, uint32_t version) : chain(version == 3 || version == 2 ? version : 1) {
        if (chain == 3) {
            const float s = v + 1464.0f;
            const double S = static_cast<double>(s);
            blur = std::make_unique<BlurMod>(blurAmountAtOne(v) * a, 100.0f);
            curve = std::make_unique<CurvesMod>(
                camera::curveFrom("0.000000 0.000000 0.269565 0.101087 0.369565 0.297826 0.478261 0.578261 0.691304 "
                                  "0.806522 1.000000 1.000000"),
                a);
            const float orange[4] = {255.0f, 101.57677459716797f, 0.0f, 255.0f};
            colour = std::make_unique<ColorizeCurveMod>(
                camera::curveFrom("0.000000 0.627907 0.119198 0.734012 0.546413 0.648256 0.798523 0.518895 1.000000 "
                                  "0.500000"),
                orange, 0u, a);
            rgb = std::make_unique<RgbCurveMod>(camera::curveFrom("0.000000 0.165217 1.000000 0.921739"), a);
            cross = std::make_unique<ColorcrossCamera>(static_cast<float>(static_cast<double>(a) * 0.2509), 14.0f + s);
            grain = std::make_unique<NoiseMod>(camera::wave(S, 0.033740705144660564, 0.0, 10.0, 25.0) * a,
                                               camera::wave(S, 0.044673449142009804, 0.0, 5.0, 22.0), s);
            return;
        }
        const double S2 = static_cast<double>(static_cast<float>(static_cast<double>(v) + 210.52999999999997));
        if (chain == 2) {
            contrast = std::make_unique<LuminanceContrastMod>(0.5136610269546509f * a + 1.0f, 46.680328369140625f);
            rgb = std::make_unique<RgbCurveMod>(
                camera::curveFrom("0.000000 0.152174 0.373913 0.271740 1.000000 1.000000"), a);
            float c[4] = {136.4160919189453f, 92.09030151367188f, 53.848453521728516f, 255.0f};
            setRgbSaturation(c, camera::wave(S2, 0.11309733258394378, 0.46799999475479126, 0.25, 0.75));
            setRgbHue(c, rgbHue(c[0], c[1], c[2]) + camera::wave(S2, 0.14451325913394378, 0.7110000252723694, 15.0, 0.0));
            colour = std::make_unique<ColorizeCurveMod>(
                camera::curveFrom("0.000000 1.000000 0.666000 0.475824 1.000000 0.390110"), c, 2u, a);
            grain = std::make_unique<NoiseMod>(
                camera::wave(S2, 0.09424777965, 0.5370000004768372, 17.5, 17.5) * a, 9.265999794006348f, 0.0f);
            return;
        }
        const double c3 = std::cos(0.15079645343211245 * S2 + 1.5);
        float n = 22.0f * a - 5.0f;
        n = n > 0.0f ? (n < 17.0f ? n : 17.0f) : 0.0f;
        grain = std::make_unique<NoiseMod>(n, 13.0f, 0.0f);
        grain->version = 1;
        contrast = std::make_unique<LuminanceContrastMod>(0.4099999666213989f * a + 1.0f,
                                                          camera::wave(S2, 0.23247785946605623, 0.0, 50.0, 80.0));
        const float shadows[4] = {96.97183227539062f, 60.3380241394043f, 0.0f, 255.0f};
        const float midtones[4] = {255.0f, 250.82640075683594f, 209.758056640625f, 255.0f};
        const float highlights[4] = {209.758056640625f, 234.46583557128906f, 255.0f, 255.0f};
        correction = std::make_unique<ColorCorrectionMod>(shadows, midtones, highlights, a);
        const Curve identity = camera::curveFrom("0 0 1 1");
        curves = std::make_unique<RgbCurvesMod>(
            identity, identity, identity,
            camera::curveFrom("0.000000 0.122449 0.176020 0.209184 0.438775 0.448980 0.709184 0.755102 1.000000 1.000000"),
            a);
        gamma = std::make_unique<GammaMod>(
            (static_cast<float>(0.29999998211860657 * c3 + 0.9999999701976776) - 1.0f) * a + 1.0f);
        saturation = std::make_unique<SaturationMod>(1u, static_cast<float>(c3 * 0.16999998688697815 + 0.6699999868869781));
    }

    template <class Step>
    void steps(Step&& step) const {
        if (chain == 3) {
            step(*blur, camera::kWithContext);
            step(*curve, camera::kBare);
            step(*colour, camera::kWithContext);
            step(*rgb, camera::kBare);
            step(*cross, camera::kBare);
            step(*grain, camera::kWithContext);
        } else if (chain == 2) {
            step(*contrast, camera::kWithContext);
            step(*rgb, camera::kBare);
            step(*colour, camera::kWithContext);
            step(*grain, camera::kWithContext);
        } else {
            step(*grain, camera::kWithContext);
            step(*contrast, camera::kWithContext);
            step(*correction, camera::kBare);
            step(*curves, camera::kWithContext);
            step(*gamma, camera::kBare);
            step(*saturation, camera::kWithContext);
        }
    }
};

Camera1974::Camera1974(uint32_t styleVersion) : CameraMod("1974", "Dad's old camera. Faded, tinted, and hip.") {
    setVersion(styleVersion);
}

int32_t Camera1974::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    const float q = static_cast<float>(static_cast<double>(blurAmountAtOne(variationValue())) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(q, width, height), width, height, scale);
}

ImageMod* Camera1974::clone() const { return new Camera1974(version); }
void Camera1974::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void Camera1974::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void Camera1974::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
