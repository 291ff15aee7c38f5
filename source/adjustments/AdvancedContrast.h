#pragma once
// Advanced Contrast: raises or lowers contrast around a chosen brightness,
// the "Center" (shown as "Contrast Origin", 0..255), by a power curve.
//
// AdvancedContrastMod ("Advanced Contrast", panel tile of "Advanced Light"):
// "Amount" 0..2 (shown 0..100) is a factor: 1 leaves the image untouched,
// 0 flattens every sample onto the centre K, 2 pushes everything away from
// it to 0 or 255. The exponent is e = a below 1 and 1/(2 - a) from 1 up; a
// selector weight w gives the pixel the Amount 1 + w (a - 1) (the pixel is
// still recomputed at weight 0). "Method" picks the brightness measure:
//   "RGB": every sample (the fourth included) alone: v < K gives
//     K (v/K)^e, v > K gives 255 - (255 - K) ((255 - v)/(255 - K))^e;
//   "Luminance": the pixel's luminance bent the same way, the samples
//     rescaled to reach it (the Luminance Contrast step);
//   "Value" / "Lightness": the HSV value or HSL lightness bent around K/255
//     and the colour rebuilt from hue and saturation (first three samples
//     only; an image of fewer than three channels is left as it is).
// One version.

#include "framework/ImageMod.h"

class AdvancedContrastMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    AdvancedContrastMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
