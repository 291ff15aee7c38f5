#pragma once
// 1962 ("1962 Camera"): high-contrast black and white.
//   version 4 (new tiles): Colorcross, desaturation by Amount, a blur (its
//     margin grows with Amount), grain and contrast.
//   versions 2 and 3: the Mono filtered grey, contrast, a black-lifting
//     RGB curve and grain (of the second or fourth grain method).
//   any other version: contrast, desaturation, a luminance curve, grain.

#include "cameras/CameraMod.h"

class Camera1962 : public CameraMod {
public:
    explicit Camera1962(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
