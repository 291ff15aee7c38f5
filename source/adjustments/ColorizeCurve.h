#pragma once
// Colorize Curve ("Colorize Curve", shown as "Coloring Curve"; panel tile of
// "Advanced Color"): colours the part of the tonal range that a curve over
// luminance selects.
//
// The curve's height t at a pixel's luminance gives the signed strength
// s = (t - 0.5) 2a: where the curve lies above its midline the pixel moves
// toward the "Color", below it toward the colour's complement, by one of the
// seven colour methods of ColorMethods.h ("Color Method"). The hidden
// "Amount" (0..1; 0 leaves the image unchanged) scales the strength, and a
// selector weight scales it per pixel. Versions: 2 (new tiles) dyes with the
// detail-preserving dyePixel under "Dye"; every other version with
// dyePixelLuma. A region var that holds no curve or a colour var that holds
// no colour (a hand-edited file) leaves the image unchanged; a method var of
// another kind reads as "Colorize".
//
// Its bodies are the workhorse of the colouring tiles: Coloring and Color
// Wheels keep members of this class, Temperature and the camera styles
// build one on the stack, and all of them call apply8 / applyFloat.

#include "framework/ImageMod.h"

class ColorizeCurveMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 2;

    ColorizeCurveMod(const Curve& region, const float colour[4], uint32_t methodIndex, float amount);

    // The region curve of the prototype and of clones: (0, 0.5), (0.5, 0.6),
    // (1, 0.5), a gentle lift of the mid tones that leaves black and white.
    static Curve startRegion();

    ModVar* amountVar() override;  // var 2, by position
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    // The "Color Method" (var 3) and "Color" (var 1) vars, or null.
    virtual ModVar* colorMethodVar();
    virtual ModVar* colorVar();

    // The pixel bodies; args may be null (no selector).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};
