// Magazine ("Magazine Camera"): rich tones and contrast.
//   versions 2 and 3: a luminance contrast, then a colour balance toward a
//     colour whose hue turns 8 degrees per unit of Variation, weighted over
//     the tones by a fixed region curve; version 3 runs at 0.7 of Amount.
//   any other version: a faint colour filter, a luminance curve, a
//     luminance contrast and a saturation boost.

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/DyeColorFilter.h"
#include "cameras/CameraStyles.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Versions 2 and 3, over the phase D = 2 float(v + 315.52).
constexpr camera::Wave kBalanceCenterWave{0.052338933901945064, 0.0, 30.0, 60.0};
constexpr const char* kBalanceRegionCurve =
    "0.000000 0.500000 0.111511 0.660837 0.471223 0.708374 0.773381 0.488424 1.000000";

// Every other version, over the phase X = float(v + 313.02).
constexpr camera::Wave kFilterHueWave{0.03839026233398169, 0.3930000066757202, 180.0, 180.0};
constexpr camera::Wave kFilterStrengthWave{0.06446548271870699, 1.3899999856948853, 0.02499999850988388,
                                           0.10499999672174454};
constexpr camera::Wave kContrastWave{0.11121237878857751, 1.63100004196167, 0.10000002384185791, 1.75};
constexpr camera::Wave kCenterWave{0.12377875240463374, 0.9959999918937683, 30.0, -10.0};
constexpr camera::Wave kSaturationWave{0.16713273463890121, 2.996000051498413, 0.18250000476837158,
                                       1.2324999570846558};
constexpr const char* kLuminanceCurve =
    "0.000000 0.000000 0.146341 0.146341 0.439024 0.371951 0.695122 0.560976 0.878049";

void balance(camera::Recipe& r, float a, float v, uint32_t version) {
    const float a3 = version == 3 ? static_cast<float>(static_cast<double>(a) * 0.7) : a;
    const float u = static_cast<float>(static_cast<double>(v) + 315.52);
    const double D = static_cast<double>(u + u);
    r.add<LuminanceContrastMod>(kWithContext, 0.6f * a3 + 1.0f, camera::wave(D, kBalanceCenterWave));
    float tint[4];
    MagazineCamera::balanceColour(v, tint);
    r.add<ColorizeCurveMod>(kWithContext, camera::curveFrom(kBalanceRegionCurve), tint, 4u, a3);
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    if (version == 2 || version == 3) {
        balance(r, a, v, version);
        return;
    }
    const double X = static_cast<double>(static_cast<float>(static_cast<double>(v) + 313.02));
    float tint[4] = {242.0f, 185.0f, 71.0f, 255.0f};
    setRgbHue(tint, camera::wave(X, kFilterHueWave));
    r.add<ColorFilterMod>(kBare, tint, camera::wave(X, kFilterStrengthWave) * a);
    r.add<CurvesMod>(kBare, camera::curveFrom(kLuminanceCurve), a);
    r.add<LuminanceContrastMod>(kWithContext, (camera::wave(X, kContrastWave) - 1.0f) * a + 1.0f,
                                camera::wave(X, kCenterWave) + 80.0f);
    r.add<SaturationMod>(kWithContext, 1u, (camera::wave(X, kSaturationWave) - 1.0f) * a + 1.0f);
}

}  // namespace

void MagazineCamera::balanceColour(float variation, float colour[4]) {
    const float u = static_cast<float>(static_cast<double>(variation) + 315.52);
    colour[0] = 124.0f;
    colour[1] = 116.0f;
    colour[2] = 75.0f;
    colour[3] = 255.0f;
    setRgbHue(colour, u * 8.0f);
}

MagazineCamera::MagazineCamera(uint32_t styleVersion)
    : CameraStyle("Magazine", "Rich tones and contrast perfect for glossy pages.", steps, styleVersion) {}
