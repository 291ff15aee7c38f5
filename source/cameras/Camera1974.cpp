// 1974 ("1974 Camera"): dad's old camera, faded and tinted.
//   version 3 (new tiles): a blur (covered by the margin), a luminance
//     curve, an orange colouring, a faded RGB curve, a quarter-strength
//     Colorcross pass and grain.
//   version 2: luminance contrast, an RGB curve, a colour-filter colouring
//     whose colour follows Variation, and grain.
//   any other version: grain, contrast, a three-zone colour correction, an
//     RGB curve, gamma and a fixed desaturation.

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/ColorCorrection.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "cameras/ColorcrossCamera.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Version 3, over the phase S = v + 1464.
constexpr camera::Wave kBlurWave{0.029405306921233814, 0.0, 7.5, 12.5};
constexpr camera::Wave kGrainWave3{0.033740705144660564, 0.0, 10.0, 25.0};
constexpr camera::Wave kGrainScaleWave3{0.044673449142009804, 0.0, 5.0, 22.0};
constexpr const char* kLuminanceCurve3 =
    "0.000000 0.000000 0.269565 0.101087 0.369565 0.297826 0.478261 0.578261 0.691304 0.806522 1.000000 1.000000";
constexpr const char* kRegionCurve3 =
    "0.000000 0.627907 0.119198 0.734012 0.546413 0.648256 0.798523 0.518895 1.000000 0.500000";
constexpr const char* kRgbCurve3 = "0.000000 0.165217 1.000000 0.921739";
constexpr float kOrange[4] = {255.0f, 101.57677459716797f, 0.0f, 255.0f};

// The other versions, over the phase S2 = float(v + 210.53).
constexpr camera::Wave kSaturationWave2{0.11309733258394378, 0.46799999475479126, 0.25, 0.75};
constexpr camera::Wave kHueTurnWave2{0.14451325913394378, 0.7110000252723694, 15.0, 0.0};
constexpr camera::Wave kGrainWave2{0.09424777965, 0.5370000004768372, 17.5, 17.5};
constexpr camera::Wave kCenterWave1{0.23247785946605623, 0.0, 50.0, 80.0};
constexpr camera::Wave kGammaWave1{0.15079645343211245, 1.5, 0.29999998211860657, 0.9999999701976776};
constexpr camera::Wave kSaturationWave1{0.15079645343211245, 1.5, 0.16999998688697815, 0.6699999868869781};
constexpr const char* kRgbCurve2 = "0.000000 0.152174 0.373913 0.271740 1.000000 1.000000";
constexpr const char* kRegionCurve2 = "0.000000 1.000000 0.666000 0.475824 1.000000 0.390110";
constexpr const char* kRgbCurve1 =
    "0.000000 0.122449 0.176020 0.209184 0.438775 0.448980 0.709184 0.755102 1.000000 1.000000";
constexpr float kBrown[4] = {136.4160919189453f, 92.09030151367188f, 53.848453521728516f, 255.0f};
constexpr float kShadows[4] = {96.97183227539062f, 60.3380241394043f, 0.0f, 255.0f};
constexpr float kMidtones[4] = {255.0f, 250.82640075683594f, 209.758056640625f, 255.0f};
constexpr float kHighlights[4] = {209.758056640625f, 234.46583557128906f, 255.0f, 255.0f};

// Version 3's blur Amount at Amount 1.
float blurAmountAtOne(float v) { return camera::wave(static_cast<double>(v + 1464.0f), kBlurWave); }

void versionThree(camera::Recipe& r, float a, float v) {
    const float s = v + 1464.0f;
    const double S = static_cast<double>(s);
    r.add<BlurMod>(kWithContext, blurAmountAtOne(v) * a, 100.0f);
    r.add<CurvesMod>(kBare, camera::curveFrom(kLuminanceCurve3), a);
    r.add<ColorizeCurveMod>(kWithContext, camera::curveFrom(kRegionCurve3), kOrange, 0u, a);
    r.add<RgbCurveMod>(kBare, camera::curveFrom(kRgbCurve3), a);
    r.add<ColorcrossCamera>(kBare, static_cast<float>(static_cast<double>(a) * 0.2509), 14.0f + s);
    r.add<NoiseMod>(kWithContext, camera::wave(S, kGrainWave3) * a, camera::wave(S, kGrainScaleWave3), s);
}

void versionTwo(camera::Recipe& r, float a, double S2) {
    r.add<LuminanceContrastMod>(kWithContext, 0.5136610269546509f * a + 1.0f, 46.680328369140625f);
    r.add<RgbCurveMod>(kBare, camera::curveFrom(kRgbCurve2), a);
    // The brown re-saturated, then its hue turned.
    float c[4] = {kBrown[0], kBrown[1], kBrown[2], kBrown[3]};
    setRgbSaturation(c, camera::wave(S2, kSaturationWave2));
    setRgbHue(c, rgbHue(c[0], c[1], c[2]) + camera::wave(S2, kHueTurnWave2));
    r.add<ColorizeCurveMod>(kWithContext, camera::curveFrom(kRegionCurve2), c, 2u, a);
    r.add<NoiseMod>(kWithContext, camera::wave(S2, kGrainWave2) * a, 9.265999794006348f, 0.0f);
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    if (version == 3) {
        versionThree(r, a, v);
        return;
    }
    const double S2 = static_cast<double>(static_cast<float>(static_cast<double>(v) + 210.52999999999997));
    if (version == 2) {
        versionTwo(r, a, S2);
        return;
    }
    // Grain of the first method, limited to 0..17 and not scaled by a.
    float n = 22.0f * a - 5.0f;
    n = n > 0.0f ? (n < 17.0f ? n : 17.0f) : 0.0f;
    r.add<NoiseMod>(kWithContext, n, 13.0f, 0.0f).version = 1;
    r.add<LuminanceContrastMod>(kWithContext, 0.4099999666213989f * a + 1.0f, camera::wave(S2, kCenterWave1));
    r.add<ColorCorrectionMod>(kBare, kShadows, kMidtones, kHighlights, a);
    const Curve identity = camera::curveFrom("0 0 1 1");
    r.add<RgbCurvesMod>(kWithContext, identity, identity, identity, camera::curveFrom(kRgbCurve1), a);
    r.add<GammaMod>(kBare, (camera::wave(S2, kGammaWave1) - 1.0f) * a + 1.0f);
    // A desaturation that does not depend on a.
    r.add<SaturationMod>(kWithContext, 1u, camera::wave(S2, kSaturationWave1));
}

}  // namespace

Camera1974::Camera1974(uint32_t styleVersion)
    : CameraStyle("1974", "Dad's old camera. Faded, tinted, and hip.", steps, styleVersion) {}

int32_t Camera1974::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    const float k = blurAmountAtOne(variationValue());
    return atLeastRecipeReach(camera::blurMarginRows(k, width, height), width, height, scale);
}
