// Hipster ("Hipster Camera"): exposure, a wandering tone curve, a vignette,
// channel curves, strongly reduced saturation, coarse grain that never
// moves with the frame, and a colouring whose hue follows Variation. One
// recipe for every version.

#include "adjustments/ChannelCurves.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kStillContext;
using camera::kWithContext;

constexpr camera::Wave kGammaWave{0.029405306921233814, 0.0, 0.15000000596046448, 0.05000000447034836};
// The tone curve's third point wanders by up to 0.07 in x and in y.
constexpr camera::Wave kToneXWave{0.044673449142009804, 0.0, 0.07000000029802322, 0.0};
constexpr camera::Wave kToneYWave{0.033740705144660564, 0.0, 0.07000000029802322, 0.0};
constexpr camera::Wave kVignetteSharpnessWave{0.06000441866188032, 0.0, 7.5, 2.5};
constexpr camera::Wave kVignetteRadiusWave{0.08105308810215502, 0.0, 0.125, 0.02499999850988388};
constexpr camera::Wave kGrainAmountWave{0.07037167577160562, 0.0, 6.0, 4.0};
constexpr camera::Wave kGrainScaleWave{0.09525309133691824, 0.0, 7.5, -2.5};
constexpr camera::Wave kTintHueWave{0.088027427631207, 0.0, 180.0, 180.0};
constexpr const char* kToneCurve =
    "0.000000 0.000000 0.117391 0.000000 0.239130 0.291304 0.452174 0.539130 0.695652 0.736956 1.000000 "
    "0.843478 1.000000 1.000000";
constexpr const char* kRedCurve = "0.000000 0.000000 0.259434 0.018868 0.877358 1.000000 1.000000 1.000000";
constexpr const char* kGreenCurve = "0.000000 0.000000 0.188679 0.070755 0.686321 0.964623 1.000000 1.000000";
constexpr const char* kBlueCurve = "0.000000 0.000000 0.108491 0.165094 0.851415 1.000000 1.000000 1.000000";
constexpr const char* kRegionCurve = "0.000000 0.578261 0.302174 0.543478 0.517391 0.491304 1.000000 0.500000";

void steps(camera::Recipe& r, float a, float v, uint32_t) {
    const double X = static_cast<double>(static_cast<float>(static_cast<double>(v) * 1.7 + 1266.7));
    r.add<GammaMod>(kBare, camera::wave(X, kGammaWave) * a + 1.0f);

    Curve tone = camera::curveFrom(kToneCurve);
    tone.points[2].x += camera::wave(X, kToneXWave);
    tone.points[2].y += camera::wave(X, kToneYWave);
    tone.rebuildTable();
    r.add<RgbCurveMod>(kBare, tone, a);

    r.add<VignetteMod>(kWithContext, a, camera::wave(X, kVignetteSharpnessWave) + 50.0f,
                       camera::wave(X, kVignetteRadiusWave) + 0.9200000166893005f);
    r.add<RgbCurvesMod>(kWithContext, camera::curveFrom(kRedCurve), camera::curveFrom(kGreenCurve),
                        camera::curveFrom(kBlueCurve), camera::curveFrom("0 0 1 1"), a);
    r.add<SaturationMod>(kWithContext, 1u, -0.4366000294685364f * a + 1.0f);
    // The grain of the first method, which never moves with the frame
    // number of the request.
    r.add<NoiseMod>(kStillContext, (camera::wave(X, kGrainAmountWave) + 17.18630027770996f) * a,
                    camera::wave(X, kGrainScaleWave) + 50.5099983215332f, 0.0f)
        .version = 1;

    float tint[4] = {101.35804748535156f, 223.793701171875f, 76.56100463867188f, 255.0f};
    setRgbHue(tint, camera::wave(X, kTintHueWave));
    r.add<ColorizeCurveMod>(kWithContext, camera::curveFrom(kRegionCurve), tint, 0u, a);
}

}  // namespace

HipsterCamera::HipsterCamera() : CameraStyle("Hipster", "From Brooklyn, with love.", steps) {}
