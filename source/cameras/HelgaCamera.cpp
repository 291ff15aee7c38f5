// A toy camera (Helga, "Helga Camera"): washed-out highlights and
// old-school vignetting. Contrast, a luminance curve that lifts black and
// pulls white down, a cross-mix of the primaries, a strong vignette, a
// master curve, a nested Colorcross and a last contrast step; version 2
// (new tiles) starts with a blur that grows toward the edges, which the
// margin covers.

#include <algorithm>
#include <cmath>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/RgbSwap.h"
#include "cameras/CameraStyles.h"
#include "cameras/ColorcrossCamera.h"
#include "effects/RadialBlur.h"
#include "effects/Vignette.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Over the phase X = float(v + 266.81).
constexpr camera::Wave kRadialAmountWave{0.044673449142009804, 0.0, 0.1300000101327896, 0.23000001162290573};
constexpr camera::Wave kContrastWave{0.14765484879288754, 2.0, 0.2749999761581421, 1.024999976158142};
constexpr camera::Wave kVignetteWave{0.19603537448146505, 1.3450000286102295, 0.25, 0.75};
constexpr camera::Wave kVignetteSharpnessWave{0.12503538826821126, 2.5429999828338623, 17.5, 57.5};
constexpr camera::Wave kVignetteRadiusWave{0.17467254982036626, 0.0, 0.125, 0.9750000238418579};
constexpr camera::Wave kFinishWave{0.08482300318302811, 2.799999952316284, 0.10499998927116394, 1.0449999868869781};
// Nine numbers each: the lone ninth is dropped, the last point's x is 1.
constexpr const char* kLuminanceCurve =
    "0.000000 0.091216 0.179054 0.162162 0.324324 0.358108 0.733108 0.574324 1.000000";
constexpr const char* kMasterCurve =
    "0.000000 0.125628 0.163317 0.145729 0.332915 0.560301 0.563442 0.853015 1.000000";

double phaseOf(float v) { return static_cast<double>(static_cast<float>(static_cast<double>(v) + 266.81)); }

// The radial blur Amount of version 2 at Amount 1.
float radialAmountAtOne(double X) { return camera::wave(X, kRadialAmountWave); }

// The primaries mixed toward the three colours by A: the pure primary at
// 0, the colour at 1.
void addSwap(camera::Recipe& r, double A) {
    const float red[4] = {static_cast<float>(181.71553 * A + 255.0 * (1.0 - A)), static_cast<float>(52.205475 * A),
                          static_cast<float>(42.400295 * A), 255.0f};
    const float green[4] = {static_cast<float>(38.2043 * A), static_cast<float>(156.290329 * A + 255.0 * (1.0 - A)),
                            static_cast<float>(67.985504 * A), 255.0f};
    const float blue[4] = {static_cast<float>(52.553768 * A), static_cast<float>(70.184723 * A),
                           static_cast<float>(189.193558 * A + 255.0 * (1.0 - A)), 255.0f};
    r.add<RgbSwapMod>(kBare, red, green, blue);
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double X = phaseOf(v);
    const float u = static_cast<float>(X);
    const double A = static_cast<double>(a);
    if (version == 2) r.add<RadialBlurMod>(kWithContext, radialAmountAtOne(X) * a, 1.2599999904632568f);
    r.add<ContrastMod>(kWithContext, 2u, (camera::wave(X, kContrastWave) - 1.0f) * a + 1.0f, 90.0f);
    r.add<CurvesMod>(kBare, camera::curveFrom(kLuminanceCurve), a);
    addSwap(r, A);
    r.add<VignetteMod>(kWithContext, camera::wave(X, kVignetteWave) * a, camera::wave(X, kVignetteSharpnessWave),
                       camera::wave(X, kVignetteRadiusWave));
    const Curve identity = camera::curveFrom("0 0 1 1");
    r.add<RgbCurvesMod>(kWithContext, identity, identity, identity, camera::curveFrom(kMasterCurve), a);
    r.add<ColorcrossCamera>(kBare, static_cast<float>(0.121 * A), u + 13670.0f);
    r.add<ContrastMod>(kWithContext, 2u, (camera::wave(X, kFinishWave) - 1.0f) * a + 1.0f, 127.0f);
}

}  // namespace

HelgaCamera::HelgaCamera(uint32_t styleVersion)
    : CameraStyle("Helga", "A toy camera feel with washed-out highlights and old-school vignetting.", steps,
                  styleVersion) {}

int32_t HelgaCamera::marginFor(int32_t width, int32_t height, float) const {
    if (version != 2) return 0;
    const float q = radialAmountAtOne(phaseOf(variationValue())) * 45.0f;
    const double M = static_cast<double>(static_cast<float>(std::max(width, height)));
    const float r = static_cast<float>(M * 0.0008333333333333334 * static_cast<double>(q));
    const int32_t written = camera::marginRows(std::trunc(r + 1.0f), height);
    // The rows the radial blur's kernels reach at the current Amount (a
    // file may hold more than 1): its largest radius, rounded up.
    const float a = amountValue();
    if (!(a == a) || a == 0.0f) return written;
    const float reach = radialBlurMaxRadius(radialAmountAtOne(phaseOf(variationValue())) * a, 0u,
                                            static_cast<float>(width), static_cast<float>(height));
    if (!(reach <= kMaxRadialBlurRadius)) return written;
    return std::max(written, camera::marginRows(std::ceil(static_cast<double>(reach)), height));
}
