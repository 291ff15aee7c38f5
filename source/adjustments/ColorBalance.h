#pragma once
// Color Balance ("Color Balance", "Advanced Color"): adds a fixed amount to
// each of red, green and blue. "Red", "Green", "Blue" are -255..255 and are
// scaled by the hidden "Amount" (0..1, shown 0..100; the preview animates
// it). Amount 0, or three offsets of 0, leave the image unchanged. A
// selector's weight scales the offsets of each pixel. Results are clamped
// to 0..255. Only the first min(channels, 3) samples change; a fourth is
// never touched. One version.

#include "framework/ImageMod.h"

class ColorBalanceMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    ColorBalanceMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
