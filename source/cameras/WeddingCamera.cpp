// Wedding ("Wedding Camera"): bright, clean and slightly contrasty with a
// soft dark vignette. Gamma, saturation, an RGB curve and a vignette, each
// moved by Variation. One recipe for every version.

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Vignette.h"

namespace {

using camera::kBare;
using camera::kWithContext;

constexpr camera::Wave kGammaWave{0.029405306921233814, 0.0, 0.15000000596046448, 0.05000000447034836};
constexpr camera::Wave kSaturationWave{0.06000441866188032, 0.0, 0.1599999964237213, 0.059999994933605194};
constexpr camera::Wave kCurveStrengthWave{0.044673449142009804, 0.0, -0.20000000298023224, -0.20000000298023224};
constexpr camera::Wave kVignetteWave{0.033740705144660564, 0.0, 0.1599999964237213, -0.06000000238418579};
constexpr const char* kBrightCurve =
    "0.000000 0.000000 0.167392 0.063043 0.404348 0.752174 0.730435 1.000000 1.000000 1.000000";

void steps(camera::Recipe& r, float a, float v, uint32_t) {
    const double xd = static_cast<double>(static_cast<float>(static_cast<double>(v) * 3.3 + 14.0));
    r.add<GammaMod>(kBare, camera::wave(xd, kGammaWave) * a + 1.0f);
    r.add<SaturationMod>(kWithContext, 1u, camera::wave(xd, kSaturationWave) * a + 1.0f);
    r.add<RgbCurveMod>(kBare, camera::curveFrom(kBrightCurve), (camera::wave(xd, kCurveStrengthWave) + 1.0f) * a);
    r.add<VignetteMod>(kWithContext, (camera::wave(xd, kVignetteWave) + 0.2199999988079071f) * a, 42.78499984741211f,
                       0.9289000034332275f);
}

}  // namespace

WeddingCamera::WeddingCamera() : CameraStyle("Wedding", "The perfect SLR look for the perfect day.", steps) {}
