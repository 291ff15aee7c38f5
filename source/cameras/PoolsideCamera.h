#pragma once
// Poolside ("Poolside Camera"): hazy summer. Exposure, reduced saturation
// and channel curves whose red and green black points rise with Variation.
//   version 2 (new tiles): that chain.
//   any other version: the same with a light vignette before the curves.

#include "cameras/CameraMod.h"

class PoolsideCamera : public CameraMod {
public:
    explicit PoolsideCamera(uint32_t styleVersion);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
