#pragma once
// Dynamics ("Dynamics", panel tile, Advanced Light): works on each pixel's
// brightness relative to its neighbourhood. A copy of the band is blurred
// as the Blur tile blurs it (blurByAmount: Gaussian, its Amount equal to
// "Radius", Mix 100), and the blurred luminance L_b steers the pixel:
//   "Overlay" (0): the tonal range is compressed toward L_b: with
//     t = (L_b - 127.5) A, samples below 127.5 are scaled by
//     (127.5 - t) 2/255, samples above pulled toward 255 by (127.5 + t) 2/255
//     (shadows lifted where the surroundings are dark, highlights pulled down
//     where they are bright);
//   "Luminance" (1): the Luminance Contrast step with strength 1 + A about
//     L_b, raising local contrast.
// Vars: "Amount" 0..100 (A = Amount / 100; a strength, unchanged at 0),
// "Radius" 0..100 (the blur's Amount), "Method". A selector weight w scales
// A per pixel. The blur needs context rows: marginFor is the blur's margin.
// One version.

#include "framework/ImageMod.h"

class DynamicsMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    DynamicsMod();

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

private:
    // "Radius" as the blur's Amount: 0 when it holds no float.
    float blurAmount() const;
};
