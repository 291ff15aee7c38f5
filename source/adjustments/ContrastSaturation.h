#pragma once
// Contrast, Saturation and Contrast Saturation: factor tiles (unchanged at
// Amount 1) that steepen or flatten tones and colours.
//
// ContrastMod ("Contrast"): a power curve about a centre brightness c on
// every sample, the fourth included. Amount 0..2 (shown 0..100): below 1
// samples flatten toward c (0 gives a flat image at c), above 1 they steepen
// away from it; the exponent is p below 1 and 1/(2 - p) from 1 up. Versions:
// 1 (and lower) pivot at the "Center" var (0..255, shown as "Contrast
// Origin"); 2 and above pivot at 90 and hide that control. Honours
// selectors: a pixel of weight w gets the Amount 1 + w (a - 1), and a pixel
// whose Amount comes out exactly 1 (weight 0) is left as it is (the power
// formulas at 1 would move it by rounding, a byte by a whole level).
//
// SaturationMod ("Saturation"): moves each pixel toward or away from its
// grey. Amount 0..2 (shown 0..100); the factor is p below 1 and
// 1/(2 - min(p, 1.99999)) above. Version 2 (new tiles) blends R, G, B toward
// their root-mean-square brightness and leaves a fourth sample alone; every
// other version blends every sample toward the linear luminance. Results
// are clamped to 0..255; version 2 leaves images of fewer than three
// channels unchanged. Honours selectors like Contrast.
//
// ContrastSaturationMod ("Contrast Saturation", hidden): a version-1
// Contrast about its "Center" (shown as "Brightness Origin") followed by a
// compensating version-1 Saturation of 1 + 0.44 (1 - a), both run with the
// tile's context.

#include "framework/ImageMod.h"

class ContrastMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    ContrastMod(uint32_t version, float amount, float center);

    ImageMod* clone() const override;
    // Stores the version, shows the Center control for every version but 2
    // and sets the description that goes with it.
    void setVersion(uint32_t newVersion) override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class SaturationMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    SaturationMod(uint32_t version, float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class ContrastSaturationMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    ContrastSaturationMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};

// Contrast's sample curve about `center` with the exponent of the factor
// (see tileloop::ContrastCurve) on `count` float samples, each alone:
// Contrast's and Advanced Contrast's float row kernel.
void applyContrastCurveRow(float* samples, int64_t count, float center, float exponent);
