#pragma once
// Luminance Contrast and Brightness: factor tiles (unchanged at Amount 1)
// that change brightness while keeping colour. Both honour selectors.
//
// LuminanceContrastMod ("Luminance Contrast", a hidden building block): the
// contrast power curve about a centre c applied to the pixel's luminance L
// only (exponent p below 1, 1/(2 - p) from 1 up); the samples, the fourth
// included, are then scaled toward 0 or 255 so the pixel takes the new
// luminance, which keeps its saturation. Amount 0..2 (shown 0..100),
// "Center" 0..255 (shown as "Contrast Origin"). A selector weight w gives
// the pixel the Amount 1 + w (a - 1); a pixel whose Amount comes out
// exactly 1 (weight 0) is left as it is. One version.
//
// BrightnessMod ("Brightness", panel tile): every sample, the fourth
// included, goes through a straight two-point curve built from the Amount:
// (0,0)-(1,a) below 1 (darkening), (0,a-1)-(1,1) from 1 up (lifting the
// blacks). Amount 0..2 (shown 0..100). A selector weight w blends the mapped
// sample with the original. One version.

#include "framework/ImageMod.h"

class LuminanceContrastMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    LuminanceContrastMod(float amount, float center);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

class BrightnessMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    explicit BrightnessMod(float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

// One pixel's luminance bent about the centre c with the strength p (the
// image gives the channel count; images of one or two channels use their
// first sample as the luminance). A pixel whose luminance equals c is left
// alone, and so is one whose power would divide by a zero span (centre 0
// or 255 with a luminance outside 0..255). Used by Luminance Contrast,
// Advanced Contrast and Dynamics.
void luminanceContrastPixel(const ImageBuffer& image, float* pixel, float p, float c);
// The same on bytes: float arithmetic on the byte values, every result
// clamped and truncated toward zero.
void luminanceContrastPixel8(const ImageBuffer& image, uint8_t* pixel, float p, float c);
