#pragma once
// Gamma and Exposure: brighten or darken an image with a power curve on
// every sample.
//
// GammaMod ("Gamma", shown as "Exposure") is a building block: camera styles
// build it on the stack as their basic brightness step and call its bodies
// directly. Its only var is "Amount" (0..2, shown as 0..100); at 1 the image
// is unchanged. Every sample of a pixel, a fourth one included, is mapped
// alone; selectors have no effect.
//   version 2 (new tiles): above 1 the curve bends from the white end,
//     x' = 255 - 255 ((255 - x)/255)^(1/(2 - a)), with float samples floored
//     at 0.05 first; below 1, x' = 255 (x/255)^(1/a) with float samples
//     capped at 254.95 (bytes at 254) first.
//   any other version (files of older releases): the plain power,
//     x' = 255 (x/255)^(2 - a) for a >= 1 and 255 (x/255)^(1/a) below.
//
// ExposureMod ("Exposure") is the panel tile of the "Basics" section. Its
// "Amount" (0..2, shown as 0..100) drives the shared exposure curve on each
// pixel: it lightens above 1, darkens and slightly desaturates below 1, and
// changes nothing at 1. It honours selectors: a pixel of weight w gets the
// Amount 1 + w (a - 1). One version.

#include "framework/ImageMod.h"

class GammaMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    explicit GammaMod(float amount);

    ModVar* amountVar() override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored.
    void apply8(ImageBuffer& image, const RenderArgs* args) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args) const;
};

class ExposureMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit ExposureMod(float amount);

    ModVar* amountVar() override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args) const;
};
