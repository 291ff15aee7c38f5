#pragma once
// 1958 ("1958 Camera"): maroon nostalgia. A luminance curve whose shadow
// point follows Variation, a magenta colouring of a luminance region whose
// hue follows Variation, luminance contrast and a reduction of saturation;
// version 2 (new tiles) ends with a blur, every other version does not.
// The margin covers version 2's blur at the current values.

#include "cameras/CameraMod.h"

class Camera1958 : public CameraMod {
public:
    explicit Camera1958(uint32_t styleVersion);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The closing blur of version 2: its amount and mix for the values.
    static void closingBlur(float a, float v, float& amount, float& mix);

    void recipeChain(GrowArray<ImageMod*>& out) const override;

    struct Recipe;
};
