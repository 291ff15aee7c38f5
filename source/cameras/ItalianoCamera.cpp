// Italiano ("Italiano Camera"): shades of coffee.
//   version 2 (new tiles): a soft blur, grain, luminance contrast, full
//     desaturation at full Amount, a dark vignette, warm channel curves and
//     a final saturation step.
//   any other version: no blur, contrast before a weaker grain of the
//     first grain method, and a weaker final saturation.
// The margin covers version 2's blur at the current values.

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "cameras/CameraStyles.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"

namespace {

using camera::kWithContext;

// Over the phase X = float(0.6 v - 124.67); the waves marked 2 and 1 are
// version 2's and the other versions'.
constexpr camera::Wave kBlurWave{0.06000441866188032, 0.0, 5.0, 15.0};
constexpr camera::Wave kCenterWave{0.11623892973302812, 2.3399999141693115, 67.5, 82.5};
constexpr camera::Wave kGrainWave2{0.18409733377747872, 0.05999999865889549, 9.0, 34.0};
constexpr camera::Wave kGrainScaleWave2{0.1086991070614225, 2.5999999046325684, 5.0, 25.0};
constexpr camera::Wave kContrastWave2{0.14137166947500002, 0.15000000596046448, 0.3050000071525574,
                                      0.9449999928474426};
constexpr camera::Wave kContrastWave1{0.14137166947500002, 0.15000000596046448, 0.36000001430511475, 1.0};
constexpr camera::Wave kGrainWave1{0.18409733377747872, 0.05999999865889549, 7.0, 17.0};
constexpr camera::Wave kGrainScaleWave1{0.1086991070614225, 2.5999999046325684, 5.0, 15.0};
constexpr camera::Wave kVignetteWave{0.20941856290687477, 1.5, 0.17499998211860657, 0.4749999940395355};
constexpr camera::Wave kSaturationWave2{0.1514247713639012, 0.9089999794960022, 0.3749999701976776,
                                        0.9249999821186066};
constexpr camera::Wave kSaturationWave1{0.1514247713639012, 0.9089999794960022, 0.17499998211860657,
                                        0.7249999940395355};
constexpr const char* kRedCurve = "0.000000 0.000000 0.124046 0.230916 0.599237 0.782443 1.000000 1.000000";
constexpr const char* kGreenCurve = "0.000000 0.000000 0.141504 0.192748 0.420908 0.528909 1.000000 1.000000";
constexpr const char* kBlueCurve = "0.000000 0.000000 0.219466 0.211832 0.500000 0.561069 1.000000 1.000000";
constexpr const char* kToneCurve =
    "0.000000 0.111111 0.215678 0.141211 0.324685 0.524358 0.599631 0.760897 1.000000";

// The shifted Variation of every step, widened again.
double phaseOf(float v) {
    return static_cast<double>(static_cast<float>(0.6 * static_cast<double>(v) + (-124.67000000000002)));
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double X = phaseOf(v);
    const bool current = version == 2;
    const float center = camera::wave(X, kCenterWave);
    if (current) {
        r.add<BlurMod>(kWithContext, camera::wave(X, kBlurWave) * a, 80.0f);
        r.add<NoiseMod>(kWithContext, camera::wave(X, kGrainWave2) * a, camera::wave(X, kGrainScaleWave2), 4.0f);
        r.add<LuminanceContrastMod>(kWithContext, (camera::wave(X, kContrastWave2) - 1.0f) * a + 1.0f, center);
    } else {
        r.add<LuminanceContrastMod>(kWithContext, (camera::wave(X, kContrastWave1) - 1.0f) * a + 1.0f, center);
        // The grain of the first method.
        r.add<NoiseMod>(kWithContext, camera::wave(X, kGrainWave1) * a, camera::wave(X, kGrainScaleWave1), 0.0f)
            .version = 1;
    }
    r.add<SaturationMod>(kWithContext, 1u, 1.0f - a);
    r.add<VignetteMod>(kWithContext, camera::wave(X, kVignetteWave) * a, 28.0f, 0.9150000214576721f);
    r.add<RgbCurvesMod>(kWithContext, camera::curveFrom(kRedCurve), camera::curveFrom(kGreenCurve),
                        camera::curveFrom(kBlueCurve), camera::curveFrom(kToneCurve), a);
    const float s = camera::wave(X, current ? kSaturationWave2 : kSaturationWave1);
    r.add<SaturationMod>(kWithContext, 1u, (s - 1.0f) * a + 1.0f);
}

}  // namespace

ItalianoCamera::ItalianoCamera(uint32_t styleVersion)
    : CameraStyle("Italiano", "Shades of coffee for Tuscan landscapes.", steps, styleVersion) {}

int32_t ItalianoCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 2) return 0;
    const float k = camera::wave(phaseOf(variationValue()), kBlurWave);
    return atLeastRecipeReach(camera::blurMarginRows(k, width, height), width, height, scale);
}
