#pragma once
// Hipster ("Hipster Camera"): exposure, a wandering tone curve, a vignette,
// channel curves, strongly reduced saturation, coarse grain that never
// moves with the frame, and a colouring whose hue follows Variation. One
// recipe for every version.

#include "cameras/CameraMod.h"

class HipsterCamera : public CameraMod {
public:
    HipsterCamera();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
