#pragma once
// Matte ("Matte Camera"): not so glossy. A lifted black point and grain.
//   version 4 (new tiles): a luminance curve, an RGB curve and grain, each
//     with a strength that follows Variation.
//   any other version: luminance contrast, an RGB curve whose shape follows
//     Variation, and grain (grain method 4, 3 or 1 for versions 3, 2 and
//     the others).

#include "cameras/CameraMod.h"

class MatteCamera : public CameraMod {
public:
    explicit MatteCamera(uint32_t styleVersion);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
