#pragma once
// 1983 ("1983 Camera"): underground breakdance. Shadows, channel curves, a
// crimson/green split tone, contrast and grain.
//   versions 2 and 3: split-tone hues turn with Variation; version 3 (new
//     tiles) blurs before the grain, and the margin covers that blur.
//   any other version: starts with a vignette, adds gamma, fixed split
//     tone, capped first-method grain, contrast last.

#include "cameras/CameraMod.h"

class Camera1983 : public CameraMod {
public:
    explicit Camera1983(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
