// Saloon ("Saloon Camera"): warm, lifted old-time look with a white vignette.
// Gamma, a lightening vignette, a luminance curve, a warm dye and a
// saturation step. One recipe for every version.

#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/DyeColorFilter.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Vignette.h"

namespace {

using camera::kBare;
using camera::kWithContext;

constexpr camera::Wave kGammaWave{0.10549468261324361, 1.5789999961853027, 0.32499998807907104, -0.125};
constexpr camera::Wave kVignetteSharpnessWave{0.061763710368916945, 1.2899999618530273, 17.5, 2.5};
constexpr camera::Wave kSaturationWave{0.08419468525123937, 1.340000033378601, 0.20000000298023224, 0.0};
constexpr const char* kLiftedCurve =
    "0.000000 0.190850 0.205533 0.231665 0.308529 0.481292 0.785465 0.919104 1.000000 1.000000";
constexpr float kWarmDye[4] = {255.0f, 212.9250030517578f, 178.5f, 255.0f};

void steps(camera::Recipe& r, float a, float v, uint32_t) {
    const double x = static_cast<double>(v);
    r.add<GammaMod>(kBare, (camera::wave(x, kGammaWave) + 0.29499995708465576f) * a + 1.0f);
    // A negative Amount: the vignette lightens the corners.
    r.add<VignetteMod>(kWithContext, static_cast<float>(static_cast<double>(a) * -0.8),
                       camera::wave(x, kVignetteSharpnessWave) + 37.0f, 0.8420000076293945f);
    r.add<CurvesMod>(kBare, camera::curveFrom(kLiftedCurve), a);
    r.add<DyeMod>(kBare, 1u, kWarmDye, a);
    r.add<SaturationMod>(kWithContext, 1u, camera::wave(x, kSaturationWave) * a + 1.0f);
}

}  // namespace

SaloonCamera::SaloonCamera() : CameraStyle("Saloon", "Old-timey fun with a white vignette.", steps) {}
