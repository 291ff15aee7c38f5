#pragma once
// Dynamics ("Dynamics", panel tile, Advanced Light): works on each pixel's
// brightness relative to its neighbourhood. A copy of the band is blurred
// by the owned Blur tile (Gaussian, its Amount kept equal to "Radius"), and
// the blurred luminance L_b steers the pixel:
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

#include <memory>

#include "effects/Blur.h"
#include "framework/ImageMod.h"

class DynamicsMod : public ImageMod {
public:
    DynamicsMod();
    ~DynamicsMod() override;

    void copyFrom(const ImageMod& other) override;
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
    void varChanged(int32_t index) override;

    // The owned blur (never in a chain); its Amount follows "Radius".
    const BlurMod& blurTile() const { return *blur; }

private:
    // Stores "Radius" (0 when it holds no float) into the blur's Amount,
    // first giving the blur a float Amount if it lost it.
    void keepBlurInStep();

    std::unique_ptr<BlurMod> blur;
};
