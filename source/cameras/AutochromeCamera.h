#pragma once
// Autochrome ("Autochrome Camera"): one of the first colour processes.
// Gamma below 1, a softening luminance contrast, grain, contrast and
// saturation above 1.
//   versions 2 and 3: stronger grain; version 3 (new tiles) blurs before
//     the grain (the margin covers that blur) and moves the grain pattern
//     with Variation.
//   any other version: weaker grain of the first grain method, no blur.

#include "cameras/CameraMod.h"

class AutochromeCamera : public CameraMod {
public:
    explicit AutochromeCamera(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // Version 3's grain offset: (v + 170.21) 1000 wrapped below 10000,
    // keeping the sign.
    static float grainOffset(float variation);

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
