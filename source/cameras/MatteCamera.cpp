// Matte ("Matte Camera"): not so glossy. A lifted black point and grain.
//   version 4 (new tiles): a luminance curve, an RGB curve and grain, each
//     with a strength that follows Variation.
//   any other version: luminance contrast, an RGB curve whose shape follows
//     Variation, and grain (grain method 4, 3 or 1 for versions 3, 2 and
//     the others).

#include <cmath>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/Curves.h"
#include "cameras/CameraStyles.h"
#include "effects/Noise.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Version 4, over the phase X = 2 (v + 300).
constexpr camera::Wave kCurveStrengthWave{0.033740705144660564, 0.0, 0.25, 0.75};
constexpr camera::Wave kRgbStrengthWave{0.06000441866188032, 0.0, 0.25, 0.75};
constexpr camera::Wave kGrainWave{0.08105308810215502, 0.0, 30.0, 0.0};
constexpr const char* kFadeCurve = "0.000000 0.000000 0.241304 0.000000 0.491304 0.439130 1.000000 1.000000";
constexpr const char* kLiftCurve = "0.000000 0.286956 0.600000 0.597826 1.000000 1.000000";

// Every other version, over the phase Q = 3 (v + 16).
constexpr camera::Wave kContrastWave{0.044673449142009804, 0.0, 0.15000000596046448, 0.05000000447034836};
constexpr camera::Wave kCenterWave{0.029405306921233814, 0.0, 40.0, -10.0};
constexpr camera::Wave kShapeXWave{0.033740705144660564, 0.0, 0.20000001788139343, 0.40000002086162567};
constexpr camera::Wave kShapeYWave{0.06000441866188032, 0.0, 0.050000011920928955, 0.949999988079071};
constexpr camera::Wave kGrainWave1{0.08105308810215502, 0.0, 5.0, 0.0};
constexpr const char* kShapeCurve = "0.000000 0.186957 0.247826 0.204348 1.000000 1.000000";

void versionFour(camera::Recipe& r, float a, float v) {
    const float w = v + 300.0f;
    const double X = static_cast<double>(w + w);
    r.add<CurvesMod>(kBare, camera::curveFrom(kFadeCurve), camera::wave(X, kCurveStrengthWave) * a);
    r.add<RgbCurveMod>(kBare, camera::curveFrom(kLiftCurve), camera::wave(X, kRgbStrengthWave) * a);
    const float g = camera::wave(X, kGrainWave);
    r.add<NoiseMod>(kWithContext, (g > 0.0f ? g : 0.0f) * a, 5.0f, std::fmod(w * 200.0f, 10000.0f));
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    if (version == 4) {
        versionFour(r, a, v);
        return;
    }
    const float q = (v + 16.0f) * 3.0f;
    const double Q = static_cast<double>(q);
    r.add<LuminanceContrastMod>(kWithContext, (camera::wave(Q, kContrastWave) + 0.32555603981018066f) * a + 1.0f,
                                camera::wave(Q, kCenterWave) + 116.48148345947266f);
    Curve shape = camera::curveFrom(kShapeCurve);
    shape.points[1].x = camera::wave(Q, kShapeXWave);
    shape.points[2].y = camera::wave(Q, kShapeYWave);
    shape.rebuildTable();
    r.add<RgbCurveMod>(kBare, shape, a);
    r.add<NoiseMod>(kWithContext, (camera::wave(Q, kGrainWave1) + 18.0f) * a, 5.0f, 0.0f)
        .version = version == 3 ? 4 : (version == 2 ? 3 : 1);
}

}  // namespace

MatteCamera::MatteCamera(uint32_t styleVersion) : CameraStyle("Matte", "Not so glossy.", steps, styleVersion) {}
