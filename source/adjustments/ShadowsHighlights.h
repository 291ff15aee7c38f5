#pragma once
// Shadows and Highlights: brighten or darken one end of the tonal range.
//
// ShadowsMod ("Shadows") and HighlightsMod ("Highlights") are hidden building
// blocks: not in the panel, but a filter file may hold them, and camera
// styles build a ShadowsMod on the stack and run its bodies directly. One
// design with two data sets: each keeps two fixed curves (brighten, used
// above Amount 1, and darken, used below), and one var "Amount" 0..2 (shown
// 0..100), a factor: 1 leaves the image untouched, 0 darkens most.
//   version 2 (every new tile): the HSV value of each pixel goes through the
//     fixed curve, v' = v + (curve(v) - v) k with k = |a - 1| times the
//     selector weight, and the colour is rebuilt from hue and saturation.
//     Only the first three samples are read and written; an image of fewer
//     than three channels is left as it is.
//   any other version: a luminance curve built from the Amount, (0,0),
//     one moved quarter point, (0.5,0.5), (1,1) (Highlights: the point at
//     three quarters), mapped by luminance with strength 1 (the selector
//     weight with a selector); every sample of the pixel follows.
//
// ShadowsHighlightsMod ("Shadows/Highlights", panel tile): three signed
// sliders "Shadows", "Midtones", "Highlights" (-1..1, neutral 0, shown
// 0..100) and a "Method" (RGB, Luminance, Value, Lightness). It owns a Tone
// Curve tile whose five-point curve it derives from the sliders on every var
// change and runs the tone-curve body with it; the body always runs, even
// with every slider at 0 (the five-point identity curve). No Amount.
// One version.

#include "adjustments/Curves.h"
#include "framework/ImageMod.h"

class ShadowsMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    explicit ShadowsMod(float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;

    Curve brighten;  // used when Amount is above 1
    Curve darken;    // used when Amount is below 1
};

class HighlightsMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    HighlightsMod();

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    Curve brighten;
    Curve darken;
};

class ShadowsHighlightsMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    ShadowsHighlightsMod();

    void copyFrom(const ImageMod& other) override;
    ModVar* amountVar() override { return nullptr; }
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    // Rederives the tone curve's three inner points and copies "Method",
    // whatever the index.
    void varChanged(int32_t index) override;

    // The embedded tile: never in a chain, its curve derived from the vars.
    const ToneCurveMod& toneCurve() const { return tone; }

private:
    ToneCurveMod tone;
};
