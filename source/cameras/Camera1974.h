#pragma once
// 1974 ("1974 Camera"): dad's old camera, faded and tinted.
//   version 3 (new tiles): a blur (covered by the margin), a luminance
//     curve, an orange colouring, a faded RGB curve, a quarter-strength
//     Colorcross pass and grain.
//   version 2: luminance contrast, an RGB curve, a colour-filter colouring
//     whose colour follows Variation, and grain.
//   any other version: grain, contrast, a three-zone colour correction, an
//     RGB curve, gamma and a fixed desaturation.

#include "cameras/CameraMod.h"

class Camera1974 : public CameraMod {
public:
    explicit Camera1974(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
