// Instant ("Instant Camera"): instant film. Exposure lift, a luminance
// curve, a light vignette, a colour filter and an uneven discolouring
// whose hues move with Variation, a second curve lifting the blacks, and
// in version 2 (new tiles) a closing soft blur that the margin covers.

#include "adjustments/Curves.h"
#include "adjustments/DyeColorFilter.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "effects/Blur.h"
#include "effects/Discolor.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Over the phase X = float(v + 46.69).
constexpr camera::Wave kGammaWave{0.09738936930894378, 0.1340000033378601, 0.15000003576278687, 1.199999988079071};
constexpr camera::Wave kCurveStrengthWave{0.16336281206788755, 1.590000033378601, 0.15000000596046448,
                                          0.8499999940395355};
constexpr camera::Wave kFilterHueWave{0.039207077143335184, 0.3930000066757202, 180.0, 180.0};
constexpr camera::Wave kDiscolorHueWave{0.04969999634139012, 2.0999999046325684, 180.0, 180.0};
constexpr const char* kLuminanceCurve = "0.000000 0.000000 0.313043 0.152174 0.404348 0.597826 1.000000 1.000000";
constexpr const char* kBlacksCurve = "0.000000 0.141304 0.278261 0.157826 0.528261 0.652174 1.000000 1.000000";
// The closing blur of version 2 at Amount 1.
constexpr float kBlurAmount = 25.0f;

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    const float u = static_cast<float>(static_cast<double>(v) + 46.69);
    const double X = static_cast<double>(u);
    r.add<GammaMod>(kBare, (camera::wave(X, kGammaWave) - 1.0f) * a + 1.0f);
    r.add<CurvesMod>(kBare, camera::curveFrom(kLuminanceCurve), camera::wave(X, kCurveStrengthWave) * a);
    r.add<VignetteMod>(kWithContext, 0.2878879904747009f * a, 22.56800079345703f, 0.88509601354599f);
    float filter[4] = {119.4756851196289f, 0.0f, 255.0f, 255.0f};
    setRgbHue(filter, camera::wave(X, kFilterHueWave));
    r.add<ColorFilterMod>(kBare, filter, 0.12868599593639374f * a);
    float stain[4] = {236.53846740722656f, 140.0556640625f, 197.6834259033203f, 255.0f};
    setRgbHue(stain, camera::wave(X, kDiscolorHueWave));
    r.add<DiscolorMod>(kWithContext, stain, 0.3869349956512451f * a, u + 3000.0f, 1.0f, 1.0f);
    r.add<CurvesMod>(kBare, camera::curveFrom(kBlacksCurve), a);
    if (version == 2) r.add<BlurMod>(kWithContext, kBlurAmount * a, 58.0f);
}

}  // namespace

InstantCamera::InstantCamera(uint32_t styleVersion)
    : CameraStyle("Instant", "No need to shake this instant-developing film.", steps, styleVersion) {}

int32_t InstantCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 2) return 0;
    return atLeastRecipeReach(camera::blurMarginRows(amountValue() * kBlurAmount, width, height), width, height, scale);
}
