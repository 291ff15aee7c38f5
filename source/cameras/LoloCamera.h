#pragma once
// Lolo ("Lolo Camera"): colourful and vibrant. Luminance contrast, a
// saturation boost, a light orange colouring of a luminance region and a
// contrast step, each moved by Variation. One recipe for every version.

#include "cameras/CameraMod.h"

class LoloCamera : public CameraMod {
public:
    LoloCamera();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
