#pragma once
// White Balance, Tint and Colorize: hidden colour tiles with an Amount
// (0..1, shown 0..100; unchanged at 0) and a picked "Color". They ignore
// selectors and work on the first three samples of each pixel. One version.
//
// WhiteBalanceMod ("White Balance", Amount starts at 0.1): each channel k
// moves by (c_k - m) a, m the colour's grey mean (c_R + c_G + c_B) / 3, so a
// channel in which the picked colour exceeds its grey is raised; clamped to
// 0..255. On images of one or two channels only the first min(channels, 3)
// samples change.
//
// ColorizeMod ("Colorize"): the same shift, on samples 0, 1 and 2.
//
// TintMod ("Tint"): blends samples 0, 1 and 2 toward the colour,
// v (1 - a) + c a.
//
// Tint and Colorize leave images of fewer than three channels unchanged;
// a "Color" var that holds another kind leaves every image unchanged.

#include "framework/ImageMod.h"

class WhiteBalanceMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit WhiteBalanceMod(const float colour[4]);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

class TintMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit TintMod(const float colour[4]);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

class ColorizeMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit ColorizeMod(const float colour[4]);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
