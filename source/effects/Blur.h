#pragma once
// Blur and the shared convolution core.
//
// BlurMod ("Blur", panel tile): blurs the image by a radius relative to the
// whole picture's longer side, so a thumbnail and the full-size render look
// alike. Vars: "Amount" 0..100 (the radius grows with its square), "Mix"
// 0..100 (how much of the blurred result replaces the image) and "Blur
// Method": "Gaussian" (a piecewise-quadratic bell), "Box" (flat with
// fractional end taps) or "Circle" (a flat disc with a fractional rim); any
// other method index leaves the image unchanged. A selector limits the
// finished blur by its weight (blendByMask). One version. The tile needs
// rows of context around a band: marginFor gives the kernel's half-width.
//
// The tile runs blurByAmount of the convolution core (pixels/Convolution.h),
// which other tiles share: the kernels, the blurs, the selector blend and
// the general convolution.

#include <cstdint>
#include <vector>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/RenderArgs.h"
#include "pixels/Convolution.h"

class BlurMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    BlurMod(float amount, float mix);

    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies; args may be null (no selector, the image is the
    // whole picture).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};
