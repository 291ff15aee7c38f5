#pragma once
// Plastic ("Plastic Camera"): a cheap toy camera. Coloured blotches whose
// hue wanders with Variation, a darkening exposure, a soft vignette,
// cross-processed channel curves, a red/cyan split tone, contrast and
// coarse grain. One recipe for every version.

#include "cameras/CameraMod.h"

class PlasticCamera : public CameraMod {
public:
    PlasticCamera();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
