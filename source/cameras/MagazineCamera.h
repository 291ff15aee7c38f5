#pragma once
// Magazine ("Magazine Camera"): rich tones and contrast.
//   versions 2 and 3: a luminance contrast, then a colour balance toward a
//     colour whose hue turns 8 degrees per unit of Variation, weighted over
//     the tones by a fixed region curve; version 3 runs at 0.7 of Amount.
//   any other version: a faint colour filter, a luminance curve, a
//     luminance contrast and a saturation boost.

#include "cameras/CameraMod.h"

class MagazineCamera : public CameraMod {
public:
    explicit MagazineCamera(uint32_t styleVersion);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The colour-balance colour of versions 2 and 3 for a Variation value.
    static void balanceColour(float variation, float colour[4]);

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
