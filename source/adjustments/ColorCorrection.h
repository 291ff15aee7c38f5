#pragma once
// Color Correction ("Color Correction", a hidden building block that camera
// styles also build on the stack): pushes shadows, midtones and highlights
// separately toward the hue of their colour vars.
//
// Each tone colour's offset from its own grey (r - m, g - m, b - m with m
// the mean of its components) is added to the pixel, scaled by 0.3 x
// "Amount" (0..1, hidden; 0 leaves the image unchanged) and by the tone's
// weight at the pixel's luminance, read from three fixed weight curves
// (shadows 1 up to a quarter and 0 from the middle, midtones peaking in the
// middle, highlights 0 up to the middle and 1 from three quarters). The
// shift runs three times in succession on red, green and blue, each pass
// with the weights of the input luminance; every result is clamped to
// 0..255 (the 8-bit body truncates after each step). Grey colours (the
// all-black prototype) change nothing. Selectors are not consulted; a
// fourth sample is never touched. One version.
//
// Colour vars of another kind, and images of fewer than three channels,
// are left unchanged.

#include "framework/ImageMod.h"

class ColorCorrectionMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    // All four components of each colour are copied; the prototype uses
    // black (0, 0, 0, 255) three times and Amount 1.
    ColorCorrectionMod(const float shadows[4], const float midtones[4], const float highlights[4], float amount);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; the context is ignored and may be null.
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};
