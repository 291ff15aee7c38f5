#pragma once
// Instant ("Instant Camera"): instant film. Exposure lift, a luminance
// curve, a light vignette, a colour filter and an uneven discolouring
// whose hues move with Variation, a second curve lifting the blacks, and
// in version 2 (new tiles) a closing soft blur that the margin covers.

#include "cameras/CameraMod.h"

class InstantCamera : public CameraMod {
public:
    explicit InstantCamera(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
