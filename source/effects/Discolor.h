#pragma once
// Discolor and Lightleak: soft blotches of one colour over the photo.
//
// DiscolorMod ("Discolor"): a hidden building block (in the prototype list,
// in no panel section). A two-octave value noise (valueNoise2d) decides
// where and how strongly the "Color" is applied, by the colour-filter rule:
// a component below 127.5 darkens its channel in proportion to the sample,
// one above brightens it in proportion to its distance from 255. Vars:
// "Amount" 0..1 (0 leaves the image untouched), "Offset" (moves the
// pattern sideways; not limited), "Color", and the hidden "Scale" and
// "Stretch" 0..2 (blotch frequency across and down; 0..1 linear, steep
// above 1). The noise is measured in the coordinates of the photo's content
// rectangle (the picture less its border insets), so bands equal the whole
// image and a framed photo gets the pattern it would get alone. A content
// width below 1 leaves the image unchanged. Only the first three channels
// change; a fourth keeps its value. Selectors are not read. One version.
//
// LightleakMod ("Lightleak"): a hidden one-step light-leak look with the two
// vars of a camera style, "Amount" 0..1 and "Variation" (shown as "Remix",
// not limited). Each call runs a DiscolorMod whose colour (oranges to
// purples), strength, position and stretch follow cosines of the Variation.
//
// Positions are whole numbers in 64 bits; an Offset so large that the
// pattern's shift leaves the 32-bit range takes the range's end.

#include <cstdint>

#include "framework/ImageMod.h"

class DiscolorMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    DiscolorMod(const float colour[4], float amount, float offset, float scale, float stretch);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies, in place; args may be null (the image is the whole
    // picture, without border insets).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

// What a light leak hands its DiscolorMod for a Variation value.
struct LightleakRecipe {
    float colour[4] = {0.0f, 0.0f, 0.0f, 255.0f};
    float strength = 0.0f;  // times Amount
    float offset = 0.0f;    // Variation + 248.75
    float stretch = 0.0f;
};
LightleakRecipe lightleakRecipe(float amount, float variation);

class LightleakMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    LightleakMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
