#pragma once
// Saloon ("Saloon Camera"): warm, lifted old-time look with a white vignette.
// Gamma, a lightening vignette, a luminance curve, a warm dye and a
// saturation step. One recipe for every version.

#include "cameras/CameraMod.h"

class SaloonCamera : public CameraMod {
public:
    SaloonCamera();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
