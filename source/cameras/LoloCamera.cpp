// Lolo ("Lolo Camera"): colourful and vibrant. Luminance contrast, a
// saturation boost, a light orange colouring of a luminance region and a
// contrast step, each moved by Variation. One recipe for every version.

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "cameras/CameraStyles.h"

namespace {

using camera::kWithContext;

// Over the phase W = 3 v + 522.
constexpr camera::Wave kCenterWave{0.044673449142009804, 0.0, 60.0, 0.0};
constexpr camera::Wave kSaturationWave{0.033740705144660564, 0.0, 0.10000000149011612, 0.0};
constexpr camera::Wave kColourWave{0.06000441866188032, 0.0, 0.5, -0.5};
constexpr camera::Wave kContrastWave{0.08105308810215502, 0.0, 0.1810000091791153, -0.13099999725818634};
constexpr const char* kRegionCurve = "0.000000 0.500000 0.457143 0.702439 1.000000 0.500000";
constexpr float kOrange[4] = {255.0f, 232.9259033203125f, 171.11842346191406f, 255.0f};

void steps(camera::Recipe& r, float a, float v, uint32_t) {
    const float w = v * 3.0f + 522.0f;
    const double W = static_cast<double>(w);
    r.add<LuminanceContrastMod>(kWithContext, 0.43956005573272705f * a + 1.0f,
                                camera::wave(W, kCenterWave) + 84.81590270996094f);
    r.add<SaturationMod>(kWithContext, 1u, (camera::wave(W, kSaturationWave) + 0.5759999752044678f) * a + 1.0f);
    r.add<ColorizeCurveMod>(kWithContext, camera::curveFrom(kRegionCurve), kOrange, 0u,
                            (camera::wave(W, kColourWave) + 1.0f) * a);
    r.add<ContrastMod>(kWithContext, 2u, (camera::wave(W, kContrastWave) + 0.312000036239624f) * a + 1.0f,
                       32.414798736572266f);
}

}  // namespace

LoloCamera::LoloCamera() : CameraStyle("Lolo", "Colorful, vibrant photos shot from the hip.", steps) {}
