#pragma once
// DeadPixelMod ("Dead Pixel", tool-panel section "Utility"): hides one stuck
// or dead sensor pixel by averaging the colours on a ring around it and
// painting that average over a small disc, fading out towards the disc's
// rim.
//
// Vars: "Pixel X" and "Pixel Y" (the pixel's column and row in full-size
// picture pixels, number boxes, at least 0) and "Radius" (1..10 full-size
// pixels). In processed pixels R = max(Radius / s, 1), s the pixel scale;
// N = max(trunc(2 pi R), 8) ring samples at distance R from the pixel's
// middle are averaged (those inside the image); the disc, centred one pixel
// up and left of the pixel, takes the average fully within R - 1 (1 when
// R <= 2) and fades linearly to nothing at R. R <= 1 changes nothing, so
// the default Radius 1 (and any preview where Radius / s <= 1) leaves the
// picture as it is. On four-channel images the average is laid over the
// pixel as an opaque layer of coverage a. One version.
//
// Striped: the margin covers the ring of any disc row a band paints (the
// ring sits a row lower and spans one row more than the disc), so every
// thread count gives the same pixels. When no ring sample falls inside the
// image the picture is left unchanged.

#include "framework/ImageMod.h"

class DeadPixelMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    DeadPixelMod();
    ImageMod* clone() const override;
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    bool hasHoverPreview() const override { return false; }
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;
};
