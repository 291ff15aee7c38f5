#pragma once
// Italiano ("Italiano Camera"): shades of coffee.
//   version 2 (new tiles): a soft blur, grain, luminance contrast, full
//     desaturation at full Amount, a dark vignette, warm channel curves and
//     a final saturation step.
//   any other version: no blur, contrast before a weaker grain of the
//     first grain method, and a weaker final saturation.
// The margin covers version 2's blur at the current values.

#include "cameras/CameraMod.h"

class ItalianoCamera : public CameraMod {
public:
    explicit ItalianoCamera(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
