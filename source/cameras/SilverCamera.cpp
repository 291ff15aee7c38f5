// Silver ("Silver Camera"): toned black and white.
//   version 2 (new tiles): a little contrast, the filtered grey of Mono, a
//     tint of a luminance region in a colour whose hue moves 5 degrees per
//     unit of Variation (hue 30 at Variation 0), and a brightness step.
//   any other version: gamma, desaturation by Amount, then Colorcross.

#include <cmath>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "cameras/CameraStyles.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/MonoCamera.h"

namespace {

using camera::kBare;
using camera::kWithContext;

// Version 2, over the phase u = v + 6.
constexpr camera::Wave kRegionWave{0.06000441866188032, 0.0, 0.30000001192092896, 0.5000000149011612};
constexpr camera::Wave kTintSaturationWave{0.07037167577160562, 0.0, 0.20000001788139343, 0.40000002086162567};
constexpr camera::Wave kBrightnessWave{0.088027427631207, 0.0, 0.10000002384185791, 1.100000023841858};
// The other versions, over the phase w = float(v + 4367.98).
constexpr camera::Wave kGammaWave{0.16524778084353495, 1.8799999952316284, 0.22499999403953552, 0.024999991059303284};

// Whole turns as the hue wrap counts them, times 360, as an integer. Large
// counts (beyond what 360 q holds in 32 bits) wrap through fmod instead.
constexpr double kMaxTurns = 5965231.0;  // 360 * (q + 1) still fits in int32

// The tint colour of hue h and saturation s at value one half, on the
// 0..255 scale.
void tintColour(float h, float s, float colour[4]) {
    colour[0] = colour[1] = colour[2] = 127.5f;
    colour[3] = 255.0f;
    if (s == 0.0f) return;
    const float f = static_cast<float>(static_cast<double>(h) * 0.002777777777777778) * 6.0f;
    const float i = std::floor(f);
    const float r = f - i;
    const float p = (1.0f - s) * 0.5f;
    const float q = (1.0f - r * s) * 0.5f;
    const float t = ((r - 1.0f) * s + 1.0f) * 0.5f;
    float rgb[3];
    switch (i >= 0.0f && i < 5.0f ? static_cast<int32_t>(i) : 5) {
        case 0: rgb[0] = 0.5f; rgb[1] = t; rgb[2] = p; break;
        case 1: rgb[0] = q; rgb[1] = 0.5f; rgb[2] = p; break;
        case 2: rgb[0] = p; rgb[1] = 0.5f; rgb[2] = t; break;
        case 3: rgb[0] = p; rgb[1] = q; rgb[2] = 0.5f; break;
        case 4: rgb[0] = t; rgb[1] = p; rgb[2] = 0.5f; break;
        default: rgb[0] = 0.5f; rgb[1] = p; rgb[2] = q; break;
    }
    for (int c = 0; c < 3; ++c) colour[c] = rgb[c] * 255.0f;
}

void toned(camera::Recipe& r, float a, float v) {
    const double xd = static_cast<double>(v + 6.0f);
    r.add<ContrastMod>(kWithContext, 2u, 0.34800004959106445f * a + 1.0f, 40.0f);
    r.add<MonoCamera>(kWithContext);
    Curve region = camera::curveFrom("0 0 .5 .5 1 1");
    region.points[1].y = camera::wave(xd, kRegionWave);
    region.rebuildTable();
    float colour[4];
    tintColour(SilverCamera::tintHue(v), camera::wave(xd, kTintSaturationWave), colour);
    r.add<ColorizeCurveMod>(kWithContext, region, colour, 0u, a);
    r.add<BrightnessMod>(kWithContext, (camera::wave(xd, kBrightnessWave) - 1.0f) * a + 1.0f);
}

void steps(camera::Recipe& r, float a, float v, uint32_t version) {
    if (version == 2) {
        toned(r, a, v);
        return;
    }
    const float w = static_cast<float>(static_cast<double>(v) + 4367.98);
    r.add<GammaMod>(kBare, (camera::wave(static_cast<double>(w), kGammaWave) + 0.2879120111465454f) * a + 1.0f);
    r.add<SaturationMod>(kWithContext, 1u, 1.0f - a);
    r.add<ColorcrossCamera>(kBare, a, w + 3000.0f);
}

}  // namespace

float SilverCamera::tintHue(float variation) {
    const float u = variation + 6.0f;
    float h = u * 5.0f;
    if (!std::isfinite(h)) return 0.0f;
    if (h < 0.0f) {
        const double q = std::trunc(-static_cast<double>(h) / 360.0);
        if (q <= kMaxTurns) {
            h += static_cast<float>(360 * static_cast<int32_t>(q) + 360);
        } else {
            h = std::fmod(h, 360.0f) + 360.0f;
        }
    }
    if (h >= 360.0f) {
        const double q = std::trunc(static_cast<double>(h) / 360.0);
        if (q <= kMaxTurns) {
            h -= static_cast<float>(360 * static_cast<int32_t>(q));
        } else {
            h = std::fmod(h, 360.0f);
        }
    }
    return h;
}

SilverCamera::SilverCamera(uint32_t styleVersion)
    : CameraStyle("Silver", "Not color, but not quite monochromatic either.", steps, styleVersion) {}
