// Plastic ("Plastic Camera"): a cheap toy camera. Coloured blotches whose
// hue wanders with Variation, a darkening exposure, a soft vignette,
// cross-processed channel curves, a red/cyan split tone, contrast and
// coarse grain. One recipe for every version.

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "adjustments/SplitTone.h"
#include "cameras/CameraStyles.h"
#include "effects/Discolor.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kWithContext;

constexpr camera::Wave kBlotchHueWave{0.04680973085910562, 2.430000066757202, 180.0, 180.0};
constexpr camera::Wave kVignetteWave{0.12754865999536627, 2.0299999713897705, 0.15000000596046448,
                                     -0.15000000596046448};
constexpr camera::Wave kGrainWave{0.1169300749639114, 1.8609999418258667, 4.0, 1.0};

void steps(camera::Recipe& r, float a, float v, uint32_t) {
    const double x = static_cast<double>(v - 1.0f);
    float blotch[4] = {201.0f, 180.0f, 103.0f, 255.0f};
    setRgbHue(blotch, camera::wave(x, kBlotchHueWave));
    r.add<DiscolorMod>(kWithContext, blotch, 0.5f * a, v - 446.0f, 1.0f, 1.0f);
    r.add<GammaMod>(kBare, 0.36000001430511475f * a + 1.0f);
    r.add<VignetteMod>(kWithContext, (camera::wave(x, kVignetteWave) + 1.0f) * a, 1.0240000486373901f,
                       0.7829999923706055f);
    r.add<RgbCurvesMod>(kWithContext, camera::curveFrom(camera::kCrossRedCurve),
                        camera::curveFrom(camera::kCrossGreenCurve), camera::curveFrom(camera::kCrossBlueCurve),
                        camera::curveFrom(camera::kCrossToneCurve), a);
    r.add<SplitToneMod>(kWithContext, camera::kCrossDark, camera::kCrossLight, 0.3889999985694885f * a);
    r.add<ContrastMod>(kWithContext, 2u, 0.44200003147125244f * a + 1.0f, 78.46099853515625f);
    // The grain of the first method.
    r.add<NoiseMod>(kWithContext, (camera::wave(x, kGrainWave) + 17.433000564575195f) * a, 33.33300018310547f, 0.0f)
        .version = 1;
}

}  // namespace

PlasticCamera::PlasticCamera() : CameraStyle("Plastic", "The cheapest color camera we could find.", steps) {}
