#pragma once
// Selective Saturation ("Selective Saturation", a hidden building block):
// changes the saturation of the pixels whose hue lies near the hue of
// "Color" and leaves the others alone.
//
// "Tolerance" (0..100) is the half-width of the selected band in units of
// 1.8 degrees (100 reaches every hue); the effect fades smoothly from full
// at the tolerance to none at 1.5 times it. "Saturation" (0..2, shown
// 0..100) is the factor of the Saturation tile: 1 changes nothing, 0 turns
// the band grey, above 1 the factor is 1 / (2 - s) (capped near 10^5).
// Within the band every sample of a pixel, a fourth one included, is
// blended with the pixel's luminance. Selectors are not consulted. One
// version.
//
// A "Color" var of another kind, a NaN "Tolerance" or "Saturation", and an
// image of fewer than three channels leave the image unchanged.

#include "framework/ImageMod.h"

class SelectiveSaturationMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    // The start value of "Color"; the prototype and clones use
    // (229, 182, 171, 255).
    explicit SelectiveSaturationMod(const float colour[4]);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
