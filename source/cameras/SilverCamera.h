#pragma once
// Silver ("Silver Camera"): toned black and white.
//   version 2 (new tiles): a little contrast, the filtered grey of Mono, a
//     tint of a luminance region in a colour whose hue moves 5 degrees per
//     unit of Variation (hue 30 at Variation 0), and a brightness step.
//   any other version: gamma, desaturation by Amount, then Colorcross.

#include "cameras/CameraMod.h"

class SilverCamera : public CameraMod {
public:
    explicit SilverCamera(uint32_t styleVersion);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The tint hue of version 2 for a Variation value, in [0, 360):
    // 5 (v + 6) degrees brought into range by whole turns; a non-finite
    // hue is 0.
    static float tintHue(float variation);

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
