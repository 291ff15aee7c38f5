// Poolside ("Poolside Camera"): hazy summer. Exposure, reduced saturation
// and channel curves whose red and green black points rise with Variation.
//   version 2 (new tiles): that chain.
//   any other version: the same with a light vignette before the curves.

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Vignette.h"

namespace {

using camera::kBare;
using camera::kWithContext;

constexpr camera::Wave kGammaWave{0.10631149742259711, 1.6920000314712524, 0.23000000417232513, -0.04999999701976776};
constexpr camera::Wave kRedLiftWave{0.08061326704793101, 1.2829999923706055, 0.11999999731779099, 0.0};
constexpr camera::Wave kGreenLiftWave{0.05617167628191269, 0.8939999938011169, 0.11999999731779099, 0.0};
constexpr const char* kRedCurve = "0.000000 0.000000 0.361751 0.467742 1.000000 1.000000";
constexpr const char* kBlueCurve = "0.000000 0.169725 0.660550 0.555046 1.000000 1.000000";
constexpr const char* kToneCurve = "0.000000 0.110091 0.444954 0.802752 1.000000 1.000000";

// A black-point lift: 0 for a negative or NaN value, at most 1.
float lift(float p) { return p > 0.0f ? (p < 1.0f ? p : 1.0f) : 0.0f; }

// A curve with its black point raised by a lift.
Curve lifted(const char* points, float p) {
    Curve curve = camera::curveFrom(points);
    curve.points[0].y += lift(p);
    curve.rebuildTable();
    return curve;
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double X = static_cast<double>(static_cast<float>(static_cast<double>(v) * 1.4 + 235.29));
    r.add<GammaMod>(kBare, (camera::wave(X, kGammaWave) - 0.16200000047683716f) * a + 1.0f);
    r.add<SaturationMod>(kWithContext, 1u, -0.2670000195503235f * a + 1.0f);
    if (version != 2) r.add<VignetteMod>(kWithContext, 0.20100000500679016f * a, 25.0f, 0.7829999923706055f);
    r.add<RgbCurvesMod>(kWithContext, lifted(kRedCurve, camera::wave(X, kRedLiftWave)),
                        lifted("0.000000 0.000000 1.000000 1.000000", camera::wave(X, kGreenLiftWave)),
                        camera::curveFrom(kBlueCurve), camera::curveFrom(kToneCurve), a);
}

}  // namespace

PoolsideCamera::PoolsideCamera(uint32_t styleVersion)
    : CameraStyle("Poolside", "Lazy days of summer made hazier, softer.", steps, styleVersion) {}
