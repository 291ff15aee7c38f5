#pragma once
// RGB Swap ("RGB Swap", a hidden building block that camera styles also
// build on the stack): draws a pixel's red content in the "Red" colour, its
// green content in the "Green" colour and its blue content in the "Blue"
// colour. The colours are first scaled together so that white reaches 255
// in the output channel with the largest sum. No Amount; selectors are not
// consulted. Every sample of the pixel is cleared before the three colour
// samples are written, so a fourth sample ends as 0. The identity colours
// (pure red, green and blue, fourth components 255) leave the image as it
// is. One version.
//
// Colour vars of another kind, and images of fewer than three channels,
// are left unchanged.

#include "framework/ImageMod.h"

class RgbSwapMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    // All four components of each colour are copied; the prototype and
    // clones use the identity (255, 0, 0, 255), (0, 255, 0, 255),
    // (0, 0, 255, 255).
    RgbSwapMod(const float red[4], const float green[4], const float blue[4]);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored and may be null.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};
