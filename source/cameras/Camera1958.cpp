// 1958 ("1958 Camera"): maroon nostalgia. A luminance curve whose shadow
// point follows Variation, a magenta colouring of a luminance region whose
// hue follows Variation, luminance contrast and a reduction of saturation;
// version 2 (new tiles) ends with a blur, every other version does not.
// The margin covers version 2's blur at the current values.

#include <cmath>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "cameras/CameraStyles.h"
#include "effects/Blur.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Over the phase S = float(2 v + 607.92).
constexpr camera::Wave kShadowLiftWave{0.033740705144660564, 0.0, 0.15000000596046448, 0.06000000238418579};
constexpr camera::Wave kHueTurnWave{0.06000441866188032, 0.0, 20.0, 0.0};
constexpr camera::Wave kCenterWave{0.08105308810215502, 0.0, 80.0, 0.0};
constexpr camera::Wave kSaturationWave{0.07037167577160562, 0.0, 0.10000000149011612, 0.0};
constexpr camera::Wave kBlurMarginWave{0.09525309133691824, 0.0, 5.0, 20.0};
// The closing blur of version 2, over the phase u = S 2 pi / 100.
constexpr camera::Wave kBlurAmountWave{1.5160000324249268, 0.0, 5.0, 20.0};
constexpr camera::Wave kBlurMixWave{1.4010000228881836, 0.0, 15.0, 65.0};
constexpr double kTurnsPerHundred = 0.0628318531;
constexpr const char* kLuminanceCurve =
    "0.000000 0.152174 0.143478 0.241304 0.208696 0.465217 1.000000 0.756522 1.000000 1.000000";
constexpr const char* kRegionCurve = "0.000000 0.556522 0.360870 0.621739 0.680435 0.389130 1.000000 0.347826";

// The phase of every step: float(v + v + 607.92), widened again.
double phaseOf(float v) {
    return static_cast<double>(static_cast<float>(static_cast<double>(v) + static_cast<double>(v) + 607.92));
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double S = phaseOf(v);
    Curve luminance = camera::curveFrom(kLuminanceCurve);
    luminance.points[1].y += camera::wave(S, kShadowLiftWave);
    luminance.rebuildTable();
    r.add<CurvesMod>(kBare, luminance, a);

    float tint[4] = {255.0f, 0.0f, 204.0f, 255.0f};
    setRgbHue(tint, rgbHue(255.0f, 0.0f, 204.0f) + camera::wave(S, kHueTurnWave));
    r.add<ColorizeCurveMod>(kWithContext, camera::curveFrom(kRegionCurve), tint, 0u, a);
    r.add<LuminanceContrastMod>(kWithContext, 0.1659790277481079f * a + 1.0f,
                                camera::wave(S, kCenterWave) + 145.33700561523438f);
    r.add<SaturationMod>(kWithContext, 1u, (camera::wave(S, kSaturationWave) - 0.18734002113342285f) * a + 1.0f);
    if (version == 2) {
        float amount, mix;
        Camera1958::closingBlur(a, v, amount, mix);
        r.add<BlurMod>(kWithContext, amount, mix);
    }
}

}  // namespace

void Camera1958::closingBlur(float a, float v, float& amount, float& mix) {
    const double u = phaseOf(v) * kTurnsPerHundred;
    mix = camera::wave(u, kBlurMixWave);
    amount = camera::wave(u, kBlurAmountWave) * a;
}

Camera1958::Camera1958(uint32_t styleVersion)
    : CameraStyle("1958", "Those nostalgic maroon hues from Christmases decked with cowboy hats and BB guns.", steps,
                  styleVersion) {}

int32_t Camera1958::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 2) return 0;
    const float k = camera::wave(phaseOf(variationValue()), kBlurMarginWave);
    return atLeastRecipeReach(camera::blurMarginRows(k, width, height), width, height, scale);
}
