#pragma once
// Multi Tool and Temperature: "Basics" panel tiles that build other tiles on
// the stack and run their bodies on the same image with the same context.
//
// MultiToolMod ("Multi Tool"): "Exposure", "Contrast" and "Saturation"
// sliders of 0..100, 50 leaving the image unchanged; each value times 0.02
// is the Amount of its step, run in this order: an Exposure step (version 1
// tiles: a Gamma step instead, which ignores selectors), a version-2
// Contrast pivoting at brightness 90, and a version-1 (linear-luminance)
// Saturation. Version 3 for new tiles; 1 and 2 stay readable. There is no
// "Amount" var.
//
// ColorizeTemperatureMod ("Colorize Temperature", shown as "Temperature"):
// one signed Amount (-1..1, shown -100..100; 0 leaves the image unchanged),
// negative cooler and positive warmer, that drives a Colorize Curve step
// ("Colorize" method) with a luminance region, colour and strength chosen by
// version:
//   3 (new tiles): the orange (255, 170, 0) at strength |a|, the region
//     rising to 1 at mid-luminance for warming and falling to 0 for cooling;
//   2: a region lifted over most of the range, the colour itself scaled by
//     the Amount (orange-ish warming, blue-ish cooling) at strength 1;
//   every other version: the complement of blue (warming) or orange
//     (cooling) over most of the range at strength |a|^1.5.

#include "framework/ImageMod.h"

class MultiToolMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 3;

    MultiToolMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

class ColorizeTemperatureMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 3;

    ColorizeTemperatureMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
