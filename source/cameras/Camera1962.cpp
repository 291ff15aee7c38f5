// 1962 ("1962 Camera"): high-contrast black and white.
//   version 4 (new tiles): Colorcross, desaturation by Amount, a blur (its
//     margin grows with Amount), grain and contrast.
//   versions 2 and 3: the Mono filtered grey, contrast, a black-lifting
//     RGB curve and grain (of the second or fourth grain method).
//   any other version: contrast, desaturation, a luminance curve, grain.

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "cameras/CameraStyles.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/MonoCamera.h"
#include "effects/Blur.h"
#include "effects/Noise.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Version 4: the blur's strength and reach over the phase u = s 2 pi / 100,
// the contrast over s = float(v - 333.33).
constexpr camera::Wave kBlurStrengthWave{0.7110000252723694, 0.0, 0.22499999403953552, 0.7750000059604645};
constexpr camera::Wave kBlurReachWave{0.5370000004768372, 0.0, 5.0, 21.0};
constexpr camera::Wave kContrastWave4{0.06000441866188032, 0.0, 0.04999995231628418, 1.5};
constexpr double kTurnsPerHundred = 0.0628318531;

// The other versions, over the phase S = float(v + 503.32).
constexpr camera::Wave kContrastWave2{0.033740705144660564, 0.5370000004768372, 0.125, 1.725000023841858};
constexpr camera::Wave kBlackLiftWave{0.08105308810215502, 1.2899999618530273, 0.07326100021600723,
                                      0.08326099999248981};
constexpr camera::Wave kGrainScaleWave{0.044673449142009804, 0.7110000252723694, 8.0, 16.0};
constexpr camera::Wave kGrainWave2{0.05881061384246763, 0.46799999475479126, 20.5, 57.5};
constexpr camera::Wave kContrastWave1{0.13194688551788755, 1.2000000476837158, 0.1850000023841858,
                                      1.6850000023841858};
constexpr camera::Wave kCenterWave1{0.10681415326605623, 2.200000047683716, 35.0, 75.0};
constexpr camera::Wave kGrainWave1{0.19477873861788755, 2.799999952316284, 8.0, 22.0};
constexpr const char* kLiftCurve = "0.000000 0.082609 0.278261 0.156522 0.500000 0.493478 1.000000 1.000000";
constexpr const char* kShadowCurve = "0.000000 0.081633 1.000000 1.000000";

// Version 4's shared values: the phase s, the blur strength p and reach r.
struct VersionFour {
    float s, p, r;
    double A;
    explicit VersionFour(float a, float v) {
        s = static_cast<float>(static_cast<double>(v) - 333.33);
        A = static_cast<double>(a) * 1.2;
        const double u = static_cast<double>(s) * kTurnsPerHundred;
        p = camera::wave(u, kBlurStrengthWave);
        r = camera::wave(u, kBlurReachWave);
    }
    float blurAmount() const { return static_cast<float>(static_cast<double>(p) * A * static_cast<double>(r)); }
};

void versionFour(camera::Recipe& r, float a, float v) {
    const VersionFour f(a, v);
    r.add<ColorcrossCamera>(kBare, a, f.s);
    r.add<SaturationMod>(kWithContext, 1u, 1.0f - a);
    r.add<BlurMod>(kWithContext, f.blurAmount(), 100.0f);
    r.add<NoiseMod>(kWithContext, 45.0f * a * f.p, f.r, 0.0f);
    r.add<ContrastMod>(kWithContext, 2u,
                       (camera::wave(static_cast<double>(f.s), kContrastWave4) - 1.0f) * a + 1.0f, 84.0f);
}

// Versions 2 and 3: the grain of the second or the fourth method.
void versionTwo(camera::Recipe& r, float a, double S, uint32_t version) {
    r.add<MonoCamera>(kWithContext);
    r.add<ContrastMod>(kWithContext, 2u, (camera::wave(S, kContrastWave2) - 1.0f) * a + 1.0f, 90.0f);
    Curve lifted = camera::curveFrom(kLiftCurve);
    lifted.points[0].y = camera::wave(S, kBlackLiftWave);
    lifted.rebuildTable();
    r.add<RgbCurveMod>(kBare, lifted, a);
    const float g = camera::wave(S, kGrainScaleWave);
    r.add<NoiseMod>(kWithContext, camera::wave(S, kGrainWave2) * a, g, 200.0f * g).version = version == 2 ? 2 : 4;
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    if (version == 4) {
        versionFour(r, a, v);
        return;
    }
    const double S = static_cast<double>(static_cast<float>(static_cast<double>(v) + 503.32000000000005));
    if (version == 2 || version == 3) {
        versionTwo(r, a, S, version);
        return;
    }
    r.add<ContrastMod>(kWithContext, 2u, (camera::wave(S, kContrastWave1) - 1.0f) * a + 1.0f,
                       camera::wave(S, kCenterWave1));
    r.add<SaturationMod>(kWithContext, 1u, 1.0f - a);
    r.add<CurvesMod>(kBare, camera::curveFrom(kShadowCurve), a);
    // The grain of the first method.
    r.add<NoiseMod>(kWithContext, camera::wave(S, kGrainWave1) * a, 13.0f, 0.0f).version = 1;
}

}  // namespace

Camera1962::Camera1962(uint32_t styleVersion)
    : CameraStyle("1962", "Dynamic, high-contrast black and whites from the photojournalism of a bygone era.", steps,
                  styleVersion) {}

int32_t Camera1962::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 4) return 0;
    const VersionFour f(amountValue(), variationValue());
    return atLeastRecipeReach(camera::blurMarginRows(f.blurAmount(), width, height), width, height, scale);
}
