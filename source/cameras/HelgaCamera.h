#pragma once
// A toy camera (Helga, "Helga Camera"): washed-out highlights and
// old-school vignetting. Contrast, a luminance curve that lifts black and
// pulls white down, a cross-mix of the primaries, a strong vignette, a
// master curve, a nested Colorcross and a last contrast step; version 2
// (new tiles) starts with a blur that grows toward the edges, which the
// margin covers.

#include "cameras/CameraMod.h"

class HelgaCamera : public CameraMod {
public:
    explicit HelgaCamera(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
