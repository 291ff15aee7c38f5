#pragma once
// Vignette: darkens (or, with a negative Amount, lightens toward white) the
// pixels of a photo by their distance from its centre.
//
// VignetteMod ("Vignette", panel tile and building block of the camera
// styles): vars "Amount" -1..1 (shown as -100..100; the shift at full reach
// is Amount x 255), "Sharpness" 0..100 (shown as "Falloff": the steepness of
// the S-shaped ramp, a straight ramp at 0 and a hard-edged disc at 100) and
// "Radius" 0..2 (the reach: at 1 the ramp ends at the photo's corners,
// 1/1.05 of the half-diagonal away). Every channel of a pixel, a fourth one
// included, is shifted by Amount x 255 x ramp and clamped to 0..255. A
// selector scales the shift per pixel. One version, no margin.
//
// The centre and the reach are those of the photo inside the whole picture
// (its content rectangle inside any frame insets), taken from the region of
// the request, so a band processed alone gives the rows of the whole image.
// The centre is the whole picture's, floor(inset + size / 2), minus the
// band's offset: every band agrees on it, an odd-height picture included.
//
// The ramp and the photo's centre serve the radial blur as well.

#include <cstdint>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/RenderArgs.h"

class VignetteMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;

    VignetteMod(float amount, float sharpness, float radius);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The pixel bodies, in place; args, its region and its selector may each
    // be null (without a region the image is the whole picture).
    void apply8(ImageBuffer& image, const RenderArgs* args = nullptr) const;
    void applyFloat(ImageBuffer& image, const RenderArgs* args = nullptr) const;
};

// The photo's rectangle inside the picture, in the coordinates of the
// processed image: its width and height and its centre pixel. With a region:
// rw = W - L - R, rh = H - T - B, cx = floor(L + rw/2) - originX,
// cy = floor(T + rh/2) - originY (in 64 bits, so no inset overflows).
// Without one: the image's own size and width / 2, height / 2.
struct PhotoRect {
    int64_t width = 0;
    int64_t height = 0;
    int64_t cx = 0;
    int64_t cy = 0;
};
PhotoRect photoRectOf(const ImageBuffer& image, const RenderRegion* region);

// The exponent of the ramp for a steepness value: 1 / powf(base, 1.68f),
// base the float of the double 1 - steepness / 100.
float vignetteExponent(float sharpness);

// The S-shaped ramp f(t) at a distance t (1 = the reach) with exponent E:
// 0 for t <= 0 or NaN; with u = 1.05 t, 0.5 (2.1 t)^E below u = 0.5,
// 1 - 0.5 (2 - 2u)^E below u = 1, then 1; at most 1. A result that is not
// a number (a NaN exponent) is 0: the pixel is left alone.
float vignetteRamp(float t, float E);
