// Autochrome ("Autochrome Camera"): one of the first colour processes.
// Gamma below 1, a softening luminance contrast, grain, contrast and
// saturation above 1.
//   versions 2 and 3: stronger grain; version 3 (new tiles) blurs before
//     the grain (the margin covers that blur) and moves the grain pattern
//     with Variation.
//   any other version: weaker grain of the first grain method, no blur.

#include <cmath>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Blur.h"
#include "effects/Noise.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Over the phase S = float(v + 170.21).
constexpr camera::Wave kGammaWave{0.17781413947931005, 2.8299999237060547, 0.10000000149011612, 0.30000000447034836};
constexpr camera::Wave kGrainWave{0.20923006602931005, 3.0, 7.0, 28.0};
constexpr camera::Wave kFirstGrainWave{0.20923006602931005, 3.0, 3.5, 17.5};
constexpr camera::Wave kCenterWave{0.12126547318733816, 1.7000000476837158, 10.0, 10.0};
constexpr camera::Wave kSaturationWave{0.15707963275, 1.0, 0.14499998092651367, 1.3450000286102295};
// Version 3's blur, over the phase u = S 2 pi / 100, and its written margin
// over S.
constexpr camera::Wave kBlurAmountWave{0.46799999475479126, 0.0, 3.0, 16.0};
constexpr camera::Wave kBlurMixWave{0.7110000252723694, 0.0, 20.0, 80.0};
constexpr camera::Wave kBlurMarginWave{0.029405306921233814, 0.0, 3.0, 16.0};
constexpr double kTurnsPerHundred = 0.0628318531;

float phaseOf(float v) { return static_cast<float>(static_cast<double>(v) + 170.21); }

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const double S = static_cast<double>(phaseOf(v));
    r.add<GammaMod>(kBare, (camera::wave(S, kGammaWave) - 1.0f) * a + 1.0f);
    r.add<LuminanceContrastMod>(kWithContext, static_cast<float>(static_cast<double>(a) * -0.55 + 1.0), 200.0f);
    if (version == 2 || version == 3) {
        if (version == 3) {
            const double u = S * kTurnsPerHundred;
            r.add<BlurMod>(kWithContext, camera::wave(u, kBlurAmountWave) * a, camera::wave(u, kBlurMixWave));
        }
        r.add<NoiseMod>(kWithContext, camera::wave(S, kGrainWave) * a, 13.0f,
                        version == 3 ? AutochromeCamera::grainOffset(v) : 0.0f);
    } else {
        r.add<NoiseMod>(kWithContext, camera::wave(S, kFirstGrainWave) * a, 13.0f, 0.0f).version = 1;
    }
    r.add<ContrastMod>(kWithContext, 2u, 0.41999995708465576f * a + 1.0f, camera::wave(S, kCenterWave));
    r.add<SaturationMod>(kWithContext, 1u, (camera::wave(S, kSaturationWave) - 1.0f) * a + 1.0f);
}

}  // namespace

float AutochromeCamera::grainOffset(float variation) { return std::fmod(phaseOf(variation) * 1000.0f, 10000.0f); }

AutochromeCamera::AutochromeCamera(uint32_t styleVersion)
    : CameraStyle("Autochrome", "One of the first color photo processes from the early 1900s.", steps, styleVersion) {}

int32_t AutochromeCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    const double S = static_cast<double>(phaseOf(variationValue()));
    return atLeastRecipeReach(camera::blurMarginRows(camera::wave(S, kBlurMarginWave), width, height), width, height,
                              scale);
}
