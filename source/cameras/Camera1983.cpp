// 1983 ("1983 Camera"): underground breakdance. Shadows, channel curves, a
// crimson/green split tone, contrast and grain.
//   versions 2 and 3: split-tone hues turn with Variation; version 3 (new
//     tiles) blurs before the grain, and the margin covers that blur.
//   any other version: starts with a vignette, adds gamma, fixed split
//     tone, capped first-method grain, contrast last.

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "adjustments/ShadowsHighlights.h"
#include "adjustments/SplitTone.h"
#include "cameras/CameraStyles.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Over the phase T = float(1.4 v - 16).
constexpr camera::Wave kShadowsWave{0.16964600636605623, 2.700000047683716, 0.2999999523162842, 1.5};
constexpr camera::Wave kContrastWave{0.11184069672036627, 1.7799999713897705, 0.18500003218650818,
                                     1.1350000202655792};
constexpr camera::Wave kDarkHueTurnWave{0.059690259695985945, 1.4500000476837158, 10.0, 0.0};
constexpr camera::Wave kLightHueTurnWave{0.078539816375, 1.649999976158142, 10.0, 0.0};
constexpr camera::Wave kGrainWave{0.1884955593, 3.0, 17.5, 17.5};
constexpr camera::Wave kFirstGrainWave{0.1884955593, 3.0, 14.0, 14.0};
constexpr camera::Wave kVignetteWave{0.13508849015711247, 2.1500000953674316, 0.15000000596046448,
                                     0.15000000596046448};
constexpr camera::Wave kBlurMarginWave{0.033740705144660564, 0.0, 4.5, 18.5};
// Version 3's blur, over the phase u = T 2 pi / 100.
constexpr camera::Wave kBlurAmountWave{0.5370000004768372, 0.0, 4.5, 18.5};
constexpr camera::Wave kBlurMixWave{0.9549999833106995, 0.0, 15.0, 75.0};
constexpr double kTurnsPerHundred = 0.0628318531;

double phaseOf(float v) { return static_cast<double>(static_cast<float>(1.4 * static_cast<double>(v) - 16.0)); }

// The split-tone colours with their hues turned by h.
void turned(const float colour[4], float h, float out[4]) {
    for (int c = 0; c < 4; ++c) out[c] = colour[c];
    setRgbHue(out, rgbHue(colour[0], colour[1], colour[2]) + h);
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double T = phaseOf(v);
    const float shadows = (camera::wave(T, kShadowsWave) - 1.0f) * a + 1.0f;
    const float contrast = (camera::wave(T, kContrastWave) - 1.0f) * a + 1.0f;
    const float splitAmount = static_cast<float>(static_cast<double>(a) * 0.389);
    const auto crossCurves = [&](camera::StepContext how) {
        r.add<RgbCurvesMod>(how, camera::curveFrom(camera::kCrossRedCurve), camera::curveFrom(camera::kCrossGreenCurve),
                            camera::curveFrom(camera::kCrossBlueCurve), camera::curveFrom(camera::kCrossToneCurve), a);
    };
    if (version == 2 || version == 3) {
        r.add<ShadowsMod>(kWithContext, shadows);
        crossCurves(kWithContext);
        float dark[4], light[4];
        turned(camera::kCrossDark, camera::wave(T, kDarkHueTurnWave), dark);
        turned(camera::kCrossLight, camera::wave(T, kLightHueTurnWave), light);
        r.add<SplitToneMod>(kWithContext, dark, light, splitAmount);
        r.add<ContrastMod>(kWithContext, 2u, contrast, 64.36199951171875f);
        if (version == 3) {
            const double u = T * kTurnsPerHundred;
            r.add<BlurMod>(kWithContext, camera::wave(u, kBlurAmountWave) * a, camera::wave(u, kBlurMixWave));
        }
        r.add<NoiseMod>(kWithContext, camera::wave(T, kGrainWave) * a, 25.0f, 0.0f);
        return;
    }
    r.add<VignetteMod>(kWithContext, camera::wave(T, kVignetteWave) * a, 2.0339999198913574f, 0.8820000290870667f);
    r.add<ShadowsMod>(kWithContext, shadows);
    crossCurves(kWithContext);
    r.add<GammaMod>(kBare, 0.10500001907348633f * a + 1.0f);
    r.add<SplitToneMod>(kWithContext, camera::kCrossDark, camera::kCrossLight, splitAmount);
    // Grain of the first method, its strength capped at 18.
    float n = camera::wave(T, kFirstGrainWave);
    n = n > 0.0f ? (n < 18.0f ? n : 18.0f) : 0.0f;
    r.add<NoiseMod>(kWithContext, n * a, 20.0f, 0.0f).version = 1;
    r.add<ContrastMod>(kWithContext, 2u, contrast, 64.36199951171875f);
}

}  // namespace

Camera1983::Camera1983(uint32_t styleVersion)
    : CameraStyle("1983", "Think underground breakdance competition.", steps, styleVersion) {}

int32_t Camera1983::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    const float k = camera::wave(phaseOf(variationValue()), kBlurMarginWave);
    return atLeastRecipeReach(camera::blurMarginRows(k, width, height), width, height, scale);
}
