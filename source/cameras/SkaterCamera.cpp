// Skater ("Skater Camera"): skinned knees and noisy photos. Exposure, a
// full dark vignette, shadow-lifting channel curves, saturation and heavy
// grain.
//   version 3 (new tiles): first softens with a blur whose size moves with
//     Variation, and moves the grain pattern with Variation; the margin
//     covers that blur (0 in every other version).
//   version 2: the older chain with the stronger grain of the fourth
//     grain method; any other version: weaker grain, first method.

#include <cmath>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Over the phase X = float(0.7 v + 230).
constexpr camera::Wave kGammaWave{0.20923006602931005, 20.0, 0.20000001788139343, 1.0000000298023224};
constexpr camera::Wave kSaturationWave{0.15393804309105624, 0.5669999718666077, 0.19999998807907104,
                                       0.8499999642372131};
constexpr camera::Wave kGrainScaleWave{0.1740442318885775, 1.5, 6.5, 26.5};
constexpr camera::Wave kGrainWave2{0.19477873861788755, 3.0999999046325684, 7.5, 37.5};
constexpr camera::Wave kGrainWave1{0.19477873861788755, 3.0999999046325684, 5.0, 23.0};
// Version 3, over the phase t = X 2 pi / 100: the blur's size, which is
// also the grain's scale, and the grain.
constexpr camera::Wave kBlurWave3{2.7699999809265137, 1.5, 6.5, 26.5};
constexpr camera::Wave kGrainWave3{3.0999999046325684, 3.0999999046325684, 7.5, 37.5};
constexpr double kTurnsPerHundred = 0.0628318531;
constexpr const char* kRedCurve = "0.000000 0.086735 0.438775 0.132653 0.561224 0.923469 1.000000 1.000000";
constexpr const char* kGreenCurve = "0.000000 0.102041 0.377551 0.142857 0.556122 0.859694 1.000000 1.000000";
constexpr const char* kBlueCurve = "0.000000 0.000000 0.382653 0.112245 0.594388 0.849490 1.000000 1.000000";

float phaseOf(float v) { return static_cast<float>(0.7 * static_cast<double>(v) + 230.0); }

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double X = static_cast<double>(phaseOf(v));
    // The grain runs last: its amount, scale and offset, and the grain
    // method where the block's own is not the one.
    float grainAmount, grainScale, grainOffset = 0.0f;
    uint32_t grainMethod = 0;
    if (version == 3) {
        const double t = X * kTurnsPerHundred;
        const float size = camera::wave(t, kBlurWave3);
        r.add<BlurMod>(kWithContext, static_cast<float>(static_cast<double>(size * a) * 0.8), 100.0f);
        grainAmount = camera::wave(t, kGrainWave3) * a;
        grainScale = size;
        grainOffset = SkaterCamera::grainOffset(v);
    } else {
        grainAmount = camera::wave(X, version == 2 ? kGrainWave2 : kGrainWave1) * a;
        grainScale = camera::wave(X, kGrainScaleWave);
        grainMethod = version == 2 ? 4 : 1;
    }
    r.add<GammaMod>(kBare, (camera::wave(X, kGammaWave) - 1.0f) * a + 1.0f);
    r.add<VignetteMod>(kWithContext, a, 40.0f, 1.7999999523162842f);
    r.add<RgbCurvesMod>(kWithContext, camera::curveFrom(kRedCurve), camera::curveFrom(kGreenCurve),
                        camera::curveFrom(kBlueCurve), camera::curveFrom("0 0 1 1"), a);
    r.add<SaturationMod>(kWithContext, 1u, (camera::wave(X, kSaturationWave) - 1.0f) * a + 1.0f);
    NoiseMod& grain = r.add<NoiseMod>(kWithContext, grainAmount, grainScale, grainOffset);
    if (grainMethod != 0) grain.version = grainMethod;
}

}  // namespace

float SkaterCamera::grainOffset(float variation) { return std::fmod(phaseOf(variation) * 100.0f, 10000.0f); }

SkaterCamera::SkaterCamera(uint32_t styleVersion)
    : CameraStyle("Skater", "Skinned knees and noisy photos.", steps, styleVersion) {}

// Version 3 starts with a blur: its bands need the rows that blur reaches,
// or each band would be blurred against its own clamped edges.
int32_t SkaterCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    return atLeastRecipeReach(0, width, height, scale);
}
